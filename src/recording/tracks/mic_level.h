#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvane {

// The meter's raw reading of one buffer of signed 16-bit samples: RMS of the samples scaled to
// full scale, times 4 (speech sits well below full scale), capped at 1.
float micRawLevel(const std::int16_t* samples, std::size_t byteLength);

// Smooths raw readings and decides which to publish, so the meter moves smoothly without redrawing
// on every buffer: at most every 0.04 s, and only for a visible change (0.02) or a crossing of the
// 0.04 line that separates "silent" from "hearing something".
class MicLevelPublisher {
public:
    static constexpr double kMinInterval = 0.04;
    static constexpr float kMinChange = 0.02f;
    static constexpr float kSilenceLine = 0.04f;

    // `nowSeconds` is a monotonic time. Answers the new level when it is published.
    std::optional<float> offer(float raw, double nowSeconds);

    float level() const { return level_; }
    void reset();

private:
    float level_ = 0;
    float lastPublishedLevel_ = 0;
    std::optional<double> lastPublishedAt_;
};

}  // namespace orvane
