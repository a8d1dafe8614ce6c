/*
 * fft_filter.h - the FFT Filter edit: keeps or removes a band of bins,
 * optionally moving the band's edges across the range.
 */
#ifndef KV_DSP_FFT_FILTER_H
#define KV_DSP_FFT_FILTER_H

#include "engine/dsp/dispatcher.h"

int32_t kvFftFilterStart(KvEffectRun &run);
void kvFftFilterFinish(KvEffectRun &run);
void kvFftFilterBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvFftFilterDrain(KvEffectRun &run, int32_t channel, float *out, int32_t rangeLength);
int32_t kvFftFilterPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                           int32_t rangeLength, int32_t position);

/* The filter routine on the run's transform: n samples of channel c from
 * `in` (null drains) at offset `position` of a range of rangeLength; writes
 * the released output (at most n samples) to `out` and returns its
 * length. */
int32_t kvFftFilter(KvEffectRun &run, int32_t channel, const float *in, float *out, int32_t n,
                    int32_t position, int32_t rangeLength);

#endif
