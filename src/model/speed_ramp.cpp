#include "model/speed_ramp.h"

#include <algorithm>

#include "base/hash.h"

namespace orvane {

double effectiveSpeed(const SpeedRamp& ramp) { return std::max(ramp.speed, kMinimumRampSpeed); }

double rampLength(const SpeedRamp& ramp) { return std::max(ramp.end - ramp.start, 0.0); }

double rampOutputLength(const SpeedRamp& ramp) { return rampLength(ramp) / effectiveSpeed(ramp); }

}  // namespace orvane

std::size_t std::hash<orvane::SpeedRamp>::operator()(const orvane::SpeedRamp& ramp) const noexcept {
    return orvane::HashBuilder().add(ramp.id).add(ramp.start).add(ramp.end).add(ramp.speed).result();
}
