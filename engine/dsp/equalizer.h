/*
 * equalizer.h - the 10-band graphic equalizer edit.
 */
#ifndef KV_DSP_EQUALIZER_H
#define KV_DSP_EQUALIZER_H

#include "engine/dsp/dispatcher.h"

void kvEqualizerPrepare(int32_t doc);
int32_t kvEqualizerStart(int32_t doc);
void kvEqualizerBlock(const KvBlockStep &step);
int32_t kvEqualizerPreview(int32_t doc, int32_t channel, float *buffer, int32_t count,
                           int32_t rangeLength, int32_t position);

/* Runs count samples of channel 0 or 1 through the equalizer in place. */
void kvEqualize(int32_t channel, float *samples, int32_t count);

#endif
