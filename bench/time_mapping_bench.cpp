// Time-mapping lookups as the preview and the exporter issue them: 10,000 per iteration.
#include <benchmark/benchmark.h>

#include <vector>

#include "model/time_mapping.h"

namespace {

using namespace orvane;

constexpr int kLookups = 10'000;

// A trimmed-down recording: 40 clips of 3-8 s with occasional gaps, as left by a round of cuts.
std::vector<Clip> realisticClips() {
    std::vector<Clip> clips;
    double source = 0;
    for (int i = 0; i < 40; ++i) {
        Clip clip;
        clip.sourceFile = "screen.mp4";
        clip.sourceStart = source;
        clip.sourceEnd = source + 3 + (i * 7) % 6;
        clip.headOffset = i % 5 == 0 ? 0.5 : 0;
        source = clip.sourceEnd + 1.5;  // the cut-out piece
        clips.push_back(clip);
    }
    return clips;
}

double compositionLength(const std::vector<Clip>& clips) {
    double length = 0;
    for (const auto& clip : clips) length += clip.headOffset + clipLength(clip);
    return length;
}

// 12 non-overlapping ramps over a 10-minute timeline.
std::vector<SpeedRamp> realisticRamps(bool shuffled) {
    std::vector<SpeedRamp> ramps;
    for (int i = 0; i < 12; ++i) {
        SpeedRamp ramp;
        ramp.start = 10 + i * 45.0;
        ramp.end = ramp.start + 5 + i % 4;
        ramp.speed = i % 3 == 0 ? 0.5 : 2 + i % 3;
        ramps.push_back(ramp);
    }
    if (shuffled) std::swap(ramps.front(), ramps.back());
    return ramps;
}

void BM_ClipMapping(benchmark::State& state) {
    const auto clips = realisticClips();
    const double step = compositionLength(clips) / kLookups;
    for (auto _ : state) {
        for (int i = 0; i < kLookups; ++i) benchmark::DoNotOptimize(clipMapping(step * i, clips));
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_ClipMapping);

void BM_SourceEventToComposition(benchmark::State& state) {
    const auto clips = realisticClips();
    const double step = clips.back().sourceEnd / kLookups;
    for (auto _ : state) {
        for (int i = 0; i < kLookups; ++i) benchmark::DoNotOptimize(compositionTimeOfSourceEvent(step * i, clips));
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_SourceEventToComposition);

void BM_OutputTimeToComposition(benchmark::State& state) {
    const auto ramps = realisticRamps(state.range(0) != 0);
    const double step = 600.0 / kLookups;
    for (auto _ : state) {
        for (int i = 0; i < kLookups; ++i) {
            benchmark::DoNotOptimize(compositionTimeForOutputTime(step * i, 2.0, ramps));
        }
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
}
// 0: ramps kept sorted as the editor stores them; 1: out of order, sorted on every call.
BENCHMARK(BM_OutputTimeToComposition)->Arg(0)->Arg(1);

// The whole frame path of one export: output frame -> composition time -> clip and source time.
void BM_FramePath(benchmark::State& state) {
    const auto clips = realisticClips();
    const auto ramps = realisticRamps(false);
    for (auto _ : state) {
        for (int frame = 0; frame < kLookups; ++frame) {
            const double c = compositionTimeForFrame(frame, 60, 0, ramps);
            benchmark::DoNotOptimize(clipMapping(c, clips));
        }
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_FramePath);

}  // namespace
