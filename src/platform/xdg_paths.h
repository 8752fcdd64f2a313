#pragma once

#include <filesystem>

namespace orvane {

// The XDG base folders for Orvane, read from the environment at each call so a test or a CLI user
// can point them elsewhere with XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_CACHE_HOME.
struct XdgPaths {
    // $XDG_DATA_HOME, else ~/.local/share
    static std::filesystem::path dataHome();
    // $XDG_CONFIG_HOME, else ~/.config
    static std::filesystem::path configHome();
    // $XDG_CACHE_HOME, else ~/.cache
    static std::filesystem::path cacheHome();

    static std::filesystem::path orvaneDataRoot() { return dataHome() / "Orvane"; }
    static std::filesystem::path legacyDataRoot() { return dataHome() / "Zant"; }
    static std::filesystem::path orvaneConfigFolder() { return configHome() / "Orvane"; }
    static std::filesystem::path orvaneCacheFolder() { return cacheHome() / "Orvane"; }
};

}  // namespace orvane
