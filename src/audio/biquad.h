#pragma once

namespace orvane {

// Second-order filter coefficients normalised to a0 = 1, designed after R. Bristow-Johnson's
// "Audio EQ Cookbook". Centre frequencies at or above 0.45 of the sample rate are pulled down to
// it, so a 10 kHz shelf on 16 kHz audio still gives a stable filter.
struct BiquadCoefficients {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;

    // A Butterworth (Q = 1/sqrt 2) high-pass: no resonant bump at the corner.
    static BiquadCoefficients highPass(double sampleRate, double frequency);
    // A bell of `gainDb` whose width is `bandwidthOctaves` between the half-gain points.
    static BiquadCoefficients peaking(double sampleRate, double frequency, double bandwidthOctaves, double gainDb);
    // A high shelf of `gainDb` with shelf slope 1 (the steepest without overshoot).
    static BiquadCoefficients highShelf(double sampleRate, double frequency, double gainDb);

    // Gain in dB at `frequency` (for checks and plots).
    double responseDb(double sampleRate, double frequency) const;
};

// One channel's filter state (transposed direct form II, in double precision so the 80 Hz
// high-pass keeps its accuracy at 48 kHz).
class Biquad {
public:
    explicit Biquad(const BiquadCoefficients& coefficients) : k_(coefficients) {}

    double process(double x) {
        const double y = k_.b0 * x + z1_;
        z1_ = k_.b1 * x - k_.a1 * y + z2_;
        z2_ = k_.b2 * x - k_.a2 * y;
        return y;
    }

private:
    BiquadCoefficients k_;
    double z1_ = 0;
    double z2_ = 0;
};

}  // namespace orvane
