/*
 * convert.cpp - whole-document format changes: sample rate, channel count,
 * and the "lock channels" switch.
 *
 * Each conversion is one undo step of its own, outside the edit dispatcher.
 * The rate change streams the document through the block resampler that
 * Paste Mix shares, 4096 output frames at a time. Mono to stereo writes no
 * samples at all: the second channel gets a copy of the first channel's
 * descriptor table, so both refer to the same stored blocks.
 */
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/dsp/resample.h"
#include "engine/history/clipboard.h"
#include "engine/history/history.h"
#include "korvel.h"

#include <algorithm>
#include <cstring>
#include <vector>

/* Rates further apart than this would need more than 16M input frames per
 * output block, or less than one. */
static const int64_t kvMaxRateRatio = 4096;

/* Runs every channel of the state before the edit through the resampler,
 * K input frames to 4096 output frames. */
static void kvResampleDocument(int32_t doc, const KV_State *previous, int32_t oldRate,
                               int32_t newRate) {
    int32_t level = kvGetDocument(doc)->level - 1;
    int32_t length = previous->length;
    int32_t blockInput =
        static_cast<int32_t>(static_cast<int64_t>(oldRate) * KV_BLOCK_FRAMES / newRate);
    std::vector<float> input(blockInput), output(KV_BLOCK_FRAMES);
    for (int64_t d = 0; d < length; d += blockInput) {
        int32_t in = static_cast<int32_t>(std::min<int64_t>(blockInput, length - d));
        int32_t out = in < blockInput
                          ? static_cast<int32_t>(static_cast<int64_t>(newRate) * in / oldRate)
                          : KV_BLOCK_FRAMES;
        for (int32_t c = 0; c < previous->channels; c++) {
            kvReadSamples(doc, c, level, input.data(), static_cast<int32_t>(d), in);
            kvResampleBlock(c, input.data(), output.data(), in, out);
            kvQueueInsert(doc, c, output.data(), out);
        }
        kvProgress(nullptr, static_cast<int32_t>(d * 100 / length));
    }
}

/* Selects the whole document on both channels and opens the undo step, which
 * leaves the new state empty for the converted samples. */
static void kvBeginWholeEdit(int32_t doc, const char *label) {
    KV_State *state = kvGetDocument(doc)->current;
    state->editChannel = -1;
    state->selAnchor = 0;
    state->selEnd = state->length;
    kvBeginEdit(doc, label);
}

extern "C" KV_API int32_t kvConvertSampleRate(int32_t doc, int32_t newRate) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return 0;
    int32_t oldRate = document->current->sampleRate;
    if (newRate < 1 || oldRate < 1 || newRate > oldRate * kvMaxRateRatio ||
        oldRate > newRate * kvMaxRateRatio)
        return kvError(0, "Can't convert to %d Hz", newRate);
    kvClaimDocuments();
    kvBeginWholeEdit(doc, "Resample");
    kvProgress("Resampling", 0);
    kvResampleBlock(0, nullptr, nullptr, 0, 0);
    kvResampleDocument(doc, &document->history[document->level - 1], oldRate, newRate);
    kvProgress(nullptr, -1);
    document->current->sampleRate = newRate;
    return kvCompleteEdit(doc, true) == 0 ? 0 : -1;
}

/* Gives channel 1 channel 0's descriptors: no sample is copied or written. */
static int32_t kvMonoToStereo(int32_t doc, KV_Document *document, int32_t channels) {
    KV_State *state = document->current;
    state->editChannel = -1;
    state->selAnchor = state->selEnd = 0;
    kvBeginEdit(doc, "Convert to Stereo");
    state = document->current;
    kvTableRelease(&state->tables[1]);
    state->tables[1] = kvTableShare(state->tables[0]);
    state->insertAt[1] = state->insertAt[0];
    state->channels = channels;
    kvRebuildIndex(doc);
    state->selEnd = state->length;
    kvSaveState(doc);
    kvDocumentChanged(doc);
    return 0;
}

/* Mixes both channels into channel 0 at half level each. */
static int32_t kvStereoToMono(int32_t doc, KV_Document *document, int32_t channels) {
    kvBeginWholeEdit(doc, "Convert to Mono");
    kvProgress("Converting to Mono", 0);
    int32_t level = document->level - 1;
    int32_t length = document->history[level].length;
    std::vector<float> left(KV_BLOCK_FRAMES), right(KV_BLOCK_FRAMES);
    for (int64_t offset = 0; offset < length; offset += KV_BLOCK_FRAMES) {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(KV_BLOCK_FRAMES, length - offset));
        kvReadSamples(doc, 0, level, left.data(), static_cast<int32_t>(offset), n);
        kvReadSamples(doc, 1, level, right.data(), static_cast<int32_t>(offset), n);
        for (int32_t i = 0; i < n; i++)
            left[i] = 0.5f * left[i] + 0.5f * right[i];
        kvQueueInsert(doc, 0, left.data(), n);
        kvProgress(nullptr, static_cast<int32_t>(offset * 100 / length));
    }
    KV_State *state = document->current;
    state->channels = channels;
    kvTableRelease(&state->tables[1]);
    state->insertAt[1] = 0;
    kvProgress(nullptr, -1);
    return kvCompleteEdit(doc, true) == 0 ? 0 : -1;
}

extern "C" KV_API int32_t kvConvertChannels(int32_t doc, int32_t channels) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return 0;
    if (channels < 1 || channels > 2) return kvError(0, "Can't convert to %d channels", channels);
    int32_t current = document->current->channels;
    if (current == channels) return 0;
    kvClaimDocuments();
    if (current < channels) return kvMonoToStereo(doc, document, channels);
    return kvStereoToMono(doc, document, channels);
}

extern "C" KV_API int32_t kvForceStereo(void) {
    for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++) {
        KV_Document *document = kvGetDocument(doc);
        if (!document) continue;
        document->current->editChannel = -1;
        kvDocumentChanged(doc);
    }
    return 0;
}
