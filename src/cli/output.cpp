#include "cli/output.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "app/services.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "editor/editor_session.h"

namespace orvane::cli {

nlohmann::json recordingJson(const RecordingMeta& meta, const RecordingFolder& folder) {
    auto json = nlohmann::json::parse(encodeRecordingMeta(meta));
    json["folder"] = folder.directory.string();
    json["screenVideo"] = folder.screenVideoFile(meta).string();
    return json;
}

nlohmann::json projectJson(const Project& project) {
    auto members = nlohmann::json::array();
    for (const auto& id : project.recordingIDs) members.push_back(id.string());
    return {{"id", project.id.string()},
            {"name", project.name},
            {"recordingIDs", members},
            {"createdAt", formatIso8601(project.createdAt)}};
}

void printJson(const nlohmann::json& value) {
    // The dump escapes C0 controls inside strings itself, so its raw line breaks are layout; the
    // escapes added line by line for the rest are JSON escapes too, and a reader decodes the same text.
    const std::string text = value.dump(2);
    std::string safe;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        safe += terminalSafeText(std::string_view(text).substr(start, end - start));
        safe += '\n';
        start = end + 1;
    }
    std::fputs(safe.c_str(), stdout);
}

std::string formatDuration(std::int64_t milliseconds) {
    const auto tenths = std::max<std::int64_t>(milliseconds, 0) / 100;
    const auto totalSeconds = tenths / 10;
    char buffer[48];
    if (totalSeconds >= 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld.%lld", static_cast<long long>(totalSeconds / 3600),
                      static_cast<long long>(totalSeconds / 60 % 60), static_cast<long long>(totalSeconds % 60),
                      static_cast<long long>(tenths % 10));
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld.%lld", static_cast<long long>(totalSeconds / 60),
                      static_cast<long long>(totalSeconds % 60), static_cast<long long>(tenths % 10));
    }
    return buffer;
}

std::string formatLocalDate(SystemTime time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
    return buffer;
}

namespace {
// Display width of UTF-8 text, counting each code point as one column.
std::size_t columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}
}  // namespace

void printTable(const std::vector<std::vector<std::string>>& given) {
    // Cells hold titles, names and file names from disk: escaped before the columns are measured.
    std::vector<std::vector<std::string>> rows = given;
    for (auto& row : rows) {
        for (auto& cell : row) cell = terminalSafeText(cell);
    }
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], columns(row[i]));
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - columns(row[i]) + 2, ' ');
        }
        std::printf("%s\n", line.c_str());
    }
}

void requireWritableOutput(app::Services& services, const std::filesystem::path& out) {
    namespace fs = std::filesystem;
    std::error_code error;
    const auto status = fs::symlink_status(out, error);
    if (status.type() != fs::file_type::not_found && !error) {
        const auto target = fs::status(out, error);
        if (error || !fs::is_regular_file(target)) {
            throw CommandFailed(kUsage, out.string() + " is not a regular file; give a new file name");
        }
    }
    // The library's folder holds recordings, their edits and the project list: never an output.
    const auto dataRoot = fs::weakly_canonical(services.library().location().recordingsRoot.parent_path(), error);
    const auto resolved = fs::weakly_canonical(fs::absolute(out), error);
    const auto inside = std::mismatch(dataRoot.begin(), dataRoot.end(), resolved.begin(), resolved.end());
    if (!dataRoot.empty() && inside.first == dataRoot.end()) {
        throw CommandFailed(
            kUsage, out.string() + " is inside Orvane's library (" + dataRoot.string() + "); write it somewhere else");
    }
}

void warnIfSavedEditUnreadable(const EditorSession& session) {
    const auto& loaded = session.loadResult();
    if (loaded.sidecar != SidecarLoadOutcome::unreadable) return;
    std::fprintf(stderr, "warning: the saved edit %s could not be read (%s); using the default edit\n",
                 session.folder().sidecarFile().c_str(), loaded.sidecarProblem.c_str());
}

}  // namespace orvane::cli
