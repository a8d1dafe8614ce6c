/*
 * view_math.h - the arithmetic of the waveform view: picture geometry,
 * normalising, zoom steps and anchors, the scroll-bar range, tick spacing
 * and the hit zones of the mouse.
 *
 * Plain integers only, no toolkit: every rule that decides where something
 * is drawn or what a click means lives here, so it can be checked without a
 * window. Products that can pass 2^31 (frames times columns) are computed in
 * 64 bits and brought back into range at the end.
 */
#ifndef KV_VIEW_VIEW_MATH_H
#define KV_VIEW_VIEW_MATH_H

#include <cstdint>

struct KV_State;

#define KV_MIN_ZOOM 1
#define KV_MAX_ZOOM 262144

/* ---- Geometry: rows of the picture for lane unit u ---- */

inline int32_t kvLaneUnitOf(int32_t height) {
    return (height - 43) / 8;
}
/* The top row and the grid step of lane 0 (left or mono) or 1 (right). */
inline int32_t kvLaneTop(int32_t lane, int32_t u) {
    return lane == 0 ? 18 : 4 * u + 21;
}
inline int32_t kvLaneStep(int32_t channels, int32_t u) {
    return channels == 2 ? u : 2 * u;
}
inline int32_t kvLowerStripTop(int32_t u) {
    return 21 + 8 * u;
}
inline int32_t kvSeparatorRow(int32_t u) {
    return 27 + 8 * u;
}
inline int32_t kvRulerTop(int32_t u) {
    return 28 + 8 * u;
}
/* Rows from the centre of a lane for a peak value 0..255. */
inline int32_t kvPeakRows(int32_t peak, int32_t u) {
    return peak * (2 * u - 1) / 255;
}

/* The column holding a frame (truncating division), kept in 32 bits. */
int32_t kvColumnOf(int64_t frame, int32_t firstFrame, int32_t framesPerPixel);

/* Saturates a 64-bit frame count to the 32-bit range. */
int32_t kvClampFrame(int64_t frame);

/* Normalising before a redraw: firstFrame becomes a multiple of the zoom,
 * stops where the last window's worth of data begins (never below 0), and
 * both selection ends are clamped to [0, length]. */
void kvNormaliseView(KV_State *state, int32_t width);

/* ---- Zoom ---- */

/* framesPerPixel after zooming by percent (negative zooms in): never the old
 * value, always within [1, 262144]. */
int32_t kvZoomStep(int32_t framesPerPixel, int32_t percent);

/* firstFrame after a zoom from oldZoom to newZoom: with an anchor column the
 * frame under it stays there, without one the centre stays. */
int32_t kvZoomedFirstFrame(int32_t firstFrame, int32_t oldZoom, int32_t newZoom, int32_t width,
                           bool anchored, int32_t anchorColumn);

/* Zoom that fits length frames into width columns (the smallest z with
 * z * width >= length), within the zoom range. */
int32_t kvFitZoom(int32_t length, int32_t width);

/* ---- Scroll bar ---- */

struct KvScrollSetting {
    bool enabled;
    int32_t unit;     /* zoom columns per step */
    int32_t position; /* steps */
    int32_t maximum;  /* steps, the end of the range including the page */
    int32_t page;     /* steps in one window */
};
KvScrollSetting kvScrollSetting(int32_t length, int32_t framesPerPixel, int32_t firstFrame,
                                int32_t width);

/* ---- Ruler ---- */

/* Frames between ruler ticks: 96 doubled until ticks are 64 columns apart. */
int64_t kvTickSpacing(int32_t framesPerPixel);

/* ---- Mouse ---- */

/* editChannel chosen by a click on row y: -1 both, 0 left, 1 right. */
int32_t kvChannelAtRow(int32_t y, int32_t u, int32_t channels, bool locked);

/* True when x lies within 2 pixels of column c. */
inline bool kvNearColumn(int32_t x, int32_t c) {
    return c - 3 < x && x < c + 3;
}

/* Columns one auto-scroll tick moves: twice the milliseconds since the last
 * tick (1 for the first), a quarter of that unless the right button is also
 * held, between 1 and 64. */
int32_t kvAutoScrollStep(int64_t now, int64_t lastTick, bool rightButton);

#endif
