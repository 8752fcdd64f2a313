#include "audio/biquad.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace orvane {

namespace {

double angularFrequency(double sampleRate, double frequency) {
    const double f = std::min(frequency, 0.45 * sampleRate);
    return 2.0 * std::numbers::pi * f / sampleRate;
}

BiquadCoefficients normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

}  // namespace

BiquadCoefficients BiquadCoefficients::highPass(double sampleRate, double frequency) {
    const double w0 = angularFrequency(sampleRate, frequency);
    const double cosw = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * std::numbers::sqrt2 / 2.0);
    return normalised((1 + cosw) / 2, -(1 + cosw), (1 + cosw) / 2, 1 + alpha, -2 * cosw, 1 - alpha);
}

BiquadCoefficients BiquadCoefficients::peaking(double sampleRate, double frequency, double bandwidthOctaves,
                                               double gainDb) {
    const double w0 = angularFrequency(sampleRate, frequency);
    const double a = std::pow(10.0, gainDb / 40.0);
    const double sinw = std::sin(w0);
    const double alpha = sinw * std::sinh(std::numbers::ln2 / 2.0 * bandwidthOctaves * w0 / sinw);
    const double cosw = std::cos(w0);
    return normalised(1 + alpha * a, -2 * cosw, 1 - alpha * a, 1 + alpha / a, -2 * cosw, 1 - alpha / a);
}

BiquadCoefficients BiquadCoefficients::highShelf(double sampleRate, double frequency, double gainDb) {
    const double w0 = angularFrequency(sampleRate, frequency);
    const double a = std::pow(10.0, gainDb / 40.0);
    const double cosw = std::cos(w0);
    const double alpha = std::sin(w0) / 2.0 * std::numbers::sqrt2;  // shelf slope 1
    const double root = 2.0 * std::sqrt(a) * alpha;
    return normalised(a * ((a + 1) + (a - 1) * cosw + root), -2 * a * ((a - 1) + (a + 1) * cosw),
                      a * ((a + 1) + (a - 1) * cosw - root), (a + 1) - (a - 1) * cosw + root,
                      2 * ((a - 1) - (a + 1) * cosw), (a + 1) - (a - 1) * cosw - root);
}

double BiquadCoefficients::responseDb(double sampleRate, double frequency) const {
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    const auto h = (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
    return 20.0 * std::log10(std::abs(h));
}

}  // namespace orvane
