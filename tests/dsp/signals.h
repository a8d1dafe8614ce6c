/*
 * signals.h - what the effect tests add to signal_measure.h: seeded noise,
 * mixes, the level over a stretch, and the amplitude of one frequency.
 */
#ifndef KV_TEST_SIGNALS_H
#define KV_TEST_SIGNALS_H

#include "tests/dsp/signal_measure.h"
#include <cmath>

#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

inline std::vector<float> mix(const std::vector<float> &a, const std::vector<float> &b) {
    std::vector<float> sum(a);
    for (size_t i = 0; i < sum.size() && i < b.size(); i++)
        sum[i] += b[i];
    return sum;
}

inline std::vector<float> noise(int32_t count, uint32_t seed, double amplitude = 0.5) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(-amplitude, amplitude);
    std::vector<float> samples(count);
    for (float &sample : samples)
        sample = static_cast<float>(uniform(random));
    return samples;
}

/* Root mean square of samples [from, to). */
inline double rms(const std::vector<float> &samples, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; i++)
        sum += static_cast<double>(samples[i]) * samples[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

/* Amplitude of the component at `hz` in samples [from, to) (a single-bin
 * Fourier sum over a whole number of periods is best). */
inline double amplitudeAt(const std::vector<float> &samples, size_t from, size_t to, double hz,
                          int32_t rate) {
    double re = 0.0, im = 0.0;
    for (size_t i = from; i < to; i++) {
        double angle = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        re += samples[i] * std::cos(angle);
        im += samples[i] * std::sin(angle);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(to - from);
}

#endif
