/*
 * wave_view.h - the per-document view record and what the view's files ask
 * of one another.
 *
 * A WaveView exists only for a document made with a window. Its memory
 * picture is the truth of what the window shows: every drawing goes there,
 * and the window's paint copies from it, so partial updates and scrolling of
 * the screen can never leave the two apart. The play cursor and the
 * following and touched flags are kept by playback for every document
 * (KV_PlayCursor), since its threads move them; the view reads and sets them
 * there.
 */
#ifndef KV_VIEW_WAVE_VIEW_H
#define KV_VIEW_WAVE_VIEW_H

#include "engine/document/document.h"

#include <QCursor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QScrollBar>
#include <QWidget>

#include <cstdint>

class QEvent;
class QObject;
class KvViewFilter;

/* Pen colours of a view as 0xFFRRGGBB pixels, made with the drawing objects. */
struct KV_ViewPens {
    uint32_t selectedGrid;
    uint32_t unselectedGrid;
    uint32_t cursor;
    uint32_t waveShadow;
    uint32_t selectedWave;
    uint32_t unselectedWave;
    uint32_t darkShadow; /* system colours */
    uint32_t face;
    uint32_t highlight;
    uint32_t shadow;
    uint32_t buttonText;
};

struct WaveView {
    int32_t scrollUnit = 0;
    int32_t scrollPos = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t laneUnit = 0;
    int32_t lastFramesPerPixel = 0;
    int32_t lastSelStartCol = 0;
    int32_t lastSelEndCol = 0;
    int32_t lastEditChannel = -1;
    int32_t lastPlayCol = -1;
    int32_t lastFirstFrame = 0;
    QImage picture; /* memory picture, width x height columns, Format_RGB32, in
                       device pixels with the window's whole pixel ratio */
    KV_ViewPens pens{};
    QFont font; /* the time ruler's */

    /* Rows of the play cursor now in the picture, so it is removed exactly. */
    int32_t lastPlayTop = 0;
    int32_t lastPlayBottom = 0;

    int32_t displayMode = 0;  /* a KV_DISPLAY_ value */
    int32_t verticalZoom = 1; /* amplitude magnification, a power of two */

    QPointer<QWidget> window;
    QPointer<QScrollBar> scrollBar;
    /* The same bar as a plain identity, for the event filter: events still
     * arrive while the bar is being destroyed, when it is no scroll bar any
     * more and must not be treated as one. */
    const QObject *scrollBarObject = nullptr;
    KvViewFilter *filter = nullptr;
    /* What the window had before the view took it over, given back at close. */
    bool hadOpaquePaint = false;
    bool hadMouseTracking = false;
    bool hadCursor = false;
    QCursor oldCursor;
    Qt::FocusPolicy oldFocusPolicy = Qt::NoFocus;
};

/* The view of a document, or null (no document, or one without a window). */
WaveView *kvGetView(int32_t doc);

/* The play cursor's frame in a document, -1 when it is not being played. */
int32_t kvPlayFrameOf(int32_t doc);
/* Sets or clears "moved by hand": playback follows the cursor only while
 * it is clear. */
void kvSetTouched(int32_t doc, int32_t touched);
/* True while playback moves the view itself (following, untouched). */
bool kvPlaybackFollows(int32_t doc);
/* The channel being played in this document (-1 both). */
int32_t kvPlayChannelOf(int32_t doc);

/* The document shown in a window: its stored handle, else a search of the
 * document table; -1 when none. */
int32_t kvDocumentOfWindow(const QWidget *window);

/* Client size: the window minus the scroll bar, at least 64 wide, a height
 * under 32 taken as 64. */
void kvClientSize(const WaveView *view, int32_t *width, int32_t *height);

/* Sets the scroll bar from the view after a redraw. */
void kvUpdateScrollBar(int32_t doc, WaveView *view);

/* Keeps the scroll bar along the window's bottom edge. */
void kvPlaceScrollBar(WaveView *view);

/* The view's handling of an event of its window or scroll bar: true when
 * consumed, false when passed on to the window. */
bool kvViewEvent(int32_t doc, WaveView *view, QObject *watched, QEvent *event);

/* A scroll-bar action (QAbstractSlider::SliderAction) the user triggered. */
void kvScrollBarAction(int32_t doc, WaveView *view, int32_t action);

/* ---- Operations shared by the exports and the input handlers ---- */

/* Zoom by percent (negative zooms in), centred or anchored at the play
 * cursor or at the pointer's column mouseX; redraws and notifies. */
void kvZoomByPercent(int32_t doc, int32_t percent, bool centred, int32_t mouseX);

/* Scrolls the view into place around a frame in short animated steps. */
void kvBringIntoView(int32_t doc, int32_t frame);

/* Moves firstFrame `steps` times by `frames`, redrawing incrementally after
 * each and sleeping `sleepMs` between. */
void kvScrollSteps(int32_t doc, int32_t steps, int64_t frames, int32_t sleepMs);

/* Sends KV_MSG_ZOOM_CHANGED to the program. */
void kvNotifyZoom();

/* True while a long operation shows its progress: input is then ignored. */
bool kvViewBusy();

/* Paints the damaged part of the window from the memory picture (Blank
 * Area where there is no picture). */
void kvPaintView(WaveView *view, const QRegion &damaged);

#endif
