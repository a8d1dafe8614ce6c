/*
 * pitch.h - Pitch/Time Scaling (KV_EDIT_PITCH): its dispatcher row, the phase
 * vocoder, the streaming resampler and kvGetPitchSize.
 */
#ifndef KV_DSP_PITCH_H
#define KV_DSP_PITCH_H

#include "engine/dsp/dispatcher.h"

int32_t kvPitchStart(KvEffectRun &run);
void kvPitchFinish(KvEffectRun &run);
void kvPitchBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvPitchDrain(KvEffectRun &run, int32_t channel, float *out, int32_t rangeLength);
/* In place; the result may be up to twice count long (modes 0 and 2), so the
 * buffer needs room for 2 * count, at least 8192 samples. */
int32_t kvPitchPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                       int32_t rangeLength, int32_t position);

/* The factor at offset t of a range of L frames (the percent values held to
 * the dialog's 50 .. 200). */
double kvPitchFactor(const KV_Params *params, double t, int32_t L);

/* Shifts the pitch of n samples of channel c (null input drains) at offset t0
 * of the range by the factor (its inverse when `inverse`), on the run's
 * vocoder: the released output, as long as the input in total, written to
 * out (room for n rounded up to a whole hop). */
int32_t kvPhaseVocoder(KvEffectRun &run, int32_t channel, const float *in, float *out, int32_t n,
                       int64_t t0, int32_t L, bool inverse);

/* Plays n samples of channel c faster or slower by the factor at t0 onwards,
 * carrying the run's read position on: the samples written to out (at most
 * 8192; 2n when every factor is 0.5). */
int32_t kvPitchResample(KvEffectRun &run, int32_t channel, const float *in, float *out, int32_t n,
                        int64_t t0, int32_t L);

#endif
