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
 * zone is found once per buffer, not tested per sample.
 */
#include "engine/dsp/echo.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/dsp/dispatcher.h"

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

void kvEcho(KvEffectRun &run, float *left, float *right, int32_t count, int32_t remaining) {
    if (!left || !right || count <= 0) return;
    KvEchoState &echo = kvRunState<KvEchoState>(run);
    KvEchoGains gains = kvEchoGains(run.params, echo, kvGetDocument(run.doc)->current->sampleRate);
    int32_t tail = kvTailStart(count, remaining, kvTailLength(run.doc));
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
