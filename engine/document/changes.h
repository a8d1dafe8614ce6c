/*
 * changes.h - what a document tells the modules above it.
 *
 * Documents, history, effects, audio and codecs sit below the view and the
 * start-up, so they never call them: they announce that a document is about
 * to change or has changed, and whoever plays, draws or keeps something of it
 * registers a handler at start-up. With nothing registered an announcement
 * does nothing.
 */
#ifndef KV_DOCUMENT_CHANGES_H
#define KV_DOCUMENT_CHANGES_H

#include <atomic>
#include <cstdint>

/* What happened to the document. */
enum KvDocumentChange : int32_t {
    KV_CHANGE_CONTENT = 0, /* samples, selection or state: draw it again */
    KV_CHANGE_LOADED = 1,  /* a file was just read in: show it at a fitting zoom */
    KV_CHANGE_STATUS = 2,  /* only what the status line tells (the clip count) */
};

/* The view's handler. */
using KvDocumentChangedFn = void (*)(int32_t doc, KvDocumentChange change);
extern std::atomic<KvDocumentChangedFn> kvDocumentChangedHook;

/* Announces the change to the registered handler, if any. */
void kvDocumentChanged(int32_t doc, KvDocumentChange change = KV_CHANGE_CONTENT);

/* Announced before an operation no audio may run beside (every edit, taking
 * a noise profile): the documents become the interface thread's alone, so
 * the audio module's handler stops playback and previews. */
using KvClaimDocumentsFn = void (*)();
extern std::atomic<KvClaimDocumentsFn> kvClaimDocumentsHook;
void kvClaimDocuments();

/* Writes the document's current state to its file once a load is complete:
 * the history's, registered at start-up. Null: the load keeps no state. */
using KvSaveStateFn = int32_t (*)(int32_t doc);
extern std::atomic<KvSaveStateFn> kvSaveStateHook;

#endif
