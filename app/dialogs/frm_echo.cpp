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
    sldLeftDelay = makeGanged("sldLeftDelay", &sldRightDelay, &p->echoLeftDelayMs);
    sldRightDelay = makeGanged("sldRightDelay", &sldLeftDelay, &p->echoRightDelayMs);
    sldLeftFromLeft = makeGanged("sldLeftFromLeft", &sldRightFromRight, &p->echoLeftFromLeftDb);
    sldLeftFromRight = makeGanged("sldLeftFromRight", &sldRightFromLeft, &p->echoLeftFromRightDb);
    sldRightFromLeft = makeGanged("sldRightFromLeft", &sldLeftFromRight, &p->echoRightFromLeftDb);
    sldRightFromRight = makeGanged("sldRightFromRight", &sldLeftFromLeft, &p->echoRightFromRightDb);
    sldFeedbackRtoL = makeGanged("sldFeedbackRtoL", &sldFeedbackLtoR, &p->echoFeedbackRtoLDb);
    sldFeedbackLtoR = makeGanged("sldFeedbackLtoR", &sldFeedbackRtoL, &p->echoFeedbackLtoRDb);
    sldDryLeft = makeGanged("sldDryLeft", &sldDryRight, &p->echoDryLeftDb);
    sldWetLeft = makeGanged("sldWetLeft", &sldWetRight, &p->echoWetLeftDb);
    sldWetRight = makeGanged("sldWetRight", &sldWetLeft, &p->echoWetRightDb);
    sldDryRight = makeGanged("sldDryRight", &sldDryLeft, &p->echoDryRightDb);
    auto changed = [this](int) { writeParams(); };
    sldLowPass = makeBoundSlider("sldLowPass", p->echoLowPass, changed);
    sldHighPass = makeBoundSlider("sldHighPass", p->echoHighPass, changed);
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
    bindings.bind(chkBounce, params->echoBounce);
    bindings.bind(chkGang, params->echoGang);
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

QSlider *frmEcho::makeGanged(const QString &name, QSlider **partner, int32_t *field) {
    return makeBoundSlider(name, *field, [this, partner, field](int value) {
        if (params->echoGang == 1) mdlMoveGanged(*partner, *field, value);
        writeParams();
    });
}

void frmEcho::readParams() {
    bindings.read();
    writeParams();
}

void frmEcho::writeParams() {
    const KV_Params *p = params;
    bindings.write();

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
