#include "model/project_sidecar.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <map>

#include "base/atomic_file.h"
#include "base/json_depth.h"
#include "model/edit_json.h"

namespace orvane {

namespace {

using namespace edit_json;

// 2001-01-01 00:00:00 UTC in Unix seconds.
constexpr double kReferenceDateUnixSeconds = 978307200.0;

// The order the file's keys are written in; every saved field is in it (checked below).
constexpr std::array<std::string_view, 44> kKeyOrder = {"originalAudioVolume",
                                                        "voiceTrackVolume",
                                                        "version",
                                                        "exportKind",
                                                        "sourceVideo",
                                                        "duration",
                                                        "trimStart",
                                                        "trimEnd",
                                                        "background",
                                                        "backgroundImageFile",
                                                        "automaticZoomsSuppressed",
                                                        "cropRect",
                                                        "cursorTrackFile",
                                                        "showCursorRing",
                                                        "cursorRingStyle",
                                                        "drawsSyntheticCursor",
                                                        "cursorVisualStyle",
                                                        "cursorClickAnimationStyle",
                                                        "cursorIconSymbol",
                                                        "showAnnotations",
                                                        "annotations",
                                                        "cursorInteractions",
                                                        "zooms",
                                                        "mutes",
                                                        "voiceClips",
                                                        "videoOverlays",
                                                        "clips",
                                                        "showCaptions",
                                                        "captions",
                                                        "showWindowChrome",
                                                        "chromeStyle",
                                                        "windowTitle",
                                                        "recordingFrame",
                                                        "exportAspect",
                                                        "lastAppliedRemoteUpdatedAt",
                                                        "zoomReactiveFaceCam",
                                                        "zoomReactiveFaceCamScale",
                                                        "cursorStyleOverrides",
                                                        "cursorMotionBlur",
                                                        "speedRamps",
                                                        "cursorClickSounds",
                                                        "cursorClickSoundVolume",
                                                        "inset",
                                                        "cornerRadius"};

consteval bool everySavedKeyIsOrdered() {
    bool ordered = true;
    const auto check = [&](const auto& field) {
        if (field.traits.saved == Saved::never) return;
        ordered = ordered && std::find(kKeyOrder.begin(), kKeyOrder.end(), field.traits.key) != kKeyOrder.end();
    };
    std::apply([&](auto... groups) { (forEachField<typename MemberType<decltype(groups)>::type>(check), ...); },
               kEditGroups);
    return ordered;
}
static_assert(everySavedKeyIsOrdered(), "a saved edit field is missing from kKeyOrder");

OrderedJson encodeObject(const ProjectSidecar& s) {
    std::map<std::string, OrderedJson, std::less<>> values;
    values["version"] = s.version;
    values["exportKind"] = s.exportKind;
    values["sourceVideo"] = s.sourceVideo;
    if (s.lastAppliedRemoteUpdatedAt) {
        values["lastAppliedRemoteUpdatedAt"] = secondsSinceReferenceDate(*s.lastAppliedRemoteUpdatedAt);
    }
    const FileContext files{s.recordingFolder};
    forEachEditField(
        [&](const auto& field, const auto& group) {
            const auto& traits = field.traits;
            if (traits.saved == Saved::never) return;
            if (traits.saved == Saved::optional && !s.has(traits.key)) return;
            const auto& value = field.of(group);
            if (!isPresent(value)) return;
            values[std::string(traits.key)] = sidecarValue(value, files);
        },
        s.edit);

    OrderedJson object = OrderedJson::object();
    for (const auto key : kKeyOrder) {
        if (const auto found = values.find(key); found != values.end()) {
            object[std::string(key)] = std::move(found->second);
            values.erase(found);
        }
    }
    for (auto& [key, value] : values) object[key] = std::move(value);
    return object;
}

// The first problem found, as "ProjectSidecar: <problem>".
struct Problem {
    std::string text;
    void set(std::string problem) {
        if (text.empty()) text = "ProjectSidecar: " + std::move(problem);
    }
};

template <typename T>
std::optional<T> documentValue(const Json& document, const char* key, bool required, Problem& problem) {
    const auto found = document.find(key);
    if (found == document.end() || found->is_null()) {
        if (required) problem.set("\"" + std::string(key) + "\" is missing");
        return std::nullopt;
    }
    T value{};
    std::string inner;
    if (readSidecarValue(*found, value, FileContext{}, inner) != Read::ok) {
        problem.set("\"" + std::string(key) + "\" " + inner);
        return std::nullopt;
    }
    return value;
}

}  // namespace

double secondsSinceReferenceDate(SystemTime time) {
    const auto since = std::chrono::duration<double>(time.time_since_epoch()).count();
    return since - kReferenceDateUnixSeconds;
}

SystemTime dateFromSecondsSinceReferenceDate(double seconds) {
    const std::chrono::duration<double> unix(seconds + kReferenceDateUnixSeconds);
    return SystemTime(std::chrono::duration_cast<SystemTime::duration>(unix));
}

ProjectSidecar makeProjectSidecar(const Edit& edit, const std::filesystem::path& videoPath,
                                  std::optional<SystemTime> lastAppliedRemoteUpdatedAt, std::string_view exportKind) {
    ProjectSidecar sidecar;
    sidecar.exportKind = std::string(exportKind);
    sidecar.sourceVideo = videoPath.filename().string();
    sidecar.lastAppliedRemoteUpdatedAt = lastAppliedRemoteUpdatedAt;
    sidecar.edit = edit;
    sidecar.recordingFolder = videoPath.parent_path();
    forEachEditField(
        [&](const auto& field, const auto& group) {
            if (field.traits.saved == Saved::never) return;
            if (!isPresent(field.of(group))) return;
            sidecar.keys.insert(std::string(field.traits.key));
        },
        edit);
    return sidecar;
}

std::string encodeProjectSidecar(const ProjectSidecar& sidecar) { return encodeObject(sidecar).dump(); }

std::string encodeProjectSidecarForExport(const ProjectSidecar& sidecar) {
    // nlohmann::json keeps its object keys sorted.
    return Json(encodeObject(sidecar)).dump(2);
}

std::optional<ProjectSidecar> decodeProjectSidecar(std::string_view text, const std::filesystem::path& recordingFolder,
                                                   std::string* error) {
    const Json document = parseJsonWithinDepth<Json>(text);
    Problem problem;
    if (document.is_discarded()) {
        problem.set("not valid JSON");
    } else if (!document.is_object()) {
        problem.set("expected an object");
    }
    ProjectSidecar s;
    s.recordingFolder = recordingFolder;
    if (problem.text.empty()) {
        s.version = documentValue<std::int64_t>(document, "version", true, problem).value_or(1);
        s.exportKind = documentValue<std::string>(document, "exportKind", true, problem).value_or("");
        s.sourceVideo = documentValue<std::string>(document, "sourceVideo", true, problem).value_or("");
        if (const auto seconds = documentValue<double>(document, "lastAppliedRemoteUpdatedAt", false, problem)) {
            s.lastAppliedRemoteUpdatedAt = dateFromSecondsSinceReferenceDate(*seconds);
        }
        const FileContext files{recordingFolder};
        forEachEditField(
            [&](const auto& field, auto& group) {
                const auto& traits = field.traits;
                if (traits.saved == Saved::never || !problem.text.empty()) return;
                const auto found = document.find(traits.key);
                if (found == document.end() || found->is_null()) {
                    if (traits.saved == Saved::required) problem.set("\"" + std::string(traits.key) + "\" is missing");
                    return;
                }
                auto value = field.of(group);
                std::string inner;
                switch (readSidecarValue(*found, value, files, inner)) {
                    case Read::ok:
                        if (traits.zeroMeansUnset && isZero(value)) return;
                        clampNumber(value, traits);
                        field.of(group) = std::move(value);
                        s.keys.insert(std::string(traits.key));
                        return;
                    case Read::unusable: return;
                    case Read::malformed: problem.set("\"" + std::string(traits.key) + "\" " + inner); return;
                }
            },
            s.edit);
    }
    if (!problem.text.empty()) {
        if (error) *error = problem.text;
        return std::nullopt;
    }
    auto& cursor = s.edit.cursor;
    cursor.cursorIconSymbol = normalizedCursorIconSymbol(cursor.cursorIconSymbol);
    return s;
}

void applyProjectSidecar(const ProjectSidecar& sidecar, Edit& edit) {
    forEachEditField(
        [&](const auto& field, const auto& from, auto& to) {
            if (sidecar.has(field.traits.key)) field.of(to) = field.of(from);
        },
        sidecar.edit, edit);
}

std::filesystem::path exportSidecarPath(const std::filesystem::path& exportFile) {
    auto path = exportFile;
    path.replace_extension("zant.json");
    return path;
}

void writeExportSidecar(const std::filesystem::path& exportFile, const ProjectSidecar& sidecar) {
    writeFileAtomically(exportSidecarPath(exportFile), encodeProjectSidecarForExport(sidecar));
}

}  // namespace orvane
