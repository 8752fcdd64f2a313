#include "audio/loudness.h"

#include <ebur128.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>

namespace orvane {

namespace {

struct StateDeleter {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};

}  // namespace

double integratedLoudness(const AudioBuffer& buffer) {
    constexpr double kSilence = -std::numeric_limits<double>::infinity();
    if (buffer.sampleRate <= 0 || buffer.channels <= 0) {
        throw std::runtime_error("Cannot measure loudness of audio without a sample rate or channels");
    }
    if (buffer.frames() == 0) return kSilence;
    std::unique_ptr<ebur128_state, StateDeleter> state(ebur128_init(
        static_cast<unsigned>(buffer.channels), static_cast<unsigned long>(buffer.sampleRate), EBUR128_MODE_I));
    if (!state) throw std::runtime_error("Cannot set up the loudness measurement");
    if (ebur128_add_frames_float(state.get(), buffer.samples.data(), buffer.frames()) != EBUR128_SUCCESS) {
        throw std::runtime_error("Loudness measurement failed");
    }
    double loudness = kSilence;
    if (ebur128_loudness_global(state.get(), &loudness) != EBUR128_SUCCESS) {
        throw std::runtime_error("Loudness measurement failed");
    }
    // libebur128 answers -HUGE_VAL when every block falls below the absolute gate.
    return loudness == -HUGE_VAL ? kSilence : loudness;
}

}  // namespace orvane
