#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "model/export_profile.h"
#include "model/scene_render_snapshot.h"
#include "support/temp_dir.h"

namespace orvane::testing {

// A 40-second edit of one recording file in `folder` (created with `bytes` as its contents); the
// cache hashes bytes, so the file need not be a playable movie.
inline SceneRenderSnapshot cacheTestSnapshot(const std::filesystem::path& folder,
                                             const std::string& bytes = "recording") {
    writeTextFile(folder / "screen.mp4", bytes);
    SceneRenderSnapshot s;
    s.videoPath = folder / "screen.mp4";
    s.clipBaseDirectory = folder;
    s.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, 40, 0}};
    s.edit.timeline.trimStart = 0;
    s.edit.timeline.trimEnd = 40;
    s.edit.frame.videoSize = {1280, 720};
    return s;
}

// 10 fps keeps frame times exact decimals (frame 55 is 5.5 s).
inline OutputProfile cacheTestProfile() { return OutputProfile{1280, 720, 10, 8'000'000, ExportQuality::standard}; }

// Consecutive segments of `frames` frames over [0, total).
inline std::vector<RenderSegment> evenSegments(int total, int frames) {
    std::vector<RenderSegment> segments;
    for (int start = 0, index = 0; start < total; start += frames, ++index) {
        segments.push_back({index, start, std::min(start + frames, total)});
    }
    return segments;
}

// Moves a file's modification time forward without touching its bytes.
inline void touchLater(const std::filesystem::path& file, int seconds) {
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(seconds));
}

// The names in a folder that contain ".pending-".
inline std::vector<std::string> pendingFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".pending-") != std::string::npos) names.push_back(name);
    }
    return names;
}

}  // namespace orvane::testing
