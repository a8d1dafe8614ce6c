/*
 * frm_pitch.cpp - the Time and Pitch dialog.
 *
 * Changing the method restarts a running preview: the three methods keep
 * different running state (resampler or phase vocoder), and the engine
 * builds it only when a preview starts.
 */
#include "app/dialogs/frm_pitch.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"
#include "app/shell/mdl_main.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

QString mdlSecondsText(int32_t ms) {
    return QString("%1.%2 s").arg(ms / 1000).arg(ms % 1000, 3, 10, QChar('0'));
}

frmPitch::frmPitch(QWidget *owner, KV_Params *params) : EffectDialog(owner, params, "frmPitch") {
    setWindowTitle("Time and Pitch");
    auto changed = [this](int) { writeParams(); };
    sldStart = makeBoundSlider("sldStart", params->pitchStart, changed);
    sldEnd = makeBoundSlider("sldEnd", params->pitchEnd, changed);
    chkDynamic = new QCheckBox("&Dynamic", this);
    chkDynamic->setObjectName("chkDynamic");
    bindings.bind(chkDynamic, params->pitchDynamic);
    connect(chkDynamic, &QCheckBox::toggled, this, [this] { writeParams(); });

    auto *modes = new QGroupBox("Method", this);
    auto *modeList = new QVBoxLayout(modes);
    const char *captions[3] = {"Simple Pitch Control (Resample)",
                               "FFT Pitch Scaling (Time Remains Constant)",
                               "FFT Time Scaling (Pitch Remains Constant)"};
    for (int mode = 0; mode < 3; mode++) {
        optMode[mode] = new QRadioButton(captions[mode], modes);
        optMode[mode]->setObjectName(QString("optMode(%1)").arg(mode));
        modeList->addWidget(optMode[mode]);
        connect(optMode[mode], &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on) modeChosen(mode);
        });
    }
    lblInputSize = new QLabel(this);
    lblInputSize->setObjectName("lblInputSize");
    lblResultSize = new QLabel(this);
    lblResultSize->setObjectName("lblResultSize");
    presets = new ctlPresets(this);
    presets->LoadMenu("Pitch", &params->pitchStart, 16);
    connect(presets, &ctlPresets::presetLoaded, this, &frmPitch::readParams);

    auto *sizes = new QHBoxLayout;
    sizes->addWidget(new QLabel("Input Size:", this));
    sizes->addWidget(lblInputSize);
    sizes->addSpacing(16);
    sizes->addWidget(new QLabel("Result Size:", this));
    sizes->addWidget(lblResultSize);
    sizes->addStretch(1);
    auto *right = new QVBoxLayout;
    right->addWidget(modes);
    right->addWidget(chkDynamic);
    right->addLayout(sizes);
    right->addStretch(1);
    right->addWidget(presets, 0, Qt::AlignLeft);
    auto *top = new QHBoxLayout;
    top->addLayout(mdlSliderColumn(this, "&Start", sldStart, "lblStart", &lblStart));
    top->addLayout(mdlSliderColumn(this, "&End", sldEnd, "lblEnd", &lblEnd));
    top->addLayout(right, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);

    /* Init first: with no selection it selects the whole sound, which is the
     * input whose size the dialog shows. */
    preview->Init(true, KV_EDIT_PITCH, kvHelpPitch);
    readParams();
}

void frmPitch::readParams() {
    bindings.read();
    int mode = params->pitchMode >= 0 && params->pitchMode <= 2 ? params->pitchMode : 0;
    mdlSetQuietly(optMode[mode], true);
    mdlStoreParam(params->pitchMode, mode);
    writeParams();
}

void frmPitch::writeParams() {
    bindings.write();
    sldEnd->setEnabled(params->pitchDynamic != 0);
    lblStart->setText(QString::number(params->pitchStart) + "%");
    lblEnd->setText(QString::number(params->pitchEnd) + "%");
    showSizes();
}

void frmPitch::modeChosen(int mode) {
    bool restart = preview->IsPreviewing();
    preview->StopPreview();
    mdlStoreParam(params->pitchMode, mode);
    showSizes();
    if (restart) preview->StartPreview();
}

void frmPitch::showSizes() {
    /* Both report -1 for a document that is gone; show nothing sensible as 0. */
    lblInputSize->setText(mdlSecondsText(std::max(0, kvGetSelSize(mdlMain.dialogDoc))));
    lblResultSize->setText(mdlSecondsText(std::max(0, kvGetPitchSize(mdlMain.dialogDoc))));
}
