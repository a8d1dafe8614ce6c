/*
 * frm_distortion.cpp - the Distortion dialog and its transfer curve.
 *
 * "Low Threshold" is kept at least 6 dB below "High Clip": moving the clip
 * level down pushes the threshold down with it, and the threshold slider
 * stops 6 dB under the clip level. At its bottom (-96 dB) the gate is off,
 * which the curve shows as a straight line through the centre.
 */
#include "app/dialogs/frm_distortion.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kvGateOffDb = -96;
constexpr int kvGapDb = 6;

QColor colorOf(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

double gainOf(int32_t db) {
    return std::pow(1.122462048309373, db);
}

} // namespace

ctlDistortionCurve::ctlDistortionCurve(QWidget *owner, const KV_Params *params,
                                       const KV_Options *options)
    : QWidget(owner), params(params), options(options) {
    setObjectName("picCurve");
    setMinimumSize(121, 121);
}

double ctlDistortionCurve::transfer(double x) const {
    if (params->distLowThresholdDb > kvGateOffDb &&
        std::fabs(x) < gainOf(params->distLowThresholdDb))
        return 0.0;
    double high = gainOf(params->distHighClipDb);
    return std::clamp(x, -high, high);
}

void ctlDistortionCurve::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const int right = width() - 1, bottom = height() - 1;
    /* Unselected Background, Unselected Grid and Unselected Wave Data. */
    painter.fillRect(rect(), colorOf(options->colors[0]));
    painter.setPen(colorOf(options->colors[2]));
    for (int quarter = 1; quarter < 4; quarter++) {
        painter.drawLine(right * quarter / 4, 0, right * quarter / 4, bottom);
        painter.drawLine(0, bottom * quarter / 4, right, bottom * quarter / 4);
    }
    painter.setPen(colorOf(options->colors[1]));
    QPoint last;
    for (int column = 0; column <= right; column++) {
        double x = 2.0 * column / right - 1.0;
        QPoint point(column, static_cast<int>(std::lround((1.0 - transfer(x)) * 0.5 * bottom)));
        if (column > 0) painter.drawLine(last, point);
        last = point;
    }
}

frmDistortion::frmDistortion(QWidget *owner, KV_Params *params, const KV_Options *options)
    : EffectDialog(owner, params, "frmDistortion") {
    setWindowTitle("Distortion");
    KV_ParamRange clip = mdlParamRange(params, params->distHighClipDb);
    KV_ParamRange gate = mdlParamRange(params, params->distLowThresholdDb);
    sldHighClip = makeSlider("sldHighClip", clip.lowest, clip.highest, 0,
                             [this](int db) { highClipMoved(db); });
    sldLowThreshold = makeSlider("sldLowThreshold", gate.lowest, gate.highest, gate.lowest,
                                 [this](int db) { lowThresholdMoved(db); });
    picCurve = new ctlDistortionCurve(this, params, options);
    presets = new ctlPresets(this);
    presets->LoadMenu("Distortion", &params->distHighClipDb, 8);
    connect(presets, &ctlPresets::presetLoaded, this, &frmDistortion::readParams);

    auto *curve = new QVBoxLayout;
    curve->addWidget(new QLabel("Distortion Curve:", this));
    curve->addWidget(picCurve, 1);
    curve->addWidget(presets, 0, Qt::AlignLeft);
    auto *top = new QHBoxLayout;
    top->addLayout(mdlSliderColumn(this, "&High Clip", sldHighClip, "lblHighClip", &lblHighClip));
    top->addLayout(mdlSliderColumn(this, "&Low Threshold", sldLowThreshold, "lblLowThreshold",
                                   &lblLowThreshold));
    top->addLayout(curve, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);

    readParams();
    preview->Init(true, KV_EDIT_DISTORTION, kvHelpDistortion);
}

void frmDistortion::readParams() {
    mdlSetQuietly(sldHighClip, params->distHighClipDb);
    mdlSetQuietly(sldLowThreshold, params->distLowThresholdDb);
    highClipMoved(sldHighClip->value());
}

void frmDistortion::highClipMoved(int db) {
    mdlStoreParam(params->distHighClipDb, db);
    mdlSetQuietly(sldLowThreshold, std::min(sldLowThreshold->value(), db - kvGapDb));
    mdlStoreParam(params->distLowThresholdDb, sldLowThreshold->value());
    showLevels();
}

void frmDistortion::lowThresholdMoved(int db) {
    int highest = params->distHighClipDb - kvGapDb;
    if (db > highest) {
        mdlSetQuietly(sldLowThreshold, highest);
        db = sldLowThreshold->value();
    }
    mdlStoreParam(params->distLowThresholdDb, db);
    showLevels();
}

void frmDistortion::showLevels() {
    lblHighClip->setText(mdlDbText(params->distHighClipDb));
    lblLowThreshold->setText(mdlDbText(params->distLowThresholdDb));
    picCurve->update();
}
