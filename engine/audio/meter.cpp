/*
 * meter.cpp - level peaks, the ten-band analyzer, and the hand-over to the
 * view's meter.
 *
 * The analyzer is a bank of cascaded one-pole low-passes: each band is the
 * difference between its own fourth stage and the previous band's, so the
 * ten outputs split the spectrum without any transform, cheaply enough to
 * run for every buffer on the device thread.
 */
#include "engine/audio/meter.h"

#include <cmath>
#include <cstring>

std::atomic<KvMeterDrawFn> kvMeterDrawHook{nullptr};
std::atomic<KvMeterBlankFn> kvMeterBlankHook{nullptr};

static const float kvBandCoefficient[KV_ANALYZER_BANDS] = {
    0.01421f,  0.028715f, 0.055472f, 0.115772f, 0.199592f,
    0.356858f, 0.554702f, 0.754692f, 0.910413f, 1.0f};

void kvAnalyzerReset(KV_Analyzer *analyzer) {
    std::memset(analyzer, 0, sizeof *analyzer);
}

void kvAnalyzerFeed(KV_Analyzer *analyzer, const int16_t (*frames)[2], int32_t count) {
    for (float &peak : analyzer->peak)
        peak *= 0.8f;
    for (int32_t i = 0; i < count; i++) {
        float x = (static_cast<float>(frames[i][0]) + static_cast<float>(frames[i][1])) / 65536.0f;
        float below = 0.0f;
        for (int32_t band = 0; band < KV_ANALYZER_BANDS; band++) {
            float k = kvBandCoefficient[band];
            float *s = analyzer->stage[band];
            s[0] += k * (x - s[0]);
            s[1] += k * (s[0] - s[1]);
            s[2] += k * (s[1] - s[2]);
            s[3] += k * (s[2] - s[3]);
            float output = std::fabs(s[3] - below);
            below = s[3];
            if (output > analyzer->peak[band]) analyzer->peak[band] = output;
        }
    }
}

void kvLevelsFeed(KV_Levels *levels, const int16_t (*frames)[2], int32_t count) {
    levels->left = levels->left * 10 / 11;
    levels->right = levels->right * 10 / 11;
    for (int32_t i = 0; i < count; i++) {
        if (frames[i][0] > levels->left) levels->left = frames[i][0];
        if (frames[i][1] > levels->right) levels->right = frames[i][1];
    }
}

int32_t kvLevelDb(int32_t peak) {
    if (peak <= 0) return KV_LEVEL_SILENT;
    return static_cast<int32_t>(20.0 * std::log10(peak / 32768.0));
}

void kvMeterShow(int32_t leftPeak, int32_t rightPeak, const float *analyzerPeaks) {
    if (KvMeterDrawFn draw = kvMeterDrawHook.load())
        draw(kvLevelDb(leftPeak), kvLevelDb(rightPeak), analyzerPeaks);
}

void kvMeterBlank() {
    if (KvMeterBlankFn blank = kvMeterBlankHook.load()) blank();
}
