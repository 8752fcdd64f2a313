// How long the editor's preview waits for one frame at typical preview sizes, from a 1920 x 1080
// recording: a scrub (jumping about, each frame alone as renderOutputFrame draws it for the
// export) and playback (frames 1/30 s apart through the preview's PreviewFrames, which reads on
// from the last frame). Playback stays smooth while a frame takes less than its interval; beyond
// that the preview asks ahead by its measured render time and drops frames that arrive late.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "export/output_frame.h"
#include "media/sample_video.h"
#include "model/scene_render_snapshot.h"
#include "studio/editor/preview_frames.h"

namespace {

using namespace orvane;
namespace fs = std::filesystem;

constexpr double kSeconds = 6;

fs::path recordingFolder() {
    static const fs::path folder = [] {
        const fs::path made = fs::temp_directory_path() / "orvane-preview-bench";
        fs::create_directories(made);
        if (!fs::exists(made / "screen.mp4")) {
            writeSampleVideo(
                made / "screen.mp4",
                SampleVideoLayout{.width = 1920, .height = 1080, .fps = 30, .seconds = kSeconds, .withAudio = false});
        }
        return made;
    }();
    return folder;
}

std::shared_ptr<const SceneRenderSnapshot> snapshot() {
    auto s = std::make_shared<SceneRenderSnapshot>();
    s->videoPath = recordingFolder() / "screen.mp4";
    s->clipBaseDirectory = recordingFolder();
    Clip clip;
    clip.sourceFile = "screen.mp4";
    clip.sourceEnd = kSeconds;
    s->edit.timeline.clips = {clip};
    s->edit.timeline.duration = kSeconds;
    s->edit.timeline.trimEnd = kSeconds;
    s->edit.frame.background = BackgroundStyle::venturaBlue;
    s->edit.frame.videoSize = {1920, 1080};
    ZoomRegion zoom;
    zoom.start = 1;
    zoom.end = 5;
    zoom.scale = 1.8;
    s->edit.timeline.zoomRegions = {zoom};
    for (int i = 0; i <= 60 * static_cast<int>(kSeconds); ++i) {
        const double t = i / 60.0;
        s->cursorSamples.push_back({t, 0.5 + 0.3 * std::cos(t), 0.5 + 0.2 * std::sin(t)});
    }
    return s;
}

// Arguments: preview width and height in device pixels.
void BM_PreviewFrame(benchmark::State& state) {
    const auto edit = snapshot();
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    double time = 0.5;
    for (auto _ : state) {
        auto frame = renderOutputFrame(edit, recordingFolder(), time, width, height);
        benchmark::DoNotOptimize(frame);
        if (!frame) state.SkipWithError("no frame");
        time = std::fmod(time + 0.37, kSeconds - 0.5);  // a scrub: never the same frame twice
    }
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PreviewFrame)->Args({960, 540})->Args({1600, 900})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PreviewPlayback(benchmark::State& state) {
    const auto edit = snapshot();
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    studio::PreviewFrames frames;
    double time = 0;
    for (auto _ : state) {
        auto frame = frames.render(edit, recordingFolder(), time, width, height);
        benchmark::DoNotOptimize(frame);
        if (!frame) state.SkipWithError("no frame");
        time += 1.0 / 30;
        if (time > kSeconds - 0.5) time = 0;
    }
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PreviewPlayback)->Args({960, 540})->Args({1600, 900})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
