/*
 * echo.h - the Simple Echo and Echo edits over two one-second delay lines.
 */
#ifndef KV_DSP_ECHO_H
#define KV_DSP_ECHO_H

#include "engine/dsp/dispatcher.h"

int32_t kvSimpleEchoStart(KvEffectRun &run);
int32_t kvEchoStart(KvEffectRun &run);
void kvEchoFinish(KvEffectRun &run);
void kvSimpleEchoBlock(KvEffectRun &run, const KvBlockStep &step);
void kvEchoBlock(KvEffectRun &run, const KvBlockStep &step);
int32_t kvSimpleEchoPreview(KvEffectRun &run, float *left, float *right, int32_t count,
                            int32_t rangeLength, int32_t position);
int32_t kvEchoPreview(KvEffectRun &run, float *left, float *right, int32_t count,
                      int32_t rangeLength, int32_t position);

/* The effect routines, in place on the run's delay lines: left (channel 0,
 * or the single channel) and right (null for one channel; Echo needs both)
 * of count samples, `remaining` range samples from the first one to the
 * range end. */
void kvSimpleEcho(KvEffectRun &run, float *left, float *right, int32_t count, int32_t remaining);
void kvEcho(KvEffectRun &run, float *left, float *right, int32_t count, int32_t remaining);

/* Samples of the carried-on tail: extendEffect x extendAmount seconds. */
int64_t kvTailLength(int32_t doc);

/* Index of the first sample of a buffer that lies in the tail zone (count
 * when none does). */
int32_t kvTailStart(int32_t count, int32_t remaining, int64_t tail);

/* Reads the block's two channels into the run's blocks (the single one into
 * blockA for mono). */
void kvReadPair(KvEffectRun &run, const KvBlockStep &step);

#endif
