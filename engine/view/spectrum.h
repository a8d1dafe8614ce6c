/*
 * spectrum.h - the spectrogram's columns: one windowed transform per pixel
 * column, its bins kept as levels below full scale, cached per document,
 * channel and zoom level.
 *
 * A column is computed once for a given sound, zoom and FFT setting and
 * then only looked up, so a redraw costs the colouring of the picture and
 * scrolling costs the columns that came into view. Columns still missing
 * are computed by worker threads that read the stored samples while the
 * interface thread waits for them, as no edit can run meanwhile.
 */
#ifndef KV_VIEW_SPECTRUM_H
#define KV_VIEW_SPECTRUM_H

#include "korvel.h"

#include <cstdint>

/* A bin's level is its magnitude in half-dB steps below full scale (a full
 * scale sine reads 0): 0 for 0 dB or more, 255 for -127.5 dB or less. */
#define KV_SPECTRUM_STEPS_PER_DB 2
#define KV_SPECTRUM_QUIETEST 255

/* The levels of columns [c0, c0 + n) of a channel in the view of the
 * document's current state (its firstFrame and framesPerPixel), computing
 * those not cached with the options' FFT size and window. columns[i] points
 * at bins levels, valid until the next call for the document; columns
 * beyond the data are null. Returns bins (half the FFT size), 0 when the
 * document has no such channel. */
int32_t kvSpectrumColumns(int32_t doc, int32_t channel, int32_t c0, int32_t n,
                          const uint8_t **columns);

/* Forgets every cached column of a document (its window closes). */
void kvSpectrumForget(int32_t doc);

/* The document's sound may have changed (an edit, undo or redo): the next
 * look-up checks its fingerprint again and keeps the columns only when the
 * sound is the same. */
void kvSpectrumChanged(int32_t doc);

/* The bins [first, last) row `row` (0 at the top) of a band of `rows` rows
 * shows, on a linear or logarithmic axis over bins bins at sample rate
 * rate. */
void kvSpectrumRowBins(int32_t row, int32_t rows, int32_t bins, int32_t rate, int32_t scale,
                       int32_t *first, int32_t *last);

/* The frequency in Hz at height t (0 the band's bottom, 1 its top). */
double kvSpectrumFrequencyAt(double t, int32_t bins, int32_t rate, int32_t scale);

/* The pixel of every level 0..255 for the display settings and the
 * waveform colours. */
void kvSpectrumPalette(const KV_ViewOptions *view, const KV_Options *options,
                       uint32_t palette[256]);

#endif
