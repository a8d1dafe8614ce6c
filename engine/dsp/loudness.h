/*
 * loudness.h - loudness measurement (ITU-R BS.1770 through libebur128, or
 * KV_LoudnessMeter where the integrated loudness is all that is wanted) and
 * the Loudness Normalize edit: one gain to the target loudness, then a
 * look-ahead limiter that holds the true peak under the ceiling.
 */
#ifndef KV_DSP_LOUDNESS_H
#define KV_DSP_LOUDNESS_H

#include "engine/dsp/dispatcher.h"

#include <vector>

/* Integrated loudness and sample peak of one or two streams, equal to the
 * last bit to what libebur128 reports for the same frames (interleaved, in
 * EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK), at a fraction of its cost:
 * both streams are K-weighted together, and the overlapping gating blocks
 * are summed side by side. Frames may come in pieces of any size. */
struct KV_LoudnessMeter {
    int32_t streams;
    int64_t framesPer100ms, ringFrames, blockFrames;
    double b[5], a[5];
    double state[4][2];           /* the filter's last four values, per stream */
    double peak[2];               /* the largest size, per lane */
    int64_t fed;                  /* frames taken so far */
    int64_t keptFrom;             /* the first frame `weighted` still holds */
    int64_t summed;               /* the end of the last block summed */
    std::vector<double> weighted; /* K-weighted frames, two values each */
    std::vector<double> blocks;   /* the energy of every block over the floor */
};

/* Starts a meter of one or two streams at `rate` (18 Hz to 2822400 Hz). */
void kvStartMeter(KV_LoudnessMeter *meter, int32_t streams, int32_t rate);
/* Takes `count` frames; planes[s] holds those of stream s. */
void kvMeterAdd(KV_LoudnessMeter *meter, const float *const *planes, int32_t count);
/* -HUGE_VAL when every block is gated out. */
double kvMeterIntegratedLufs(KV_LoudnessMeter *meter);
/* The largest sample size over the streams, linear. */
double kvMeterSamplePeak(const KV_LoudnessMeter *meter);

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
