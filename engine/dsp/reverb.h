/*
 * reverb.h - the Reverb edit: 16 stereo taps over one shared delay ring.
 */
#ifndef KV_DSP_REVERB_H
#define KV_DSP_REVERB_H

#include "engine/dsp/dispatcher.h"

int32_t kvReverbStart(KvEffectRun &run);
void kvReverbFinish(KvEffectRun &run);
void kvReverbBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvReverbPreview(KvEffectRun &run, float *left, float *right, int32_t count,
                        int32_t rangeLength, int32_t position);

/* The routine, in place on both channels of count samples with `remaining`
 * range samples from the first one to the range end, on the run's ring. */
void kvReverb(KvEffectRun &run, float *left, float *right, int32_t count, int32_t remaining);

/* The base delay in samples of a room size at a sample rate (0 for a room
 * index outside the list). */
int32_t kvReverbBase(int32_t room, int32_t rate);

#endif
