/*
 * gain.cpp - Volume Change, Fade In/Out, Mute, Normalize, Reverse, Paste Mix
 * and the peak scan.
 *
 * Each block step reads one channel's block from the state before the edit
 * into the run's blockA, changes it in a straight loop and appends it. Nothing here
 * limits: samples may leave full scale and are stored as floats unchanged.
 * The peak scan reads only the block summaries, never samples.
 */
#include "engine/dsp/gain.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/dsp/resample.h"
#include "engine/history/clipboard.h"

#include <algorithm>
#include <cmath>

/* Reads the block of the step's channel from the state before the edit. */
static void kvReadPrevious(KvEffectRun &run, const KvBlockStep &step, int32_t position) {
    KV_Document *document = kvGetDocument(step.doc);
    kvReadSamples(step.doc, step.channel, document->level - 1, run.blockA, position, step.count);
}

static void kvScale(float *samples, int32_t count, double gain) {
    for (int32_t i = 0; i < count; i++)
        samples[i] = static_cast<float>(samples[i] * gain);
}

static void kvGainBlock(KvEffectRun &run, const KvBlockStep &step, double gain) {
    kvReadPrevious(run, step, step.lower + step.offset);
    kvScale(run.blockA, step.count, gain);
    kvQueueInsert(step.doc, step.channel, run.blockA, step.count);
}

void kvVolumeBlock(KvEffectRun &run, const KvBlockStep &step) {
    kvGainBlock(run, step, kvDbToGain(run.params->volumeDb));
}

void kvNormalizeBlock(KvEffectRun &run, const KvBlockStep &step) {
    kvGainBlock(run, step, kvDbToGain(run.params->normalizeDb));
}

int32_t kvVolumePreview(KvEffectRun &run, int32_t, float *buffer, int32_t count, int32_t, int32_t) {
    kvScale(buffer, count, kvDbToGain(run.params->volumeDb));
    return count;
}

int32_t kvNormalizePreview(KvEffectRun &run, int32_t, float *buffer, int32_t count, int32_t,
                           int32_t) {
    kvScale(buffer, count, kvDbToGain(run.params->normalizeDb));
    return count;
}

void kvFadeInBlock(KvEffectRun &run, const KvBlockStep &step) {
    kvReadPrevious(run, step, step.lower + step.offset);
    float *blockA = run.blockA;
    double step1 = 1.0 / step.rangeLength;
    for (int32_t i = 0; i < step.count; i++)
        blockA[i] = static_cast<float>(blockA[i] * ((step.offset + i) * step1));
    kvQueueInsert(step.doc, step.channel, blockA, step.count);
}

void kvFadeOutBlock(KvEffectRun &run, const KvBlockStep &step) {
    kvReadPrevious(run, step, step.lower + step.offset);
    float *blockA = run.blockA;
    double step1 = 1.0 / step.rangeLength;
    for (int32_t i = 0; i < step.count; i++)
        blockA[i] =
            static_cast<float>(blockA[i] * ((step.rangeLength - (step.offset + i)) * step1));
    kvQueueInsert(step.doc, step.channel, blockA, step.count);
}

void kvMuteBlock(KvEffectRun &, const KvBlockStep &step) {
    kvQueueInsert(step.doc, step.channel, nullptr, step.count);
}

void kvReverseBlock(KvEffectRun &run, const KvBlockStep &step) {
    kvReadPrevious(run, step, step.lower + step.rangeLength - step.offset - step.count);
    std::reverse(run.blockA, run.blockA + step.count);
    kvQueueInsert(step.doc, step.channel, run.blockA, step.count);
}

/* Paste Mix: clipboard frames per 4096 document frames, their buffer, and
 * the run's own resampling state. */
struct KvPasteMixState {
    int32_t clipBlockSize;
    float *clipBuffer;
    KvResampleState resample[2];
};

int32_t kvPasteMixStart(KvEffectRun &run) {
    KvPasteMixState &mix = kvRunState<KvPasteMixState>(run);
    int32_t rate = kvGetDocument(run.doc)->current->sampleRate;
    int32_t size =
        rate > 0 ? static_cast<int32_t>(static_cast<int64_t>(kvClip.sampleRate) * 4096 / rate) : 0;
    if (!mix.clipBuffer || size != mix.clipBlockSize) {
        kvFree(mix.clipBuffer);
        mix.clipBuffer = static_cast<float *>(
            kvAlloc(static_cast<int32_t>(2 * std::max(size, 1) * sizeof(float))));
    }
    mix.clipBlockSize = size;
    mix.resample[0] = mix.resample[1] = KvResampleState{0.0, 0.0};
    return 0;
}

void kvPasteMixFinish(KvEffectRun &run) {
    if (auto *mix = static_cast<KvPasteMixState *>(run.state)) kvFree(mix->clipBuffer);
}

/* Fills `buffer` with `frames` clipboard frames from `position` for the k-th
 * processed channel, mixing a stereo clip down for a single channel. */
static void kvFillFromClip(const KV_State *state, int32_t k, int32_t position, int32_t frames,
                           float *buffer) {
    bool mixDown = kvClip.channels == 2 && (state->editChannel >= 0 || state->channels < 2);
    if (!mixDown) {
        kvReadClip(k, position, frames, buffer);
        return;
    }
    kvReadClip(0, position, frames, buffer);
    kvReadClip(1, position, frames, buffer + frames);
    for (int32_t i = 0; i < frames; i++)
        buffer[i] = (buffer[i] + buffer[frames + i]) * 0.5f;
}

/* Adds clipFrames clipboard frames from clip position `position`, resampled
 * to `span` document frames, to the first `count` of `samples` of a channel
 * (the k-th processed). */
static void kvMixClip(KvEffectRun &run, const KV_State *state, int32_t channel, int32_t k,
                      float *samples, int32_t count, int32_t span, int32_t position,
                      int32_t clipFrames) {
    KvPasteMixState &mix = kvRunState<KvPasteMixState>(run);
    double gain = kvDbToGain(run.params->pasteMixDb);
    kvFillFromClip(state, k, position, clipFrames, mix.clipBuffer);
    const float *source = mix.clipBuffer;
    if (clipFrames != span) {
        kvResampleBlockWith(mix.resample, channel, mix.clipBuffer, run.blockB, clipFrames, span);
        source = run.blockB;
    }
    for (int32_t i = 0; i < count; i++)
        samples[i] = static_cast<float>(samples[i] + gain * source[i]);
}

void kvPasteMixBlock(KvEffectRun &run, const KvBlockStep &step) {
    kvReadPrevious(run, step, step.lower + step.offset);
    int32_t size = kvRunState<KvPasteMixState>(run).clipBlockSize;
    if (size > 0) {
        const KV_State *state = kvGetDocument(step.doc)->current;
        int32_t position = static_cast<int32_t>(static_cast<int64_t>(step.offset) * size / 4096);
        kvMixClip(run, state, step.channel, step.processed, run.blockA, step.count, KV_BLOCK_FRAMES,
                  position, size);
    }
    kvQueueInsert(step.doc, step.channel, run.blockA, step.count);
}

int32_t kvPasteMixPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count, int32_t,
                          int32_t position) {
    const KV_State *state = kvGetDocument(run.doc)->current;
    int32_t rate = state->sampleRate, size = kvRunState<KvPasteMixState>(run).clipBlockSize;
    if (size <= 0 || rate <= 0 || count <= 0) return count;
    count = std::min(count, 4096);
    int32_t clipFrames = static_cast<int32_t>(static_cast<int64_t>(count) * size / 4096);
    int32_t clipPosition = static_cast<int32_t>(static_cast<int64_t>(position) * size / 4096);
    kvMixClip(run, state, channel, channel, buffer, count, count, clipPosition,
              std::max(clipFrames, 1));
    return count;
}

/* Selects the whole document on both channels and returns its largest
 * block peak summary (|sample| x 4096, truncated), under the scan's progress. */
static int32_t kvScanPeakSummary(KV_Document *document) {
    KV_State *state = document->current;
    state->selAnchor = 0;
    state->selEnd = state->length;
    state->editChannel = -1;
    kvEngine.params->cancellable = 0;
    kvProgress("Scanning for Peak Level", 0);
    int32_t peak = 0;
    for (int32_t c = 0; c < state->channels; c++) {
        const KV_Table &table = state->tables[c];
        kvTableSpans(table, 0, table.count, [&peak](const KV_Block *blocks, int32_t count) {
            for (int32_t b = 0; b < count; b++)
                peak = std::max(peak, blocks[b].peak);
            return true;
        });
        kvProgress(nullptr, 50);
    }
    kvProgress(nullptr, -1);
    return peak;
}

extern "C" KV_API int32_t kvScanMax(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    int32_t peak = kvScanPeakSummary(document);
    /* Silence has no finite level; 0 dB makes Normalize and the clip
     * warning leave it alone. */
    if (peak == 0) return 0;
    return static_cast<int32_t>(20.0 * std::log10(peak * (1.0 / 4096.0)));
}

/* The peak in whole dB of kvScanMax, negated, can overshoot full scale: it
 * is truncated towards zero, and Normalize's dB (2^(dB/6)) are a little
 * larger than 20 log10 ones. Here the gain is rounded down instead, in
 * Normalize's own dB, against (summary + 1) / 4096: the summary truncates,
 * so the true peak lies below that. */
extern "C" KV_API int32_t kvScanNormalizeDb(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return 0;
    int32_t peak = kvScanPeakSummary(document);
    if (peak == 0) return 0;
    return static_cast<int32_t>(std::floor(-6.0 * std::log2((peak + 1) / 4096.0)));
}
