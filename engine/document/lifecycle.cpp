/*
 * lifecycle.cpp - the document table, creating, emptying and closing
 * documents, and the selection and sample exports for headless use.
 *
 * A handle is a slot of the 256-entry table; every export checks it first and
 * does nothing for a slot that holds no document. A document made without a
 * window has no view, which is how tests, benchmarks and batch use drive the
 * engine: the exports below give them what the view gives a user.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/platform/fileio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

KV_Document *kvDocuments[KV_MAX_DOCUMENTS];

KV_Document *kvGetDocument(int32_t doc) {
    return doc >= 0 && doc < KV_MAX_DOCUMENTS ? kvDocuments[doc] : nullptr;
}

void kvResetDocuments() {
    std::memset(kvDocuments, 0, sizeof kvDocuments);
}

void kvStateFilePath(int32_t doc, int32_t level, char *path, int32_t size) {
    std::snprintf(path, size, "%s/%04X%04X.tmp", kvEngine.workFolder.c_str(), doc, level);
}

int32_t kvCreateDocument(KvWindow window) {
    int32_t doc = 0;
    while (doc < KV_MAX_DOCUMENTS && kvDocuments[doc])
        doc++;
    if (doc == KV_MAX_DOCUMENTS) return kvError(0, "Can't create file -- to many files open");
    auto *document = static_cast<KV_Document *>(kvAlloc(sizeof(KV_Document)));
    std::memset(document, 0, sizeof *document);
    document->window = window;
    document->history = static_cast<KV_State *>(kvAlloc(sizeof(KV_State)));
    std::memset(document->history, 0, sizeof(KV_State));
    document->history->channels = 1;
    document->history->framesPerPixel = 64;
    document->current = document->history;
    document->level = 0;
    document->stateCount = 1;
    document->savedLevel = 0;
    kvDocuments[doc] = document;
    return doc;
}

void kvMakeEmptySound(int32_t doc, int32_t channels, int32_t bits, int32_t formatTag,
                      int32_t rate) {
    KV_Document *document = kvGetDocument(doc);
    document->bitsPerSample = bits;
    document->formatTag = formatTag;
    document->codecDriver = nullptr;
    document->bitRate = KV_DEFAULT_BIT_RATE;
    document->variableBitRate = 0;
    document->savedLevel = 0;
    document->saveAsFirst = 0;
    KV_State *state = document->current;
    state->channels = channels;
    state->sampleRate = rate;
    state->selAnchor = state->selEnd = 0;
    state->editChannel = -1;
    std::memset(state->label, 0, sizeof state->label);
    std::strcpy(state->label, "Original Sound");
    kvRebuildIndex(doc);
}

void (*kvDocumentClosing)(int32_t doc) = nullptr;

void kvFreeDocument(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    kvFree(document->history);
    kvFree(document->id3v2Copy);
    kvFree(document);
    kvDocuments[doc] = nullptr;
    /* Samples only this document held go now; what the clipboard still
     * refers to stays. */
    kvCollectDataFiles();
    kvReleaseFreeMemory();
}

/* Splicing selects what was inserted, which for a load is the whole sound;
 * a file opens with only a cursor at 0 instead, so that the first stray key
 * (Delete, an effect) cannot act on all of it. The state file is written
 * after that, so undoing back to the original brings the same view. */
int32_t kvFinishLoading(int32_t doc) {
    if (!kvFinishInsert(doc)) return -1;
    kvRebuildIndex(doc);
    KV_State *state = kvGetDocument(doc)->current;
    state->selAnchor = state->selEnd = 0;
    kvDocumentChanged(doc, KV_CHANGE_LOADED);
    if (KvSaveStateFn saveState = kvSaveStateHook.load()) saveState(doc);
    return 0;
}

/* ---- Headless use ---- */

extern "C" KV_API int32_t kvSetSelection(int32_t doc, int32_t anchor, int32_t end,
                                         int32_t channel) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    KV_State *state = document->current;
    state->selAnchor = std::clamp(anchor, 0, state->length);
    state->selEnd = std::clamp(end, 0, state->length);
    bool single = state->channels == 2 && (channel == 0 || channel == 1);
    state->editChannel = single ? channel : -1;
    kvDocumentChanged(doc);
    return 0;
}

extern "C" KV_API int32_t kvGetSelection(int32_t doc, int32_t *anchor, int32_t *end,
                                         int32_t *channel) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (anchor) *anchor = document->current->selAnchor;
    if (end) *end = document->current->selEnd;
    if (channel) *channel = document->current->editChannel;
    return 0;
}

extern "C" KV_API int32_t kvGetLength(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document ? document->current->length : 0;
}

extern "C" KV_API int32_t kvReadFrames(int32_t doc, int32_t channel, int32_t start, int32_t count,
                                       float *buffer) {
    if (!kvGetDocument(doc) || !buffer || count < 0) return -1;
    return kvReadSamples(doc, channel, -1, buffer, start, count);
}
