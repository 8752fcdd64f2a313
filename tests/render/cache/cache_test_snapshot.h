#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "render/export/export_profile.h"
#include "render/scene_snapshot.h"

namespace orvane::testing {

// A 40-second edit of one recording file in `folder` (created with `bytes` as its contents); the
// cache hashes bytes, so the file need not be a playable movie.
SceneRenderSnapshot cacheTestSnapshot(const std::filesystem::path& folder, const std::string& bytes = "recording");

// 10 fps keeps frame times exact decimals (frame 55 is 5.5 s).
OutputProfile cacheTestProfile();

// Consecutive segments of `frames` frames over [0, total).
std::vector<RenderSegment> evenSegments(int total, int frames);

// Moves a file's modification time forward without touching its bytes.
void touchLater(const std::filesystem::path& file, int seconds);

// The names in a folder that contain ".pending-".
std::vector<std::string> pendingFiles(const std::filesystem::path& folder);

}  // namespace orvane::testing
