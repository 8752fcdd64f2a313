#include "platform/linux/desktop_entry.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "platform/xdg_paths.h"

extern char** environ;

namespace orvane {

namespace {

constexpr const char* kEntryFileName = "orvane-studio.desktop";

// Values of string keys escape "\" as "\\" and control characters; an Exec line is first quoted
// (above) and then escaped again as a string.
std::string escapeValue(std::string_view value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

// Runs a desktop tool and waits; a tool that is not installed is skipped, one that fails is logged.
void runTool(std::vector<std::string> argv) {
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0].c_str(), nullptr, nullptr, pointers.data(), environ);
    if (spawned != 0) {
        if (spawned != ENOENT) log::warning(log_area::kApp, "couldn't run %s: error %d", argv[0].c_str(), spawned);
        return;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // posix_spawnp reports a missing program as exit status 127 on some C libraries.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        log::warning(log_area::kApp, "%s did not succeed (status %d)", argv[0].c_str(), status);
    }
}

}  // namespace

std::string desktopExecArgument(std::string_view argument) {
    // Field codes stay bare so the desktop expands them.
    if (argument.size() == 2 && argument[0] == '%') return std::string(argument);
    bool needsQuotes = argument.empty();
    for (const char c : argument) {
        if (std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos) needsQuotes = true;
    }
    std::string out;
    for (const char c : argument) {
        if (c == '%') {
            out += "%%";  // a literal percent sign in an Exec line
        } else if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return needsQuotes ? "\"" + out + "\"" : out;
}

std::string DesktopEntry::text() const {
    std::string exec = desktopExecArgument(executable.string());
    for (const auto& argument : arguments) exec += " " + desktopExecArgument(argument);
    std::string out = "[Desktop Entry]\nType=Application\nVersion=1.5\n";
    out += "Name=" + escapeValue(name) + "\n";
    if (!comment.empty()) out += "Comment=" + escapeValue(comment) + "\n";
    out += "Exec=" + escapeValue(exec) + "\n";
    if (!icon.empty()) out += "Icon=" + escapeValue(icon) + "\n";
    out += "Terminal=false\n";
    if (noDisplay) out += "NoDisplay=true\n";
    if (!mimeTypes.empty()) {
        out += "MimeType=";
        for (const auto& type : mimeTypes) out += escapeValue(type) + ";";
        out += "\n";
    }
    out += "Categories=AudioVideo;Video;Recorder;\n";
    return out;
}

std::filesystem::path studioDesktopEntryPath() { return XdgPaths::dataHome() / "applications" / kEntryFileName; }

void installStudioDesktopEntry(const std::filesystem::path& studioExecutable, const std::vector<std::string>& schemes) {
    DesktopEntry entry;
    entry.comment = "Record, edit and share screen recordings";
    entry.executable = studioExecutable;
    entry.arguments = {"%u"};
    entry.icon = "orvane-studio";
    for (const auto& scheme : schemes) entry.mimeTypes.push_back("x-scheme-handler/" + scheme);

    const auto path = studioDesktopEntryPath();
    std::filesystem::create_directories(path.parent_path());
    writeFileAtomically(path, entry.text());
    runTool({"update-desktop-database", path.parent_path().string()});
    for (const auto& type : entry.mimeTypes) runTool({"xdg-mime", "default", kEntryFileName, type});
}

void removeStudioDesktopEntry() {
    const auto path = studioDesktopEntryPath();
    std::error_code error;
    std::filesystem::remove(path, error);
    if (error) throw std::system_error(error, "Couldn't remove " + path.string());
    runTool({"update-desktop-database", path.parent_path().string()});
}

}  // namespace orvane
