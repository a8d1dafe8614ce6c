/*
 * render.h - drawing the parts of the waveform picture: strips and overview
 * bar, grooves, lanes with grid and waveform, selection-edge markers, the
 * time ruler and the play cursor.
 *
 * Everything but the ruler's text is written straight into the picture's
 * scanlines through a few primitives with an explicit column clip, so the
 * geometry is exact to the pixel and a column always looks the same whether
 * it was drawn in a full picture or as the edge of a scroll.
 */
#ifndef KV_VIEW_RENDER_H
#define KV_VIEW_RENDER_H

#include "engine/view/wave_view.h"

#include <cstdint>
#include <string>
#include <vector>

/* A picture's pixels with the columns drawing may touch: [left, right).
 * Coordinates are the view's columns and rows; on a screen with `scale`
 * device pixels per logical one, each becomes a scale x scale block of the
 * picture, so lines stay whole device pixels wide and never blur. */
struct KvCanvas {
    uint32_t *bits;
    int32_t stride; /* device pixels per row */
    int32_t width;  /* columns */
    int32_t height; /* rows */
    int32_t left;
    int32_t right;
    int32_t scale;
};

/* Everything one redraw draws from. */
struct KvDrawContext {
    KvCanvas canvas;
    int32_t doc;
    const KV_State *state;
    const KV_Options *options;
    const WaveView *view;
    int32_t u;
    int32_t dataColumns; /* columns that show frames: (length - firstFrame) / zoom */
};

/* 0x00BBGGRR (the options' colour order) as a 0xFFRRGGBB pixel. */
uint32_t kvPixelOf(int32_t color);

/* A canvas over the whole picture, in the picture's logical columns. */
KvCanvas kvCanvasOf(QImage *picture);
/* Device pixels per column for a window: its pixel ratio, rounded to a
 * whole number of at least 1. */
int32_t kvViewScaleOf(const QWidget *window);
KvDrawContext kvDrawContextOf(int32_t doc, WaveView *view);

/* ---- Primitives (all clipped to the canvas and its columns) ---- */

void kvFill(KvCanvas *canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel);
/* Rows [y0, y1) of column x. */
void kvVLine(KvCanvas *canvas, int32_t x, int32_t y0, int32_t y1, uint32_t pixel);
void kvInvertVLine(KvCanvas *canvas, int32_t x, int32_t y0, int32_t y1);
/* A line from (xa, ya) towards (xb, yb) without its end point. */
void kvLine(KvCanvas *canvas, int32_t xa, int32_t ya, int32_t xb, int32_t yb, uint32_t pixel);

/* ---- Parts of the picture ---- */

/* Blank Area past the data and on the strips and the lane gap, [x0, x1). */
void kvDrawStrips(KvDrawContext *context, int32_t x0, int32_t x1);
/* Overview bar over the whole width; playFrame < 0 when not playing. */
void kvDrawOverview(KvDrawContext *context, int32_t playFrame);
/* Grooves under the overview bar, the ruler's top line, the frame lines. */
void kvDrawSeparators(KvDrawContext *context);
/* One channel lane over [x0, x1), selected or not: its waveform, its
 * spectrogram or the one above the other, as the view's display mode says. */
void kvDrawLane(KvDrawContext *context, int32_t lane, int32_t x0, int32_t x1, bool selected);

/* The rows of a lane [top, bottom) a display mode gives the waveform,
 * [top, waveBottom), and the spectrogram, [spectrumTop, bottom). */
void kvLaneBands(int32_t mode, int32_t top, int32_t bottom, int32_t *waveBottom,
                 int32_t *spectrumTop);

/* How a waveform band maps amplitude to rows: full scale is fullRows from
 * the centre at zoom 1, times zoom when magnified, and nothing is drawn past
 * limit rows. */
struct KvWaveScale {
    int32_t centre;
    int32_t fullRows;
    int32_t limit;
    int32_t zoom;
};
KvWaveScale kvWaveScaleOf(int32_t channels, int32_t top, int32_t bottom, int32_t verticalZoom);
/* Rows from the centre of a linear amplitude (1 = full scale), unlimited. */
int32_t kvAmplitudeRows(const KvWaveScale &scale, double amplitude);

/* The spectrogram of a lane over [x0, x1) in rows [top, bottom). */
void kvDrawSpectrumBand(KvDrawContext *context, int32_t lane, int32_t x0, int32_t x1, bool selected,
                        int32_t top, int32_t bottom);

/* Columns the amplitude and frequency rulers cover at the left edge. */
#define KV_LANE_RULER_COLUMNS 48
/* True when the view shows lane rulers: magnified or with a spectrogram. */
bool kvLaneRulersShown(const WaveView *view);
/* The labels of the amplitude and frequency rulers over the lanes. */
void kvDrawLaneRulers(KvDrawContext *context, QImage *picture);
/* Markers of the selection's lower and upper edge columns, clipped to [x0, x1). */
void kvDrawEdgeMarkers(KvDrawContext *context, int32_t x0, int32_t x1, int32_t lo, int32_t hi);
/* The time ruler over the whole width (its text through QPainter). */
void kvDrawRuler(KvDrawContext *context, QImage *picture);

/* Rows [top, bottom) the play cursor covers for a channel choice. */
void kvPlayCursorRows(int32_t channels, int32_t playChannel, int32_t u, int32_t *top,
                      int32_t *bottom);
/* Inverts the two lines of a play cursor at column p (drawing it twice
 * removes it); nothing outside 0 <= p <= width + 8. */
void kvInvertPlayCursor(KvCanvas *canvas, int32_t p, int32_t top, int32_t bottom);

/* One ruler tick: its column and its label, which starts 3 columns right. */
struct KvRulerTick {
    int32_t column;
    std::string label;
};
std::vector<KvRulerTick> kvRulerTicks(int32_t firstFrame, int32_t framesPerPixel, int32_t width,
                                      int32_t length, int32_t rate);

#endif
