#include "recording/tracks/mic_level.h"

#include <algorithm>
#include <cmath>

namespace orvane {

float micRawLevel(const std::int16_t* samples, std::size_t byteLength) {
    const std::size_t count = byteLength / 2;
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double s = samples[i] / 32767.0;
        sum += s * s;
    }
    const double rms = std::sqrt(sum / static_cast<double>(std::max<std::size_t>(count, 1)));
    return static_cast<float>(std::clamp(rms * 4.0, 0.0, 1.0));
}

std::optional<float> MicLevelPublisher::offer(float raw, double nowSeconds) {
    const float smoothed = 0.4f * raw + 0.6f * level_;
    if (lastPublishedAt_ && nowSeconds - *lastPublishedAt_ < kMinInterval) return std::nullopt;
    const bool bigChange = std::fabs(smoothed - lastPublishedLevel_) >= kMinChange;
    const bool crossed = (smoothed < kSilenceLine) != (lastPublishedLevel_ < kSilenceLine);
    if (!bigChange && !crossed) return std::nullopt;
    level_ = smoothed;
    lastPublishedLevel_ = smoothed;
    lastPublishedAt_ = nowSeconds;
    return smoothed;
}

void MicLevelPublisher::reset() {
    level_ = 0;
    lastPublishedLevel_ = 0;
    lastPublishedAt_.reset();
}

}  // namespace orvane
