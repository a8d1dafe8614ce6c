/*
 * resample.cpp - the block resampler: linear interpolation with a one-pole
 * smoother going up, block averages going down. Cheap and steady rather than
 * exact; paste, mix and rate conversion share it so that a clip sounds the
 * same whichever way it goes in.
 */
#include "engine/dsp/resample.h"

/* Paste's and the conversions', on the interface thread. */
static KvResampleState resampleState[2];

void kvResampleBlock(int32_t channel, const float *input, float *output, int32_t inCount,
                     int32_t outCount) {
    if (!input || !output) {
        resampleState[0] = resampleState[1] = KvResampleState{0.0, 0.0};
        return;
    }
    kvResampleBlockWith(resampleState, channel, input, output, inCount, outCount);
}

void kvResampleBlockWith(KvResampleState *states, int32_t channel, const float *input,
                         float *output, int32_t inCount, int32_t outCount) {
    if (!input || !output || inCount <= 0 || outCount <= 0) return;
    KvResampleState &state = states[channel & 1];
    double r = static_cast<double>(inCount) / outCount;
    double pos = 0.0;
    if (inCount <= outCount) {
        for (int32_t o = 0; o < outCount; o++, pos += r) {
            int32_t i = static_cast<int32_t>(pos);
            if (i >= inCount) break;
            double frac = pos - i;
            double left = i == 0 ? state.lastIn : input[i - 1];
            double interpolated = left * (1.0 - frac) + input[i] * frac;
            state.smooth += (interpolated - state.smooth) * r;
            output[o] = static_cast<float>(state.smooth);
        }
        state.lastIn = input[inCount - 1];
        return;
    }
    int32_t previous = 0;
    for (int32_t o = 0; o < outCount; o++, pos += r) {
        int32_t i = static_cast<int32_t>(pos);
        if (i >= inCount) break;
        double x = input[i];
        if (i > previous) {
            double sum = 0.0;
            for (int32_t k = previous; k < i; k++)
                sum += input[k];
            x = sum / (i - previous);
        }
        previous = i;
        state.smooth += (x - state.smooth) / r;
        output[o] = static_cast<float>(state.smooth);
    }
}
