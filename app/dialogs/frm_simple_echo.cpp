/*
 * frm_simple_echo.cpp - the Simple Echo dialog.
 *
 * Every slider moves in the record's own unit (milliseconds, whole dB,
 * hundredths of the coefficient), so one step of the wheel is one stored
 * step and nothing is lost between the slider and the record.
 */
#include "app/dialogs/frm_simple_echo.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"
#include "app/shell/mdl_main.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

QString mdlFilterHzText(int32_t value, int32_t scale, int32_t rate) {
    int64_t hz = static_cast<int64_t>(value) * rate / (2 * scale);
    return QString::number(hz) + " Hz";
}

frmSimpleEcho::frmSimpleEcho(QWidget *owner, KV_Params *params)
    : EffectDialog(owner, params, "frmSimpleEcho"), rate(kvGetSampleRate(mdlMain.dialogDoc)) {
    setWindowTitle("Simple Echo");
    auto changed = [this](int) { writeParams(); };
    sldDelay = makeBoundSlider("sldDelay", params->simpleEchoDelayMs, changed);
    sldFeedback = makeBoundSlider("sldFeedback", params->simpleEchoFeedbackDb, changed);
    sldWetOut = makeBoundSlider("sldWetOut", params->simpleEchoWetDb, changed);
    sldLowPass = makeBoundSlider("sldLowPass", params->simpleEchoLowPass, changed);

    auto *sliders = new QHBoxLayout;
    sliders->addLayout(mdlSliderColumn(this, "&Delay", sldDelay, "lblDelay", &lblDelay));
    sliders->addLayout(
        mdlSliderColumn(this, "&Feedback", sldFeedback, "lblFeedback", &lblFeedback));
    sliders->addLayout(mdlSliderColumn(this, "&Wet Out", sldWetOut, "lblWetOut", &lblWetOut));
    sliders->addLayout(mdlSliderColumn(this, "&Lo-Pass", sldLowPass, "lblLowPass", &lblLowPass));
    presets = new ctlPresets(this);
    presets->LoadMenu("Simple Echo", &params->simpleEchoDelayMs, 16);
    connect(presets, &ctlPresets::presetLoaded, this, &frmSimpleEcho::readParams);

    auto *side = new QVBoxLayout;
    side->addStretch(1);
    side->addWidget(presets);
    auto *top = new QHBoxLayout;
    top->addLayout(sliders, 1);
    top->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);

    readParams();
    preview->Init(true, KV_EDIT_SIMPLE_ECHO, kvHelpSimpleEcho);
}

void frmSimpleEcho::readParams() {
    bindings.read();
    writeParams();
}

void frmSimpleEcho::writeParams() {
    bindings.write();
    lblDelay->setText(QString::number(params->simpleEchoDelayMs) + " ms");
    lblFeedback->setText(mdlDbText(params->simpleEchoFeedbackDb));
    lblWetOut->setText(mdlDbText(params->simpleEchoWetDb));
    lblLowPass->setText(mdlFilterHzText(params->simpleEchoLowPass, 100, rate));
}
