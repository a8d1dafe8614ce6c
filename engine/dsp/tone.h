/*
 * tone.h - the Tone Generator (KV_EDIT_TONE): its dispatcher row and the
 * generating routine.
 */
#ifndef KV_DSP_TONE_H
#define KV_DSP_TONE_H

#include "engine/dsp/dispatcher.h"

int32_t kvToneStart(KvEffectRun &run);
void kvToneBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvTonePreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                      int32_t rangeLength, int32_t position);

/* Writes n samples of the tone at offset o of a tone of L frames, carrying
 * the run's phase on from the previous call. */
void kvToneGenerate(KvEffectRun &run, float *buffer, int32_t n, int32_t o, int32_t L);

#endif
