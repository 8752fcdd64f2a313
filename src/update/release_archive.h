#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orvane {

// What a release tree says about itself, in share/orvane/release.json: the product identifier (the
// same for every release of the product), the version and the build. The updater refuses a tree
// whose identity is not the running program's or whose version is not the one the manifest named.
struct ReleaseIdentity {
    std::string identifier;
    std::string version;
    std::optional<std::string> build;

    static constexpr const char* kRelativePath = "share/orvane/release.json";
    // Nothing when the file is missing or malformed.
    static std::optional<ReleaseIdentity> read(const std::filesystem::path& root);
};

// The product identifier every release carries.
inline constexpr const char* kOrvaneProductIdentifier = "org.orvane.Orvane";

// Unpacks a release archive (tar with gzip, xz or zstd) into `destination`, which must not exist yet.
// Entries that would land outside it (absolute paths, "..", links leading out) are refused, so a
// hostile archive cannot write anywhere else. Answers the release tree inside: the single top-level
// folder when there is exactly one (CPack names it after the package), else `destination` itself.
// Throws UpdateInstallError::archiveUnreadable when the archive is damaged or truncated.
std::filesystem::path unpackReleaseArchive(const std::filesystem::path& archive,
                                           const std::filesystem::path& destination);

}  // namespace orvane
