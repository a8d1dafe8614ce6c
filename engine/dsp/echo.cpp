/*
 * echo.cpp - Simple Echo (one feedback delay per channel with a low-pass in
 * the loop) and Echo (two delay lines with an input matrix, self or crossed
 * feedback, band limiting and dry/wet outputs).
 *
 * Both keep two float lines of one second each in the run, allocated at its
 * start and freed at its finish, so nothing is allocated while samples flow
 * (a preview's next pass only clears them). Inside the
 * carried-on tail (the range's last extendAmount seconds when "Carry Beyond
 * Selection" is on) the lines take no new input and only ring on; the tail
 * zone is found once per buffer, not tested per sample. Echo's fourteen
 * filter stages per side are a chain too long for the processor to overlap
 * from one sample to the next, so they run as a skewed wavefront whenever
 * both lines are longer than the skew.
 */
#include "engine/dsp/echo.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/dsp/dispatcher.h"
#include "engine/dsp/fast_math.h"

#include <algorithm>
#include <cstring>

struct KvEchoState {
    /* Delay lines and their indexes (Simple Echo shares lineIndex[0]). */
    float *lines[2];
    int32_t lineLength;
    int32_t lineIndex[2];
    float simpleFilter[2];
    /* Echo's band limits: seven one-pole stages per channel in each bank. */
    float lowPass[2][7], highPass[2][7];
};

int64_t kvTailLength(int32_t doc) {
    const KV_Document *document = kvGetDocument(doc);
    if (!document) return 0;
    const KV_Options *options = kvEngine.options;
    return kvExtensionFrames(options->extendEffect, options->extendAmount,
                             document->current->sampleRate);
}

int32_t kvTailStart(int32_t count, int32_t remaining, int64_t tail) {
    /* The tail zone is the range's last `tail` samples: sample i is in it
     * when remaining - i <= tail, so that it starts exactly at the old end
     * of the selection. */
    if (remaining < 0) return count;
    int64_t first = static_cast<int64_t>(remaining) - tail;
    return static_cast<int32_t>(std::clamp<int64_t>(first, 0, count));
}

void kvReadPair(KvEffectRun &run, const KvBlockStep &step) {
    KV_Document *document = kvGetDocument(step.doc);
    int32_t start = step.lower + step.offset;
    kvReadSamples(step.doc, 0, document->level - 1, run.blockA, start, step.count);
    if (document->current->channels > 1)
        kvReadSamples(step.doc, 1, document->level - 1, run.blockB, start, step.count);
}

/* Makes the lines the first time (one second at the document's rate) and
 * clears them and every filter. */
static void kvResetEcho(KvEffectRun &run) {
    KvEchoState &echo = kvRunState<KvEchoState>(run);
    int32_t length = std::max(kvGetDocument(run.doc)->current->sampleRate, 1);
    if (echo.lineLength != length) {
        kvFree(echo.lines[0]);
        echo.lineLength = length;
        echo.lines[0] = static_cast<float *>(
            kvAlloc(static_cast<int32_t>(2 * static_cast<int64_t>(length) * sizeof(float))));
        echo.lines[1] = echo.lines[0] + length;
    }
    std::memset(echo.lines[0], 0, 2 * length * sizeof(float));
    echo.lineIndex[0] = echo.lineIndex[1] = 0;
    echo.simpleFilter[0] = echo.simpleFilter[1] = 0.0f;
    std::memset(echo.lowPass, 0, sizeof echo.lowPass);
    std::memset(echo.highPass, 0, sizeof echo.highPass);
}

int32_t kvSimpleEchoStart(KvEffectRun &run) {
    kvResetEcho(run);
    return 0;
}

int32_t kvEchoStart(KvEffectRun &run) {
    /* The echo's matrix needs two channels; the program converts a mono
     * sound before it gets here. */
    if (kvGetDocument(run.doc)->current->channels < 2) return -1;
    kvResetEcho(run);
    return 0;
}

void kvEchoFinish(KvEffectRun &run) {
    if (auto *echo = static_cast<KvEchoState *>(run.state)) kvFree(echo->lines[0]);
}

/* A delay in samples, kept within the line (the dialog stops at 1000 ms,
 * but a stored record could ask for more). */
static int32_t kvDelayOf(const KvEchoState &echo, int32_t ms, int32_t rate) {
    int64_t samples = static_cast<int64_t>(ms) * rate / 1000;
    return static_cast<int32_t>(std::min<int64_t>(samples, echo.lineLength));
}

static float kvFactor(int32_t db) {
    return static_cast<float>(kvDbToGain(db));
}

/* One side of the simple echo over samples [from, to); `live` says whether
 * the samples still feed the line (before the tail zone). */
static void kvSimpleEchoRun(KvEchoState &echo, float *buffer, int32_t side, int32_t from,
                            int32_t to, bool live, int32_t delay, float wet, float feedback,
                            float k) {
    float *line = echo.lines[side];
    float y = echo.simpleFilter[side];
    int32_t idx = echo.lineIndex[0];
    for (int32_t i = from; i < to; i++) {
        float x = buffer[i], input = 0.0f;
        if (live) {
            y = y + (x - y) * k;
            input = y;
        }
        if (++idx >= delay) idx = 0;
        float d = line[idx];
        buffer[i] = x + wet * d;
        line[idx] = input + feedback * d;
    }
    echo.simpleFilter[side] = y;
    echo.lineIndex[0] = idx;
}

void kvSimpleEcho(KvEffectRun &run, float *left, float *right, int32_t count, int32_t remaining) {
    if (!left || count <= 0) return;
    KvEchoState &echo = kvRunState<KvEchoState>(run);
    const KV_Params *p = run.params;
    float wet = kvFactor(p->simpleEchoWetDb), feedback = kvFactor(p->simpleEchoFeedbackDb);
    float k = static_cast<float>(p->simpleEchoLowPass * 0.01);
    int32_t rate = kvGetDocument(run.doc)->current->sampleRate;
    int32_t delay = kvDelayOf(echo, p->simpleEchoDelayMs, rate);
    int32_t tail = kvTailStart(count, remaining, kvTailLength(run.doc));
    /* Both sides advance the one shared index by the same steps: run each
     * over the buffer from the same starting index. */
    int32_t start = echo.lineIndex[0];
    float *sides[2] = {left, right};
    int32_t end = start;
    for (int32_t side = 0; side < 2 && sides[side]; side++) {
        echo.lineIndex[0] = start;
        kvSimpleEchoRun(echo, sides[side], side, 0, tail, true, delay, wet, feedback, k);
        kvSimpleEchoRun(echo, sides[side], side, tail, count, false, delay, wet, feedback, k);
        end = echo.lineIndex[0];
    }
    echo.lineIndex[0] = end;
}

struct KvEchoGains {
    float leftFromLeft, leftFromRight, rightFromLeft, rightFromRight;
    float feedbackToLeft, feedbackToRight, dryLeft, wetLeft, wetRight, dryRight;
    float lowPass, highPass;
    int32_t delayLeft, delayRight;
    bool bounce;
};

static KvEchoGains kvEchoGains(const KV_Params *p, const KvEchoState &echo, int32_t rate) {
    return {kvFactor(p->echoLeftFromLeftDb),
            kvFactor(p->echoLeftFromRightDb),
            kvFactor(p->echoRightFromLeftDb),
            kvFactor(p->echoRightFromRightDb),
            kvFactor(p->echoFeedbackRtoLDb),
            kvFactor(p->echoFeedbackLtoRDb),
            kvFactor(p->echoDryLeftDb),
            kvFactor(p->echoWetLeftDb),
            kvFactor(p->echoWetRightDb),
            kvFactor(p->echoDryRightDb),
            static_cast<float>(p->echoLowPass * 0.001),
            static_cast<float>(p->echoHighPass * 0.001),
            kvDelayOf(echo, p->echoLeftDelayMs, rate),
            kvDelayOf(echo, p->echoRightDelayMs, rate),
            p->echoBounce != 0};
}

/* Left and right side by side: both cascades run as one two-lane vector,
 * each lane doing exactly the arithmetic of its side alone. */
typedef float KvFloat2 __attribute__((vector_size(8)));

/* The echo's running state in locals, which the stores to the lines cannot
 * alias, so that the fourteen filter stages stay in registers. */
struct KvEchoRunning {
    KvFloat2 lowPass[7], highPass[7];
    int32_t iL, iR;
};

static inline KvFloat2 kvCascade2(KvFloat2 *stages, KvFloat2 x, KvFloat2 k) {
    for (int32_t j = 0; j < 7; j++) {
        stages[j] += (x - stages[j]) * k;
        x = stages[j];
    }
    return x;
}

static inline void kvEchoSample(float *lineL, float *lineR, const KvEchoGains &g, KvEchoRunning &r,
                                float &left, float &right, bool live) {
    float inL = 0.0f, inR = 0.0f;
    float dL = lineL[r.iL], dR = lineR[r.iR];
    if (live) {
        inL = g.leftFromLeft * left + g.leftFromRight * right;
        inR = g.rightFromRight * right + g.rightFromLeft * left;
    }
    if (g.bounce) {
        inL += g.feedbackToLeft * dR;
        inR += g.feedbackToRight * dL;
    } else {
        inL += g.feedbackToLeft * dL;
        inR += g.feedbackToRight * dR;
    }
    KvFloat2 in = {std::clamp(inL, -4.0f, 4.0f), std::clamp(inR, -4.0f, 4.0f)};
    left = g.wetLeft * dL + g.dryLeft * left;
    right = g.wetRight * dR + g.dryRight * right;
    in = kvCascade2(r.lowPass, in, KvFloat2{g.lowPass, g.lowPass});
    in -= kvCascade2(r.highPass, in, KvFloat2{g.highPass, g.highPass});
    lineL[r.iL] = in[0];
    lineR[r.iR] = in[1];
    if (++r.iL >= g.delayLeft) r.iL = 0;
    if (++r.iR >= g.delayRight) r.iR = 0;
}

/* The fourteen stages of both sides (seven low-pass, then seven high-pass)
 * as a wavefront: at step t stage j works on sample t - j, so its input is
 * the value stage j - 1 held after the step before, and all 28 updates of a
 * step are independent. Each stage does exactly the arithmetic of the plain
 * cascade; only the order in which samples meet the stages is skewed, which
 * the lines allow when both delays exceed the skew: a sample's line value is
 * complete 13 steps after it entered. Lane 2j + side holds stage j. */
enum : int32_t { KV_ECHO_STAGES = 14, KV_ECHO_SKEW = KV_ECHO_STAGES - 1, KV_ECHO_VECTORS = 7 };

struct KvEchoWave {
    KvFloat4 stage[KV_ECHO_VECTORS], k[KV_ECHO_VECTORS];
    float lowOut[8][2]; /* the low-pass output of the last samples, until their high-pass is done */
    int32_t readL, readR, writeL, writeR;
};

static inline void kvWaveUpdate(KvEchoWave &w, KvFloat4 x, KvFloat4 *next) {
    KvFloat4 in[KV_ECHO_VECTORS];
    in[0] = __builtin_shufflevector(x, w.stage[0], 0, 1, 4, 5);
    for (int32_t v = 1; v < KV_ECHO_VECTORS; v++)
        in[v] = __builtin_shufflevector(w.stage[v - 1], w.stage[v], 2, 3, 4, 5);
    for (int32_t v = 0; v < KV_ECHO_VECTORS; v++)
        next[v] = w.stage[v] + (in[v] - w.stage[v]) * w.k[v];
}

/* std::clamp(v, -4, 4) on both lanes without a branch: the same two tests
 * in the same order, so that a NaN passes through as it does there. */
static inline KvFloat4 kvClamp4(KvFloat4 v) {
    const KvFloat4 low = kvSplat4(-4.0f), high = kvSplat4(4.0f);
    KvFloat4 upper = high < v ? high : v;
    return v < low ? low : upper;
}

/* The line input of the next sample (to the matrix, feedback and clamp) and
 * its output, as kvEchoSample forms them. */
template <bool live>
static inline KvFloat4 kvWaveSample(const float *lineL, const float *lineR, const KvEchoGains &g,
                                    int32_t &readL, int32_t &readR, float &left, float &right) {
    float inL = 0.0f, inR = 0.0f;
    float dL = lineL[readL], dR = lineR[readR];
    if (live) {
        inL = g.leftFromLeft * left + g.leftFromRight * right;
        inR = g.rightFromRight * right + g.rightFromLeft * left;
    }
    inL += g.feedbackToLeft * (g.bounce ? dR : dL);
    inR += g.feedbackToRight * (g.bounce ? dL : dR);
    left = g.wetLeft * dL + g.dryLeft * left;
    right = g.wetRight * dR + g.dryRight * right;
    if (++readL >= g.delayLeft) readL = 0;
    if (++readR >= g.delayRight) readR = 0;
    return kvClamp4(KvFloat4{inL, inR, 0.0f, 0.0f});
}

/* After step t: keeps the low-pass output of sample t - 6 and completes the
 * line value of sample t - 13. */
static inline void kvWaveFinish(float *lineL, float *lineR, const KvEchoGains &g, KvEchoWave &w,
                                int32_t t) {
    float *low = w.lowOut[(t - 6) & 7];
    low[0] = w.stage[3][0], low[1] = w.stage[3][1];
    if (t < KV_ECHO_SKEW) return;
    const float *done = w.lowOut[(t - KV_ECHO_SKEW) & 7];
    lineL[w.writeL] = done[0] - w.stage[6][2];
    lineR[w.writeR] = done[1] - w.stage[6][3];
    if (++w.writeL >= g.delayLeft) w.writeL = 0;
    if (++w.writeR >= g.delayRight) w.writeR = 0;
}

/* The steps where the wavefront fills or drains: only the stages that have
 * a sample of this buffer move. */
static void kvWaveEdgeStep(float *lineL, float *lineR, const KvEchoGains &g, KvEchoWave &w,
                           float *left, float *right, int32_t t, int32_t count, int32_t tail) {
    KvFloat4 x = {};
    if (t < count)
        x = t < tail ? kvWaveSample<true>(lineL, lineR, g, w.readL, w.readR, left[t], right[t])
                     : kvWaveSample<false>(lineL, lineR, g, w.readL, w.readR, left[t], right[t]);
    KvFloat4 next[KV_ECHO_VECTORS];
    kvWaveUpdate(w, x, next);
    for (int32_t v = 0; v < KV_ECHO_VECTORS; v++) {
        KvInt4 stage = {2 * v, 2 * v, 2 * v + 1, 2 * v + 1};
        KvInt4 moves = (stage <= t) & (stage > t - count);
        w.stage[v] = moves ? next[v] : w.stage[v];
    }
    kvWaveFinish(lineL, lineR, g, w, t);
}

/* The full steps, with the whole state in locals so that the stages stay
 * in registers across the stores to the lines. */
template <bool live>
static void kvWaveRun(float *lineL, float *lineR, const KvEchoGains &g, KvEchoWave &w, float *left,
                      float *right, int32_t from, int32_t to) {
    KvFloat4 s[KV_ECHO_VECTORS], in[KV_ECHO_VECTORS];
#pragma GCC unroll 7
    for (int32_t v = 0; v < KV_ECHO_VECTORS; v++)
        s[v] = w.stage[v];
    /* three distinct coefficient vectors: low-pass, the one holding both
     * kinds, high-pass; fewer registers than one per vector */
    const KvFloat4 kLow = w.k[0], kBoth = w.k[3], kHigh = w.k[6];
    float lowOut[8][2];
    std::memcpy(lowOut, w.lowOut, sizeof lowOut);
    int32_t readL = w.readL, readR = w.readR, writeL = w.writeL, writeR = w.writeR;
    for (int32_t t = from; t < to; t++) {
        KvFloat4 x = kvWaveSample<live>(lineL, lineR, g, readL, readR, left[t], right[t]);
        in[0] = __builtin_shufflevector(x, s[0], 0, 1, 4, 5);
#pragma GCC unroll 7
        for (int32_t v = 1; v < KV_ECHO_VECTORS; v++)
            in[v] = __builtin_shufflevector(s[v - 1], s[v], 2, 3, 4, 5);
#pragma GCC unroll 7
        for (int32_t v = 0; v < KV_ECHO_VECTORS; v++)
            s[v] = s[v] + (in[v] - s[v]) * (v < 3 ? kLow : v == 3 ? kBoth : kHigh);
        float *low = lowOut[(t - 6) & 7];
        low[0] = s[3][0], low[1] = s[3][1];
        const float *done = lowOut[(t - KV_ECHO_SKEW) & 7];
        lineL[writeL] = done[0] - s[6][2];
        lineR[writeR] = done[1] - s[6][3];
        if (++writeL >= g.delayLeft) writeL = 0;
        if (++writeR >= g.delayRight) writeR = 0;
    }
#pragma GCC unroll 7
    for (int32_t v = 0; v < KV_ECHO_VECTORS; v++)
        w.stage[v] = s[v];
    std::memcpy(w.lowOut, lowOut, sizeof lowOut);
    w.readL = readL, w.readR = readR, w.writeL = writeL, w.writeR = writeR;
}

static void kvEchoWavefront(KvEchoState &echo, const KvEchoGains &g, float *left, float *right,
                            int32_t count, int32_t tail) {
    KvEchoWave w;
    for (int32_t v = 0; v < KV_ECHO_VECTORS; v++) {
        float lane[4];
        for (int32_t n = 0; n < 4; n++) {
            int32_t j = 2 * v + n / 2, side = n % 2;
            lane[n] = j < 7 ? echo.lowPass[side][j] : echo.highPass[side][j - 7];
            w.k[v][n] = j < 7 ? g.lowPass : g.highPass;
        }
        w.stage[v] = kvLoadFloat4(lane);
    }
    w.readL = w.writeL = echo.lineIndex[0];
    w.readR = w.writeR = echo.lineIndex[1];
    float *lineL = echo.lines[0], *lineR = echo.lines[1];
    for (int32_t t = 0; t < std::min(count, int32_t{KV_ECHO_SKEW}); t++)
        kvWaveEdgeStep(lineL, lineR, g, w, left, right, t, count, tail);
    int32_t split = std::clamp(tail, int32_t{KV_ECHO_SKEW}, std::max(count, int32_t{KV_ECHO_SKEW}));
    kvWaveRun<true>(lineL, lineR, g, w, left, right, KV_ECHO_SKEW, split);
    kvWaveRun<false>(lineL, lineR, g, w, left, right, split, count);
    for (int32_t t = count; t < count + KV_ECHO_SKEW; t++)
        kvWaveEdgeStep(lineL, lineR, g, w, left, right, t, count, tail);
    for (int32_t v = 0; v < KV_ECHO_VECTORS; v++)
        for (int32_t n = 0; n < 4; n++) {
            int32_t j = 2 * v + n / 2, side = n % 2;
            (j < 7 ? echo.lowPass[side][j] : echo.highPass[side][j - 7]) = w.stage[v][n];
        }
    echo.lineIndex[0] = w.readL, echo.lineIndex[1] = w.readR;
}

void kvEcho(KvEffectRun &run, float *left, float *right, int32_t count, int32_t remaining) {
    if (!left || !right || count <= 0) return;
    KvEchoState &echo = kvRunState<KvEchoState>(run);
    KvEchoGains gains = kvEchoGains(run.params, echo, kvGetDocument(run.doc)->current->sampleRate);
    int32_t tail = kvTailStart(count, remaining, kvTailLength(run.doc));
    /* The skewed order needs every line longer than the skew and both
     * indexes inside their lines (a preview may shorten a line between
     * buffers; the plain loop wraps such an index). */
    if (gains.delayLeft > KV_ECHO_SKEW && gains.delayRight > KV_ECHO_SKEW &&
        echo.lineIndex[0] < gains.delayLeft && echo.lineIndex[1] < gains.delayRight) {
        kvEchoWavefront(echo, gains, left, right, count, tail);
        return;
    }
    KvEchoRunning r;
    for (int32_t j = 0; j < 7; j++) {
        r.lowPass[j] = KvFloat2{echo.lowPass[0][j], echo.lowPass[1][j]};
        r.highPass[j] = KvFloat2{echo.highPass[0][j], echo.highPass[1][j]};
    }
    r.iL = echo.lineIndex[0], r.iR = echo.lineIndex[1];
    float *lineL = echo.lines[0], *lineR = echo.lines[1];
    for (int32_t i = 0; i < tail; i++)
        kvEchoSample(lineL, lineR, gains, r, left[i], right[i], true);
    for (int32_t i = tail; i < count; i++)
        kvEchoSample(lineL, lineR, gains, r, left[i], right[i], false);
    for (int32_t j = 0; j < 7; j++) {
        echo.lowPass[0][j] = r.lowPass[j][0], echo.lowPass[1][j] = r.lowPass[j][1];
        echo.highPass[0][j] = r.highPass[j][0], echo.highPass[1][j] = r.highPass[j][1];
    }
    echo.lineIndex[0] = r.iL, echo.lineIndex[1] = r.iR;
}

void kvSimpleEchoBlock(KvEffectRun &run, const KvBlockStep &step) {
    const KV_State *state = kvGetDocument(step.doc)->current;
    int32_t remaining = step.rangeLength - step.offset;
    if (state->editChannel == -1 && state->channels > 1) {
        if (step.channel != 0) return;
        kvReadPair(run, step);
        kvSimpleEcho(run, run.blockA, run.blockB, step.count, remaining);
        kvQueueInsert(step.doc, 0, run.blockA, step.count);
        kvQueueInsert(step.doc, 1, run.blockB, step.count);
        return;
    }
    KV_Document *document = kvGetDocument(step.doc);
    kvReadSamples(step.doc, step.channel, document->level - 1, run.blockA, step.lower + step.offset,
                  step.count);
    kvSimpleEcho(run, run.blockA, nullptr, step.count, remaining);
    kvQueueInsert(step.doc, step.channel, run.blockA, step.count);
}

void kvEchoBlock(KvEffectRun &run, const KvBlockStep &step) {
    if (step.channel != 0) return;
    kvReadPair(run, step);
    kvEcho(run, run.blockA, run.blockB, step.count, step.rangeLength - step.offset);
    kvQueueInsert(step.doc, 0, run.blockA, step.count);
    kvQueueInsert(step.doc, 1, run.blockB, step.count);
}

int32_t kvSimpleEchoPreview(KvEffectRun &run, float *left, float *right, int32_t count,
                            int32_t rangeLength, int32_t position) {
    if (!left) std::swap(left, right);
    kvSimpleEcho(run, left, right, count, rangeLength - position);
    return count;
}

int32_t kvEchoPreview(KvEffectRun &run, float *left, float *right, int32_t count,
                      int32_t rangeLength, int32_t position) {
    kvEcho(run, left, right, count, rangeLength - position);
    return count;
}
