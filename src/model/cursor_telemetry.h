#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace orvane {

// One sample of the pointer during capture: `t` in whole milliseconds since the sampler started
// (truncated), position as fractions of the captured display (0...1, origin top left), and whether
// the left button was down.
struct CursorTelemetryPoint {
    std::int64_t t = 0;
    double cx = 0;
    double cy = 0;
    bool pressed = false;

    bool operator==(const CursorTelemetryPoint&) const = default;
};

// The content of cursor.json: samples in capture order (times non-decreasing) and the sampling rate.
struct CursorTelemetry {
    std::vector<CursorTelemetryPoint> points;
    std::int64_t sampleHz = 60;

    bool operator==(const CursorTelemetry&) const = default;
};

}  // namespace orvane

template <>
struct std::hash<orvane::CursorTelemetryPoint> {
    std::size_t operator()(const orvane::CursorTelemetryPoint& p) const noexcept;
};
template <>
struct std::hash<orvane::CursorTelemetry> {
    std::size_t operator()(const orvane::CursorTelemetry& t) const noexcept;
};
