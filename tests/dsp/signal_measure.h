/*
 * signal_measure.h - test signals and the measurements the pitch, tone and
 * rate tests make on them: a sine, the power at one frequency (Goertzel), the
 * strongest frequency of a band, and rising zero crossings.
 */
#ifndef KV_TEST_SIGNAL_MEASURE_H
#define KV_TEST_SIGNAL_MEASURE_H

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

inline std::vector<float> sineWave(int32_t count, double hz, int32_t rate, double amplitude = 0.5) {
    std::vector<float> samples(count);
    for (int32_t i = 0; i < count; i++)
        samples[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
    return samples;
}

/* Power of `hz` in samples [from, from + count), Hann-windowed. */
inline double powerAt(const std::vector<float> &samples, int32_t from, int32_t count, double hz,
                      int32_t rate) {
    double w = 2 * std::numbers::pi * hz / rate, coefficient = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int32_t i = 0; i < count; i++) {
        double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / count);
        double s0 = samples[from + i] * window + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

/* The frequency in [low, high] (1 Hz steps) with the most power. */
inline double dominantFrequency(const std::vector<float> &samples, int32_t from, int32_t count,
                                int32_t rate, double low, double high) {
    double best = low, bestPower = -1;
    for (double hz = low; hz <= high; hz += 1.0) {
        double power = powerAt(samples, from, count, hz, rate);
        if (power > bestPower) best = hz, bestPower = power;
    }
    return best;
}

/* Rising zero crossings in samples [from, from + count). */
inline int32_t risingCrossings(const std::vector<float> &samples, int32_t from, int32_t count) {
    int32_t crossings = 0;
    for (int32_t i = from + 1; i < from + count; i++)
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) crossings++;
    return crossings;
}

#endif
