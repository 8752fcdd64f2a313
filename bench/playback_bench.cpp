// The editor's playback engine on real files:
// - preview playback of a 1920x1080 60 fps recording with a zoom, the ring cursor and a caption,
//   drawn at 960x540: frames shown per second and the share dropped (goal: 30 or more, at most 1 %);
// - scrub-to-frame latency: from a scrub on the main loop to the composed frame back on it, for
//   jumps across the recording and for a drag in small steps (goal: under 100 ms);
// - thumbnails (30 cells) and a 2000-peak waveform of a 10-minute recording, cold (goal: under 2 s).
// The sound goes to the session's sound server when one answers, else the steady clock paces play.
// Generated sources are kept in $TMPDIR/orvane-playback-bench between runs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/event_loop.h"
#include "editor/editor_state.h"
#include "media/sample_video.h"
#include "platform/pulse/pulse_audio_output.h"
#include "playback/preview_player.h"
#include "playback/preview_scene.h"
#include "playback/timeline_media.h"

namespace {

using namespace orvane;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::shared_ptr<const SceneRenderSnapshot> clipListScene(const EditorState& state) {
    return makePreviewScene(state, ScreenTrackSource::clipList);
}

fs::path benchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    fs::path folder = fs::path(tmp && *tmp ? tmp : "/tmp") / "orvane-playback-bench";
    fs::create_directories(folder);
    return folder;
}

fs::path sample(const std::string& name, SampleVideoLayout layout) {
    const auto file = benchFolder() / name;
    if (!fs::exists(file)) writeSampleVideo(file, layout);
    return file;
}

fs::path hdRecording() {
    SampleVideoLayout layout;
    layout.width = 1920;
    layout.height = 1080;
    layout.fps = 60;
    layout.seconds = 8;
    return sample("screen-1080p60.mp4", layout);
}

std::unique_ptr<EditorState> styledEdit(const fs::path& video) {
    auto state = std::make_unique<EditorState>(Uuid::random(), video);
    state->modify([&](EditorValues& v) {
        v.nominalFrameRate = 60;
        v.edit.frame.videoSize = {1920, 1080};
        v.edit.timeline.clips = {Clip{Uuid::random(), video.filename().string(), 0, 8, 0}};
        v.edit.timeline.duration = 8;
        v.edit.timeline.trimEnd = 8;
        ZoomRegion zoom;
        zoom.start = 0.5;
        zoom.end = 7.5;
        zoom.scale = 1.8;
        v.edit.timeline.zoomRegions = {zoom};
        v.edit.cursor.showCursorRing = true;
        CaptionSegment caption;
        caption.start = 0;
        caption.end = 8;
        caption.text = "Open the project settings and pick a colour";
        v.edit.captions.captions = {caption};
    });
    // A pointer that never rests, so the cursor and the followed zoom move every frame.
    CursorTelemetry track;
    for (std::int64_t ms = 0; ms <= 8000; ms += 16) {
        const double s = static_cast<double>(ms) / 1000;
        track.points.push_back({ms, 0.5 + 0.3 * std::sin(s), 0.5 + 0.3 * std::cos(1.3 * s), false});
    }
    state->cursorTrack = track;
    return state;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::unique_ptr<AudioOutput> soundOutput() {
    try {
        return makePulseAudioOutput("orvane-bench");
    } catch (const std::exception&) {
        return nullptr;
    }
}

void BM_PreviewPlayback(benchmark::State& bench) {
    const auto video = hdRecording();
    auto output = soundOutput();
    for (auto _ : bench) {
        EventLoop loop;
        auto state = styledEdit(video);
        PreviewPlayer player(loop, output.get(), 960, 540, bench.range(0));
        PreviewCoordinator coordinator(
            *state, player, loop, [](const auto&) { return true; }, clipListScene);
        loop.postAfter(1s, [&] { state->modify([](EditorValues& v) { v.isPlaying = true; }); });
        PreviewPlayerStats atStart;
        double cpuAtStart = 0;
        loop.postAfter(1500ms, [&] {  // after the start-up
            atStart = player.stats();
            cpuAtStart = processCpuSeconds();
        });
        loop.postAfter(6500ms, [&] { loop.stop(); });
        loop.run();
        const auto stats = player.stats();
        const double cpu = processCpuSeconds() - cpuAtStart;
        const double shown = static_cast<double>(stats.framesShown - atStart.framesShown);
        const double dropped = static_cast<double>(stats.framesDropped - atStart.framesDropped);
        bench.counters["shown_fps"] = shown / 5.0;
        bench.counters["dropped_pct"] = 100.0 * dropped / std::max(shown + dropped, 1.0);
        bench.counters["sound"] = output ? 1 : 0;
        const double composed = static_cast<double>(stats.framesComposed - atStart.framesComposed);
        bench.counters["cpu_ms_per_frame"] =
            1000 * (stats.composeCpuSeconds - atStart.composeCpuSeconds) / std::max(composed, 1.0);
        // Decoder threads, the sound mix and the main loop included: what a frame costs the machine.
        bench.counters["process_cpu_ms_per_frame"] = 1000 * cpu / std::max(composed, 1.0);
    }
}
BENCHMARK(BM_PreviewPlayback)->Arg(30)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// `jump`: scrubs 2.9 s apart (a click on the timeline, a fresh seek each); otherwise a drag of
// 0.1 s steps, forwards then backwards.
void scrubToFrame(benchmark::State& bench, bool jump) {
    const auto video = hdRecording();
    EventLoop loop;
    auto state = styledEdit(video);
    PreviewPlayer player(loop, nullptr, 960, 540, 60);
    PreviewCoordinator coordinator(
        *state, player, loop, [](const auto&) { return true; }, clipListScene);
    double wanted = -1;
    player.setFrameSink([&](std::shared_ptr<const PreviewFrame> frame) {
        if (frame->time == wanted) loop.stop();
    });
    // The first frame after opening pays for the background and decoders; not a scrub.
    wanted = 0;
    loop.run();
    std::vector<double> latencies;
    int step = 0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : bench) {
        // Back and forth over the recording, as a hand drags.
        if (jump) {
            wanted = std::fmod(0.37 + 2.9 * step, 7.9);
        } else {
            const int phase = step % 40;
            wanted = 2.0 + 0.1 * (phase < 20 ? phase : 40 - phase);
        }
        ++step;
        const auto begin = std::chrono::steady_clock::now();
        coordinator.beginScrub(false);
        coordinator.scrub(wanted);
        coordinator.endScrub();
        loop.run();
        latencies.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
    }
    bench.counters["process_cpu_ms_per_scrub"] =
        1000 * (processCpuSeconds() - cpuBefore) / static_cast<double>(std::max<std::size_t>(latencies.size(), 1));
    const auto stats = player.stats();
    bench.counters["cpu_ms_per_frame"] = 1000 * stats.composeCpuSeconds / std::max<double>(stats.framesComposed, 1);
    std::sort(latencies.begin(), latencies.end());
    bench.counters["median_ms"] = latencies[latencies.size() / 2];
    bench.counters["max_ms"] = latencies.back();
}
void BM_ScrubJump(benchmark::State& bench) { scrubToFrame(bench, true); }
void BM_ScrubDrag(benchmark::State& bench) { scrubToFrame(bench, false); }
BENCHMARK(BM_ScrubJump)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScrubDrag)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ThumbnailsAndWaveform(benchmark::State& bench) {
    SampleVideoLayout layout;
    layout.width = 1280;
    layout.height = 720;
    layout.fps = 30;
    layout.seconds = 600;
    const auto video = sample("screen-10min.mp4", layout);
    for (auto _ : bench) {
        EventLoop loop;
        auto thumbnails = makeUtilityQueue("orvane.thumbs");
        auto waveforms = makeUtilityQueue("orvane.wave");
        ClipFrameCache frames(loop, *thumbnails);
        WaveformCache peaks(loop, *waveforms);
        const auto times = clipFrameStripTimes(0, 600, 30);
        std::size_t arrived = 0;
        bool waveform = false;
        auto check = [&] {
            if (arrived == times.size() && waveform) loop.stop();
        };
        auto s1 = frames.frameReady.subscribe([&](const ClipFrameKey&) {
            ++arrived;
            check();
        });
        auto s2 = peaks.peaksReady.subscribe([&](const fs::path&) {
            waveform = true;
            check();
        });
        for (double t : times) frames.frame(video, t, 64, 36);
        peaks.peaks(video, 2000);
        loop.run();
    }
}
BENCHMARK(BM_ThumbnailsAndWaveform)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
