// A 10 s, 1920 x 1080, 60 fps recording exported as an edit (styled background, window shadow, a
// zoom, a ring cursor and two clicks) against the outside ffmpeg doing the nearest plain job:
// decode, scale, overlay on the same background picture, encode with the same libx264 settings.
// Then the same edit exported with the segment render cache after a click moved inside one
// segment, which renders that segment again and joins the rest.
//
// Each benchmark runs once (a whole export); counters give output frames per second and the CPU
// seconds all threads of the process spent, since on a shared machine wall time says little alone.
#include <benchmark/benchmark.h>

#include <cairo.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/log.h"
#include "export/cache/segment_render_cache.h"
#include "export/scene_video_exporter.h"
#include "media/cairo_handles.h"
#include "media/external_tools.h"
#include "media/sample_video.h"
#include "model/scene_render_snapshot.h"
#include "render/backdrop/background_renderer.h"
#include "render/scene/frame_layout.h"

namespace {

using namespace orvane;
namespace fs = std::filesystem;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFps = 60;
constexpr double kSeconds = 10;
constexpr int kFrames = 600;

const OutputProfile kProfile{kWidth, kHeight, kFps, 18'000'000, ExportQuality::high};

// The source movie and the background picture, made once per run in a scratch folder.
struct BenchMedia {
    fs::path folder;
    fs::path recording;
    fs::path backgroundPng;

    BenchMedia() {
        folder = fs::temp_directory_path() / "orvane-export-bench";
        fs::create_directories(folder);
        recording = folder / "screen.mp4";
        if (!fs::exists(recording)) {
            writeSampleVideo(
                recording,
                SampleVideoLayout{
                    .width = kWidth, .height = kHeight, .fps = kFps, .seconds = kSeconds, .withAudio = false});
        }
        backgroundPng = folder / "background.png";
        const cairo::Surface background =
            renderBackground(BackgroundStyle::venturaBlue, std::nullopt, kWidth, kHeight);
        cairo_surface_write_to_png(background.get(), backgroundPng.c_str());
    }
};

BenchMedia& media() {
    static BenchMedia instance;
    return instance;
}

std::shared_ptr<SceneRenderSnapshot> editSnapshot(double secondClickTime) {
    auto s = std::make_shared<SceneRenderSnapshot>();
    s->videoPath = media().recording;
    s->clipBaseDirectory = media().folder;
    Clip clip;
    clip.sourceFile = "screen.mp4";
    clip.sourceEnd = kSeconds;
    s->edit.timeline.clips = {clip};
    s->edit.timeline.trimEnd = kSeconds;
    s->edit.frame.background = BackgroundStyle::venturaBlue;
    s->edit.frame.inset = 0.04;
    s->edit.frame.cornerRadius = 12;
    s->edit.frame.videoSize = {kWidth, kHeight};
    ZoomRegion zoom;
    zoom.start = 3;
    zoom.end = 6;
    zoom.scale = 1.8;
    zoom.focusX = 0.3;
    zoom.focusY = 0.4;
    s->edit.timeline.zoomRegions = {zoom};
    for (int i = 0; i <= kFrames; ++i) {
        const double t = i / 60.0;
        s->cursorSamples.push_back({t, 0.5 + 0.3 * std::cos(t * 0.9), 0.5 + 0.25 * std::sin(t * 1.3)});
    }
    ClickAnnotation first;
    first.time = 4.0;
    first.cx = 0.3;
    first.cy = 0.4;
    ClickAnnotation second;
    second.time = secondClickTime;
    second.cx = 0.7;
    second.cy = 0.6;
    s->edit.cursor.annotations = {first, second};
    s->edit.cursor.cursorVisualStyle = CursorVisualStyle::ring;
    return s;
}

double processCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// CPU seconds of the waited-for child processes so far.
double childrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wall and CPU time from construction; the CPU time of an outside tool counts its child process.
class Stopwatch {
public:
    Stopwatch() : wall_(std::chrono::steady_clock::now()), cpu_(processCpuSeconds()) {}
    void report(benchmark::State& state, int frames, double childCpuSeconds = 0) const {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
        state.SetIterationTime(seconds);
        state.counters["frames_per_s"] = frames / seconds;
        state.counters["cpu_s"] = processCpuSeconds() - cpu_ + childCpuSeconds;
    }

private:
    std::chrono::steady_clock::time_point wall_;
    double cpu_;
};

// The exporter's own per-phase figures for the last attempt, as the benchmark's label.
class PhaseLabel {
public:
    PhaseLabel()
        : sink_([this](log::Level, const std::string& line) {
              const auto at = line.find("decode ");
              if (at != std::string::npos && line.find("per frame") != std::string::npos) last_ = line.substr(at);
          }) {}
    const std::string& text() const { return last_; }

private:
    std::string last_;
    log::ScopedSink sink_;
};

void BM_ExportEdit(benchmark::State& state) {
    const auto snapshot = editSnapshot(8.2);
    const fs::path output = media().folder / "export.mp4";
    PhaseLabel phases;
    for (auto _ : state) {
        const Stopwatch watch;
        SceneVideoExporter().render(snapshot, kProfile, output, nullptr);
        watch.report(state, kFrames);
    }
    state.SetLabel(phases.text());
}
BENCHMARK(BM_ExportEdit)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_FfmpegDecodeScaleOverlayEncode(benchmark::State& state) {
    const auto ffmpeg = FFmpegTool::locate("ffmpeg");
    if (!ffmpeg) {
        state.SkipWithError("ffmpeg is not installed");
        return;
    }
    // The window where the exporter's layout puts it: same size and place, no rounding or shadow.
    const auto snapshot = editSnapshot(8.2);
    const Rect window = topLeftRect(frameLayout(*snapshot, Rect{0, 0, kWidth, kHeight}, CameraState{}).content, kHeight);
    const auto even = [](double v) { return std::to_string(static_cast<int>(std::lround(v / 2)) * 2); };
    const std::string filter = "[1:v]scale=" + even(window.width) + ":" + even(window.height) + "[w];[0:v][w]overlay=" +
                               even(window.x) + ":" + even(window.y) + ":shortest=1,format=yuv420p";
    const fs::path output = media().folder / "ffmpeg.mp4";
    const std::vector<std::string> arguments = {
        "-hide_banner", "-loglevel", "error", "-y", "-loop", "1", "-framerate", std::to_string(kFps),
        "-i", media().backgroundPng.string(), "-i", media().recording.string(), "-filter_complex", filter,
        "-an", "-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high",
        "-b:v", std::to_string(kProfile.bitrate), "-maxrate", std::to_string(kProfile.bitrate * 3 / 2),
        "-bufsize", std::to_string(kProfile.bitrate * 2), "-g", std::to_string(2 * kFps), "-r", std::to_string(kFps),
        output.string()};
    for (auto _ : state) {
        const Stopwatch watch;
        const double childCpu = childrenCpuSeconds();
        FFmpegTool::run(*ffmpeg, arguments);
        watch.report(state, kFrames, childrenCpuSeconds() - childCpu);
    }
}
BENCHMARK(BM_FfmpegDecodeScaleOverlayEncode)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// All five segments rendered into an empty cache: the segmented path's own cost over one attempt.
void BM_ExportEditIntoEmptySegmentCache(benchmark::State& state) {
    const fs::path cacheFolder = media().folder / "segment-cache-empty";
    fs::remove_all(cacheFolder);
    SegmentRenderCache cache(cacheFolder);
    const auto snapshot = editSnapshot(8.2);
    for (auto _ : state) {
        const Stopwatch watch;
        SceneVideoExporter(&cache).render(snapshot, kProfile, media().folder / "segmented.mp4", nullptr);
        watch.report(state, kFrames);
    }
}
BENCHMARK(BM_ExportEditIntoEmptySegmentCache)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The second click moves within the last two-second segment: only that segment is rendered again.
void BM_ReexportAfterOneSegmentEdit(benchmark::State& state) {
    const fs::path cacheFolder = media().folder / "segment-cache";
    fs::remove_all(cacheFolder);
    SegmentRenderCache cache(cacheFolder);
    SceneVideoExporter(&cache).render(editSnapshot(8.2), kProfile, media().folder / "before-edit.mp4", nullptr);
    const auto edited = editSnapshot(8.4);
    int reused = 0;
    for (auto _ : state) {
        const Stopwatch watch;
        SceneVideoExporter(&cache).render(edited, kProfile, media().folder / "after-edit.mp4",
                                          [&](double, std::optional<std::string> status) {
                                              const std::string text = status.value_or(std::string());
                                              if (text.compare(0, 8, "Reusing ") == 0) {
                                                  reused = std::atoi(text.c_str() + 8);
                                              }
                                          });
        watch.report(state, kFrames);
    }
    state.counters["segments_reused"] = reused;
}
BENCHMARK(BM_ReexportAfterOneSegmentEdit)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
