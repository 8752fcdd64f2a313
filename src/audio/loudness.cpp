#include "audio/loudness.h"

#include <ebur128.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace orvane {

struct LoudnessMeter::State {
    ebur128_state* meter = nullptr;
    ~State() {
        if (meter) ebur128_destroy(&meter);
    }
};

LoudnessMeter::LoudnessMeter(int sampleRate, int channels) : state_(std::make_unique<State>()) {
    if (sampleRate <= 0 || channels <= 0) {
        throw std::runtime_error("Cannot measure loudness of audio without a sample rate or channels");
    }
    state_->meter =
        ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), EBUR128_MODE_I);
    if (!state_->meter) throw std::runtime_error("Cannot set up the loudness measurement");
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const float* samples, std::size_t frames) {
    if (frames == 0) return;
    if (ebur128_add_frames_float(state_->meter, samples, frames) != EBUR128_SUCCESS) {
        throw std::runtime_error("Loudness measurement failed");
    }
}

double LoudnessMeter::integrated() const {
    constexpr double kSilence = -std::numeric_limits<double>::infinity();
    double loudness = kSilence;
    if (ebur128_loudness_global(state_->meter, &loudness) != EBUR128_SUCCESS) {
        throw std::runtime_error("Loudness measurement failed");
    }
    // libebur128 answers -HUGE_VAL when every block falls below the absolute gate.
    return loudness == -HUGE_VAL ? kSilence : loudness;
}

double integratedLoudness(const AudioBuffer& buffer) {
    LoudnessMeter meter(buffer.sampleRate, buffer.channels);
    meter.add(buffer.samples.data(), buffer.frames());
    return meter.integrated();
}

}  // namespace orvane
