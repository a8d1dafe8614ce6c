/*
 * view_state.cpp - zoom, saved views, selection and navigation: the exports
 * the program's menus and toolbars call, and the moves the mouse and keys
 * share with them.
 *
 * The view fields live in the current KV_State, so undo and redo bring back
 * the view of each state, and the selection exports work on a document
 * without a window too. What needs the window's width (zooming, selecting
 * the visible frames, scrolling a frame into view) does nothing without one.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/history/clipboard.h"
#include "engine/platform/clock.h"
#include "engine/platform/messages.h"
#include "engine/view/view.h"
#include "engine/view/view_math.h"
#include "engine/view/wave_view.h"

#include <algorithm>

static const int32_t kSavedViews = 8;

bool kvViewBusy() {
    return kvProgressRunning();
}

void kvNotifyZoom() {
    kvSendMessage(kvEngine.messageWindow, KV_MSG_ZOOM_CHANGED, 0, 0);
}

/* The window's width in columns as the view knows it (64 before its first picture). */
static int32_t kvViewWidth(const WaveView *view) {
    return std::max(view->width, 64);
}

/* Both ends into [0, length], as the next redraw's normalising would; done
 * at once so that a document without a window never holds ends outside. */
static void kvClampSelection(KV_State *state) {
    state->selAnchor = std::clamp(state->selAnchor, 0, state->length);
    state->selEnd = std::clamp(state->selEnd, 0, state->length);
}

void kvFitOpenedSound(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    WaveView *view = document ? document->view : nullptr;
    if (!view) return;
    /* Before its first picture the view does not know its width yet; the
     * window does. */
    int32_t width = 0, height = 0;
    kvClientSize(view, &width, &height);
    KV_State *state = document->current;
    if (static_cast<int64_t>(state->framesPerPixel) * width >= state->length) return;
    state->framesPerPixel = kvFitZoom(state->length, width);
    state->firstFrame = 0;
}

/* The column of the play cursor to zoom around, when there is one. */
static bool kvPlayAnchor(int32_t doc, const WaveView *view, const KV_State *state,
                         int32_t *column) {
    int32_t playFrame = kvPlayFrameOf(doc);
    if (playFrame < 0) return false;
    int64_t offset = static_cast<int64_t>(playFrame) - state->firstFrame;
    *column = kvClampFrame(offset / state->framesPerPixel);
    bool inWindow = offset >= 0 && *column < kvViewWidth(view);
    return inWindow || kvPlaybackFollows(doc);
}

void kvZoomByPercent(int32_t doc, int32_t percent, bool centred, int32_t mouseX) {
    KV_Document *document = kvGetDocument(doc);
    WaveView *view = document ? document->view : nullptr;
    if (!view) return;
    KV_State *state = document->current;
    if (state->length == 0 || state->framesPerPixel <= 0) return;
    int32_t width = kvViewWidth(view);
    int32_t anchor = 0;
    bool anchored = kvPlayAnchor(doc, view, state, &anchor);
    if (!anchored && !centred) {
        anchor = std::clamp(mouseX, 0, width);
        anchored = true;
    }
    int32_t old = state->framesPerPixel;
    int32_t zoom = kvZoomStep(old, percent);
    /* Zooming out stops where the whole sound is in the window; a view
     * already further out (a short sound at the opening zoom) stays. */
    if (percent > 0) zoom = std::min(zoom, std::max(old, kvFitZoom(state->length, width)));
    state->framesPerPixel = zoom;
    state->firstFrame =
        kvZoomedFirstFrame(state->firstFrame, old, state->framesPerPixel, width, anchored, anchor);
    if (!kvPlaybackFollows(doc)) kvRedraw(doc, KV_REDRAW_FULL);
    kvNotifyZoom();
}

void kvScrollSteps(int32_t doc, int32_t steps, int64_t frames, int32_t sleepMs) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return;
    for (int32_t i = 0; i < steps; i++) {
        KV_State *state = document->current;
        state->firstFrame = kvClampFrame(state->firstFrame + frames);
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
        if (sleepMs > 0) kvSleepMs(sleepMs);
    }
}

/* One animated step towards a frame; false when the redraw's normalising
 * undid it (the view is already against an end of the file). */
static bool kvStepTowards(int32_t doc, KV_State *state, int64_t frames) {
    int32_t before = state->firstFrame;
    state->firstFrame = kvClampFrame(before + frames);
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    kvSleepMs(1);
    return state->firstFrame != before;
}

void kvBringIntoView(int32_t doc, int32_t frame) {
    KV_Document *document = kvGetDocument(doc);
    WaveView *view = document ? document->view : nullptr;
    if (!view || document->current->length == 0 || document->current->framesPerPixel <= 0) return;
    KV_State *state = document->current;
    int64_t zoom = state->framesPerPixel;
    int32_t width = kvViewWidth(view);
    int64_t f = std::clamp(frame, 0, state->length - 1);
    auto column = [&] { return (f - state->firstFrame) / zoom; };
    if (column() > 7 && column() < width - 8) return;
    if (column() <= 7) {
        if (f + 128 * zoom < state->firstFrame) state->firstFrame = kvClampFrame(f + 128 * zoom);
        for (int32_t i = 0; i < 19 && column() <= 7; i++)
            if (!kvStepTowards(doc, state, -16 * zoom)) break;
        return;
    }
    int64_t far = f - (width + 128) * zoom;
    if (state->firstFrame < far) state->firstFrame = kvClampFrame(far);
    for (int32_t i = 0; i < 19 && column() >= width - 8; i++)
        if (!kvStepTowards(doc, state, 16 * zoom)) break;
}

/* ---- Zoom ---- */

/* Mode 1: the selection fills the window; false when there is none. */
static bool kvZoomToSelection(int32_t doc, KV_State *state, int32_t width) {
    int64_t lo = std::min(state->selAnchor, state->selEnd);
    int64_t hi = std::max(state->selAnchor, state->selEnd);
    if (lo == hi) return false;
    int64_t zoom = std::clamp<int64_t>((hi - lo) / width + 1, KV_MIN_ZOOM, KV_MAX_ZOOM);
    state->framesPerPixel = static_cast<int32_t>(zoom);
    state->firstFrame = kvClampFrame(lo + (hi - lo) / 2 - zoom * width / 2);
    kvSetTouched(doc, 1);
    return true;
}

extern "C" KV_API int32_t kvZoomSpecial(int32_t doc, int32_t mode) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    WaveView *view = document->view;
    if (!view) return 0;
    KV_State *state = document->current;
    int32_t width = kvViewWidth(view);
    int32_t old = state->framesPerPixel;
    switch (mode) {
    case KV_ZOOM_ONE_TO_ONE:
        state->framesPerPixel = 1;
        state->firstFrame =
            kvClampFrame(static_cast<int64_t>(width / 2) * old + state->firstFrame - width / 2);
        break;
    case KV_ZOOM_SELECTION:
        if (!kvZoomToSelection(doc, state, width)) return 0;
        break;
    case KV_ZOOM_WHOLE:
        state->framesPerPixel = kvFitZoom(state->length, width);
        break;
    case KV_ZOOM_IN:
    case KV_ZOOM_OUT:
        kvZoomByPercent(doc, mode == KV_ZOOM_IN ? -10 : 10, true, 0);
        return 0;
    default:
        return 0;
    }
    kvRedraw(doc, KV_REDRAW_FULL);
    kvNotifyZoom();
    return 0;
}

extern "C" KV_API int32_t kvCanZoomIn(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document && document->current->framesPerPixel > KV_MIN_ZOOM ? 1 : 0;
}

/* With a window, only while the whole sound is not yet in it. */
extern "C" KV_API int32_t kvCanZoomOut(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return 0;
    const KV_State *state = document->current;
    int32_t limit = KV_MAX_ZOOM;
    if (document->view)
        limit = std::min(limit, kvFitZoom(state->length, kvViewWidth(document->view)));
    return state->framesPerPixel < limit ? 1 : 0;
}

/* ---- Saved views ---- */

extern "C" KV_API int32_t kvSetView(int32_t doc, int32_t slot) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (slot < 0 || slot >= kSavedViews) return 0;
    const KV_State *state = document->current;
    document->savedViews[slot] = KV_SavedView{state->firstFrame, state->framesPerPixel,
                                              state->selAnchor, state->selEnd, state->editChannel};
    kvRedraw(doc, KV_REDRAW_FULL);
    return 0;
}

extern "C" KV_API int32_t kvLoadView(int32_t doc, int32_t slot) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (slot < 0 || slot >= kSavedViews || document->savedViews[slot].framesPerPixel == 0) return 0;
    const KV_SavedView &saved = document->savedViews[slot];
    KV_State *state = document->current;
    state->firstFrame = saved.firstFrame;
    state->framesPerPixel = saved.framesPerPixel;
    state->selAnchor = saved.selAnchor;
    state->selEnd = saved.selEnd;
    state->editChannel = state->channels == 2 ? saved.editChannel : -1;
    kvRedraw(doc, KV_REDRAW_FULL);
    return 0;
}

extern "C" KV_API int32_t kvIsView(int32_t doc, int32_t slot) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || slot < 0 || slot >= kSavedViews) return 0;
    return document->savedViews[slot].framesPerPixel != 0 ? 1 : 0;
}

/* ---- Selection ---- */

extern "C" KV_API int32_t kvSelectView(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    WaveView *view = document->view;
    if (!view) return 0;
    KV_State *state = document->current;
    state->editChannel = -1;
    state->selAnchor = state->firstFrame;
    state->selEnd = kvClampFrame(state->firstFrame +
                                 static_cast<int64_t>(kvViewWidth(view)) * state->framesPerPixel);
    kvClampSelection(state);
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    return 0;
}

extern "C" KV_API int32_t kvSelectAll(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    KV_State *state = document->current;
    state->editChannel = -1;
    state->selAnchor = 0;
    state->selEnd = state->length;
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    return 0;
}

/* The larger selection end becomes the smaller one plus the clip's length. */
static void kvFitSelectionToClip(KV_State *state) {
    int64_t length = kvClip.length;
    if (state->selAnchor < state->selEnd)
        state->selEnd = kvClampFrame(state->selAnchor + length);
    else
        state->selAnchor = kvClampFrame(state->selEnd + length);
}

extern "C" KV_API int32_t kvUpdatePasteMixSel(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvFitSelectionToClip(document->current);
    kvClampSelection(document->current);
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    return 0;
}

extern "C" KV_API int32_t kvNudgeSelection(int32_t doc, int32_t forward) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !kvEngine.options) return -1;
    KV_State *state = document->current;
    int64_t step = static_cast<int64_t>(kvEngine.options->nudgeMs) * state->sampleRate / 1000;
    if (!forward) step = -step;
    state->selAnchor = kvClampFrame(state->selAnchor + step);
    state->selEnd = kvClampFrame(state->selEnd + step);
    kvFitSelectionToClip(state);
    kvClampSelection(state);
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    kvBringIntoView(doc, std::min(state->selAnchor, state->selEnd));
    return 0;
}

extern "C" KV_API int32_t kvGetSelSize(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || document->current->sampleRate <= 0) return 0;
    const KV_State *state = document->current;
    int64_t frames = std::abs(static_cast<int64_t>(state->selEnd) - state->selAnchor);
    return kvClampFrame(frames * 1000 / state->sampleRate);
}

extern "C" KV_API int32_t kvIsSel(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document && document->current->selAnchor != document->current->selEnd ? 1 : 0;
}

extern "C" KV_API int32_t kvUnTouched(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvSetTouched(doc, 0);
    return 0;
}

/* ---- Navigation ---- */

static bool kvWholeFileSelected(const KV_State *state) {
    return std::min(state->selAnchor, state->selEnd) == 0 &&
           std::max(state->selAnchor, state->selEnd) >= state->length;
}

extern "C" KV_API int32_t kvToStart(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    KV_State *state = document->current;
    if (!kvWholeFileSelected(state)) state->selAnchor = state->selEnd = 0;
    kvSetTouched(doc, 1);
    state->firstFrame = 0;
    kvRedraw(doc, KV_REDRAW_FULL);
    return 0;
}

extern "C" KV_API int32_t kvToEnd(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    KV_State *state = document->current;
    if (!kvWholeFileSelected(state)) state->selAnchor = state->selEnd = state->length;
    kvSetTouched(doc, 1);
    state->firstFrame = state->length;
    kvRedraw(doc, KV_REDRAW_FULL);
    return 0;
}
