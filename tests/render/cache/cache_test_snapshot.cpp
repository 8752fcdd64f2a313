#include "render/cache/cache_test_snapshot.h"

#include <chrono>

#include "support/temp_dir.h"

namespace orvane::testing {

SceneRenderSnapshot cacheTestSnapshot(const std::filesystem::path& folder, const std::string& bytes) {
    writeTextFile(folder / "screen.mp4", bytes);
    SceneRenderSnapshot s;
    s.videoURL = folder / "screen.mp4";
    s.clipBaseDirectory = folder;
    s.clips = {Clip{Uuid::random(), "screen.mp4", 0, 40, 0}};
    s.trimStart = 0;
    s.trimEnd = 40;
    s.videoSize = {1280, 720};
    return s;
}

OutputProfile cacheTestProfile() { return OutputProfile{1280, 720, 10, 8'000'000, ExportQuality::standard}; }

std::vector<RenderSegment> evenSegments(int total, int frames) {
    std::vector<RenderSegment> segments;
    for (int start = 0, index = 0; start < total; start += frames, ++index) {
        segments.push_back({index, start, std::min(start + frames, total)});
    }
    return segments;
}

void touchLater(const std::filesystem::path& file, int seconds) {
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(seconds));
}

std::vector<std::string> pendingFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".pending-") != std::string::npos) names.push_back(name);
    }
    return names;
}

}  // namespace orvane::testing
