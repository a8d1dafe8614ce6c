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
#include "engine/dsp/side_by_side.h"

#include <algorithm>
#include <cstring>

struct KvFilterHop {
    const KV_Params *params;
    int32_t rate;
    int32_t rangeLength;
};

/* The bins [*binLo, *binHi) between the hop's edges. */
static void kvFilterBins(const KvFilterHop *hop, const KvFftEngine *engine, int64_t t,
                         int64_t *binLo, int64_t *binHi) {
    const KV_Params *params = hop->params;
    int64_t lo = params->fftStartHighPassHz, hi = params->fftStartLowPassHz;
    if (params->fftDynamic && hop->rangeLength > 0) {
        lo += (params->fftEndHighPassHz - lo) * t / hop->rangeLength;
        hi += (params->fftEndLowPassHz - hi) * t / hop->rangeLength;
    }
    int64_t size = engine->size, half = size / 2;
    *binLo = std::clamp<int64_t>(size * lo / hop->rate, 0, half);
    *binHi = std::max(std::clamp<int64_t>(size * hi / hop->rate, 0, half), *binLo);
}

/* A band-pass keeps only the bins between the edges, so the transform
 * computes no others; a band-reject keeps the whole spectrum. */
static void kvFilterHopBand(void *context, KvFftEngine *engine, int32_t, int64_t t, int32_t *from,
                            int32_t *to) {
    const auto *hop = static_cast<const KvFilterHop *>(context);
    if (hop->params->fftFilterType == 1) return;
    int64_t binLo, binHi;
    kvFilterBins(hop, engine, t, &binLo, &binHi);
    *from = static_cast<int32_t>(binLo), *to = static_cast<int32_t>(binHi);
}

/* The band-reject zeroes the bins between the edges. */
static void kvFilterHopStep(void *context, KvFftEngine *engine, int32_t, int64_t t, float *re,
                            float *im) {
    const auto *hop = static_cast<const KvFilterHop *>(context);
    if (hop->params->fftFilterType != 1) return;
    int64_t binLo, binHi;
    kvFilterBins(hop, engine, t, &binLo, &binHi);
    if (binHi <= binLo) return;
    std::memset(re + binLo, 0, (binHi - binLo) * sizeof(float));
    std::memset(im + binLo, 0, (binHi - binLo) * sizeof(float));
}

/* The run's transforms, one per channel: an engine's working arrays are
 * shared by its channels, and a stereo edit runs its two side by side. */
struct KvFftFilterState {
    KvFftEngine *engine[2];
};

int32_t kvFftFilterStart(KvEffectRun &run) {
    for (KvFftEngine *&engine : kvRunState<KvFftFilterState>(run).engine)
        kvFftEngineRestart(&engine, kvEngine.options);
    return 0;
}

void kvFftFilterFinish(KvEffectRun &run) {
    if (auto *filter = static_cast<KvFftFilterState *>(run.state))
        for (KvFftEngine *engine : filter->engine)
            kvFftEngineFree(engine);
}

int32_t kvFftFilter(KvEffectRun &run, int32_t channel, const float *in, float *out, int32_t n,
                    int32_t position, int32_t rangeLength) {
    const KV_Document *document = kvGetDocument(run.doc);
    if (!document || channel < 0 || channel > 1 || n <= 0) return 0;
    KvFftEngine *engine = kvRunState<KvFftFilterState>(run).engine[channel];
    if (!engine) return 0;
    KvFilterHop hop{run.params, std::max(document->current->sampleRate, 1), rangeLength};
    return kvFftStreamBand(engine, channel, in, out, n, position, kvFilterHopStep, kvFilterHopBand,
                           &hop);
}

static int32_t kvFftFilterWork(KvEffectRun &run, const KvBlockStep &step, int32_t channel,
                               float *samples) {
    return kvFftFilter(run, channel, samples, samples, step.count, step.offset, step.rangeLength);
}

void kvFftFilterBlock(KvEffectRun &run, const KvBlockStep &step) {
    if (kvBlockSideBySide(run, step, kvFftFilterWork)) return;
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
