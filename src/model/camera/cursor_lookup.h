#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "model/clip.h"
#include "model/cursor_telemetry.h"

namespace orvane {

// A pointer position in normalised frame coordinates (0...1, origin top left).
struct CursorPosition {
    double x = 0;
    double y = 0;

    bool operator==(const CursorPosition&) const = default;
};

// Linear interpolation in a track sorted by `t` (source time in milliseconds), held at the ends.
// Nothing for an empty track. `sourceTime` must be finite.
std::optional<CursorPosition> cursorPosition(std::span<const CursorTelemetryPoint> track, double sourceTime);

// Standard deviation of the cursor smoothing in milliseconds for a camera smoothing value.
double cursorSmoothingSigmaMs(double cameraSmoothing);
// The smoothing window reaches this many whole milliseconds either side of the asked time.
std::int64_t cursorSmoothingHalfWindowMs(double cameraSmoothing);

// Gaussian-weighted mean of the samples within the smoothing window around `sourceTime`; nothing
// when the window holds no sample. The window is found by binary search and nothing is allocated,
// because the camera asks this once per following zoom for every preview frame and render sample.
std::optional<CursorPosition> smoothedCursor(std::span<const CursorTelemetryPoint> track, double sourceTime,
                                             double cameraSmoothing);

// The same lookup with the Gaussian weights tabulated once per smoothing value (the offsets are
// whole milliseconds), for callers that ask many times: the 60 Hz render grid and the auto-zoom
// exit check. Answers are identical to smoothedCursor's.
class CursorSmoother {
public:
    explicit CursorSmoother(double cameraSmoothing);

    std::optional<CursorPosition> at(std::span<const CursorTelemetryPoint> track, double sourceTime) const;
    double cameraSmoothing() const { return cameraSmoothing_; }

private:
    double cameraSmoothing_;
    std::vector<double> weights_;  // by |t - ms|, 0...half window
};

// The recording time shown at a composition time: unchanged with no clips, otherwise through the
// clip layout (nothing in gaps and outside every clip).
std::optional<double> sourceTimeForComposition(double compositionTime, std::span<const Clip> clips);

}  // namespace orvane
