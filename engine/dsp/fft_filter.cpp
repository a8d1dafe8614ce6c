/*
 * fft_filter.cpp - the FFT Filter: a band-pass or band-reject of whole FFT
 * bins on the shared streaming transform.
 *
 * The engine (window, rings, overlap-add, delayed release) is fft.cpp's;
 * this file only chooses, per hop, which bins survive, from the edges in the
 * run's parameters read afresh at every hop so that a preview follows the
 * dialog.
 * The output stream has exactly the input's length; the dispatcher drains
 * what is still held after its block loop (all of a range shorter than the
 * (V - 1) hops of delay).
 */
#include "engine/dsp/fft_filter.h"
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/dsp/fft.h"

#include <algorithm>
#include <cstring>

struct KvFilterHop {
    const KV_Params *params;
    int32_t rate;
    int32_t rangeLength;
};

/* Zeroes bins [from, to) of the spectrum. */
static void kvClearBins(float *re, float *im, int64_t from, int64_t to) {
    if (to <= from) return;
    std::memset(re + from, 0, (to - from) * sizeof(float));
    std::memset(im + from, 0, (to - from) * sizeof(float));
}

static void kvFilterHopStep(void *context, KvFftEngine *engine, int32_t, int64_t t, float *re,
                            float *im) {
    const auto *hop = static_cast<const KvFilterHop *>(context);
    const KV_Params *params = hop->params;
    int64_t lo = params->fftStartHighPassHz, hi = params->fftStartLowPassHz;
    if (params->fftDynamic && hop->rangeLength > 0) {
        lo += (params->fftEndHighPassHz - lo) * t / hop->rangeLength;
        hi += (params->fftEndLowPassHz - hi) * t / hop->rangeLength;
    }
    int64_t size = engine->size, half = size / 2;
    int64_t binLo = std::clamp<int64_t>(size * lo / hop->rate, 0, half);
    int64_t binHi = std::clamp<int64_t>(size * hi / hop->rate, 0, half);
    binHi = std::max(binHi, binLo);
    if (params->fftFilterType == 1) {
        kvClearBins(re, im, binLo, binHi);
    } else {
        kvClearBins(re, im, 0, binLo);
        kvClearBins(re, im, binHi, half);
    }
}

/* The run's transform. */
struct KvFftFilterState {
    KvFftEngine *engine;
};

int32_t kvFftFilterStart(KvEffectRun &run) {
    KvFftFilterState &filter = kvRunState<KvFftFilterState>(run);
    kvFftEngineRestart(&filter.engine, kvEngine.options);
    return 0;
}

void kvFftFilterFinish(KvEffectRun &run) {
    if (auto *filter = static_cast<KvFftFilterState *>(run.state)) kvFftEngineFree(filter->engine);
}

int32_t kvFftFilter(KvEffectRun &run, int32_t channel, const float *in, float *out, int32_t n,
                    int32_t position, int32_t rangeLength) {
    KvFftEngine *engine = kvRunState<KvFftFilterState>(run).engine;
    const KV_Document *document = kvGetDocument(run.doc);
    if (!engine || !document || channel < 0 || channel > 1 || n <= 0) return 0;
    KvFilterHop hop{run.params, std::max(document->current->sampleRate, 1), rangeLength};
    return kvFftStream(engine, channel, in, out, n, position, kvFilterHopStep, &hop);
}

void kvFftFilterBlock(KvEffectRun &run, const KvBlockStep &step) {
    KV_Document *document = kvGetDocument(step.doc);
    kvReadSamples(step.doc, step.channel, document->level - 1, run.blockA, step.lower + step.offset,
                  step.count);
    int32_t produced = kvFftFilter(run, step.channel, run.blockA, run.blockA, step.count,
                                   step.offset, step.rangeLength);
    if (produced > 0) kvQueueInsert(step.doc, step.channel, run.blockA, produced);
}

int32_t kvFftFilterDrain(KvEffectRun &run, int32_t channel, float *out, int32_t rangeLength) {
    return kvFftFilter(run, channel, nullptr, out, KV_BLOCK_FRAMES, rangeLength, rangeLength);
}

int32_t kvFftFilterPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                           int32_t rangeLength, int32_t position) {
    return kvFftFilter(run, channel, buffer, buffer, count, position, rangeLength);
}
