/*
 * gain.h - the edits that scale, ramp, silence, reverse or mix samples.
 */
#ifndef KV_DSP_GAIN_H
#define KV_DSP_GAIN_H

#include "engine/dsp/dispatcher.h"

void kvVolumeBlock(KvEffectRun &run, const KvBlockStep &step);
void kvNormalizeBlock(KvEffectRun &run, const KvBlockStep &step);
void kvFadeInBlock(KvEffectRun &run, const KvBlockStep &step);
void kvFadeOutBlock(KvEffectRun &run, const KvBlockStep &step);
void kvMuteBlock(KvEffectRun &run, const KvBlockStep &step);
void kvReverseBlock(KvEffectRun &run, const KvBlockStep &step);

int32_t kvPasteMixStart(KvEffectRun &run);
void kvPasteMixFinish(KvEffectRun &run);
void kvPasteMixBlock(KvEffectRun &run, const KvBlockStep &step);

int32_t kvVolumePreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                        int32_t rangeLength, int32_t position);
int32_t kvNormalizePreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                           int32_t rangeLength, int32_t position);
int32_t kvPasteMixPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                          int32_t rangeLength, int32_t position);

#endif
