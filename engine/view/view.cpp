/*
 * view.cpp - the document view.
 */
#include "engine/view/view.h"
#include "engine/document/document.h"

void kvRedrawDocument(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !document->view) return;
}
