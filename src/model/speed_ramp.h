#pragma once

#include <cstddef>
#include <functional>

#include "base/uuid.h"

namespace orvane {

// A composition-time range played at another rate. The stored speed is kept as given; every place
// that applies a ramp floors it at kMinimumRampSpeed so a zero or negative speed never stalls time.
struct SpeedRamp {
    Uuid id = Uuid::random();
    double start = 0;
    double end = 0;
    double speed = 2;

    bool operator==(const SpeedRamp&) const = default;
};

inline constexpr double kMinimumRampSpeed = 0.1;
// Bounds of speeds accepted from commands and from outside.
inline constexpr double kMaximumRampSpeed = 8;

// The speed actually applied: max(speed, 0.1).
double effectiveSpeed(const SpeedRamp& ramp);
// Composition time covered: max(end - start, 0).
double rampLength(const SpeedRamp& ramp);
// Output time the covered range plays in: length / effective speed.
double rampOutputLength(const SpeedRamp& ramp);

}  // namespace orvane

template <>
struct std::hash<orvane::SpeedRamp> {
    std::size_t operator()(const orvane::SpeedRamp& ramp) const noexcept;
};
