/*
 * spectrum_draw.cpp - the spectrogram band of a lane and the rulers drawn
 * over the left edge of the lanes.
 *
 * The band's rows each stand for a range of bins and show the loudest of
 * them, so a narrow tone stays visible however few rows the band has. The
 * rulers are labels over the picture rather than a strip of their own, so
 * the columns keep their frames whatever is shown; the redraw draws their
 * columns again after every scroll.
 */
#include "engine/core/engine.h"
#include "engine/dsp/fft.h"
#include "engine/view/render.h"
#include "engine/view/spectrum.h"
#include "engine/view/view_math.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

/* Share of the selection's background laid over selected columns. */
static const double kSelectionTint = 0.35;
/* Rows kept between two ruler labels, and their height. */
static const int32_t kLabelSpacing = 14;
static const int32_t kLabelHeight = 12;

static uint32_t kvTint(uint32_t pixel, uint32_t tint) {
    auto channel = [&](int shift) {
        double x = ((pixel >> shift) & 0xFF) * (1.0 - kSelectionTint) +
                   ((tint >> shift) & 0xFF) * kSelectionTint;
        return static_cast<uint32_t>(std::lround(x)) << shift;
    };
    return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

void kvDrawSpectrumBand(KvDrawContext *context, int32_t lane, int32_t x0, int32_t x1, bool selected,
                        int32_t top, int32_t bottom) {
    KvCanvas *canvas = &context->canvas;
    x0 = std::max(x0, canvas->left);
    x1 = std::min(x1, canvas->right);
    int32_t rows = std::min(bottom, canvas->height) - top;
    if (x1 <= x0 || rows <= 0 || top < 0) return;
    static std::vector<const uint8_t *> columns;
    columns.resize(x1 - x0);
    int32_t bins = kvSpectrumColumns(context->doc, lane, x0, x1 - x0, columns.data());
    uint32_t palette[256];
    kvSpectrumPalette(&kvEngine.viewOptions, context->options, palette);
    if (selected)
        for (uint32_t &pixel : palette)
            pixel = kvTint(pixel, kvPixelOf(context->options->colors[3]));
    if (bins == 0) return kvFill(canvas, x0, top, x1, top + rows, palette[KV_SPECTRUM_QUIETEST]);
    static std::vector<int32_t> first, last;
    first.resize(rows);
    last.resize(rows);
    for (int32_t r = 0; r < rows; r++)
        kvSpectrumRowBins(r, rows, bins, context->state->sampleRate,
                          kvEngine.viewOptions.frequencyScale, &first[r], &last[r]);
    int32_t scale = canvas->scale;
    for (int32_t x = x0; x < x1; x++) {
        const uint8_t *levels = columns[x - x0];
        uint32_t *pixel = canvas->bits + static_cast<int64_t>(top) * scale * canvas->stride +
                          static_cast<int64_t>(x) * scale;
        for (int32_t r = 0; r < rows; r++) {
            uint8_t level = levels ? *std::min_element(levels + first[r], levels + last[r])
                                   : KV_SPECTRUM_QUIETEST;
            for (int32_t dy = 0; dy < scale; dy++, pixel += canvas->stride)
                std::fill(pixel, pixel + scale, palette[level]);
        }
    }
}

bool kvLaneRulersShown(const WaveView *view) {
    return view->verticalZoom != 1 || view->displayMode != KV_DISPLAY_WAVEFORM;
}

struct KvLabel {
    int32_t row;
    std::string text;
};

/* 1, 2, 5 times a power of ten: the first at least `least`. */
static double kvNiceStep(double least) {
    double decade = std::pow(10.0, std::floor(std::log10(least)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * decade >= least) return m * decade;
    return 10.0 * decade;
}

static std::string kvFormat(const char *format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

/* Labels above the centre of a waveform band, within its limit. */
static std::vector<KvLabel> kvAmplitudeLabels(const KvWaveScale &scale, int32_t ruler) {
    std::vector<KvLabel> labels;
    int32_t last = scale.centre;
    auto add = [&](double amplitude, std::string text) {
        int32_t rows = kvAmplitudeRows(scale, amplitude);
        int32_t row = scale.centre - rows;
        if (rows > scale.limit - kLabelHeight / 2 || last - row < kLabelSpacing) return;
        labels.push_back(KvLabel{row, std::move(text)});
        last = row;
    };
    if (ruler == KV_AMPLITUDE_LINEAR) {
        double step =
            kvNiceStep(static_cast<double>(kLabelSpacing) / (scale.fullRows * scale.zoom));
        for (double a = step; kvAmplitudeRows(scale, a) <= scale.limit; a += step)
            add(a, kvFormat("%g", a));
        return labels;
    }
    for (int32_t db = -96; db <= 0; db += 6)
        add(std::pow(10.0, db / 20.0), kvFormat("%g dB", db));
    return labels;
}

/* Labels of a spectrogram band [top, bottom), lowest first. */
static std::vector<KvLabel> kvFrequencyLabels(int32_t top, int32_t bottom, int32_t bins,
                                              int32_t rate) {
    std::vector<KvLabel> labels;
    int32_t rows = bottom - top, scale = kvEngine.viewOptions.frequencyScale;
    double nyquist = rate / 2.0, lowest = kvSpectrumFrequencyAt(0.0, bins, rate, scale);
    auto rowOf = [&](double hz) {
        double t = scale == KV_FREQUENCY_LOG ? std::log(hz / lowest) / std::log(nyquist / lowest)
                                             : hz / nyquist;
        return bottom - 1 - static_cast<int32_t>(t * rows);
    };
    int32_t last = bottom + kLabelSpacing;
    auto add = [&](double hz) {
        int32_t row = rowOf(hz);
        if (hz <= lowest || row < top + kLabelHeight / 2 || last - row < kLabelSpacing) return;
        labels.push_back(
            KvLabel{row, hz < 1000 ? kvFormat("%g Hz", hz) : kvFormat("%g kHz", hz / 1000)});
        last = row;
    };
    if (scale == KV_FREQUENCY_LOG) {
        for (double decade = 10; decade < nyquist; decade *= 10)
            for (double m : {1.0, 2.0, 5.0})
                add(m * decade);
    } else {
        double step = kvNiceStep(nyquist * kLabelSpacing / rows);
        for (double hz = step; hz < nyquist; hz += step)
            add(hz);
    }
    return labels;
}

static void kvDrawLabels(KvDrawContext *context, QPainter *painter,
                         const std::vector<KvLabel> &labels, int32_t top, int32_t bottom) {
    const KV_ViewPens &pens = context->view->pens;
    painter->setClipRect(QRect(0, top, KV_LANE_RULER_COLUMNS, bottom - top));
    for (const KvLabel &label : labels) {
        painter->fillRect(QRect(0, label.row, 4, 1), QColor::fromRgb(pens.buttonText));
        painter->drawText(
            QRect(5, label.row - kLabelHeight / 2, KV_LANE_RULER_COLUMNS - 5, kLabelHeight),
            Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(label.text.c_str()));
    }
}

void kvDrawLaneRulers(KvDrawContext *context, QImage *picture) {
    const KV_State *state = context->state;
    const WaveView *view = context->view;
    if (!kvLaneRulersShown(view) || context->dataColumns <= 0 || state->sampleRate <= 0) return;
    int32_t size, window, overlap;
    kvFftSettings(context->options, &size, &window, &overlap);
    QPainter painter(picture);
    painter.setFont(view->font);
    painter.setPen(QColor::fromRgb(view->pens.buttonText));
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(QColor::fromRgb(view->pens.face));
    int32_t u = context->u;
    for (int32_t lane = 0; lane < std::min(state->channels, 2); lane++) {
        int32_t top = kvLaneTop(lane, u);
        int32_t bottom = top + 4 * kvLaneStep(state->channels, u);
        int32_t waveBottom, spectrumTop;
        kvLaneBands(view->displayMode, top, bottom, &waveBottom, &spectrumTop);
        if (waveBottom > top && view->verticalZoom != 1) {
            KvWaveScale scale = kvWaveScaleOf(state->channels, top, waveBottom, view->verticalZoom);
            kvDrawLabels(context, &painter,
                         kvAmplitudeLabels(scale, kvEngine.viewOptions.amplitudeRuler), top,
                         waveBottom);
        }
        if (spectrumTop < bottom)
            kvDrawLabels(context, &painter,
                         kvFrequencyLabels(spectrumTop, bottom, size / 2, state->sampleRate),
                         spectrumTop, bottom);
    }
}
