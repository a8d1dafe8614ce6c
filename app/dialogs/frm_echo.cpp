/*
 * frm_echo.cpp - the Echo Processor dialog.
 *
 * Each ganged slider reads its own old value from the record before the
 * record is rewritten, which gives the step to pass to its partner without
 * keeping a second copy of the values in the dialog.
 */
#include "app/dialogs/frm_echo.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/frm_simple_echo.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"
#include "app/shell/mdl_main.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

void mdlMoveGanged(QSlider *partner, int before, int after) {
    mdlSetQuietly(partner, partner->value() + (after - before));
}

frmEcho::frmEcho(QWidget *owner, KV_Params *params)
    : EffectDialog(owner, params, "frmEcho"), rate(kvGetSampleRate(mdlMain.dialogDoc)) {
    setWindowTitle("Echo Processor");
    KV_Params *p = params;
    sldLeftDelay = makeGanged("sldLeftDelay", 10, 1000, &sldRightDelay, &p->echoLeftDelayMs);
    sldRightDelay = makeGanged("sldRightDelay", 10, 1000, &sldLeftDelay, &p->echoRightDelayMs);
    sldLeftFromLeft =
        makeGanged("sldLeftFromLeft", -48, 12, &sldRightFromRight, &p->echoLeftFromLeftDb);
    sldLeftFromRight =
        makeGanged("sldLeftFromRight", -48, 12, &sldRightFromLeft, &p->echoLeftFromRightDb);
    sldRightFromLeft =
        makeGanged("sldRightFromLeft", -48, 12, &sldLeftFromRight, &p->echoRightFromLeftDb);
    sldRightFromRight =
        makeGanged("sldRightFromRight", -48, 12, &sldLeftFromLeft, &p->echoRightFromRightDb);
    sldFeedbackRtoL =
        makeGanged("sldFeedbackRtoL", -48, 0, &sldFeedbackLtoR, &p->echoFeedbackRtoLDb);
    sldFeedbackLtoR =
        makeGanged("sldFeedbackLtoR", -48, 0, &sldFeedbackRtoL, &p->echoFeedbackLtoRDb);
    sldDryLeft = makeGanged("sldDryLeft", -48, 12, &sldDryRight, &p->echoDryLeftDb);
    sldWetLeft = makeGanged("sldWetLeft", -48, 12, &sldWetRight, &p->echoWetLeftDb);
    sldWetRight = makeGanged("sldWetRight", -48, 12, &sldWetLeft, &p->echoWetRightDb);
    sldDryRight = makeGanged("sldDryRight", -48, 12, &sldDryLeft, &p->echoDryRightDb);
    auto changed = [this](int) { writeParams(); };
    sldLowPass = makeSlider("sldLowPass", 50, 1000, 50, changed);
    sldHighPass = makeSlider("sldHighPass", 0, 950, 0, changed);
    for (QSlider *delay : {sldLeftDelay, sldRightDelay}) {
        delay->setOrientation(Qt::Horizontal);
        delay->setMinimumWidth(200);
    }

    auto group = [this](const QString &title, QLayout *content) {
        auto *box = new QGroupBox(title, this);
        box->setLayout(content);
        return box;
    };
    auto *inputs = new QHBoxLayout;
    inputs->addLayout(
        mdlSliderColumn(this, "L from L", sldLeftFromLeft, "lblLeftFromLeft", &lblLeftFromLeft));
    inputs->addLayout(
        mdlSliderColumn(this, "L from R", sldLeftFromRight, "lblLeftFromRight", &lblLeftFromRight));
    inputs->addLayout(
        mdlSliderColumn(this, "R from L", sldRightFromLeft, "lblRightFromLeft", &lblRightFromLeft));
    inputs->addLayout(mdlSliderColumn(this, "R from R", sldRightFromRight, "lblRightFromRight",
                                      &lblRightFromRight));
    auto *feedback = new QHBoxLayout;
    feedback->addLayout(
        mdlSliderColumn(this, "R to L", sldFeedbackRtoL, "lblFeedbackRtoL", &lblFeedbackRtoL));
    feedback->addLayout(
        mdlSliderColumn(this, "L to R", sldFeedbackLtoR, "lblFeedbackLtoR", &lblFeedbackLtoR));
    auto *outputs = new QHBoxLayout;
    outputs->addLayout(mdlSliderColumn(this, "Dry L", sldDryLeft, "lblDryLeft", &lblDryLeft));
    outputs->addLayout(mdlSliderColumn(this, "Wet L", sldWetLeft, "lblWetLeft", &lblWetLeft));
    outputs->addLayout(mdlSliderColumn(this, "Wet R", sldWetRight, "lblWetRight", &lblWetRight));
    outputs->addLayout(mdlSliderColumn(this, "Dry R", sldDryRight, "lblDryRight", &lblDryRight));
    auto *filters = new QHBoxLayout;
    filters->addLayout(mdlSliderColumn(this, "Lo-Pass", sldLowPass, "lblLowPass", &lblLowPass));
    filters->addLayout(mdlSliderColumn(this, "Hi-Pass", sldHighPass, "lblHighPass", &lblHighPass));
    auto *sliders = new QHBoxLayout;
    sliders->addWidget(group("Input Mix", inputs));
    sliders->addWidget(group("Feedback", feedback));
    sliders->addWidget(group("Output", outputs));
    sliders->addWidget(group("Filters", filters));

    auto *delays = new QGridLayout;
    lblLeftDelay = new QLabel(this);
    lblLeftDelay->setObjectName("lblLeftDelay");
    lblRightDelay = new QLabel(this);
    lblRightDelay->setObjectName("lblRightDelay");
    delays->addWidget(new QLabel("Left Delay:", this), 0, 0);
    delays->addWidget(sldLeftDelay, 0, 1);
    delays->addWidget(lblLeftDelay, 0, 2);
    delays->addWidget(new QLabel("Right Delay:", this), 1, 0);
    delays->addWidget(sldRightDelay, 1, 1);
    delays->addWidget(lblRightDelay, 1, 2);
    delays->setColumnStretch(1, 1);

    chkBounce = new QCheckBox("B&ounce", this);
    chkBounce->setObjectName("chkBounce");
    chkGang = new QCheckBox("&Gang Left and Right", this);
    chkGang->setObjectName("chkGang");
    connect(chkBounce, &QCheckBox::toggled, this, [this] { writeParams(); });
    connect(chkGang, &QCheckBox::toggled, this, [this] { writeParams(); });
    presets = new ctlPresets(this);
    presets->LoadMenu("Echo", &params->echoFeedbackRtoLDb, 64);
    connect(presets, &ctlPresets::presetLoaded, this, &frmEcho::readParams);

    auto *switches = new QHBoxLayout;
    switches->addWidget(chkBounce);
    switches->addWidget(chkGang);
    switches->addStretch(1);
    switches->addWidget(presets);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group("Delay", delays));
    layout->addLayout(sliders);
    layout->addLayout(switches);
    layout->addWidget(preview);

    readParams();
    preview->Init(true, KV_EDIT_ECHO, kvHelpEcho);
}

QSlider *frmEcho::makeGanged(const QString &name, int minimum, int maximum, QSlider **partner,
                             int32_t *field) {
    return makeSlider(name, minimum, maximum, minimum, [this, partner, field](int value) {
        if (params->echoGang == 1) mdlMoveGanged(*partner, *field, value);
        writeParams();
    });
}

void frmEcho::readParams() {
    const KV_Params *p = params;
    mdlSetQuietly(sldLeftDelay, p->echoLeftDelayMs);
    mdlSetQuietly(sldRightDelay, p->echoRightDelayMs);
    mdlSetQuietly(sldLeftFromLeft, p->echoLeftFromLeftDb);
    mdlSetQuietly(sldLeftFromRight, p->echoLeftFromRightDb);
    mdlSetQuietly(sldRightFromLeft, p->echoRightFromLeftDb);
    mdlSetQuietly(sldRightFromRight, p->echoRightFromRightDb);
    mdlSetQuietly(sldFeedbackRtoL, p->echoFeedbackRtoLDb);
    mdlSetQuietly(sldFeedbackLtoR, p->echoFeedbackLtoRDb);
    mdlSetQuietly(sldDryLeft, p->echoDryLeftDb);
    mdlSetQuietly(sldWetLeft, p->echoWetLeftDb);
    mdlSetQuietly(sldWetRight, p->echoWetRightDb);
    mdlSetQuietly(sldDryRight, p->echoDryRightDb);
    mdlSetQuietly(sldLowPass, p->echoLowPass);
    mdlSetQuietly(sldHighPass, p->echoHighPass);
    mdlSetQuietly(chkBounce, p->echoBounce != 0);
    mdlSetQuietly(chkGang, p->echoGang != 0);
    writeParams();
}

void frmEcho::writeParams() {
    KV_Params *p = params;
    mdlStoreParam(p->echoLeftDelayMs, sldLeftDelay->value());
    mdlStoreParam(p->echoRightDelayMs, sldRightDelay->value());
    mdlStoreParam(p->echoLeftFromLeftDb, sldLeftFromLeft->value());
    mdlStoreParam(p->echoLeftFromRightDb, sldLeftFromRight->value());
    mdlStoreParam(p->echoRightFromLeftDb, sldRightFromLeft->value());
    mdlStoreParam(p->echoRightFromRightDb, sldRightFromRight->value());
    mdlStoreParam(p->echoFeedbackRtoLDb, sldFeedbackRtoL->value());
    mdlStoreParam(p->echoFeedbackLtoRDb, sldFeedbackLtoR->value());
    mdlStoreParam(p->echoDryLeftDb, sldDryLeft->value());
    mdlStoreParam(p->echoWetLeftDb, sldWetLeft->value());
    mdlStoreParam(p->echoWetRightDb, sldWetRight->value());
    mdlStoreParam(p->echoDryRightDb, sldDryRight->value());
    mdlStoreParam(p->echoLowPass, sldLowPass->value());
    mdlStoreParam(p->echoHighPass, sldHighPass->value());
    mdlStoreParam(p->echoBounce, chkBounce->isChecked() ? 1 : 0);
    mdlStoreParam(p->echoGang, chkGang->isChecked() ? 1 : 0);

    lblLeftDelay->setText(QString::number(p->echoLeftDelayMs) + " ms");
    lblRightDelay->setText(QString::number(p->echoRightDelayMs) + " ms");
    lblLeftFromLeft->setText(mdlDbText(p->echoLeftFromLeftDb));
    lblLeftFromRight->setText(mdlDbText(p->echoLeftFromRightDb));
    lblRightFromLeft->setText(mdlDbText(p->echoRightFromLeftDb));
    lblRightFromRight->setText(mdlDbText(p->echoRightFromRightDb));
    lblFeedbackRtoL->setText(mdlDbText(p->echoFeedbackRtoLDb));
    lblFeedbackLtoR->setText(mdlDbText(p->echoFeedbackLtoRDb));
    lblDryLeft->setText(mdlDbText(p->echoDryLeftDb));
    lblWetLeft->setText(mdlDbText(p->echoWetLeftDb));
    lblWetRight->setText(mdlDbText(p->echoWetRightDb));
    lblDryRight->setText(mdlDbText(p->echoDryRightDb));
    lblLowPass->setText(mdlFilterHzText(p->echoLowPass, 1000, rate));
    lblHighPass->setText(mdlFilterHzText(p->echoHighPass, 1000, rate));
}
