/*
 * render.cpp - the parts of the waveform picture, drawn into its scanlines.
 *
 * A pixel-writing primitive per shape (fill, vertical line, inverted line,
 * line without its end point) keeps the geometry exact and fast where a
 * painter call per column would cost more than the whole picture. On a
 * high-density screen each column is a block of whole device pixels, so
 * nothing is resampled. Only the ruler's labels go through QPainter, without
 * antialiasing (the same on every redraw) and at the screen's resolution.
 */
#include "engine/view/render.h"
#include "engine/core/engine.h"
#include "engine/view/peaks.h"
#include "engine/view/status.h"
#include "engine/view/view_math.h"

#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

/* Peak rows shared by every document, only ever grown. */
static std::vector<uint8_t> maxRow, minRow;

uint32_t kvPixelOf(int32_t color) {
    uint32_t red = color & 0xFF, green = (color >> 8) & 0xFF, blue = (color >> 16) & 0xFF;
    return 0xFF000000u | red << 16 | green << 8 | blue;
}

KvCanvas kvCanvasOf(QImage *picture) {
    auto *bits = reinterpret_cast<uint32_t *>(picture->bits());
    int32_t stride = static_cast<int32_t>(picture->bytesPerLine() / 4);
    int32_t scale = std::max(1, qRound(picture->devicePixelRatio()));
    int32_t width = picture->width() / scale;
    return KvCanvas{bits, stride, width, picture->height() / scale, 0, width, scale};
}

int32_t kvViewScaleOf(const QWidget *window) {
    return std::max(1, qRound(window->devicePixelRatio()));
}

KvDrawContext kvDrawContextOf(int32_t doc, WaveView *view) {
    const KV_State *state = kvGetDocument(doc)->current;
    KvDrawContext context{
        kvCanvasOf(&view->picture), doc, state, kvEngine.options, view, view->laneUnit, 0};
    context.dataColumns = kvClampFrame((static_cast<int64_t>(state->length) - state->firstFrame) /
                                       state->framesPerPixel);
    return context;
}

/* ---- Primitives ---- */

/* The device pixel at the top left of column x, row y. */
static uint32_t *kvDeviceAt(const KvCanvas *canvas, int32_t x, int32_t y) {
    return canvas->bits + static_cast<int64_t>(y) * canvas->scale * canvas->stride +
           static_cast<int64_t>(x) * canvas->scale;
}

void kvFill(KvCanvas *canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel) {
    x0 = std::max(x0, canvas->left);
    x1 = std::min(x1, canvas->right);
    y0 = std::max(y0, 0);
    y1 = std::min(y1, canvas->height);
    if (x0 >= x1 || y0 >= y1) return;
    int32_t columns = (x1 - x0) * canvas->scale;
    uint32_t *row = kvDeviceAt(canvas, x0, y0);
    for (int32_t y = y0 * canvas->scale; y < y1 * canvas->scale; y++, row += canvas->stride)
        std::fill(row, row + columns, pixel);
}

/* Writes `pixel` over rows [y0, y1) of column x, already clipped. */
static void kvColumnRun(KvCanvas *canvas, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    int32_t scale = canvas->scale;
    uint32_t *row = kvDeviceAt(canvas, x, y0);
    for (int32_t y = y0 * scale; y < y1 * scale; y++, row += canvas->stride)
        for (int32_t k = 0; k < scale; k++)
            row[k] = pixel;
}

void kvVLine(KvCanvas *canvas, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    if (x < canvas->left || x >= canvas->right) return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, canvas->height);
    if (y0 < y1) kvColumnRun(canvas, x, y0, y1, pixel);
}

void kvInvertVLine(KvCanvas *canvas, int32_t x, int32_t y0, int32_t y1) {
    if (x < canvas->left || x >= canvas->right) return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, canvas->height);
    if (y0 >= y1) return;
    uint32_t *row = kvDeviceAt(canvas, x, y0);
    for (int32_t y = y0 * canvas->scale; y < y1 * canvas->scale; y++, row += canvas->stride)
        for (int32_t k = 0; k < canvas->scale; k++)
            row[k] ^= 0x00FFFFFFu;
}

static void kvPlot(KvCanvas *canvas, int32_t x, int32_t y, uint32_t pixel) {
    if (x < canvas->left || x >= canvas->right || y < 0 || y >= canvas->height) return;
    kvColumnRun(canvas, x, y, y + 1, pixel);
}

void kvLine(KvCanvas *canvas, int32_t xa, int32_t ya, int32_t xb, int32_t yb, uint32_t pixel) {
    int32_t dx = std::abs(xb - xa), dy = -std::abs(yb - ya);
    int32_t sx = xa < xb ? 1 : -1, sy = ya < yb ? 1 : -1;
    int32_t error = dx + dy;
    while (xa != xb || ya != yb) {
        kvPlot(canvas, xa, ya, pixel);
        int32_t twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            xa += sx;
        }
        if (twice <= dx) {
            error += dx;
            ya += sy;
        }
    }
}

/* ---- Strips, overview, grooves ---- */

void kvDrawStrips(KvDrawContext *context, int32_t x0, int32_t x1) {
    KvCanvas *canvas = &context->canvas;
    int32_t u = context->u;
    uint32_t blank = kvPixelOf(context->options->colors[9]);
    int32_t data = std::clamp(context->dataColumns, x0, std::max(x0, x1));
    kvFill(canvas, data, 12, x1, kvSeparatorRow(u), blank);
    kvFill(canvas, x0, 12, data, 18, blank);
    int32_t gap = context->state->channels == 2 ? 18 + 4 * u : 18 + 8 * u;
    kvFill(canvas, x0, gap, data, gap + 3, blank);
    kvFill(canvas, x0, kvLowerStripTop(u), data, kvSeparatorRow(u), blank);
}

/* The column of frame f in a bar of W columns standing for L frames. */
static int32_t kvOverviewColumn(int64_t frame, int32_t width, int32_t length) {
    return kvClampFrame(frame * width / length);
}

/* The pens of the lower and upper selection edge: the anchored end is drawn
 * with the Cursor pen, the moving end with the Selected Wave Data pen. */
static void kvEdgePens(const KvDrawContext *context, uint32_t *lowPen, uint32_t *highPen) {
    bool anchorLow = context->state->selAnchor < context->state->selEnd;
    *lowPen = anchorLow ? context->view->pens.cursor : context->view->pens.selectedWave;
    *highPen = anchorLow ? context->view->pens.selectedWave : context->view->pens.cursor;
}

void kvDrawOverview(KvDrawContext *context, int32_t playFrame) {
    KvCanvas canvas = context->canvas;
    canvas.left = 0;
    canvas.right = canvas.width;
    const KV_State *state = context->state;
    int32_t width = canvas.width;
    kvFill(&canvas, 0, 0, width, 8, kvPixelOf(context->options->colors[9]));
    int32_t length = state->length;
    if (length <= 0) return;
    int64_t shown = static_cast<int64_t>(width) * state->framesPerPixel;
    int32_t a = std::clamp(kvOverviewColumn(state->firstFrame, width, length), 0, width - 1);
    int32_t b =
        std::clamp(kvOverviewColumn(state->firstFrame + shown, width, length), 0, width - 1);
    kvFill(&canvas, a, 0, std::max(a, b) + 1, 8, kvPixelOf(context->options->colors[3]));
    uint32_t lowPen, highPen;
    kvEdgePens(context, &lowPen, &highPen);
    int32_t lo = std::min(state->selAnchor, state->selEnd);
    int32_t hi = std::max(state->selAnchor, state->selEnd);
    kvVLine(&canvas, kvOverviewColumn(lo, width, length), 0, 8, lowPen);
    kvVLine(&canvas, kvOverviewColumn(hi, width, length), 0, 8, highPen);
    if (playFrame < 0) return;
    int32_t p = kvOverviewColumn(playFrame, width, length);
    kvInvertVLine(&canvas, p - 1, 0, 8);
    kvInvertVLine(&canvas, p + 1, 0, 8);
}

static void kvHLineAcross(KvCanvas *canvas, int32_t y, uint32_t pixel) {
    kvFill(canvas, 0, y, canvas->width, y + 1, pixel);
}

void kvDrawSeparators(KvDrawContext *context) {
    KvCanvas canvas = context->canvas;
    canvas.left = 0;
    canvas.right = canvas.width;
    const KV_ViewPens &pens = context->view->pens;
    kvHLineAcross(&canvas, 8, pens.highlight);
    kvHLineAcross(&canvas, 9, pens.face);
    kvHLineAcross(&canvas, 10, pens.shadow);
    kvHLineAcross(&canvas, 11, pens.darkShadow);
    kvHLineAcross(&canvas, kvSeparatorRow(context->u), pens.highlight);
    kvHLineAcross(&canvas, canvas.height - 2, pens.shadow);
    kvHLineAcross(&canvas, canvas.height - 1, pens.darkShadow);
}

/* ---- Lanes ---- */

static void kvDrawGrid(KvDrawContext *context, int32_t x0, int32_t x1, int32_t top, int32_t step,
                       uint32_t pen) {
    KvCanvas *canvas = &context->canvas;
    for (int32_t row : {top, top + step, top + 2 * step, top + 3 * step, top + 4 * step - 1})
        kvFill(canvas, x0, row, x1, row + 1, pen);
    const KV_State *state = context->state;
    int64_t zoom = state->framesPerPixel;
    int64_t spacing = kvTickSpacing(state->framesPerPixel);
    int64_t from = state->firstFrame + x0 * zoom;
    int64_t tick = (from + spacing - 1) / spacing * spacing;
    for (; tick < state->firstFrame + x1 * zoom; tick += spacing)
        if (tick > 0)
            kvVLine(canvas, static_cast<int32_t>((tick - state->firstFrame) / zoom), top,
                    top + 4 * step, pen);
}

/* Strokes from the top of the positive peak to the bottom of the negative
 * one, a peak of 255 reaching `limit` rows from the centre; `lift` is 1 for
 * the wave and 0 for its shadow, and `offset` moves the strokes right (the
 * shadow shows each column one column further on). */
static void kvDrawStrokes(KvCanvas *canvas, int32_t x0, int32_t x1, int32_t centre, int32_t limit,
                          int32_t lift, int32_t offset, uint32_t pen) {
    for (int32_t x = x0; x < x1; x++) {
        int32_t j = x - offset - x0 + 2;
        int32_t up = centre - maxRow[j] * limit / 255;
        int32_t down = centre + minRow[j] * limit / 255;
        kvVLine(canvas, x, up - lift, down + 1 - lift, pen);
    }
}

/* At one frame per column: a connected line through each column's value
 * (the positive peak, else minus the negative one). */
static void kvDrawTrace(KvCanvas *canvas, int32_t x0, int32_t x1, int32_t centre, int32_t limit,
                        int32_t lift, int32_t offset, uint32_t pen) {
    auto rowAt = [&](int32_t x) {
        int32_t j = x - offset - x0 + 2;
        int32_t value = maxRow[j] != 0 ? maxRow[j] : -minRow[j];
        return centre - value * limit / 255 - lift;
    };
    for (int32_t x = x0 - 1; x < x1; x++)
        kvLine(canvas, x, rowAt(x), x + 1, rowAt(x + 1), pen);
}

KvWaveScale kvWaveScaleOf(int32_t channels, int32_t top, int32_t bottom, int32_t verticalZoom) {
    int32_t half = (bottom - top) / 2;
    /* A mono lane keeps full scale at half its height, as it always has. */
    int32_t fullRows = (channels == 2 ? half : half / 2) - 1;
    return KvWaveScale{top + half, fullRows, verticalZoom == 1 ? fullRows : half - 1, verticalZoom};
}

int32_t kvAmplitudeRows(const KvWaveScale &scale, double amplitude) {
    return static_cast<int32_t>(amplitude * scale.fullRows * scale.zoom);
}

/* Zoomed, the quarter lines mean nothing; the centre, the band's edges and
 * the 0 dB and -6 dB rows (held at the edges once they lie beyond) do. */
static void kvDrawLevelLines(KvCanvas *canvas, int32_t x0, int32_t x1, int32_t top, int32_t bottom,
                             const KvWaveScale &scale, uint32_t pen) {
    kvFill(canvas, x0, top, x1, top + 1, pen);
    kvFill(canvas, x0, bottom - 1, x1, bottom, pen);
    kvFill(canvas, x0, scale.centre, x1, scale.centre + 1, pen);
    for (double amplitude : {1.0, 0.5}) {
        int32_t rows = std::min(kvAmplitudeRows(scale, amplitude), scale.limit);
        kvFill(canvas, x0, scale.centre - rows, x1, scale.centre - rows + 1, pen);
        kvFill(canvas, x0, scale.centre + rows, x1, scale.centre + rows + 1, pen);
    }
}

/* The waveform of a lane in rows [top, bottom). */
static void kvDrawWaveBand(KvDrawContext *context, int32_t lane, int32_t x0, int32_t x1,
                           bool selected, int32_t top, int32_t bottom) {
    const KV_State *state = context->state;
    const KV_Options *options = context->options;
    const KV_ViewPens &pens = context->view->pens;
    KvCanvas canvas = context->canvas;
    canvas.left = std::max(canvas.left, x0);
    canvas.right = std::min(canvas.right, x1);
    KvWaveScale scale = kvWaveScaleOf(state->channels, top, bottom, context->view->verticalZoom);
    uint32_t gridPen = selected ? pens.selectedGrid : pens.unselectedGrid;
    kvFill(&canvas, x0, top, x1, bottom, kvPixelOf(options->colors[selected ? 3 : 0]));
    if (scale.zoom == 1) kvDrawGrid(context, x0, x1, top, (bottom - top) / 4, gridPen);
    size_t rows = static_cast<size_t>(x1 - x0 + 4);
    if (maxRow.size() < rows) {
        maxRow.resize(rows);
        minRow.resize(rows);
    }
    float gain = static_cast<float>(scale.zoom) * scale.fullRows / scale.limit;
    kvReducePeaksScaled(context->doc, lane, state->firstFrame, state->framesPerPixel, x0 - 2,
                        static_cast<int32_t>(rows), gain, maxRow.data(), minRow.data());
    auto draw = state->framesPerPixel == 1 ? kvDrawTrace : kvDrawStrokes;
    if (options->colors[10] != 0)
        draw(&canvas, x0, x1, scale.centre, scale.limit, 0, 1, pens.waveShadow);
    draw(&canvas, x0, x1, scale.centre, scale.limit, 1, 0,
         selected ? pens.selectedWave : pens.unselectedWave);
    if (scale.zoom != 1) kvDrawLevelLines(&canvas, x0, x1, top, bottom, scale, gridPen);
}

void kvLaneBands(int32_t mode, int32_t top, int32_t bottom, int32_t *waveBottom,
                 int32_t *spectrumTop) {
    int32_t middle = top + (bottom - top) / 2;
    *waveBottom = mode == KV_DISPLAY_WAVEFORM ? bottom : mode == KV_DISPLAY_BOTH ? middle : top;
    *spectrumTop = mode == KV_DISPLAY_SPECTROGRAM ? top : *waveBottom;
}

void kvDrawLane(KvDrawContext *context, int32_t lane, int32_t x0, int32_t x1, bool selected) {
    x1 = std::min(x1, context->dataColumns);
    if (x1 <= x0) return;
    int32_t u = context->u;
    int32_t top = kvLaneTop(lane, u);
    int32_t bottom = top + 4 * kvLaneStep(context->state->channels, u);
    int32_t waveBottom, spectrumTop;
    kvLaneBands(context->view->displayMode, top, bottom, &waveBottom, &spectrumTop);
    if (waveBottom > top) kvDrawWaveBand(context, lane, x0, x1, selected, top, waveBottom);
    if (spectrumTop < bottom)
        kvDrawSpectrumBand(context, lane, x0, x1, selected, spectrumTop, bottom);
}

/* ---- Selection-edge markers ---- */

/* One edge at column c; direction -1 points the triangles left (the lower
 * edge), +1 right (the upper edge). */
static void kvDrawEdge(KvDrawContext *context, KvCanvas *canvas, int32_t c, int32_t direction,
                       uint32_t pen) {
    if (c < 0 || c >= canvas->width) return;
    int32_t u = context->u;
    int32_t channel = context->state->channels == 2 ? context->state->editChannel : -1;
    int32_t bottom = kvSeparatorRow(u);
    bool upper = channel != 1, lower = channel != 0;
    int32_t lineTop = channel == 1 ? 4 * u + 21 : 12;
    int32_t lineBottom = channel == 0 ? 4 * u + 18 : bottom;
    kvVLine(canvas, c, lineTop, lineBottom, pen);
    int32_t lowerStart = direction < 0 ? 19 + 8 * u : 20 + 8 * u;
    for (int32_t k = 1; k <= 3; k++) {
        if (upper) kvVLine(canvas, c + direction * k, 12, 20 - 2 * k, pen);
        if (lower) kvVLine(canvas, c + direction * k, lowerStart + 2 * k, bottom, pen);
    }
}

void kvDrawEdgeMarkers(KvDrawContext *context, int32_t x0, int32_t x1, int32_t lo, int32_t hi) {
    KvCanvas canvas = context->canvas;
    canvas.left = std::max(canvas.left, x0);
    canvas.right = std::min(canvas.right, x1);
    uint32_t lowPen, highPen;
    kvEdgePens(context, &lowPen, &highPen);
    kvDrawEdge(context, &canvas, lo, -1, lowPen);
    kvDrawEdge(context, &canvas, hi, 1, highPen);
}

/* ---- Time ruler ---- */

std::vector<KvRulerTick> kvRulerTicks(int32_t firstFrame, int32_t framesPerPixel, int32_t width,
                                      int32_t length, int32_t rate) {
    std::vector<KvRulerTick> ticks;
    if (framesPerPixel <= 0 || rate <= 0) return ticks;
    int64_t zoom = framesPerPixel;
    int64_t spacing = kvTickSpacing(framesPerPixel);
    int64_t first = firstFrame / spacing * spacing;
    int64_t end = first + zoom * (width + 64) + spacing;
    int64_t dataColumns = length / zoom;
    char text[32];
    for (int64_t tick = first; tick < end; tick += spacing) {
        int64_t column = (tick - firstFrame) / zoom;
        if (column + 3 > width || column + 3 > dataColumns) break;
        kvFormatTime(0, tick, rate, text, sizeof text);
        ticks.push_back(KvRulerTick{static_cast<int32_t>(column), text});
    }
    return ticks;
}

/* Labels first, then the engraved tick lines over the whole ruler. */
void kvDrawRuler(KvDrawContext *context, QImage *picture) {
    KvCanvas canvas = context->canvas;
    canvas.left = 0;
    canvas.right = canvas.width;
    const WaveView *view = context->view;
    int32_t top = kvRulerTop(context->u);
    kvFill(&canvas, 0, top, canvas.width, canvas.height - 2, view->pens.face);
    const KV_State *state = context->state;
    std::vector<KvRulerTick> ticks = kvRulerTicks(state->firstFrame, state->framesPerPixel,
                                                  canvas.width, state->length, state->sampleRate);
    if (ticks.empty()) return;
    {
        QPainter painter(picture);
        painter.setFont(view->font);
        painter.setPen(QColor::fromRgb(view->pens.buttonText));
        painter.setBackgroundMode(Qt::OpaqueMode);
        painter.setBackground(QColor::fromRgb(view->pens.face));
        painter.setClipRect(QRect(0, top, canvas.width, 14));
        for (const KvRulerTick &tick : ticks)
            painter.drawText(QRect(tick.column + 3, top, 200, 14), Qt::AlignLeft | Qt::AlignTop,
                             QString::fromLatin1(tick.label.c_str()));
    }
    for (const KvRulerTick &tick : ticks) {
        kvVLine(&canvas, tick.column, top, canvas.height - 2, view->pens.shadow);
        kvVLine(&canvas, tick.column + 1, top, canvas.height - 2, view->pens.highlight);
    }
}

/* ---- Play cursor ---- */

void kvPlayCursorRows(int32_t channels, int32_t playChannel, int32_t u, int32_t *top,
                      int32_t *bottom) {
    *top = 18;
    *bottom = channels == 2 ? 21 + 8 * u : 18 + 8 * u;
    if (channels != 2) return;
    if (playChannel == 0) *bottom = 18 + 4 * u;
    if (playChannel == 1) *top = 21 + 4 * u;
}

void kvInvertPlayCursor(KvCanvas *canvas, int32_t p, int32_t top, int32_t bottom) {
    if (p < 0 || p > canvas->width + 8) return;
    kvInvertVLine(canvas, p - 2, top, bottom);
    kvInvertVLine(canvas, p + 2, top, bottom);
}
