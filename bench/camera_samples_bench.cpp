// The camera and cursor paths of a 10-minute edit sampled at 60 Hz for rendering, with 20
// cursor-following zooms over a 60 Hz telemetry track. Goal: camera samples under 50 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "model/camera/camera_samples.h"

namespace {

using namespace orvane;

constexpr double kEditLength = 600;

// A pointer wandering over the frame in smooth loops, sampled every 1/60 s.
std::vector<CursorTelemetryPoint> wanderingTrack() {
    std::vector<CursorTelemetryPoint> track;
    for (std::int64_t i = 0; i <= static_cast<std::int64_t>(kEditLength * 60); ++i) {
        const double s = static_cast<double>(i) / 60;
        track.push_back({static_cast<std::int64_t>(s * 1000), 0.5 + 0.4 * std::sin(s * 0.7),
                         0.5 + 0.4 * std::cos(s * 0.45), false});
    }
    return track;
}

// Twenty following zooms of 8 s, one every 30 s.
std::vector<ZoomRegion> followingZooms() {
    std::vector<ZoomRegion> zooms;
    for (int i = 0; i < 20; ++i) {
        ZoomRegion zoom;
        zoom.start = 10 + 30.0 * i;
        zoom.end = zoom.start + 8;
        zoom.scale = 1.8;
        zoom.followCursor = true;
        zoom.easeSpeed = 0.5;
        zooms.push_back(zoom);
    }
    return zooms;
}

void BM_CameraSamples(benchmark::State& state) {
    const auto track = wanderingTrack();
    const auto zooms = followingZooms();
    const CameraInputs inputs{.zoomRegions = zooms, .cursorTrack = track, .cameraSmoothing = 0.6};
    for (auto _ : state) benchmark::DoNotOptimize(cameraSamples(inputs, 0, kEditLength));
}
BENCHMARK(BM_CameraSamples)->Unit(benchmark::kMillisecond);

void BM_CursorSamples(benchmark::State& state) {
    const auto track = wanderingTrack();
    const CameraInputs inputs{.cursorTrack = track};
    for (auto _ : state) benchmark::DoNotOptimize(cursorSamples(inputs, 0, kEditLength));
}
BENCHMARK(BM_CursorSamples)->Unit(benchmark::kMillisecond);

}  // namespace
