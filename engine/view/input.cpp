/*
 * input.cpp - what the document window does with the mouse, the keys, the
 * wheel, the scroll bar, its size and the view's own messages.
 *
 * Three drags share one state for the whole engine, since only one window
 * can hold the mouse: the ruler (or middle button) drag scrolls, the
 * overview drag places the selection in the whole file, the selection drag
 * moves an edge and scrolls by itself near the window's edges. A selection
 * drag held still keeps scrolling because each scroll step posts message
 * KV_MSG_AUTOSCROLL, whose handling replays the last pointer move.
 */
#include "engine/core/engine.h"
#include "engine/platform/clock.h"
#include "engine/platform/messages.h"
#include "engine/view/view.h"
#include "engine/view/view_math.h"
#include "engine/view/wave_view.h"

#include <QAbstractSlider>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>

static const int16_t kNoDrag = -9999;

struct KV_DragState {
    int16_t rulerDragX = kNoDrag;
    int16_t overviewDragX = kNoDrag;
    int16_t selDragX = kNoDrag;
    int64_t lastAutoScrollTick = 0;
    /* The last pointer move of a selection drag, replayed by KV_MSG_AUTOSCROLL. */
    QPointF lastMovePosition;
    Qt::MouseButtons lastMoveButtons;
    Qt::KeyboardModifiers lastMoveModifiers;
};
static KV_DragState drag;

static bool kvDragging(int16_t x) {
    return x >= -9998;
}

static bool kvLocked() {
    return kvEngine.options && kvEngine.options->lockChannels != 0;
}

static void kvSetPointer(QWidget *window, Qt::CursorShape shape) {
    if (window->cursor().shape() != shape) window->setCursor(shape);
}

/* ---- Mouse ---- */

static void kvPlaceSelection(KV_State *state, int64_t frame, int64_t width) {
    int64_t at = std::clamp<int64_t>(state->length * frame / width, 0, state->length);
    state->selAnchor = state->selEnd = static_cast<int32_t>(at);
}

/* A left click in the wave area: the channel from the row, then an edge
 * taken hold of or a new cursor. */
static void kvClickWave(WaveView *view, KV_State *state, int32_t x, int32_t y) {
    state->editChannel = kvChannelAtRow(y, view->laneUnit, state->channels, kvLocked());
    int32_t anchorColumn = kvColumnOf(state->selAnchor, state->firstFrame, state->framesPerPixel);
    int32_t endColumn = kvColumnOf(state->selEnd, state->firstFrame, state->framesPerPixel);
    int32_t frame =
        kvClampFrame(static_cast<int64_t>(x) * state->framesPerPixel + state->firstFrame);
    if (kvNearColumn(x, anchorColumn)) {
        state->selAnchor = state->selEnd;
        state->selEnd = frame;
    } else if (kvNearColumn(x, endColumn)) {
        state->selEnd = frame;
    } else {
        state->selAnchor = state->selEnd = frame;
    }
    state->selAnchor = std::clamp(state->selAnchor, 0, state->length);
    state->selEnd = std::clamp(state->selEnd, 0, state->length);
}

static bool kvLeftDown(int32_t doc, WaveView *view, int16_t x, int16_t y) {
    KV_State *state = kvGetDocument(doc)->current;
    view->window->setFocus();
    kvSetTouched(doc, 1);
    if (y > kvSeparatorRow(view->laneUnit)) {
        drag.rulerDragX = x;
        return true;
    }
    if (y < 8) {
        drag.overviewDragX = x;
        kvPlaceSelection(state, x, view->width);
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
        return true;
    }
    kvClickWave(view, state, x, y);
    drag.selDragX = x;
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    kvSetPointer(view->window, Qt::SizeHorCursor);
    return false;
}

/* Moves the view by `columns` (positive: towards the end) and no further
 * than the ends of the sound; false, and nothing moves, when the whole sound
 * fits the window. */
static bool kvScrollColumns(int32_t doc, WaveView *view, int64_t columns) {
    KV_State *state = kvGetDocument(doc)->current;
    int64_t zoom = state->framesPerPixel;
    if (view->width >= state->length / zoom) return false;
    int64_t first = state->firstFrame + columns * zoom;
    int64_t last = std::max<int64_t>(0, state->length - zoom * view->width);
    state->firstFrame = static_cast<int32_t>(std::clamp<int64_t>(first, 0, last));
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    return true;
}

static void kvRulerDrag(int32_t doc, WaveView *view, int16_t x) {
    if (kvScrollColumns(doc, view, drag.rulerDragX - x)) drag.rulerDragX = x;
}

/* Near either edge the view scrolls towards it, faster the longer the tick. */
static bool kvAutoScroll(WaveView *view, KV_State *state, int16_t x, bool rightButton) {
    int64_t zoom = state->framesPerPixel;
    bool left = x < 8 && state->firstFrame >= 1;
    bool right =
        x > view->width - 8 && state->firstFrame < state->length - (view->width + 1) * zoom;
    if (!left && !right) {
        drag.lastAutoScrollTick = 0;
        return false;
    }
    int64_t now = kvTickCount();
    int32_t step = kvAutoScrollStep(now, drag.lastAutoScrollTick, rightButton);
    state->firstFrame = kvClampFrame(state->firstFrame + (left ? -step : step) * zoom);
    drag.lastAutoScrollTick = now;
    return true;
}

static void kvSelectionDrag(int32_t doc, WaveView *view, const QMouseEvent *event, int16_t x,
                            int16_t y) {
    KV_State *state = kvGetDocument(doc)->current;
    drag.lastMovePosition = event->position();
    drag.lastMoveButtons = event->buttons();
    drag.lastMoveModifiers = event->modifiers();
    bool scrolled = kvAutoScroll(view, state, x, event->buttons() & Qt::RightButton);
    state->editChannel = kvChannelAtRow(y, view->laneUnit, state->channels, kvLocked());
    state->selEnd =
        kvClampFrame(static_cast<int64_t>(x) * state->framesPerPixel + state->firstFrame);
    state->selAnchor = std::clamp(state->selAnchor, 0, state->length);
    state->selEnd = std::clamp(state->selEnd, 0, state->length);
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    if (scrolled) kvPostMessage(view->window.data(), KV_MSG_AUTOSCROLL, 0, 0);
}

static void kvHoverPointer(int32_t doc, WaveView *view, int16_t x, int16_t y) {
    const KV_State *state = kvGetDocument(doc)->current;
    Qt::CursorShape shape = Qt::IBeamCursor;
    if (y < 12 || y > kvSeparatorRow(view->laneUnit))
        shape = Qt::ArrowCursor;
    else if (kvNearColumn(x,
                          kvColumnOf(state->selAnchor, state->firstFrame, state->framesPerPixel)) ||
             kvNearColumn(x, kvColumnOf(state->selEnd, state->firstFrame, state->framesPerPixel)))
        shape = Qt::SizeHorCursor;
    kvSetPointer(view->window, shape);
}

static bool kvMouseMove(int32_t doc, WaveView *view, const QMouseEvent *event, int16_t x,
                        int16_t y) {
    Qt::MouseButtons buttons = event->buttons();
    KV_State *state = kvGetDocument(doc)->current;
    if (kvDragging(drag.rulerDragX) && (buttons & (Qt::LeftButton | Qt::MiddleButton))) {
        if (x != drag.rulerDragX) kvRulerDrag(doc, view, x);
    } else if (kvDragging(drag.selDragX) && (buttons & Qt::LeftButton)) {
        kvSelectionDrag(doc, view, event, x, y);
    } else if (kvDragging(drag.overviewDragX) && (buttons & Qt::LeftButton)) {
        state->selEnd = static_cast<int32_t>(std::clamp<int64_t>(
            static_cast<int64_t>(state->length) * x / view->width, 0, state->length));
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    } else if (buttons == Qt::NoButton) {
        kvHoverPointer(doc, view, x, y);
    }
    return true;
}

static bool kvMousePress(int32_t doc, WaveView *view, const QMouseEvent *event, int16_t x,
                         int16_t y) {
    switch (event->button()) {
    case Qt::LeftButton:
        return kvLeftDown(doc, view, x, y);
    case Qt::MiddleButton:
        if (y < 12) return false;
        kvSetTouched(doc, 1);
        view->window->setFocus();
        drag.rulerDragX = x;
        kvSetPointer(view->window, Qt::SizeAllCursor);
        return true;
    case Qt::BackButton:
        kvStop();
        return true;
    case Qt::ForwardButton:
        kvPlay(doc, KV_PLAY_NORMAL);
        return true;
    default:
        return false;
    }
}

static bool kvMouseRelease(int32_t doc, const QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        drag.rulerDragX = drag.overviewDragX = drag.selDragX = kNoDrag;
        drag.lastAutoScrollTick = 0;
        kvRedraw(doc, KV_REDRAW_FULL);
        return false;
    }
    if (event->button() == Qt::MiddleButton) {
        drag.rulerDragX = drag.selDragX = kNoDrag;
        kvRedraw(doc, KV_REDRAW_FULL);
        return true;
    }
    return false;
}

static bool kvDoubleClick(int32_t doc, WaveView *view, const QMouseEvent *event, int16_t y) {
    if (event->button() != Qt::LeftButton || y < 12 || y > kvSeparatorRow(view->laneUnit))
        return false;
    KV_State *state = kvGetDocument(doc)->current;
    state->selAnchor = state->firstFrame;
    state->selEnd =
        kvClampFrame(state->firstFrame + static_cast<int64_t>(view->width) * state->framesPerPixel);
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    return true;
}

/* One notch of a wheel (angle units of 1/8 degree) scrolls a tenth of the
 * window: as far as one notch zooms. */
static const int32_t kWheelNotch = 120;
static const int32_t kNotchesPerWindow = 10;

/* The wheel over the waveform zooms around the play cursor or the pointer.
 * Scrolling is what every other program's wheel does sideways, with Shift and
 * over a scroll bar, so those scroll the view: by the touchpad's own pixels
 * when it gives them, else by notches; turning away from the user (or to the
 * left) goes towards the start. */
static bool kvWheel(int32_t doc, WaveView *view, const QWheelEvent *event, bool overScrollBar) {
    QPoint angle = event->angleDelta(), pixels = event->pixelDelta();
    bool shifted = event->modifiers() & Qt::ShiftModifier;
    bool sideways = std::abs(angle.x()) > std::abs(angle.y());
    bool control = event->modifiers() & Qt::ControlModifier;
    /* Ctrl+Shift turns the wheel into the vertical zoom, a notch a doubling. */
    if (control && shifted && !overScrollBar) {
        int32_t turn = angle.y() != 0 ? angle.y() : angle.x();
        if (turn != 0) kvZoomVertical(doc, turn > 0 ? KV_VZOOM_IN : KV_VZOOM_OUT);
        return true;
    }
    if (!shifted && !sideways && !overScrollBar) {
        if (angle.y() != 0)
            kvZoomByPercent(doc, angle.y() > 0 ? -10 : 10, false,
                            static_cast<int32_t>(event->position().x()));
        return true;
    }
    bool useX = sideways || (shifted && angle.y() == 0);
    int64_t columns = -(useX ? pixels.x() : pixels.y());
    if (pixels.isNull())
        columns = -int64_t{useX ? angle.x() : angle.y()} * view->width /
                  (kNotchesPerWindow * kWheelNotch);
    kvSetTouched(doc, 1);
    kvScrollColumns(doc, view, columns);
    return true;
}

static bool kvMouseEvent(int32_t doc, WaveView *view, QEvent *event) {
    auto *mouse = static_cast<QMouseEvent *>(event);
    auto x = static_cast<int16_t>(mouse->position().x());
    auto y = static_cast<int16_t>(mouse->position().y());
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return kvMousePress(doc, view, mouse, x, y);
    case QEvent::MouseButtonRelease:
        return kvMouseRelease(doc, mouse);
    case QEvent::MouseButtonDblClick:
        return kvDoubleClick(doc, view, mouse, y);
    default:
        return kvMouseMove(doc, view, mouse, x, y);
    }
}

/* ---- Keys ---- */

/* The digit keys 1 to 8 belong to the program (its saved views), shifted or
 * not: on the top row the X key codes 10 to 17 whatever the layout makes of
 * them. */
static bool kvProgramKey(const QKeyEvent *event) {
    int key = event->key();
    quint32 code = event->nativeScanCode();
    return (key >= Qt::Key_1 && key <= Qt::Key_8) || (code >= 10 && code <= 17);
}

static void kvShiftArrow(int32_t doc, int32_t direction, bool control) {
    KV_State *state = kvGetDocument(doc)->current;
    kvSetTouched(doc, 1);
    int64_t columns = control ? 1 : 4;
    state->selEnd = kvClampFrame(state->selEnd + direction * columns * state->framesPerPixel);
    kvBringIntoView(doc, state->selEnd);
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
}

static void kvArrow(int32_t doc, WaveView *view, int32_t direction, bool control) {
    const KV_State *state = kvGetDocument(doc)->current;
    kvSetTouched(doc, 1);
    int64_t zoom = state->framesPerPixel;
    if (control)
        kvScrollSteps(doc, 4, direction * (view->width * zoom / 4), 0);
    else
        kvScrollSteps(doc, 4, direction * 16 * zoom, 1);
}

static void kvSwapEnds(int32_t doc, WaveView *view) {
    KV_State *state = kvGetDocument(doc)->current;
    view->window->setFocus();
    std::swap(state->selAnchor, state->selEnd);
    kvRedraw(doc, KV_REDRAW_FULL);
    kvBringIntoView(doc, state->selEnd);
}

static void kvSetScrollMode(int32_t doc, int32_t mode) {
    if (kvEngine.options) kvEngine.options->scrollMode = mode;
    kvSetTouched(doc, 0);
}

static bool kvKeyPress(int32_t doc, WaveView *view, const QKeyEvent *event) {
    if (kvProgramKey(event)) return false;
    bool shift = event->modifiers() & Qt::ShiftModifier;
    bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_S:
        kvSetScrollMode(doc, 0);
        break;
    case Qt::Key_P:
        kvSetScrollMode(doc, 1);
        break;
    case Qt::Key_N:
        kvSetScrollMode(doc, 2);
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        kvZoomByPercent(doc, event->key() == Qt::Key_Up ? -10 : 10, true, 0);
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        kvZoomByPercent(doc, event->key() == Qt::Key_PageUp ? -50 : 50, true, 0);
        break;
    case Qt::Key_Right:
    case Qt::Key_Left: {
        int32_t direction = event->key() == Qt::Key_Right ? 1 : -1;
        if (shift)
            kvShiftArrow(doc, direction, control);
        else
            kvArrow(doc, view, direction, control);
        break;
    }
    case Qt::Key_Home:
        kvToStart(doc);
        break;
    case Qt::Key_End:
        kvToEnd(doc);
        break;
    case Qt::Key_Space:
        if (kvIsPlaying())
            kvStop();
        else
            kvPlay(doc, KV_PLAY_NORMAL);
        break;
    case Qt::Key_Escape:
        kvStop();
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        kvSwapEnds(doc, view);
        break;
    default:
        break;
    }
    return true;
}

/* ---- Scroll bar ---- */

void kvScrollBarAction(int32_t doc, WaveView *view, int32_t action) {
    KV_State *state = kvGetDocument(doc)->current;
    int64_t zoom = state->framesPerPixel;
    view->window->setFocus();
    switch (action) {
    case QAbstractSlider::SliderMove:
        kvSetTouched(doc, 1);
        view->scrollPos = view->scrollBar->sliderPosition();
        state->firstFrame = kvClampFrame(int64_t{view->scrollPos} * view->scrollUnit * zoom);
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
        break;
    case QAbstractSlider::SliderSingleStepAdd:
    case QAbstractSlider::SliderSingleStepSub:
        kvSetTouched(doc, 1);
        kvScrollSteps(doc, 4, (action == QAbstractSlider::SliderSingleStepAdd ? 16 : -16) * zoom,
                      1);
        break;
    case QAbstractSlider::SliderPageStepAdd:
    case QAbstractSlider::SliderPageStepSub:
        kvSetTouched(doc, 1);
        kvScrollSteps(
            doc, 4,
            (action == QAbstractSlider::SliderPageStepAdd ? 1 : -1) * (view->width * zoom / 4), 0);
        break;
    default:
        break;
    }
    /* The bar applies its own idea of the position after this; make it ours. */
    view->scrollBar->setSliderPosition(view->scrollPos);
}

static bool kvScrollBarEvent(int32_t doc, WaveView *view, QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        view->window->setFocus();
        return kvViewBusy();
    case QEvent::MouseButtonRelease:
        if (!kvViewBusy()) kvRedraw(doc, KV_REDRAW_FULL);
        return false;
    case QEvent::Wheel:
        return kvViewBusy() || kvWheel(doc, view, static_cast<QWheelEvent *>(event), true);
    default:
        return false;
    }
}

/* ---- Dispatch ---- */

static bool kvIsInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        return true;
    default:
        return false;
    }
}

/* The view's own KV_MSG_AUTOSCROLL: the pointer "moves" to where it is. */
static void kvReplayMove(WaveView *view) {
    if (!kvDragging(drag.selDragX)) return;
    QPointF position = drag.lastMovePosition;
    QMouseEvent move(QEvent::MouseMove, position, view->window->mapToGlobal(position), Qt::NoButton,
                     drag.lastMoveButtons, drag.lastMoveModifiers);
    QCoreApplication::sendEvent(view->window.data(), &move);
}

bool kvViewEvent(int32_t doc, WaveView *view, QObject *watched, QEvent *event) {
    if (watched == view->scrollBarObject)
        return qobject_cast<QScrollBar *>(watched) ? kvScrollBarEvent(doc, view, event) : false;
    if (watched != view->window.data()) return false;
    QEvent::Type type = event->type();
    if (kvIsInput(type) && kvViewBusy()) return true;
    /* Before the first picture (or with nothing loaded) there is nothing to
     * point at. */
    bool empty = view->width <= 0 || kvGetDocument(doc)->current->framesPerPixel <= 0;
    if (kvIsInput(type) && empty) return false;
    switch (static_cast<int32_t>(type)) {
    case QEvent::Paint:
        kvPaintView(view, static_cast<QPaintEvent *>(event)->region());
        return false;
    case QEvent::Resize:
        kvPlaceScrollBar(view);
        if (!kvViewBusy()) kvRedraw(doc, KV_REDRAW_FULL);
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return kvMouseEvent(doc, view, event);
    case QEvent::Wheel:
        return kvWheel(doc, view, static_cast<QWheelEvent *>(event), false);
    case QEvent::KeyPress:
        return kvKeyPress(doc, view, static_cast<QKeyEvent *>(event));
    case KV_MSG_PLAY_REDRAW:
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
        kvRemovePostedMessages(view->window.data(), KV_MSG_PLAY_REDRAW);
        return true;
    case KV_MSG_AUTOSCROLL:
        kvReplayMove(view);
        return true;
    default:
        return false;
    }
}
