/*
 * documents.cpp - the document exports that reach several modules: the
 * document module makes, empties, saves and frees a document, and these add
 * what must happen around that above it (the view taking over the window,
 * the history's first state, the audio let go of it, playback stopped).
 */
#include "engine/audio/playback.h"
#include "engine/codec/codec.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/document/wave.h"
#include "engine/history/history.h"
#include "engine/view/view.h"

extern "C" KV_API int32_t kvCreate(KvWindow window) {
    int32_t doc = kvCreateDocument(window);
    /* A null window means a document without a view. */
    if (doc >= 0 && window) kvViewAttach(doc, window);
    return doc;
}

extern "C" KV_API int32_t kvNew(int32_t doc, int32_t channels, int32_t bits, int32_t formatTag,
                                int32_t rate) {
    if (!kvGetDocument(doc)) return -1;
    if (channels < 1 || channels > 2)
        return kvError(0, "Unsupported number of channels: %d", channels);
    kvDiscardHistory(doc);
    kvMakeEmptySound(doc, channels, bits, formatTag, rate);
    kvSaveState(doc);
    return 0;
}

extern "C" KV_API int32_t kvClose(int32_t doc) {
    if (!kvGetDocument(doc)) return -1;
    if (kvDocumentClosing) kvDocumentClosing(doc);
    kvReleaseDocumentAudio(doc);
    kvViewDetach(doc);
    kvDiscardHistory(doc);
    kvFreeDocument(doc);
    return 0;
}

/* The codec bridge writes what is not WAVE: compressed documents and the
 * other sound-file formats. */
static KvEncodeFn kvEncoderFor(int32_t formatTag) {
    constexpr int32_t mpegLayer3 = 85;
    if (formatTag == mpegLayer3) return kvEncodeFile;
    return kvIsSoundFileFormat(formatTag) ? kvEncodeSoundFile : nullptr;
}

extern "C" KV_API int32_t kvSave(int32_t doc, const char *path) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !path || !*path) return -1;
    kvStop();
    return kvSaveDocument(doc, path, kvEncoderFor(document->formatTag));
}
