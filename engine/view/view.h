/*
 * view.h - what the rest of the engine asks of a document's view.
 *
 * A document created without a window has no view; redraw requests for it
 * are simply dropped, which is what lets the engine run headless. kvCreate
 * and kvClose attach and detach the view; edits and history ask for redraws;
 * playback posts KV_MSG_PLAY_REDRAW to the window instead of drawing itself.
 */
#ifndef KV_VIEW_VIEW_H
#define KV_VIEW_VIEW_H

#include "korvel.h"

#include <cstdint>

/* Redraw modes: 0 moves what is drawn and draws only what changed, 1 draws
 * everything, 2 also remakes the picture, pens and font first. */
enum : int32_t { KV_REDRAW_INCREMENTAL = 0, KV_REDRAW_FULL = 1, KV_REDRAW_REBUILD = 2 };

/* Redraws the document's window, if it has one. */
void kvRedraw(int32_t doc, int32_t mode);

/* A full redraw, after an edit or a change of state. */
void kvRedrawDocument(int32_t doc);

/* A newly opened sound longer than its window at the present zoom is shown
 * whole: the zoom that fits it, from frame 0. A shorter one keeps its zoom;
 * a document without a window is left alone. */
void kvFitOpenedSound(int32_t doc);

/* Start-up: the view becomes the handler of every document's change
 * announcements (engine/document/changes.h). */
void kvViewRegisterHooks();

/* kvCreate: takes over the window (a QWidget) for the document: the view
 * record, the handle property, the scroll bar, the event filter. */
void kvViewAttach(int32_t doc, KvWindow window);

/* kvClose: gives the window back as it was and frees the view. */
void kvViewDetach(int32_t doc);

#endif
