/*
 * meter.h - drawing the level meter and the analyzer's bars.
 *
 * Playback's device thread and recording's input thread draw the meter
 * (through the hooks of engine/audio/meter.h, which kvSetVUParams sets)
 * while the user-interface thread shows it, with no lock between them: the
 * drawing thread publishes finished pictures through a triple buffer and
 * posts an update to the canvas widget, whose paint shows the newest one.
 */
#ifndef KV_VIEW_METER_H
#define KV_VIEW_METER_H

#include <QImage>

#include <cstdint>

/* Rows 1..11, columns 1..width-1 black (playback stopped). */
void kvBlankMeter();

/* Draws the level lights for whole-decibel levels (0 or below) and, when
 * showAnalyzer is set and peaks are given, the ten analyzer bars. */
void kvDrawMeter(int32_t leftDb, int32_t rightDb, const float *analyzerPeaks);

/* The newest published meter picture (user-interface thread). */
QImage kvMeterPicture();

#endif
