#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/cursor_telemetry.h"
#include "model/project.h"
#include "model/recording_meta.h"

namespace orvane {

// The encoder shared by meta.json, cursor.json and projects.json: compact, keys sorted, ISO 8601
// dates, shortest round-trip numbers, rectangles as [[x,y],[w,h]]. Decoders require every
// non-optional key and answer nothing for anything that does not decode.
std::string encodeRecordingMeta(const RecordingMeta& meta);
std::optional<RecordingMeta> decodeRecordingMeta(std::string_view json);
// What a meta.json that no longer decodes still says, read loosely, field by field, over
// `fallback`: each field whose key is there and reads is taken, every other keeps the fallback's
// value. Text cut off part-way keeps the members that were whole before the cut.
RecordingMeta salvageRecordingMeta(std::string_view json, RecordingMeta fallback);
std::string encodeCursorTelemetry(const CursorTelemetry& telemetry);
std::optional<CursorTelemetry> decodeCursorTelemetry(std::string_view json);
std::string encodeProjects(const std::vector<Project>& projects);
std::optional<std::vector<Project>> decodeProjects(std::string_view json);

inline constexpr std::string_view kEditLockFileName = ".edit.lock";

// Where the files of one recording folder live.
struct RecordingFolder {
    std::filesystem::path directory;

    std::filesystem::path metaFile() const { return directory / "meta.json"; }
    std::filesystem::path cursorFile() const { return directory / "cursor.json"; }
    std::filesystem::path webcamFile() const { return directory / "webcam.mp4"; }
    std::filesystem::path micFile() const { return directory / "mic.m4a"; }
    std::filesystem::path sidecarFile() const { return directory / "sidecar.json"; }
    // Locked by every writer of sidecar.json across its read-modify-write.
    std::filesystem::path editLockFile() const { return directory / kEditLockFileName; }
    std::filesystem::path screenVideoFile(const RecordingMeta& meta) const {
        return directory / screenVideoFileName(meta);
    }
};

// A fresh RecordingMeta: the id, createdAt `now`, dimensions 0, fps 60, duration 0, all flags false.
RecordingMeta makeNewRecordingMeta(const Uuid& id, SystemTime now);

// Creates Recordings/<ID>/ (with intermediate folders) for a new UUID and answers the folder and
// its starting metadata. Nothing is written to meta.json yet. Throws std::filesystem_error.
std::pair<RecordingFolder, RecordingMeta> createRecordingFolder(const std::filesystem::path& recordingsRoot,
                                                                SystemTime now);

// Any read or decode failure answers nothing.
std::optional<RecordingMeta> readRecordingMeta(const RecordingFolder& folder);
// Atomic: a failure (thrown as std::system_error) leaves the previous meta.json intact.
void writeRecordingMeta(const RecordingFolder& folder, const RecordingMeta& meta);
// Reads cursor.json only when meta.hasCursor; a missing or undecodable file answers nothing.
std::optional<CursorTelemetry> readCursorTelemetry(const RecordingFolder& folder, const RecordingMeta& meta);

}  // namespace orvane
