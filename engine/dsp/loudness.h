/*
 * loudness.h - loudness measurement (ITU-R BS.1770 through libebur128) and
 * the Loudness Normalize edit: one gain to the target loudness, then a
 * look-ahead limiter that holds the true peak under the ceiling.
 */
#ifndef KV_DSP_LOUDNESS_H
#define KV_DSP_LOUDNESS_H

#include "engine/dsp/dispatcher.h"

/* What a measurement takes in: frames [lower, lower + length) of the
 * channels whose bit is set in channelMask, from the current state. */
struct KvLoudnessRange {
    int32_t doc;
    int32_t channelMask;
    int32_t lower;
    int32_t length;
};

/* Measures the range; `withProgress` shows progress and honours Cancel
 * (interface thread only). `integratedOnly` skips everything but the
 * integrated loudness, which is much faster. 0, or -1 when cancelled. */
int32_t kvMeasureRange(const KvLoudnessRange &range, bool withProgress, bool integratedOnly,
                       KV_Loudness *result);

void kvLoudnessPrepare(KvEffectRun &run);
int32_t kvLoudnessStart(KvEffectRun &run);
void kvLoudnessFinish(KvEffectRun &run);
void kvLoudnessBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvLoudnessDrain(KvEffectRun &run, int32_t channel, float *out, int32_t rangeLength);
int32_t kvLoudnessPreview(KvEffectRun &run, float *left, float *right, int32_t count,
                          int32_t rangeLength, int32_t position);

#endif
