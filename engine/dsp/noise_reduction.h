/*
 * noise_reduction.h - Noise Reduction: a spectral gate on the shared FFT
 * engine, its thresholds taken from a noise profile of the document.
 */
#ifndef KV_DSP_NOISE_REDUCTION_H
#define KV_DSP_NOISE_REDUCTION_H

#include "engine/dsp/dispatcher.h"

int32_t kvNoiseStart(KvEffectRun &run);
void kvNoiseFinish(KvEffectRun &run);
void kvNoiseBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvNoiseDrain(KvEffectRun &run, int32_t channel, float *out, int32_t rangeLength);
int32_t kvNoisePreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                       int32_t rangeLength, int32_t position);

#endif
