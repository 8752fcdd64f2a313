#pragma once

#include <filesystem>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/project.h"
#include "model/recording_files.h"

namespace orvane {
class EditorSession;
class RecordingLibrary;
namespace app {
class Services;
}  // namespace app
}

namespace orvane::cli {

// A recording as the CLI prints it with --json: the meta.json keys plus where it lives.
nlohmann::json recordingJson(const RecordingMeta& meta, const RecordingFolder& folder);
nlohmann::json projectJson(const Project& project);

void printJson(const nlohmann::json& value);

// The recording's edit as the editor opens it, in the sidecar's JSON form.
nlohmann::json editOfRecording(app::Services& services, const std::string& id);

// Refuses an --out that is not a place for a new file: a folder, a device, a pipe or anything that
// is not a regular file, or a path inside the library's data folder (a recording's own files would
// be lost). Throws CommandFailed with a message that names the path.
void requireWritableOutput(app::Services& services, const std::filesystem::path& out);

// Says on stderr, once per command, that the saved edit could not be read and the default edit is
// used instead (a later save keeps the unreadable file as sidecar.json.corrupt).
void warnIfSavedEditUnreadable(const EditorSession& session);

// "1:05.2" for 65.2 s; "12:03:07.0" past an hour.
std::string formatDuration(std::int64_t milliseconds);
// Local date and minute, "2026-12-05 14:33".
std::string formatLocalDate(SystemTime time);

// Prints rows with columns padded to the widest cell; the first row is the header.
void printTable(const std::vector<std::vector<std::string>>& rows);

// A secret from a no-echo prompt on a terminal, else the first line of stdin; never from the
// command line, where other users could read it in the process list. Throws CommandFailed
// (usage) with `missing` when nothing was given.
std::string readSecretInput(const char* prompt, const char* missing);

}  // namespace orvane::cli
