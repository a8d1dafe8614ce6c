/*
 * edits.cpp - delete and insert silence, the two edits without signal
 * processing.
 *
 * Delete only cuts descriptors; insert silence only adds silence blocks,
 * which take no room in the data files.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/history/history.h"

#include <algorithm>

extern "C" KV_API int32_t kvDelete(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (document->current->selAnchor == document->current->selEnd) return 0;
    kvClaimDocuments();
    kvBeginEdit(doc, "Delete");
    return kvCompleteEdit(doc, false) == 0 ? 0 : -1;
}

/* The silence length asked for, in frames at `rate`. */
static int64_t kvSilenceFrames(const KV_Params *params, int32_t rate) {
    static const int64_t unitMs[] = {1, 1000, 60000};
    int32_t unit = params->silenceUnit >= 0 && params->silenceUnit <= 2 ? params->silenceUnit : 0;
    int64_t milliseconds = static_cast<int64_t>(params->silenceAmount) * unitMs[unit];
    return milliseconds * rate / 1000;
}

extern "C" KV_API int32_t kvInsertSilence(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvClaimDocuments();
    if (kvEngine.params->silenceAmount <= 0) return 0;
    KV_State *state = document->current;
    int64_t frames =
        std::min(kvSilenceFrames(kvEngine.params, state->sampleRate), kvInsertableFrames(state));
    state->selAnchor = state->selEnd = std::min(state->selAnchor, state->selEnd);
    kvBeginEdit(doc, "Insert Silence");
    state = document->current;
    kvProgress("Inserting Silence", 0);
    for (int64_t offset = 0; offset < frames; offset += KV_BLOCK_FRAMES) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(KV_BLOCK_FRAMES, frames - offset));
        for (int32_t c = 0; c < state->channels; c++)
            if (state->editChannel == -1 || state->editChannel == c)
                kvQueueInsert(doc, c, nullptr, count);
        kvProgress(nullptr, static_cast<int32_t>(offset * 100 / frames));
    }
    kvProgress(nullptr, -1);
    return kvCompleteEdit(doc, true) == 0 ? 0 : -1;
}
