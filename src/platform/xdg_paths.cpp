#include "platform/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace orvane {

namespace {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return std::filesystem::temp_directory_path();
}

// XDG base directories must be absolute; a relative value is ignored, as other desktop programs do.
std::filesystem::path fromEnvironment(const char* name, const std::filesystem::path& fallback) {
    if (const char* value = std::getenv(name); value && *value == '/') return value;
    return homeFolder() / fallback;
}

}  // namespace

std::filesystem::path XdgPaths::dataHome() { return fromEnvironment("XDG_DATA_HOME", ".local/share"); }
std::filesystem::path XdgPaths::configHome() { return fromEnvironment("XDG_CONFIG_HOME", ".config"); }
std::filesystem::path XdgPaths::cacheHome() { return fromEnvironment("XDG_CACHE_HOME", ".cache"); }

}  // namespace orvane
