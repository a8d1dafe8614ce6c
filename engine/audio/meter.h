/*
 * meter.h - what the audio threads feed to the level meter and analyzer.
 *
 * Playback and recording measure each 1024-frame buffer here (running peaks
 * and the ten-band analyzer) and hand the results to the view's meter
 * drawing, which the view lends through two hooks: this keeps the audio
 * threads free of any drawing code, and a headless engine simply has no
 * hooks set. The hooks may be set or cleared at any time from any thread.
 */
#ifndef KV_AUDIO_METER_H
#define KV_AUDIO_METER_H

#include <atomic>
#include <cstdint>

#define KV_ANALYZER_BANDS 10
/* The level given for a peak of 0, below every light of the meter. */
#define KV_LEVEL_SILENT (-100)

struct KV_Analyzer {
    float stage[KV_ANALYZER_BANDS][4];
    float peak[KV_ANALYZER_BANDS];
};

/* All filter stages and peaks to 0 (start of playback or recording). */
void kvAnalyzerReset(KV_Analyzer *analyzer);
/* One buffer of 16-bit stereo frames: the peaks decay to 0.8, then each
 * band keeps its largest output. */
void kvAnalyzerFeed(KV_Analyzer *analyzer, const int16_t (*frames)[2], int32_t count);

/* Running left and right peaks of the buffers. */
struct KV_Levels {
    int32_t left;
    int32_t right;
};
/* Per buffer: both peaks decay to 10/11, then take the buffer's largest
 * positive sample. */
void kvLevelsFeed(KV_Levels *levels, const int16_t (*frames)[2], int32_t count);

/* 20 * log10(peak / 32768) truncated towards zero; KV_LEVEL_SILENT for 0. */
int32_t kvLevelDb(int32_t peak);

/* The view's meter drawing: levels in whole decibels, and the ten analyzer
 * peaks or null when the analyzer is not shown. */
using KvMeterDrawFn = void (*)(int32_t leftDb, int32_t rightDb, const float *analyzerPeaks);
using KvMeterBlankFn = void (*)();
extern std::atomic<KvMeterDrawFn> kvMeterDrawHook;
extern std::atomic<KvMeterBlankFn> kvMeterBlankHook;

/* Shows peaks (converted to decibels) through the hook, if any. */
void kvMeterShow(int32_t leftPeak, int32_t rightPeak, const float *analyzerPeaks);
void kvMeterBlank();

#endif
