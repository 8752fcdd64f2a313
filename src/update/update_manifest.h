#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "update/release_version.h"

namespace orvane {

// One published release as the manifest describes it.
struct AppRelease {
    std::string version;
    std::optional<std::string> build;
    std::optional<std::string> downloadURL;   // "downloadUrl": absolute URL of the signed archive
    std::optional<std::string> downloadPath;  // "downloadPath": relative to the product web site

    ReleaseVersion releaseVersion() const { return {version, build}; }
};

// The published "/downloads/manifest.json": {"app": {...}}. A manifest without "app" announces
// nothing.
struct UpdateManifest {
    std::optional<AppRelease> app;

    // Throws ManifestDecodeError with a sentence naming what is wrong.
    static UpdateManifest decode(std::string_view text);
};

class ManifestDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace orvane
