#include "model/camera/camera_samples.h"

#include <algorithm>
#include <cmath>

#include "model/edit.h"

namespace orvane {

std::int64_t cameraSampleIntervals(double trimStart, double trimEnd) {
    // A damaged edit must not ask for billions of samples.
    const double length = std::clamp(trimEnd - trimStart, 0.0, kMaximumEditLength);
    return std::max(static_cast<std::int64_t>(std::ceil(length * kCameraSampleRate)), std::int64_t{1});
}

std::vector<CameraSample> cameraSamples(const CameraInputs& given, double trimStart, double trimEnd) {
    const std::int64_t n = cameraSampleIntervals(trimStart, trimEnd);
    // Tens of thousands of evaluations: tabulate the smoothing weights once.
    std::optional<CursorSmoother> smoother;
    CameraInputs inputs = given;
    if (!inputs.smoother && !inputs.cursorTrack.empty()) inputs.smoother = &smoother.emplace(inputs.cameraSmoothing);
    std::vector<CameraSample> samples;
    samples.reserve(static_cast<std::size_t>(n) + 1);
    for (std::int64_t i = 0; i <= n; ++i) {
        const double t = trimStart + static_cast<double>(i) / kCameraSampleRate;
        const CameraState state = cameraState(inputs, t);
        samples.push_back({t, state.scale, state.focusX, state.focusY});
    }
    return samples;
}

std::vector<CursorSample> cursorSamples(const CameraInputs& inputs, double trimStart, double trimEnd) {
    const std::int64_t n = cameraSampleIntervals(trimStart, trimEnd);
    std::vector<CursorSample> samples;
    if (inputs.cursorTrack.empty()) return samples;
    samples.reserve(static_cast<std::size_t>(n) + 1);
    for (std::int64_t i = 0; i <= n; ++i) {
        const double t = trimStart + static_cast<double>(i) / kCameraSampleRate;
        const auto sourceTime = sourceTimeForComposition(t, inputs.clips);
        if (!sourceTime) continue;
        const auto position = cursorPosition(inputs.cursorTrack, *sourceTime);
        if (!position) continue;
        samples.push_back({t, position->x, position->y});
    }
    return samples;
}

}  // namespace orvane
