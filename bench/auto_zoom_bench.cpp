// Automatic zooms for 500 clicks over a 10-minute recording with a 60 Hz telemetry track, including
// the cursor-exit trim. Goal: under 5 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "editor/auto_zoom.h"

namespace {

using namespace orvane;

constexpr double kLength = 600;
constexpr int kClicks = 500;

// Bursts of clicks with pauses between them, the pointer drifting between click targets.
std::vector<ClickAnnotation> clickBursts() {
    std::vector<ClickAnnotation> clicks;
    double t = 0.4;
    for (int i = 0; i < kClicks; ++i) {
        ClickAnnotation click;
        click.time = t;
        click.cx = 0.5 + 0.4 * std::sin(t * 0.7);
        click.cy = 0.5 + 0.4 * std::cos(t * 0.45);
        clicks.push_back(click);
        t += i % 4 == 3 ? 2.3 : 0.6;
    }
    return clicks;
}

std::vector<CursorTelemetryPoint> track() {
    std::vector<CursorTelemetryPoint> points;
    for (std::int64_t i = 0; i <= static_cast<std::int64_t>(kLength * 60); ++i) {
        const double s = static_cast<double>(i) / 60;
        points.push_back({static_cast<std::int64_t>(s * 1000), 0.5 + 0.4 * std::sin(s * 0.7),
                          0.5 + 0.4 * std::cos(s * 0.45), false});
    }
    return points;
}

void BM_AutoZoomsFromClicks(benchmark::State& state) {
    const auto clicks = clickBursts();
    const auto points = track();
    const AutoZoomInputs inputs{.duration = kLength, .cursorTrack = points, .cameraSmoothing = 0.6};
    for (auto _ : state) benchmark::DoNotOptimize(autoZoomsFromClicks(clicks, inputs));
}
BENCHMARK(BM_AutoZoomsFromClicks)->Unit(benchmark::kMillisecond);

}  // namespace
