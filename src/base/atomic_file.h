#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Writes through a uniquely named temporary file in the same folder, fsyncs it, renames it over the
// target and fsyncs the folder. A crash or a full disk at any point leaves the previous file intact.
// Throws std::system_error on failure; the temporary file is removed on every failure path.
// `mode` is the permission of the new file (secrets use 0600).
void writeFileAtomically(const std::filesystem::path& target, std::string_view contents, unsigned mode = 0644);

// A hidden, uniquely named sibling of `target` that keeps its extension ("dir/.clip-1A2B3C4D.partial.mp4"),
// for writers that produce a file in place and rename it over the target when done, so tools that
// go by the extension still see the right container.
std::filesystem::path partialSiblingPath(const std::filesystem::path& target);

// The whole file, or nothing when it is missing or unreadable.
std::optional<std::string> readFileContents(const std::filesystem::path& path);

}  // namespace orvane
