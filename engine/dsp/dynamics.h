/*
 * dynamics.h - the Compressor/Limiter and Distortion edits.
 */
#ifndef KV_DSP_DYNAMICS_H
#define KV_DSP_DYNAMICS_H

#include "engine/dsp/dispatcher.h"

void kvCompressorPrepare(int32_t doc);
int32_t kvCompressorStart(int32_t doc);
void kvCompressorBlock(const KvBlockStep &step);
int32_t kvCompressorPreview(int32_t doc, int32_t channel, float *buffer, int32_t count,
                            int32_t rangeLength, int32_t position);

/* Compresses count samples of channel 0 or 1 in place; a null buffer resets
 * both channels' envelopes. */
void kvCompress(int32_t channel, float *samples, int32_t count);

void kvDistortionBlock(const KvBlockStep &step);
int32_t kvDistortionPreview(int32_t doc, int32_t channel, float *buffer, int32_t count,
                            int32_t rangeLength, int32_t position);

/* Gates and clips count samples in place. */
void kvDistort(float *samples, int32_t count);

#endif
