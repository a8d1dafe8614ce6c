/*
 * peaks.h - peak reduction: the largest positive and negative excursion of
 * each pixel column of one channel, as unsigned bytes 0..255.
 *
 * How far the view is zoomed out decides where the peaks come from, so that
 * drawing cost follows the window's width rather than the file's length: at
 * 4096 or more frames per column the block peaks, from 64 the per-64-frame
 * run peaks of the block summaries, and only below 64 the samples themselves.
 */
#ifndef KV_VIEW_PEAKS_H
#define KV_VIEW_PEAKS_H

#include <cstdint>

/* Fills maxRow and minRow (n entries, cleared first) for the columns c0 to
 * c0 + n - 1 of channel `channel` of the document's current state, the view
 * starting at firstFrame with framesPerPixel frames per column. Columns
 * beyond the data stay 0. */
void kvReducePeaks(int32_t doc, int32_t channel, int32_t firstFrame, int32_t framesPerPixel,
                   int32_t c0, int32_t n, uint8_t *maxRow, uint8_t *minRow);

/* The same with every peak multiplied by gain and held to 255: a vertical
 * zoom. Below 64 frames per column the samples are scaled before they are
 * quantised, so a quiet passage keeps its detail; above, the stored
 * summaries are. */
void kvReducePeaksScaled(int32_t doc, int32_t channel, int32_t firstFrame, int32_t framesPerPixel,
                         int32_t c0, int32_t n, float gain, uint8_t *maxRow, uint8_t *minRow);

#endif
