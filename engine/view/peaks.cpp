/*
 * peaks.cpp - peak reduction in its three zoom regimes.
 *
 * The summaries were made when the samples were stored, so at 64 frames per
 * column and more no sample is read: an hour of sound costs one pass over its
 * block descriptors. A peak lands in the column its block (or 64-frame run)
 * reaches, and the walk stops at the first one past the filled columns.
 */
#include "engine/view/peaks.h"
#include "engine/document/document.h"

#include <algorithm>
#include <cstring>
#include <vector>

/* Each row keeps the larger of its value and the new one. */
static void kvRaise(uint8_t *row, int64_t column, int32_t value) {
    if (value > row[column]) row[column] = static_cast<uint8_t>(value);
}

static void kvBlockPeaks(const KV_State *state, int32_t channel, int64_t a, int32_t zoom,
                         int64_t filled, uint8_t *maxRow, uint8_t *minRow) {
    int64_t base = 0;
    /* The first block that ends at or after a. */
    const KV_Table &table = state->tables[channel];
    int32_t block = kvFindBlock(state, channel, a - 1, &base);
    kvTableSpans(table, block, table.count, [&](const KV_Block *blocks, int32_t count) {
        for (int32_t b = 0; b < count; b++) {
            base += blocks[b].length;
            int64_t column = (base - a) / zoom;
            if (column >= filled) return false;
            kvRaise(maxRow, column, blocks[b].peakPos);
            kvRaise(minRow, column, blocks[b].peakNeg);
        }
        return true;
    });
}

static void kvRunPeaks(const KV_State *state, int32_t channel, int64_t a, int32_t zoom,
                       int64_t filled, uint8_t *maxRow, uint8_t *minRow) {
    int64_t base = 0;
    const KV_Table &table = state->tables[channel];
    int32_t block = kvFindBlock(state, channel, std::max<int64_t>(a, 0), &base);
    kvTableSpans(table, block, table.count, [&](const KV_Block *blocks, int32_t count) {
        for (int32_t b = 0; b < count; b++) {
            const KV_Block &descriptor = blocks[b];
            int32_t runs = (descriptor.length + 63) / 64;
            int32_t run = base >= a ? 0 : static_cast<int32_t>((a - base + 63) / 64);
            for (; run < runs; run++) {
                int64_t column = (base + 64 * run - a) / zoom;
                if (column >= filled) return false;
                kvRaise(maxRow, column, descriptor.subPos[run]);
                kvRaise(minRow, column, descriptor.subNeg[run]);
            }
            base += descriptor.length;
        }
        return true;
    });
}

/* A sample times 255, truncated and limited to +-255 (values far beyond
 * full scale, and NaN, must not reach the integer conversion). */
static int32_t kvScaledPeak(float sample) {
    float scaled = sample * 255.0f;
    if (scaled >= 255.0f) return 255;
    if (scaled <= -255.0f) return -255;
    return scaled == scaled ? static_cast<int32_t>(scaled) : 0;
}

static void kvSamplePeaks(int32_t doc, int32_t channel, int64_t a, int32_t zoom, int64_t filled,
                          float gain, uint8_t *maxRow, uint8_t *minRow) {
    static std::vector<float> samples;
    int64_t count = filled * zoom;
    if (count <= 0) return;
    if (static_cast<int64_t>(samples.size()) < count) samples.resize(count);
    kvReadSamples(doc, channel, -1, samples.data(), static_cast<int32_t>(a),
                  static_cast<int32_t>(count));
    for (int64_t i = 0; i < count; i++) {
        int32_t v = kvScaledPeak(samples[i] * gain);
        int64_t column = i / zoom;
        kvRaise(maxRow, column, v);
        kvRaise(minRow, column, -v);
    }
}

/* Multiplies summary peaks by gain, held to 255. */
static void kvScaleRow(uint8_t *row, int64_t n, float gain) {
    for (int64_t i = 0; i < n; i++)
        row[i] = static_cast<uint8_t>(std::min(255.0f, row[i] * gain + 0.5f));
}

void kvReducePeaks(int32_t doc, int32_t channel, int32_t firstFrame, int32_t framesPerPixel,
                   int32_t c0, int32_t n, uint8_t *maxRow, uint8_t *minRow) {
    kvReducePeaksScaled(doc, channel, firstFrame, framesPerPixel, c0, n, 1.0f, maxRow, minRow);
}

void kvReducePeaksScaled(int32_t doc, int32_t channel, int32_t firstFrame, int32_t framesPerPixel,
                         int32_t c0, int32_t n, float gain, uint8_t *maxRow, uint8_t *minRow) {
    if (n <= 0) return;
    std::memset(maxRow, 0, n);
    std::memset(minRow, 0, n);
    const KV_Document *document = kvGetDocument(doc);
    if (!document || framesPerPixel <= 0) return;
    const KV_State *state = document->current;
    if (channel < 0 || channel >= std::min(state->channels, 2)) return;
    int64_t zoom = framesPerPixel;
    int64_t a = c0 * zoom + firstFrame;
    int64_t e = std::min<int64_t>(a + n * zoom, state->length);
    int64_t filled = std::min<int64_t>((e - a) / zoom, n);
    if (filled <= 0) return;
    if (framesPerPixel < 64)
        return kvSamplePeaks(doc, channel, a, framesPerPixel, filled, gain, maxRow, minRow);
    if (framesPerPixel >= KV_BLOCK_FRAMES)
        kvBlockPeaks(state, channel, a, framesPerPixel, filled, maxRow, minRow);
    else
        kvRunPeaks(state, channel, a, framesPerPixel, filled, maxRow, minRow);
    if (gain == 1.0f) return;
    kvScaleRow(maxRow, filled, gain);
    kvScaleRow(minRow, filled, gain);
}
