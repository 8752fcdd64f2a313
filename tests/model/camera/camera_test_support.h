#pragma once

#include <cstdint>
#include <vector>

#include "model/cursor_telemetry.h"

namespace orvane::testing {

// Samples every `stepMs` from `fromMs` to `toMs` inclusive, all at one position, released.
inline std::vector<CursorTelemetryPoint> restingTrack(std::int64_t fromMs, std::int64_t toMs, std::int64_t stepMs,
                                                      double x, double y) {
    std::vector<CursorTelemetryPoint> track;
    for (std::int64_t t = fromMs; t <= toMs; t += stepMs) track.push_back({t, x, y, false});
    return track;
}

// Marks the samples within [fromMs, toMs] as pressed.
inline void press(std::vector<CursorTelemetryPoint>& track, std::int64_t fromMs, std::int64_t toMs) {
    for (auto& p : track)
        if (p.t >= fromMs && p.t <= toMs) p.pressed = true;
}

}  // namespace orvane::testing
