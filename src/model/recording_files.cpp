#include "model/recording_files.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "base/json_depth.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "model/geometry_json.h"

namespace orvane {

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// ---- Encoding -------------------------------------------------------------------------------

// Numbers in their shortest round-trip form: an integral double is written as an integer ("999",
// not "999.0"), up to 2^53 where doubles stop being exact integers. Non-finite values would be
// written as null and make the whole file undecodable, losing the recording from the library, so
// they become 0 instead.
void normalizeNumbers(json& value) {
    if (value.is_structured()) {
        for (auto& child : value) normalizeNumbers(child);
        return;
    }
    if (!value.is_number_float()) return;
    const double number = value.get<double>();
    if (!std::isfinite(number)) {
        log::warning(log_area::kRecording, "non-finite number written as 0");
        value = 0;
        return;
    }
    constexpr double kExactLimit = 9007199254740992.0;  // 2^53
    if (number == std::trunc(number) && std::fabs(number) < kExactLimit) {
        value = static_cast<std::int64_t>(number);
    }
}

// One encoder set-up for every recording-side file: nlohmann's default object keeps its keys in a
// std::map, so they come out sorted; dump() without indent is compact.
std::string dumpShared(json value) {
    normalizeNumbers(value);
    return value.dump();
}

template <typename T>
void putOptional(json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}

void putOptionalRect(json& object, const char* key, const std::optional<Rect>& value) {
    if (value) object[key] = rectToJson(*value);
}

json metaToJson(const RecordingMeta& meta) {
    json object = json::object();
    object["id"] = meta.id.string();
    object["createdAt"] = formatIso8601(meta.createdAt);
    object["displayWidth"] = meta.displayWidth;
    object["displayHeight"] = meta.displayHeight;
    object["fps"] = meta.fps;
    object["durationMs"] = meta.durationMs;
    object["hasSystemAudio"] = meta.hasSystemAudio;
    object["hasWebcam"] = meta.hasWebcam;
    object["hasCursor"] = meta.hasCursor;
    object["hasMicrophone"] = meta.hasMicrophone;
    putOptional(object, "recordedWithAlpha", meta.recordedWithAlpha);
    if (meta.sourceKind) object["sourceKind"] = std::string(rawValue(*meta.sourceKind));
    putOptional(object, "sourceTitle", meta.sourceTitle);
    putOptional(object, "sourceIsSimulator", meta.sourceIsSimulator);
    putOptionalRect(object, "facePIPNormalizedFrame", meta.facePIPNormalizedFrame);
    putOptional(object, "facePIPCornerRadius", meta.facePIPCornerRadius);
    putOptional(object, "clickCaptureActive", meta.clickCaptureActive);
    putOptional(object, "capturedSystemCursor", meta.capturedSystemCursor);
    putOptionalRect(object, "captureSourceCrop", meta.captureSourceCrop);
    putOptional(object, "preferredCursorVisualStyle", meta.preferredCursorVisualStyle);
    putOptional(object, "preferredCursorClickAnimationStyle", meta.preferredCursorClickAnimationStyle);
    putOptional(object, "preferredCursorIconSymbol", meta.preferredCursorIconSymbol);
    putOptional(object, "hostedShareToken", meta.hostedShareToken);
    putOptional(object, "hostedShareAPIBaseURL", meta.hostedShareAPIBaseURL);
    putOptional(object, "hostedShareURL", meta.hostedShareURL);
    putOptional(object, "hostedSharePermission", meta.hostedSharePermission);
    putOptional(object, "remoteVideoID", meta.remoteVideoID);
    putOptional(object, "replyToShareToken", meta.replyToShareToken);
    putOptional(object, "replyToShareAPIBaseURL", meta.replyToShareAPIBaseURL);
    return object;
}

// ---- Decoding -------------------------------------------------------------------------------

std::optional<json> parseObject(std::string_view text) {
    json value = parseJsonWithinDepth<json>(text);
    if (!value.is_object()) return std::nullopt;
    return value;
}

// Integers may arrive as 1920.0 from other writers; they decode when the value is integral.
bool read(const json& value, std::int64_t& out) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
        out = static_cast<std::int64_t>(number);
        return true;
    }
    if (value.is_number_integer()) {
        out = value.get<std::int64_t>();
        return true;
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        constexpr double kLimit = 9223372036854775808.0;  // 2^63
        if (!std::isfinite(number) || number != std::trunc(number) || number >= kLimit || number < -kLimit) {
            return false;
        }
        out = static_cast<std::int64_t>(number);
        return true;
    }
    return false;
}

bool read(const json& value, double& out) {
    if (!value.is_number()) return false;
    out = value.get<double>();
    return true;
}

bool read(const json& value, bool& out) {
    if (!value.is_boolean()) return false;
    out = value.get<bool>();
    return true;
}

bool read(const json& value, std::string& out) {
    if (!value.is_string()) return false;
    out = value.get<std::string>();
    return true;
}

bool read(const json& value, SystemTime& out) {
    if (!value.is_string()) return false;
    auto parsed = parseIso8601(value.get_ref<const std::string&>());
    if (!parsed) return false;
    out = *parsed;
    return true;
}

bool read(const json& value, Uuid& out) {
    if (!value.is_string()) return false;
    auto parsed = Uuid::parse(value.get_ref<const std::string&>());
    if (!parsed) return false;
    out = *parsed;
    return true;
}

bool read(const json& value, Rect& out) {
    auto parsed = rectFromJson(value);
    if (!parsed) return false;
    out = *parsed;
    return true;
}

bool read(const json& value, CursorTelemetryPoint& out);
bool read(const json& value, Project& out);

template <typename T>
bool read(const json& value, std::vector<T>& out) {
    if (!value.is_array()) return false;
    out.clear();
    out.reserve(value.size());
    for (const auto& element : value) {
        T item{};
        if (!read(element, item)) return false;
        out.push_back(std::move(item));
    }
    return true;
}

// Walks one JSON object; the first missing or mistyped key fails the whole document, and is named
// in the debug log so a user's "why is my recording not listed" can be answered. A loose reader
// never fails: a key that is missing or does not read leaves its field as it was.
class ObjectReader {
public:
    enum class Mode { strict, loose };
    ObjectReader(const json& object, const char* what, Mode mode = Mode::strict)
        : object_(object), what_(what), loose_(mode == Mode::loose) {}

    template <typename T>
    ObjectReader& required(const char* key, T& out) {
        if (!ok_) return *this;
        const auto it = object_.find(key);
        if (it == object_.end()) return fail(key, "is missing");
        T value{};
        if (!read(*it, value)) return fail(key, "has the wrong type");
        out = std::move(value);
        return *this;
    }

    // Absent and null both mean "no value"; a loose reader keeps the field for an absent key.
    template <typename T>
    ObjectReader& optional(const char* key, std::optional<T>& out) {
        if (!ok_) return *this;
        const auto it = object_.find(key);
        if (it == object_.end()) {
            if (!loose_) out.reset();
            return *this;
        }
        if (it->is_null()) {
            out.reset();
            return *this;
        }
        T value{};
        if (!read(*it, value)) return fail(key, "has the wrong type");
        out = std::move(value);
        return *this;
    }

    const json* find(const char* key) const {
        const auto it = object_.find(key);
        return it == object_.end() || it->is_null() ? nullptr : &*it;
    }

    ObjectReader& fail(const char* key, const char* problem) {
        if (ok_) log::debug(log_area::kRecording, "%s: \"%s\" %s", what_, key, problem);
        if (!loose_) ok_ = false;
        return *this;
    }

    bool ok() const { return ok_; }

private:
    const json& object_;
    const char* what_;
    bool loose_;
    bool ok_ = true;
};

// The members of a top-level object, as far as the text reads. A member counts once the parser
// has gone past it (to the next key or the closing brace), so a value cut short by a truncated
// write ("12" of "1280") is never taken; members after a syntax error are lost.
class MemberCollector final : public json::json_sax_t {
public:
    json members = json::object();

    bool null() override { return add(nullptr); }
    bool boolean(bool value) override { return add(value); }
    bool number_integer(number_integer_t value) override { return add(value); }
    bool number_unsigned(number_unsigned_t value) override { return add(value); }
    bool number_float(number_float_t value, const string_t&) override { return add(value); }
    bool string(string_t& value) override { return add(value); }
    bool binary(binary_t& value) override { return add(json::binary(value)); }
    bool start_object(std::size_t) override { return open(json::object()); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_array() override { return close(); }
    bool key(string_t& name) override {
        if (open_.size() == 1) commitMember();
        keys_.back() = name;
        if (open_.size() == 1) pendingKey_ = name;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    json* place(json value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        json& parent = *open_.back();
        if (parent.is_object()) {
            json& slot = parent[keys_.back()];
            slot = std::move(value);
            return &slot;
        }
        parent.push_back(std::move(value));
        return &parent.back();
    }
    bool add(json value) {
        place(std::move(value));
        return true;
    }
    // Only the innermost open container is ever written to, and it is always its parent's last
    // element, so the pointers on the stack stay valid.
    bool open(json container) {
        open_.push_back(place(std::move(container)));
        keys_.emplace_back();
        return true;
    }
    bool close() {
        if (open_.size() == 1) commitMember();
        open_.pop_back();
        keys_.pop_back();
        return true;
    }
    void commitMember() {
        if (pendingKey_ && root_.is_object() && root_.contains(*pendingKey_)) members[*pendingKey_] = root_[*pendingKey_];
        pendingKey_.reset();
    }

    json root_;
    std::vector<json*> open_;
    std::vector<std::string> keys_;
    std::optional<std::string> pendingKey_;
};

bool read(const json& value, CursorTelemetryPoint& out) {
    if (!value.is_object()) return false;
    ObjectReader reader(value, "cursor.json point");
    reader.required("t", out.t).required("cx", out.cx).required("cy", out.cy).required("pressed", out.pressed);
    return reader.ok();
}

bool read(const json& value, Project& out) {
    if (!value.is_object()) return false;
    ObjectReader reader(value, "projects.json entry");
    reader.required("id", out.id)
        .required("name", out.name)
        .required("recordingIDs", out.recordingIDs)
        .required("createdAt", out.createdAt);
    return reader.ok();
}

}  // namespace

std::string encodeRecordingMeta(const RecordingMeta& meta) { return dumpShared(metaToJson(meta)); }

namespace {

// Every field of meta.json into `meta`; a strict reader stops at the first that does not read.
bool readMetaFields(ObjectReader& reader, RecordingMeta& meta) {
    reader.required("id", meta.id)
        .required("createdAt", meta.createdAt)
        .required("displayWidth", meta.displayWidth)
        .required("displayHeight", meta.displayHeight)
        .required("fps", meta.fps)
        .required("durationMs", meta.durationMs)
        .required("hasSystemAudio", meta.hasSystemAudio)
        .required("hasWebcam", meta.hasWebcam)
        .required("hasCursor", meta.hasCursor)
        .required("hasMicrophone", meta.hasMicrophone)
        .optional("recordedWithAlpha", meta.recordedWithAlpha)
        .optional("sourceTitle", meta.sourceTitle)
        .optional("sourceIsSimulator", meta.sourceIsSimulator)
        .optional("facePIPNormalizedFrame", meta.facePIPNormalizedFrame)
        .optional("facePIPCornerRadius", meta.facePIPCornerRadius)
        .optional("clickCaptureActive", meta.clickCaptureActive)
        .optional("capturedSystemCursor", meta.capturedSystemCursor)
        .optional("captureSourceCrop", meta.captureSourceCrop)
        .optional("preferredCursorVisualStyle", meta.preferredCursorVisualStyle)
        .optional("preferredCursorClickAnimationStyle", meta.preferredCursorClickAnimationStyle)
        .optional("preferredCursorIconSymbol", meta.preferredCursorIconSymbol)
        .optional("hostedShareToken", meta.hostedShareToken)
        .optional("hostedShareAPIBaseURL", meta.hostedShareAPIBaseURL)
        .optional("hostedShareURL", meta.hostedShareURL)
        .optional("hostedSharePermission", meta.hostedSharePermission)
        .optional("remoteVideoID", meta.remoteVideoID)
        .optional("replyToShareToken", meta.replyToShareToken)
        .optional("replyToShareAPIBaseURL", meta.replyToShareAPIBaseURL);

    // A source kind written by a newer build must not hide the whole recording from the library:
    // an unrecognised string reads as "no source kind"; only a non-string is a decoding error.
    std::optional<std::string> kind;
    reader.optional("sourceKind", kind);
    if (!reader.ok()) return false;
    if (kind) {
        meta.sourceKind = recordingSourceKindFromRaw(*kind);
        if (!meta.sourceKind)
            log::info(log_area::kRecording, "meta.json: unknown sourceKind \"%s\" ignored", kind->c_str());
    }
    return true;
}

}  // namespace

std::optional<RecordingMeta> decodeRecordingMeta(std::string_view text) {
    const auto object = parseObject(text);
    if (!object) return std::nullopt;
    RecordingMeta meta;
    ObjectReader reader(*object, "meta.json");
    if (!readMetaFields(reader, meta)) return std::nullopt;
    return meta;
}

RecordingMeta salvageRecordingMeta(std::string_view text, RecordingMeta fallback) {
    MemberCollector collector;
    json::sax_parse(text.begin(), text.end(), &collector);
    ObjectReader reader(collector.members, "meta.json (salvaged)", ObjectReader::Mode::loose);
    readMetaFields(reader, fallback);
    return fallback;
}

std::string encodeCursorTelemetry(const CursorTelemetry& telemetry) {
    json points = json::array();
    for (const auto& point : telemetry.points) {
        points.push_back({{"t", point.t}, {"cx", point.cx}, {"cy", point.cy}, {"pressed", point.pressed}});
    }
    return dumpShared({{"points", std::move(points)}, {"sampleHz", telemetry.sampleHz}});
}

std::optional<CursorTelemetry> decodeCursorTelemetry(std::string_view text) {
    const auto object = parseObject(text);
    if (!object) return std::nullopt;
    CursorTelemetry telemetry;
    ObjectReader reader(*object, "cursor.json");
    reader.required("points", telemetry.points).required("sampleHz", telemetry.sampleHz);
    if (!reader.ok()) return std::nullopt;
    return telemetry;
}

std::string encodeProjects(const std::vector<Project>& projects) {
    json array = json::array();
    for (const auto& project : projects) {
        json ids = json::array();
        for (const auto& id : project.recordingIDs) ids.push_back(id.string());
        array.push_back({{"id", project.id.string()},
                         {"name", project.name},
                         {"recordingIDs", std::move(ids)},
                         {"createdAt", formatIso8601(project.createdAt)}});
    }
    return dumpShared(std::move(array));
}

std::optional<std::vector<Project>> decodeProjects(std::string_view text) {
    const json value = parseJsonWithinDepth<json>(text);
    std::vector<Project> projects;
    if (!read(value, projects)) return std::nullopt;
    return projects;
}

RecordingMeta makeNewRecordingMeta(const Uuid& id, SystemTime now) {
    RecordingMeta meta;
    meta.id = id;
    meta.createdAt = now;
    meta.displayWidth = 0;
    meta.displayHeight = 0;
    meta.fps = 60;
    meta.durationMs = 0;
    meta.hasSystemAudio = false;
    meta.hasWebcam = false;
    meta.hasCursor = false;
    meta.hasMicrophone = false;
    return meta;
}

std::pair<RecordingFolder, RecordingMeta> createRecordingFolder(const fs::path& recordingsRoot, SystemTime now) {
    const auto id = Uuid::random();
    RecordingFolder folder{recordingsRoot / id.string()};
    fs::create_directories(folder.directory);
    return {std::move(folder), makeNewRecordingMeta(id, now)};
}

std::optional<RecordingMeta> readRecordingMeta(const RecordingFolder& folder) {
    const auto text = readFileContents(folder.metaFile());
    if (!text) return std::nullopt;
    auto meta = decodeRecordingMeta(*text);
    if (!meta) log::debug(log_area::kRecording, "%s does not decode", folder.metaFile().c_str());
    return meta;
}

void writeRecordingMeta(const RecordingFolder& folder, const RecordingMeta& meta) {
    writeFileAtomically(folder.metaFile(), encodeRecordingMeta(meta));
}

std::optional<CursorTelemetry> readCursorTelemetry(const RecordingFolder& folder, const RecordingMeta& meta) {
    if (!meta.hasCursor) return std::nullopt;
    const auto file = folder.cursorFile();
    std::error_code missing;
    if (!fs::exists(file, missing)) return std::nullopt;
    const auto text = readFileContents(file, kTelemetryFileLimit);
    auto telemetry = text ? decodeCursorTelemetry(*text) : std::nullopt;
    if (!telemetry) {
        log::skippedFile(log_area::kRecording, "cursor track", file, text ? "not valid cursor data" : "unreadable file",
                         "the recording has no cursor data");
    }
    return telemetry;
}

}  // namespace orvane
