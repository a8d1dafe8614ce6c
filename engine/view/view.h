/*
 * view.h - what the rest of the engine asks of a document's view.
 *
 * A document created without a window has no view; redraw requests for it
 * are simply dropped, which is what lets the engine run headless.
 */
#ifndef KV_VIEW_VIEW_H
#define KV_VIEW_VIEW_H

#include <cstdint>

/* Redraws the document's window, if it has one. */
void kvRedrawDocument(int32_t doc);

#endif
