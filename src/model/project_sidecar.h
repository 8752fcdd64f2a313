#pragma once

// sidecar.json: the saved edit of one recording, and the same record written beside an export. The
// file's edit keys are the saved fields of model/edit_fields.h; the record adds what the file says
// about itself. File references are written by name when the file lies in the recording folder, so a
// moved folder keeps working, and resolved against the folder when read.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "base/iso8601.h"
#include "model/edit.h"

namespace orvane {

inline constexpr std::string_view kSidecarFileName = "sidecar.json";
inline constexpr std::string_view kCaptionsFileName = "captions.json";
inline constexpr std::string_view kDraftExportKind = "draft";

struct ProjectSidecar {
    std::int64_t version = 1;  // every writer writes 1; nothing reads it (newer fields are optional keys)
    std::string exportKind{kDraftExportKind};  // "draft", or the preset of the export it travels with
    std::string sourceVideo;                   // screen.mp4 or screen.mov
    std::optional<SystemTime> lastAppliedRemoteUpdatedAt;
    Edit edit;
    // The edit keys the file holds. A key it lacks, or whose value cannot be used here (an unknown
    // style, a file that is not in the folder, a stored 0 for a time not set yet), leaves the
    // editor's value as it is.
    std::set<std::string, std::less<>> keys;
    // Where file references point; not itself in the file.
    std::filesystem::path recordingFolder;

    bool has(std::string_view key) const { return keys.contains(key); }
    bool operator==(const ProjectSidecar&) const = default;
};

// The date key counts seconds from 2001-01-01 00:00:00 UTC.
double secondsSinceReferenceDate(SystemTime time);
SystemTime dateFromSecondsSinceReferenceDate(double seconds);

// The record of an edit of the screen video `videoPath`, holding every saved field.
ProjectSidecar makeProjectSidecar(const Edit& edit, const std::filesystem::path& videoPath,
                                  std::optional<SystemTime> lastAppliedRemoteUpdatedAt,
                                  std::string_view exportKind = kDraftExportKind);

// Compact, keys in the file's order: the editor's own sidecar.json.
std::string encodeProjectSidecar(const ProjectSidecar& sidecar);
// Pretty-printed with sorted keys: the copy that travels with an export.
std::string encodeProjectSidecarForExport(const ProjectSidecar& sidecar);
// Requires every required key (of the items too) with the right type; unknown keys are ignored.
// Anything else answers nothing, with the first problem in `error` when asked.
std::optional<ProjectSidecar> decodeProjectSidecar(std::string_view json, const std::filesystem::path& recordingFolder,
                                                   std::string* error = nullptr);

// Replaces the values of `edit` that the sidecar holds.
void applyProjectSidecar(const ProjectSidecar& sidecar, Edit& edit);

// Where an export's sidecar goes: the export's name with its extension replaced by "zant.json".
std::filesystem::path exportSidecarPath(const std::filesystem::path& exportFile);
// Writes it atomically; throws std::system_error when it cannot be written.
void writeExportSidecar(const std::filesystem::path& exportFile, const ProjectSidecar& sidecar);

}  // namespace orvane
