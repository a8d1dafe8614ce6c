/*
 * dynamics.h - the Compressor/Limiter and Distortion edits.
 */
#ifndef KV_DSP_DYNAMICS_H
#define KV_DSP_DYNAMICS_H

#include "engine/dsp/dispatcher.h"

void kvCompressorPrepare(KvEffectRun &run);
int32_t kvCompressorStart(KvEffectRun &run);
void kvCompressorBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvCompressorPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                            int32_t rangeLength, int32_t position);

/* Compresses count samples of channel 0 or 1 in place with the run's
 * envelopes. */
void kvCompress(KvEffectRun &run, int32_t channel, float *samples, int32_t count);
/* The same for channels 0 and 1 together, each in its own buffer. */
void kvCompressPair(KvEffectRun &run, float *left, float *right, int32_t count);

/* Lets the compressor use 256-bit vectors where the processor has them
 * (the default) or holds it to the plain code; the gains are the same bits
 * either way. For tests. */
void kvCompressorAllowWide(bool allow);

void kvDistortionBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvDistortionPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                            int32_t rangeLength, int32_t position);

/* Gates and clips count samples in place by the parameters given. */
void kvDistort(const KV_Params *params, float *samples, int32_t count);

#endif
