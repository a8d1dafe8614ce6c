/*
 * resample.h - the block resampler that paste, paste mix and rate conversion
 * use to bring samples of one rate to another.
 */
#ifndef KV_DSP_RESAMPLE_H
#define KV_DSP_RESAMPLE_H

#include <cstdint>

/* Resamples inCount samples of one channel into outCount, with per-channel
 * smoothing carried from call to call; null input or output resets it. */
void kvResampleBlock(int32_t channel, const float *input, float *output, int32_t inCount,
                     int32_t outCount);

/* The smoothing kvResampleBlock carries for one channel. */
struct KvResampleState {
    double lastIn;
    double smooth;
};

/* The same on a caller's own two channels of state (zeroed to start), for a
 * user on another thread than paste and conversion. */
void kvResampleBlockWith(KvResampleState *states, int32_t channel, const float *input,
                         float *output, int32_t inCount, int32_t outCount);

#endif
