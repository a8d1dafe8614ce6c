/*
 * gain.h - the edits that scale, ramp, silence, reverse or mix samples.
 */
#ifndef KV_DSP_GAIN_H
#define KV_DSP_GAIN_H

#include "engine/dsp/dispatcher.h"

void kvVolumeBlock(const KvBlockStep &step);
void kvNormalizeBlock(const KvBlockStep &step);
void kvFadeInBlock(const KvBlockStep &step);
void kvFadeOutBlock(const KvBlockStep &step);
void kvMuteBlock(const KvBlockStep &step);
void kvReverseBlock(const KvBlockStep &step);

int32_t kvPasteMixStart(int32_t doc);
void kvPasteMixFinish();
void kvPasteMixBlock(const KvBlockStep &step);

int32_t kvVolumePreview(int32_t doc, int32_t channel, float *buffer, int32_t count,
                        int32_t rangeLength, int32_t position);
int32_t kvNormalizePreview(int32_t doc, int32_t channel, float *buffer, int32_t count,
                           int32_t rangeLength, int32_t position);
int32_t kvPasteMixPreview(int32_t doc, int32_t channel, float *buffer, int32_t count,
                          int32_t rangeLength, int32_t position);

#endif
