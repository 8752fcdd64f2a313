#pragma once

#include <cstddef>
#include <memory>

#include "audio/audio_buffer.h"

namespace orvane {

// Integrated loudness in LUFS after ITU-R BS.1770 (K-weighting, 400 ms blocks every 100 ms, an
// absolute gate at -70 LUFS and a relative gate 10 LU below the ungated level), measured by
// libebur128. Silence, a buffer shorter than one block and an empty buffer all measure -infinity.
// Channels follow the usual order (left, right, centre, LFE, surrounds); the LFE does not count.
// Throws std::runtime_error when the measurement cannot be set up (bad rate or channels).
double integratedLoudness(const AudioBuffer& buffer);

// The same measurement fed piece by piece, so a long mix is measured without holding all of it.
// Throws std::runtime_error when it cannot be set up or a piece cannot be taken.
class LoudnessMeter {
public:
    LoudnessMeter(int sampleRate, int channels);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // `frames` interleaved frames of the meter's channel count.
    void add(const float* samples, std::size_t frames);
    // Integrated loudness of everything added so far; -infinity for silence or too little audio.
    double integrated() const;

private:
    struct State;  // libebur128's state, destroyed with the meter
    std::unique_ptr<State> state_;
};

}  // namespace orvane
