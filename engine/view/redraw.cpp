/*
 * redraw.cpp - the redraw in its three modes, copying to the screen,
 * painting, and the refresh exports.
 *
 * A full redraw draws every column of the memory picture. An incremental one
 * moves what is already drawn by the columns the view scrolled and draws
 * only the columns that came into view (and those the selection's edges
 * left or reached), so following the play cursor through an hour of sound
 * costs a few columns per step. The screen is brought up to date from the
 * picture synchronously, as a copy to the screen would, so that short
 * animated scrolls are seen step by step.
 */
#include "engine/core/engine.h"
#include "engine/document/changes.h"
#include "engine/view/render.h"
#include "engine/view/spectrum.h"
#include "engine/view/view.h"
#include "engine/view/view_math.h"
#include "engine/view/wave_view.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

/* A range of columns [x0, x1); empty when x0 >= x1. */
struct KvColumns {
    int32_t x0;
    int32_t x1;
    bool empty() const { return x0 >= x1; }
};

static KvColumns kvUnite(KvColumns a, KvColumns b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return KvColumns{std::min(a.x0, b.x0), std::max(a.x1, b.x1)};
}

/* The picture, the pens from the colour options and the system palette, and
 * the ruler font, made again for the view's current size. */
static void kvMakeDrawingObjects(WaveView *view) {
    int32_t scale = kvViewScaleOf(view->window);
    view->picture = QImage(view->width * scale, view->height * scale, QImage::Format_RGB32);
    view->picture.setDevicePixelRatio(scale);
    view->picture.fill(kvPixelOf(kvEngine.options->colors[9]));
    const int32_t *colors = kvEngine.options->colors;
    QPalette palette = view->window->palette();
    KV_ViewPens &pens = view->pens;
    pens.selectedGrid = kvPixelOf(colors[5]);
    pens.unselectedGrid = kvPixelOf(colors[2]);
    pens.cursor = kvPixelOf(colors[8]);
    pens.waveShadow = kvPixelOf(colors[6]);
    pens.selectedWave = kvPixelOf(colors[4]);
    pens.unselectedWave = kvPixelOf(colors[1]);
    pens.darkShadow = palette.color(QPalette::Dark).rgb() | 0xFF000000u;
    pens.face = palette.color(QPalette::Button).rgb() | 0xFF000000u;
    pens.highlight = palette.color(QPalette::Light).rgb() | 0xFF000000u;
    pens.shadow = palette.color(QPalette::Mid).rgb() | 0xFF000000u;
    pens.buttonText = palette.color(QPalette::ButtonText).rgb() | 0xFF000000u;
    view->font = QApplication::font();
    view->font.setPointSize(8);
    view->font.setWeight(QFont::Normal);
    view->font.setStyleStrategy(QFont::NoAntialias);
    view->lastPlayCol = -1;
}

/* Moves rows 12 and below of the picture `shift` columns left (right when
 * negative); the columns uncovered keep stale pixels until redrawn. */
static void kvShiftPicture(QImage *picture, int32_t shift) {
    int32_t scale = kvCanvasOf(picture).scale;
    shift *= scale;
    int32_t width = picture->width();
    int32_t moved = width - std::abs(shift);
    if (moved <= 0) return;
    for (int32_t y = 12 * scale; y < picture->height(); y++) {
        auto *row = reinterpret_cast<uint32_t *>(picture->scanLine(y));
        if (shift > 0)
            std::memmove(row, row + shift, moved * sizeof(uint32_t));
        else
            std::memmove(row - shift, row, moved * sizeof(uint32_t));
    }
}

void kvUpdateScrollBar(int32_t doc, WaveView *view) {
    const KV_State *state = kvGetDocument(doc)->current;
    KvScrollSetting setting =
        kvScrollSetting(state->length, state->framesPerPixel, state->firstFrame, view->width);
    view->scrollUnit = setting.unit;
    QScrollBar *bar = view->scrollBar.data();
    if (!bar) return;
    if (!setting.enabled) {
        bar->setEnabled(false);
        return;
    }
    view->scrollPos = setting.position;
    bar->setEnabled(true);
    /* The range's maximum includes the page, as the thumb's last position is
     * maximum - page + 1. */
    bar->setRange(0, std::max(0, setting.maximum - setting.page + 1));
    bar->setPageStep(std::max(1, setting.page));
    bar->setSingleStep(1);
    bar->setValue(setting.position);
}

/* The lanes of every channel over [x0, x1), selected where the selection is
 * and the lane is edited, then the edge markers. */
static void kvDrawLanes(KvDrawContext *context, KvColumns range, int32_t lo, int32_t hi) {
    const KV_State *state = context->state;
    for (int32_t lane = 0; lane < std::min(state->channels, 2); lane++) {
        bool edited = state->editChannel == -1 || state->editChannel == lane;
        if (!edited || (lo == 0 && hi == 0)) {
            kvDrawLane(context, lane, range.x0, range.x1, false);
            continue;
        }
        int32_t a = std::clamp(lo, range.x0, range.x1);
        int32_t b = std::clamp(hi, range.x0, range.x1);
        kvDrawLane(context, lane, range.x0, a, false);
        kvDrawLane(context, lane, a, b, true);
        kvDrawLane(context, lane, b, range.x1, false);
    }
    kvDrawEdgeMarkers(context, range.x0, range.x1, lo, hi);
}

/* The columns the lane rulers need drawn again: their own, and where a
 * scroll to the right moved their old labels. */
static std::vector<KvColumns> kvRulerColumns(const WaveView *view, int32_t shift) {
    if (!kvLaneRulersShown(view)) return {};
    int32_t width = view->width;
    std::vector<KvColumns> columns{KvColumns{0, std::min(KV_LANE_RULER_COLUMNS, width)}};
    if (shift < 0)
        columns.push_back(
            KvColumns{std::min(-shift, width), std::min(-shift + KV_LANE_RULER_COLUMNS, width)});
    return columns;
}

static void kvDrawPlayCursor(int32_t doc, WaveView *view, const KV_State *state, int32_t column) {
    if (column < 0) return;
    kvPlayCursorRows(state->channels, kvPlayChannelOf(doc), view->laneUnit, &view->lastPlayTop,
                     &view->lastPlayBottom);
    KvCanvas canvas = kvCanvasOf(&view->picture);
    kvInvertPlayCursor(&canvas, column, view->lastPlayTop, view->lastPlayBottom);
}

static void kvRemovePlayCursor(WaveView *view) {
    if (view->lastPlayCol < 0) return;
    KvCanvas canvas = kvCanvasOf(&view->picture);
    kvInvertPlayCursor(&canvas, view->lastPlayCol, view->lastPlayTop, view->lastPlayBottom);
}

static QRect kvCursorColumns(int32_t column, int32_t height) {
    return QRect(column - 2, 0, 5, height);
}

/* Brings the screen up to date: the whole picture, or the screen's own
 * pixels moved by the shift plus the columns drawn, the overview bar and the
 * columns of the old and the new play cursor. */
static void kvCopyToScreen(WaveView *view, bool whole, int32_t shift, KvColumns range,
                           int32_t oldCursor, const std::vector<KvColumns> &rulers) {
    QWidget *window = view->window.data();
    if (!window || !window->isVisible()) return;
    if (whole) {
        window->repaint(0, 0, view->width, view->height);
        return;
    }
    if (shift != 0) window->scroll(-shift, 0, QRect(0, 12, view->width, view->height - 12));
    QRegion region(0, 0, view->width, 12);
    if (!range.empty()) region += QRect(range.x0, 0, range.x1 - range.x0, view->height);
    for (KvColumns columns : rulers)
        region += QRect(columns.x0, 0, columns.x1 - columns.x0, view->height);
    if (oldCursor >= 0) region += kvCursorColumns(oldCursor - shift, view->height);
    if (view->lastPlayCol >= 0) region += kvCursorColumns(view->lastPlayCol, view->height);
    window->repaint(region);
}

static void kvDrawBlank(WaveView *view) {
    view->picture.fill(kvPixelOf(kvEngine.options->colors[9]));
    view->lastFramesPerPixel = 0;
    view->lastPlayCol = -1;
    kvCopyToScreen(view, true, 0, KvColumns{0, 0}, -1, {});
}
void kvRedraw(int32_t doc, int32_t mode) {
    KV_Document *document = kvGetDocument(doc);
    WaveView *view = document ? document->view : nullptr;
    if (!view || !view->window || !kvEngine.options) return;
    KV_State *state = document->current;
    int32_t width, height;
    kvClientSize(view, &width, &height);
    kvNormaliseView(state, width);
    if (mode == KV_REDRAW_REBUILD || width != view->width || height != view->height ||
        view->picture.isNull() || kvViewScaleOf(view->window) != kvCanvasOf(&view->picture).scale) {
        view->laneUnit = kvLaneUnitOf(height);
        view->width = width;
        view->height = height;
        kvMakeDrawingObjects(view);
        mode = KV_REDRAW_FULL;
    }
    if (state->framesPerPixel <= 0 || state->sampleRate <= 0) return kvDrawBlank(view);
    int32_t zoom = state->framesPerPixel;
    int32_t lo = kvColumnOf(std::min(state->selAnchor, state->selEnd), state->firstFrame, zoom);
    int32_t hi = kvColumnOf(std::max(state->selAnchor, state->selEnd), state->firstFrame, zoom);
    int64_t moved = static_cast<int64_t>(state->firstFrame) - view->lastFirstFrame;
    bool full = mode != KV_REDRAW_INCREMENTAL || zoom != view->lastFramesPerPixel ||
                std::llabs(moved) >= static_cast<int64_t>(width) * zoom ||
                state->editChannel != view->lastEditChannel;
    int32_t playFrame = kvPlayFrameOf(doc);
    int32_t playCol = playFrame < 0 ? -1 : kvColumnOf(playFrame, state->firstFrame, zoom);
    if (playCol < 0 || playCol > width) playCol = -1;
    kvUpdateScrollBar(doc, view);

    KvColumns range{0, width};
    int32_t shift = 0;
    int32_t oldCursor = view->lastPlayCol;
    if (!full) {
        kvRemovePlayCursor(view);
        shift = static_cast<int32_t>(moved / zoom);
        kvShiftPicture(&view->picture, shift);
        range = shift > 0 ? KvColumns{width - shift, width} : KvColumns{0, -shift};
    }
    bool selectionMoved = lo != view->lastSelStartCol || hi != view->lastSelEndCol ||
                          state->editChannel != view->lastEditChannel;
    if (selectionMoved) {
        KvColumns edges{std::clamp(std::min(view->lastSelStartCol, lo) - 3, 0, width),
                        std::clamp(std::max(view->lastSelEndCol, hi) + 4, 0, width)};
        range = kvUnite(range, edges);
    }
    view->lastSelStartCol = lo;
    view->lastSelEndCol = hi;
    view->lastEditChannel = state->editChannel;

    KvDrawContext context = kvDrawContextOf(doc, view);
    if (!range.empty()) kvDrawStrips(&context, range.x0, range.x1);
    kvDrawOverview(&context, playFrame);
    kvDrawSeparators(&context);
    kvDrawRuler(&context, &view->picture);
    if (!range.empty()) kvDrawLanes(&context, range, lo, hi);
    std::vector<KvColumns> rulers = kvRulerColumns(view, shift);
    for (KvColumns columns : rulers)
        kvDrawLanes(&context, columns, lo, hi);
    kvDrawLaneRulers(&context, &view->picture);

    if (!kvEngine.options->noSyncWait) kvWaitForSync();
    kvDrawPlayCursor(doc, view, state, playCol);
    view->lastPlayCol = playCol;
    bool whole = kvEngine.options->copyWholeBitmap || full || (shift == 0 && selectionMoved);
    kvCopyToScreen(view, whole, shift, range, oldCursor, rulers);
    view->lastFirstFrame = state->firstFrame;
    view->lastFramesPerPixel = zoom;
    kvDoStatus(doc, full ? 1 : 0);
}

void kvRedrawDocument(int32_t doc) {
    kvSpectrumChanged(doc);
    kvRedraw(doc, KV_REDRAW_FULL);
}

/* A freshly loaded sound is fitted before anything is drawn of it: the
 * history writes its first state after this, zoom included. */
static void kvViewDocumentChanged(int32_t doc, KvDocumentChange change) {
    switch (change) {
    case KV_CHANGE_CONTENT:
        kvRedrawDocument(doc);
        return;
    case KV_CHANGE_LOADED:
        kvFitOpenedSound(doc);
        return;
    case KV_CHANGE_STATUS:
        kvDoStatus(doc, 0);
        return;
    }
}

void kvViewRegisterHooks() {
    kvDocumentChangedHook.store(kvViewDocumentChanged);
}

/* The picture's device pixels go to the screen one to one: the source
 * rectangle is the damaged one in device pixels. */
void kvPaintView(WaveView *view, const QRegion &damaged) {
    QPainter painter(view->window.data());
    QColor blank = QColor::fromRgb(kvPixelOf(kvEngine.options ? kvEngine.options->colors[9] : 0));
    KvCanvas canvas = kvCanvasOf(&view->picture);
    QRegion shown = damaged & QRegion(0, 0, canvas.width, canvas.height);
    for (const QRect &part : shown) {
        QRect source(part.topLeft() * canvas.scale, part.size() * canvas.scale);
        painter.drawImage(QRectF(part), view->picture, QRectF(source));
    }
    for (const QRect &part : damaged - shown)
        painter.fillRect(part, blank);
}

/* ---- Exports ---- */

extern "C" KV_API int32_t kvRefresh(int32_t doc) {
    if (!kvGetDocument(doc)) return -1;
    kvRedraw(doc, KV_REDRAW_FULL);
    return 0;
}

extern "C" KV_API int32_t kvFullRefresh(void) {
    for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
        if (kvGetDocument(doc)) kvRedraw(doc, KV_REDRAW_REBUILD);
    return 0;
}

/* This platform offers no wait for the vertical blank, which is the case of
 * a display object that cannot be made: waiting is off and every call
 * returns at once. */
extern "C" KV_API int32_t kvWaitForSync(void) {
    return 0;
}
