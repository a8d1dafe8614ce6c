/*
 * paste.cpp - pasting the current clip.
 *
 * The splice path moves descriptors only and writes no samples, so pasting
 * an hour is as quick as pasting a second. A clip of another rate, or a
 * stereo clip going into one channel, takes the converting path: it is read
 * in pieces, mixed down when needed, resampled to the document's rate and
 * queued as new samples.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/dsp/resample.h"
#include "engine/history/clipboard.h"
#include "engine/history/history.h"

#include <algorithm>
#include <cstring>
#include <vector>

static bool kvChannelEdited(const KV_State *state, int32_t c) {
    return state->editChannel == -1 || state->editChannel == c;
}

/* Inserts a clip channel's descriptors into a channel of the current state at
 * its insertion point, moving the point past them. */
static void kvSpliceBlocks(KV_State *state, int32_t c, const KV_Block *blocks, int32_t count) {
    kvTableInsert(&state->tables[c], state->insertAt[c], blocks, count);
    state->insertAt[c] += count;
}

/* Places the selection for a paste of `length` frames. */
static void kvPlacePaste(KV_State *state, int32_t replace, int64_t length) {
    int32_t start = std::min(state->selAnchor, state->selEnd);
    state->selAnchor = start;
    state->selEnd =
        replace ? static_cast<int32_t>(std::min<int64_t>(start + length, INT32_MAX)) : start;
}

static int32_t kvSplicePaste(int32_t doc, int32_t replace) {
    KV_State *state = kvGetDocument(doc)->current;
    kvPlacePaste(state, replace, kvClip.length);
    kvBeginEdit(doc, replace ? "Paste Replace" : "Paste Insert");
    state = kvGetDocument(doc)->current;
    kvProgress("Pasting Clip", 0);
    int32_t clipChannel = 0;
    for (int32_t c = 0; c < state->channels; c++) {
        if (!kvChannelEdited(state, c)) continue;
        int32_t source = std::min(clipChannel++, kvClip.channels - 1);
        kvSpliceBlocks(state, c, kvClip.blocks[source], kvClip.blockCount[source]);
    }
    state->selEnd = state->selAnchor + kvClip.length;
    kvProgress(nullptr, -1);
    return kvCompleteEdit(doc, true);
}

/* Reads a piece of the clip for one document channel, mixing a stereo clip
 * down when it goes into a single channel. */
static void kvReadClipFor(const KV_State *state, int32_t clipChannel, int32_t start, int32_t count,
                          float *piece, float *scratch) {
    bool mixDown = kvClip.channels == 2 && (state->channels == 1 || state->editChannel != -1);
    if (!mixDown) {
        kvReadClip(clipChannel, start, count, piece);
        return;
    }
    kvReadClip(0, start, count, piece);
    kvReadClip(1, start, count, scratch);
    for (int32_t i = 0; i < count; i++)
        piece[i] = (piece[i] + scratch[i]) * 0.5f;
}

static int32_t kvConvertingPaste(int32_t doc, int32_t replace) {
    KV_State *state = kvGetDocument(doc)->current;
    int32_t rate = state->sampleRate;
    /* A document left without a rate (an open that failed) has no frames to
     * convert to. */
    if (rate <= 0) return 0;
    int32_t b = static_cast<int32_t>(static_cast<int64_t>(kvClip.sampleRate) * 4096 / rate);
    int64_t length = static_cast<int64_t>(kvClip.length) * rate / kvClip.sampleRate;
    if (b <= 0) return 0;
    kvPlacePaste(state, replace, length);
    kvBeginEdit(doc, replace ? "Paste Replace [2]" : "Paste Insert [2]");
    state = kvGetDocument(doc)->current;
    kvProgress("Pasting Clip", 0);
    /* Each converting paste starts from rest, not from the last one's tail. */
    kvResampleBlock(0, nullptr, nullptr, 0, 0);
    std::vector<float> piece(b), scratch(b), resampled(KV_BLOCK_FRAMES);
    for (int32_t done = 0; done < kvClip.length; done += b) {
        int32_t count = std::min(b, kvClip.length - done);
        int32_t clipChannel = 0;
        for (int32_t c = 0; c < state->channels; c++) {
            if (!kvChannelEdited(state, c)) continue;
            kvReadClipFor(state, clipChannel++, done, b, piece.data(), scratch.data());
            if (b == KV_BLOCK_FRAMES) {
                kvQueueInsert(doc, c, piece.data(), count);
                continue;
            }
            kvResampleBlock(c, piece.data(), resampled.data(), b, KV_BLOCK_FRAMES);
            kvQueueInsert(doc, c, resampled.data(),
                          static_cast<int32_t>(static_cast<int64_t>(count) * KV_BLOCK_FRAMES / b));
        }
        kvProgress(nullptr, static_cast<int32_t>(static_cast<int64_t>(done) * 100 / kvClip.length));
    }
    state->selEnd = static_cast<int32_t>(std::min<int64_t>(state->selAnchor + length, INT32_MAX));
    kvProgress(nullptr, -1);
    return kvCompleteEdit(doc, true);
}

extern "C" KV_API int32_t kvPaste(int32_t doc, int32_t replace) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvClaimDocuments();
    if (!kvHasClip()) return 0;
    const KV_State *state = document->current;
    bool fits = kvClip.sampleRate == state->sampleRate &&
                (kvClip.channels == 1 || (state->editChannel == -1 && state->channels == 2));
    int32_t result = fits ? kvSplicePaste(doc, replace) : kvConvertingPaste(doc, replace);
    return result == 0 ? 0 : -1;
}
