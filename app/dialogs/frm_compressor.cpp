/*
 * frm_compressor.cpp - the Compressor/Limiter dialog.
 *
 * A stored ratio of 0 or less means infinite to the engine, just as 100 does,
 * so it opens on the "inf:1" end of the slider rather than being clamped to
 * 1:1, which would silently turn the limiter off.
 */
#include "app/dialogs/frm_compressor.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

QString mdlRatioText(int ratio) {
    return ratio >= 100 ? QString("inf:1") : QString::number(ratio) + ":1";
}

frmCompressor::frmCompressor(QWidget *owner, KV_Params *params)
    : EffectDialog(owner, params, "frmCompressor") {
    setWindowTitle("Compressor/Limiter");
    auto changed = [this](int) { writeParams(); };
    sldThreshold = makeBoundSlider("sldThreshold", params->compThresholdDb, changed);
    sldHardClip = makeBoundSlider("sldHardClip", params->compHardClipDb, changed);
    /* The engine holds the ratio by its own rule (outside 1..100 is
     * infinite), so the slider's range is the dialog's. */
    sldRatio = makeSlider("sldRatio", 1, 100, 1, changed);
    bindings.bind(sldRatio, params->compRatio, 1, 100);
    sldAttack = makeBoundSlider("sldAttack", params->compAttack, changed);
    sldRelease = makeBoundSlider("sldRelease", params->compRelease, changed);
    sldGain = makeBoundSlider("sldGain", params->compGainDb, changed);
    sldEnhance = makeBoundSlider("sldEnhance", params->compEnhance, changed);

    auto *sliders = new QHBoxLayout;
    sliders->addLayout(
        mdlSliderColumn(this, "&Threshold", sldThreshold, "lblThreshold", &lblThreshold));
    sliders->addLayout(
        mdlSliderColumn(this, "Hard &Clip", sldHardClip, "lblHardClip", &lblHardClip));
    sliders->addLayout(mdlSliderColumn(this, "R&atio", sldRatio, "lblRatio", &lblRatio));
    sliders->addLayout(mdlSliderColumn(this, "A&ttack", sldAttack, "lblAttack", &lblAttack));
    sliders->addLayout(mdlSliderColumn(this, "R&elease", sldRelease, "lblRelease", &lblRelease));
    sliders->addLayout(mdlSliderColumn(this, "&Output Gain", sldGain, "lblGain", &lblGain));
    sliders->addLayout(mdlSliderColumn(this, "E&nhance", sldEnhance, "lblEnhance", &lblEnhance));

    chkSoftKnee = new QCheckBox("Soft &Knee", this);
    chkSoftKnee->setObjectName("chkSoftKnee");
    chkSideChain = new QCheckBox("Side-Chain &Filter", this);
    chkSideChain->setObjectName("chkSideChain");
    chkOversample = new QCheckBox("O&versample", this);
    chkOversample->setObjectName("chkOversample");
    bindings.bind(chkSoftKnee, params->compSoftKnee);
    bindings.bind(chkSideChain, params->compSideChain);
    bindings.bind(chkOversample, params->compOversample);
    for (QCheckBox *box : {chkSoftKnee, chkSideChain, chkOversample})
        connect(box, &QCheckBox::toggled, this, [this] { writeParams(); });
    presets = new ctlPresets(this);
    presets->LoadMenu("Compressor", &params->compThresholdDb, 40);
    connect(presets, &ctlPresets::presetLoaded, this, &frmCompressor::readParams);

    auto *switches = new QVBoxLayout;
    switches->addWidget(chkSoftKnee);
    switches->addWidget(chkSideChain);
    switches->addWidget(chkOversample);
    switches->addStretch(1);
    switches->addWidget(presets);
    auto *top = new QHBoxLayout;
    top->addLayout(sliders, 1);
    top->addLayout(switches);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);

    readParams();
    preview->Init(true, KV_EDIT_COMPRESSOR, kvHelpCompressor);
}

void frmCompressor::readParams() {
    if (params->compRatio <= 0) mdlStoreParam(params->compRatio, 100);
    bindings.read();
    writeParams();
}

void frmCompressor::writeParams() {
    bindings.write();

    lblThreshold->setText(mdlDbText(params->compThresholdDb));
    lblHardClip->setText(mdlDbText(params->compHardClipDb));
    lblRatio->setText(mdlRatioText(params->compRatio));
    /* Tenths of a millisecond, shown with one decimal. */
    lblAttack->setText(
        QString("%1.%2 ms").arg(params->compAttack / 10).arg(params->compAttack % 10));
    /* Tens of milliseconds. */
    lblRelease->setText(QString::number(params->compRelease * 10) + " ms");
    lblGain->setText(mdlDbText(params->compGainDb));
    lblEnhance->setText(QString::number(params->compEnhance));
}
