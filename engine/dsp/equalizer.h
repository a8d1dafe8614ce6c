/*
 * equalizer.h - the 10-band graphic equalizer edit.
 */
#ifndef KV_DSP_EQUALIZER_H
#define KV_DSP_EQUALIZER_H

#include "engine/dsp/dispatcher.h"

void kvEqualizerPrepare(KvEffectRun &run);
int32_t kvEqualizerStart(KvEffectRun &run);
void kvEqualizerBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvEqualizerPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                           int32_t rangeLength, int32_t position);

/* Runs count samples of channel 0 or 1 through the run's equalizer in place. */
void kvEqualize(KvEffectRun &run, int32_t channel, float *samples, int32_t count);

#endif
