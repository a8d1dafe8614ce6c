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
    sldThreshold = makeSlider("sldThreshold", -48, 12, 0, changed);
    sldHardClip = makeSlider("sldHardClip", -48, 12, 0, changed);
    sldRatio = makeSlider("sldRatio", 1, 100, 1, changed);
    sldAttack = makeSlider("sldAttack", 1, 2000, 1, changed);
    sldRelease = makeSlider("sldRelease", 5, 500, 5, changed);
    sldGain = makeSlider("sldGain", 0, 48, 0, changed);
    sldEnhance = makeSlider("sldEnhance", 0, 10, 0, changed);

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
    const KV_Params *p = params;
    mdlSetQuietly(sldThreshold, p->compThresholdDb);
    mdlSetQuietly(sldHardClip, p->compHardClipDb);
    mdlSetQuietly(sldRatio, p->compRatio <= 0 ? 100 : p->compRatio);
    mdlSetQuietly(sldAttack, p->compAttack);
    mdlSetQuietly(sldRelease, p->compRelease);
    mdlSetQuietly(sldGain, p->compGainDb);
    mdlSetQuietly(sldEnhance, p->compEnhance);
    mdlSetQuietly(chkSoftKnee, p->compSoftKnee != 0);
    mdlSetQuietly(chkSideChain, p->compSideChain != 0);
    mdlSetQuietly(chkOversample, p->compOversample != 0);
    writeParams();
}

void frmCompressor::writeParams() {
    mdlStoreParam(params->compThresholdDb, sldThreshold->value());
    mdlStoreParam(params->compHardClipDb, sldHardClip->value());
    mdlStoreParam(params->compRatio, sldRatio->value());
    mdlStoreParam(params->compAttack, sldAttack->value());
    mdlStoreParam(params->compRelease, sldRelease->value());
    mdlStoreParam(params->compGainDb, sldGain->value());
    mdlStoreParam(params->compEnhance, sldEnhance->value());
    mdlStoreParam(params->compSoftKnee, chkSoftKnee->isChecked() ? 1 : 0);
    mdlStoreParam(params->compSideChain, chkSideChain->isChecked() ? 1 : 0);
    mdlStoreParam(params->compOversample, chkOversample->isChecked() ? 1 : 0);

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
