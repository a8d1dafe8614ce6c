/*
 * changes.cpp - the announcements of changes.h; atomic so that setting a
 * handler at start-up needs no ordering with threads already running.
 */
#include "engine/document/changes.h"

std::atomic<KvDocumentChangedFn> kvDocumentChangedHook{nullptr};
std::atomic<KvClaimDocumentsFn> kvClaimDocumentsHook{nullptr};
std::atomic<KvSaveStateFn> kvSaveStateHook{nullptr};

void kvDocumentChanged(int32_t doc, KvDocumentChange change) {
    if (KvDocumentChangedFn handler = kvDocumentChangedHook.load()) handler(doc, change);
}

void kvClaimDocuments() {
    if (KvClaimDocumentsFn handler = kvClaimDocumentsHook.load()) handler();
}
