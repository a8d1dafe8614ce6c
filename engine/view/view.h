/*
 * view.h - what the rest of the engine asks of a document's view.
 *
 * A document created without a window has no view; redraw requests for it
 * are simply dropped, which is what lets the engine run headless. kvCreate
 * and kvClose attach and detach the view; edits and history ask for redraws;
 * playback posts KV_MSG_REDRAW to the window instead of drawing itself.
 */
#ifndef KV_VIEW_VIEW_H
#define KV_VIEW_VIEW_H

#include "engine/core/korvel.h"

#include <cstdint>

/* Messages of the view: to the document window itself... */
enum : int32_t {
    KV_MSG_AUTOSCROLL = 1034, /* keep a selection drag scrolling */
    KV_MSG_REDRAW = 1147,     /* incremental redraw, posted by playback */
};
/* ...and to the program's message window. */
enum : int32_t {
    KV_MSG_SEL_START = 1125,
    KV_MSG_SEL_END = 1126,
    KV_MSG_SEL_LENGTH = 1127,
    KV_MSG_POSITION = 1128,
    KV_MSG_EDITS = 1129,
    KV_MSG_ZOOM_TEXT = 1130,
    KV_MSG_FORMAT = 1131,
    KV_MSG_CHANNELS = 1132,
    KV_MSG_RATE = 1133,
    KV_MSG_CLIPBOARD = 1525,
    KV_MSG_ZOOM_CHANGED = 3024,
};

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

/* kvCreate: takes over the window (a QWidget) for the document: the view
 * record, the handle property, the scroll bar, the event filter. */
void kvViewAttach(int32_t doc, KvWindow window);

/* kvClose: gives the window back as it was and frees the view. */
void kvViewDetach(int32_t doc);

#endif
