/*
 * queries.cpp - what the program asks about a document to set up its menus,
 * toolbars and title, and the selection fix-up before an effect.
 *
 * Queries answer 0 for a handle that names no document, so the program can
 * ask them without checking first.
 */
#include "engine/document/changes.h"
#include "engine/document/document.h"

#include <cstring>

extern "C" KV_API int32_t kvIsSaved(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document && document->level == document->savedLevel ? 1 : 0;
}

extern "C" KV_API int32_t kvNeedsSaveAs(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document && document->saveAsFirst ? 1 : 0;
}

extern "C" KV_API int32_t kvCanUndo(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document && document->level > 0 ? 1 : 0;
}

extern "C" KV_API int32_t kvCanRedo(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document && document->level < document->stateCount - 1 ? 1 : 0;
}

extern "C" KV_API int32_t kvGetNumUndo(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document ? document->stateCount : 0;
}

extern "C" KV_API int32_t kvGetUndoLevel(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document ? document->level : 0;
}

extern "C" KV_API int32_t kvGetUndoText(int32_t doc, int32_t n, char *buffer) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !buffer) return 0;
    if (n < 0 || n >= document->stateCount) return -1;
    const char *label = document->history[n].label;
    size_t length = strnlen(label, 39);
    std::memcpy(buffer, label, length);
    buffer[length] = 0;
    return 0;
}

extern "C" KV_API int32_t kvGetSampleRate(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document ? document->current->sampleRate : 0;
}

extern "C" KV_API int32_t kvGetChannels(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document ? document->current->channels : 0;
}

extern "C" KV_API int32_t kvGetProperties(int32_t doc, int32_t *channels, int32_t *rate,
                                          int32_t *bits) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (channels) *channels = document->current->channels;
    if (rate) *rate = document->current->sampleRate;
    if (bits) *bits = document->bitsPerSample;
    return 0;
}

extern "C" KV_API int32_t kvGetFormatTag(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document ? document->formatTag : -1;
}

extern "C" KV_API int32_t kvIsZero(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document && document->current->length == 0 ? 1 : 0;
}

extern "C" KV_API int32_t kvIsAllSelected(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    const KV_State *state = document->current;
    return state->selAnchor == 0 && state->selEnd >= state->length ? 1 : 0;
}

extern "C" KV_API int32_t kvFixSelection(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return 0;
    KV_State *state = document->current;
    if (state->selAnchor != state->selEnd) return kvIsAllSelected(doc);
    state->selAnchor = 0;
    state->selEnd = state->length;
    kvDocumentChanged(doc);
    return 1;
}
