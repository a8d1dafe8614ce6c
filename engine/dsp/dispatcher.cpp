/*
 * dispatcher.cpp - kvDoEdit, the per-edit operation table and the preview
 * entry point.
 *
 * The range, the undo step, the block loop with progress and cancel, the
 * drain of edits with delayed output, the commit and the edge cross-fade are
 * the same for every effect, so they live here once; an effect is only its
 * row of the table. Work is bounded by the 4096-frame block: memory does not
 * grow with the file, and cancel is checked once per block. The effect's
 * running state and the working blocks belong to the run (KvEffectRun), made
 * at start and freed at finish, never to the file: an edit and a preview
 * can run at once without meeting.
 */
#include "engine/dsp/dispatcher.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/dsp/dynamics.h"
#include "engine/dsp/echo.h"
#include "engine/dsp/equalizer.h"
#include "engine/dsp/fft_filter.h"
#include "engine/dsp/gain.h"
#include "engine/dsp/loudness.h"
#include "engine/dsp/noise_reduction.h"
#include "engine/dsp/pitch.h"
#include "engine/dsp/reverb.h"
#include "engine/dsp/tone.h"
#include "engine/history/clipboard.h"
#include "engine/history/history.h"
#include "engine/platform/side_worker.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

static_assert(offsetof(KV_Params, fadeEdgesMs) == 8);
static_assert(offsetof(KV_Params, volumeDb) == 12);
static_assert(offsetof(KV_Params, pasteMixDb) == 16);
static_assert(offsetof(KV_Params, silenceAmount) == 28);
static_assert(offsetof(KV_Params, silenceUnit) == 32);
static_assert(offsetof(KV_Params, eqBandDb) == 40);
static_assert(offsetof(KV_Params, compThresholdDb) == 80);
static_assert(offsetof(KV_Params, compOversample) == 116);
static_assert(offsetof(KV_Params, echoFeedbackRtoLDb) == 120);
static_assert(offsetof(KV_Params, echoLowPass) == 144);
static_assert(offsetof(KV_Params, echoBounce) == 176);
static_assert(offsetof(KV_Params, simpleEchoDelayMs) == 184);
static_assert(offsetof(KV_Params, simpleEchoLowPass) == 196);
static_assert(offsetof(KV_Params, reverbLevelDb) == 200);
static_assert(offsetof(KV_Params, reverbRoomSize) == 224);
static_assert(offsetof(KV_Params, fftStartHighPassHz) == 236);
static_assert(offsetof(KV_Params, fftDynamic) == 256);
static_assert(offsetof(KV_Params, distHighClipDb) == 260);
static_assert(offsetof(KV_Params, pitchStart) == 268);
static_assert(offsetof(KV_Params, pitchMode) == 280);
static_assert(offsetof(KV_Params, toneVolumeDb) == 284);
static_assert(offsetof(KV_Params, toneLengthUnit) == 308);
static_assert(offsetof(KV_Params, previewBypass) == 312);
static_assert(offsetof(KV_Params, cancellable) == 316);
static_assert(offsetof(KV_Params, cancelRequested) == 320);
static_assert(offsetof(KV_Params, normalizeDb) == 324);
static_assert(offsetof(KV_Params, newChannels) == 340);

/* name, edge fade, prepare, start, finish, block, drain, preview[, previewPair] */
const KvEditOps kvEditTable[KV_EDIT_COUNT] = {
    {"No Edit", false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {"Volume Change", true, nullptr, nullptr, nullptr, kvVolumeBlock, nullptr, kvVolumePreview},
    {"Fade In", false, nullptr, nullptr, nullptr, kvFadeInBlock, nullptr, nullptr},
    {"Fade Out", false, nullptr, nullptr, nullptr, kvFadeOutBlock, nullptr, nullptr},
    {"Mute", true, nullptr, nullptr, nullptr, kvMuteBlock, nullptr, nullptr},
    {"Normalize", true, nullptr, nullptr, nullptr, kvNormalizeBlock, nullptr, kvNormalizePreview},
    {"Equalizer", true, kvEqualizerPrepare, kvEqualizerStart, nullptr, kvEqualizerBlock, nullptr,
     kvEqualizerPreview},
    {"Reverse", true, nullptr, nullptr, nullptr, kvReverseBlock, nullptr, nullptr},
    {"Paste Mix", true, nullptr, kvPasteMixStart, kvPasteMixFinish, kvPasteMixBlock, nullptr,
     kvPasteMixPreview},
    {"Compressor/Limiter", true, kvCompressorPrepare, kvCompressorStart, nullptr, kvCompressorBlock,
     nullptr, kvCompressorPreview},
    {"Lo-Pass Filter", false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {"Echo", true, nullptr, kvEchoStart, kvEchoFinish, kvEchoBlock, nullptr, nullptr,
     kvEchoPreview},
    {"Reverb", true, nullptr, kvReverbStart, kvReverbFinish, kvReverbBlock, nullptr, nullptr,
     kvReverbPreview},
    {"Simple Echo", true, nullptr, kvSimpleEchoStart, kvEchoFinish, kvSimpleEchoBlock, nullptr,
     nullptr, kvSimpleEchoPreview},
    {"Distortion", true, nullptr, nullptr, nullptr, kvDistortionBlock, nullptr,
     kvDistortionPreview},
    {"FFT Filter", true, nullptr, kvFftFilterStart, kvFftFilterFinish, kvFftFilterBlock,
     kvFftFilterDrain, kvFftFilterPreview},
    {"Tone Generator", false, nullptr, kvToneStart, nullptr, kvToneBlock, nullptr, kvTonePreview},
    {"Pitch/Time Scaling", true, nullptr, kvPitchStart, kvPitchFinish, kvPitchBlock, kvPitchDrain,
     kvPitchPreview},
    {"Loudness Normalize", true, kvLoudnessPrepare, kvLoudnessStart, kvLoudnessFinish,
     kvLoudnessBlock, kvLoudnessDrain, nullptr, kvLoudnessPreview},
    {"Noise Reduction", true, nullptr, kvNoiseStart, kvNoiseFinish, kvNoiseBlock, kvNoiseDrain,
     kvNoisePreview},
};

double kvDbToGain(double db) {
    return std::pow(1.122462048309373, db);
}

KvEffectRun *kvEffectStart(int32_t doc, int32_t edit, KvRunKind kind) {
    if (!kvGetDocument(doc)) return nullptr;
    auto *run = static_cast<KvEffectRun *>(kvAlloc(sizeof(KvEffectRun)));
    std::memset(run, 0, sizeof *run);
    run->doc = doc;
    run->ops = edit >= 0 && edit < KV_EDIT_COUNT ? &kvEditTable[edit] : nullptr;
    run->params = kvEngine.params;
    run->repair = kvEngine.repair;
    if (kind == KV_RUN_PREVIEW) {
        kvEffectTakeParams(run, kvEngine.params);
        run->params = &run->snapshot;
        run->repair = &run->repairSnapshot;
    }
    if (run->ops && run->ops->start && run->ops->start(*run) != 0) {
        kvEffectFinish(run);
        return nullptr;
    }
    return run;
}

void kvEffectPrepare(KvEffectRun *run) {
    if (run->ops && run->ops->prepare) run->ops->prepare(*run);
}

void kvEffectFinish(KvEffectRun *run) {
    if (!run) return;
    kvSideWorkerStop(run->sideWorker);
    if (run->ops && run->ops->finish) run->ops->finish(*run);
    kvFree(run->state);
    kvFree(run);
}

/* Copies a record of aligned int32 fields one atomic load per field. */
template <typename Record> static void kvLoadFields(const Record *from, Record *to) {
    static_assert(sizeof(Record) % sizeof(int32_t) == 0 && alignof(Record) == 4,
                  "the record is a row of aligned int32 fields");
    /* The program stores each field with an atomic store of its own; the
     * load only reads, whatever the const of the record. */
    auto *source = reinterpret_cast<int32_t *>(const_cast<Record *>(from));
    auto *target = reinterpret_cast<int32_t *>(to);
    for (size_t i = 0; i < sizeof(Record) / sizeof(int32_t); i++)
        target[i] = std::atomic_ref<int32_t>(source[i]).load(std::memory_order_relaxed);
}

void kvEffectTakeParams(KvEffectRun *run, const KV_Params *shared) {
    if (!shared) return;
    kvLoadFields(shared, &run->snapshot);
    kvLoadFields(kvEngine.repair, &run->repairSnapshot);
}

void *kvRunStateOf(KvEffectRun &run, int32_t size) {
    if (!run.state) {
        run.state = kvAlloc(size);
        std::memset(run.state, 0, size);
    }
    return run.state;
}

static bool kvProcessesChannel(const KV_State *state, int32_t c) {
    return state->editChannel == -1 || state->editChannel == c;
}

/* Sets the selection the edit will work on (before the undo step). */
static void kvAdjustSelection(KV_State *state, int32_t edit) {
    int32_t lower = std::min(state->selAnchor, state->selEnd);
    if (edit == KV_EDIT_ECHO || edit == KV_EDIT_REVERB) state->editChannel = -1;
    if (edit == KV_EDIT_PASTE_MIX) {
        int64_t frames = kvClip.sampleRate > 0 ? static_cast<int64_t>(kvClip.length) *
                                                     state->sampleRate / kvClip.sampleRate
                                               : 0;
        state->selAnchor = lower;
        state->selEnd = static_cast<int32_t>(std::min<int64_t>(lower + frames, INT32_MAX));
    } else if (edit == KV_EDIT_TONE) {
        state->selAnchor = state->selEnd = lower;
    } else if (state->selAnchor == state->selEnd) {
        state->selAnchor = 0;
        state->selEnd = state->length;
    }
}

/* Pushes the upper end out for the edits whose tail runs past the range. */
static void kvExtendForTail(const KV_Options *options, KV_State *state, int32_t edit) {
    if (edit != KV_EDIT_ECHO && edit != KV_EDIT_REVERB && edit != KV_EDIT_SIMPLE_ECHO) return;
    int64_t extra =
        kvExtensionFrames(options->extendEffect, options->extendAmount, state->sampleRate);
    int32_t &upper = state->selAnchor > state->selEnd ? state->selAnchor : state->selEnd;
    upper = static_cast<int32_t>(std::clamp<int64_t>(upper + extra, 0, INT32_MAX));
}

/* The length of a generated tone in frames. */
static int64_t kvToneFrames(const KV_Params *params, int32_t rate) {
    int64_t ms = params->toneLength;
    if (params->toneLengthUnit == 1) ms *= 1000;
    if (params->toneLengthUnit == 2) ms *= 60000;
    return kvSaturatingProduct(ms, rate) / 1000;
}

/* Runs the block loop; false when the user cancelled. */
static bool kvRunBlocks(KvEffectRun &run, int32_t lower, int32_t length) {
    int32_t doc = run.doc;
    const KV_State *state = kvGetDocument(doc)->current;
    for (int32_t offset = 0; offset < length; offset += KV_BLOCK_FRAMES) {
        KvBlockStep step{doc,   0, 0, lower, offset, std::min(KV_BLOCK_FRAMES, length - offset),
                         length};
        for (int32_t c = 0; c < state->channels; c++) {
            if (!kvProcessesChannel(state, c)) continue;
            step.channel = c;
            run.ops->block(run, step);
            step.processed++;
        }
        kvProgress(nullptr, static_cast<int32_t>(static_cast<int64_t>(offset) * 100 / length));
        if (kvCancelRequested() || kvInsertFailed()) return false;
    }
    return true;
}

static void kvDrain(KvEffectRun &run, int32_t length) {
    if (!run.ops->drain) return;
    const KV_State *state = kvGetDocument(run.doc)->current;
    for (int32_t c = 0; c < state->channels; c++) {
        if (!kvProcessesChannel(state, c)) continue;
        int32_t produced;
        while ((produced = run.ops->drain(run, c, run.blockA, length)) > 0)
            kvQueueInsert(run.doc, c, run.blockA, std::min(produced, KV_BLOCK_FRAMES));
    }
}

/* Blends `count` samples at the new range's edge with the old sound there:
 * false when they could not be written (the message has been shown). */
static bool kvBlendEdge(int32_t doc, int32_t c, int32_t oldAt, int32_t newAt, int32_t count,
                        bool fadeIn) {
    const KV_Document *document = kvGetDocument(doc);
    std::vector<float> old(count), fresh(count);
    kvReadSamples(doc, c, document->level - 1, old.data(), oldAt, count);
    kvReadSamples(doc, c, -1, fresh.data(), newAt, count);
    for (int32_t j = 0; j < count; j++) {
        double oldWeight = fadeIn ? count - j : j;
        double newWeight = fadeIn ? j : count - j;
        fresh[j] = static_cast<float>((oldWeight * old[j] + newWeight * fresh[j]) / count);
    }
    return kvWriteSamplesInPlace(doc, c, fresh.data(), newAt, count) == count;
}

/* Cross-fades both edges of the edited range with the unedited sound: false
 * when a write failed, which leaves a half-faded edge the edit must not keep. */
static bool kvCrossFadeEdges(int32_t doc) {
    const KV_Document *document = kvGetDocument(doc);
    const KV_State &before = document->history[document->level - 1];
    const KV_State *state = document->current;
    int32_t c0 = std::min(before.selAnchor, before.selEnd),
            d0 = std::max(before.selAnchor, before.selEnd);
    int32_t e0 = std::min(state->selAnchor, state->selEnd),
            g0 = std::max(state->selAnchor, state->selEnd);
    const KV_Params *params = kvEngine.params;
    bool whole = c0 == 0 && d0 >= before.length - 1;
    if (!(whole ? params->fadeEdgesWhole : params->fadeEdges)) return true;
    int64_t count = static_cast<int64_t>(params->fadeEdgesMs) * state->sampleRate / 1000;
    count = std::min<int64_t>({count, (d0 - c0) / 2, (g0 - e0) / 2});
    if (count < 10) return true;
    for (int32_t c = 0; c < state->channels; c++) {
        if (!kvProcessesChannel(state, c)) continue;
        int32_t n = static_cast<int32_t>(count);
        if (!kvBlendEdge(doc, c, c0, e0, n, true) || !kvBlendEdge(doc, c, d0 - n, g0 - n, n, false))
            return false;
    }
    return true;
}

/* Commits the queued samples; false when a data-file write failed. */
static bool kvCommitEdit(int32_t doc, int32_t edit) {
    if (!kvFinishInsert(doc)) return false;
    kvRebuildIndex(doc);
    if (kvEditTable[edit].edgeFade && !kvCrossFadeEdges(doc)) return false;
    kvSaveState(doc);
    kvSealLastDataFile();
    kvDocumentChanged(doc);
    return true;
}

extern "C" KV_API int32_t kvDoEdit(int32_t doc, int32_t edit) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || edit < 0 || edit >= KV_EDIT_COUNT || !kvEditTable[edit].block) return -1;
    /* Mixing in nothing would only leave an empty undo step; refused before
     * the selection is fitted to a clip that is not there. */
    if (edit == KV_EDIT_PASTE_MIX && !kvHasClip()) return -1;
    kvClaimDocuments();
    KV_State *state = document->current;
    kvAdjustSelection(state, edit);
    kvExtendForTail(kvEngine.options, state, edit);
    int32_t lower = std::min(state->selAnchor, state->selEnd);
    int64_t length = edit == KV_EDIT_TONE ? kvToneFrames(kvEngine.params, state->sampleRate)
                                          : std::max(state->selAnchor, state->selEnd) - lower;
    length = std::min<int64_t>(length, INT32_MAX - static_cast<int64_t>(lower));
    if (edit == KV_EDIT_TONE) length = std::min(length, kvInsertableFrames(state));
    KvEffectRun *run = kvEffectStart(doc, edit, KV_RUN_EDIT);
    if (!run) return -1;
    kvEffectPrepare(run);
    kvBeginEdit(doc, kvEditTable[edit].name);
    char caption[64];
    std::snprintf(caption, sizeof caption, "Performing %s", kvEditTable[edit].name);
    kvProgress(caption, 0);
    kvEngine.params->cancellable = 1;
    bool completed = kvRunBlocks(*run, lower, static_cast<int32_t>(length));
    if (completed) kvDrain(*run, static_cast<int32_t>(length));
    kvEffectFinish(run);
    if (completed && !kvInsertFailed()) {
        kvProgress(nullptr, -1);
        if (kvCommitEdit(doc, edit)) return 0;
    }
    return kvCancelEdit(doc);
}

/* The preview's call without input: the delayed output still held. */
static int32_t kvPreviewDrain(KvEffectRun &run, float *left, float *right, int32_t rangeLength) {
    if (!run.ops->drain) return 0;
    int32_t produced = 0;
    if (left) produced = run.ops->drain(run, 0, left, rangeLength);
    if (right) produced = run.ops->drain(run, 1, right, rangeLength);
    return produced;
}

int32_t kvPreviewProcess(KvEffectRun *run, float *left, float *right, int32_t count,
                         int32_t rangeLength, int32_t position) {
    if (!kvGetDocument(run->doc)) return -1;
    if (!run->ops) return count;
    kvEffectTakeParams(run, kvEngine.params);
    const KvEditOps &ops = *run->ops;
    if (position == 0 && ops.start) ops.start(*run);
    kvEffectPrepare(run);
    if (count <= 0) return kvPreviewDrain(*run, left, right, rangeLength);
    if (ops.previewPair) return ops.previewPair(*run, left, right, count, rangeLength, position);
    if (!ops.preview) return count;
    int32_t produced = count;
    if (left) produced = ops.preview(*run, 0, left, count, rangeLength, position);
    if (right) produced = ops.preview(*run, 1, right, count, rangeLength, position);
    return produced;
}
