/*
 * frm_noise.cpp - Noise Reduction.
 *
 * Each slider writes its field at once, so a running preview follows it;
 * "Residue" is only heard in the preview (the edit always keeps the cleaned
 * sound), which makes it easy to hear whether the voice is being eaten.
 */
#include "app/dialogs/frm_noise.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"
#include "app/shell/mdl_main.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

frmNoiseReduction::frmNoiseReduction(QWidget *owner, KV_Params *params, KV_RepairParams *repair)
    : EffectDialog(owner, params, "frmNoiseReduction"), repair(repair) {
    setWindowTitle("Noise Reduction");
    auto slider = [this](const char *name, int lowest, int highest, int32_t &field) {
        return makeSlider(name, lowest, highest, field, [this, &field](int value) {
            mdlStoreParam(field, value);
            showValues();
        });
    };
    sldReduction = slider("sldReduction", 0, 48, repair->noiseReductionDb);
    sldSensitivity = slider("sldSensitivity", 0, 24, repair->noiseSensitivity);
    sldSmoothing = slider("sldSmoothing", 0, 16, repair->noiseSmoothing);
    sldAttack = slider("sldAttack", 0, 500, repair->noiseAttackMs);
    sldRelease = slider("sldRelease", 0, 2000, repair->noiseReleaseMs);
    sldRelease->setPageStep(50);
    sldAttack->setPageStep(10);

    cmdGetProfile = new QPushButton("Get Noise &Profile", this);
    cmdGetProfile->setObjectName("cmdGetProfile");
    lblProfile = new QLabel(this);
    lblProfile->setObjectName("lblProfile");
    lblProfile->setWordWrap(true);
    auto *profileBox = new QGroupBox("Step 1: a selection of noise alone", this);
    auto *profileRow = new QHBoxLayout(profileBox);
    profileRow->addWidget(cmdGetProfile);
    profileRow->addWidget(lblProfile, 1);
    connect(cmdGetProfile, &QPushButton::clicked, this, &frmNoiseReduction::takeProfile);

    chkResidue = new QCheckBox("Preview the &residue (what is taken away)", this);
    chkResidue->setObjectName("chkResidue");
    connect(chkResidue, &QCheckBox::toggled, this,
            [this](bool on) { mdlStoreParam(this->repair->noiseResidue, on ? 1 : 0); });
    presets = new ctlPresets(this);
    presets->LoadMenu("Noise Reduction", &repair->noiseReductionDb, 5 * sizeof(int32_t));
    connect(presets, &ctlPresets::presetLoaded, this, &frmNoiseReduction::readParams);

    auto *sliders = new QHBoxLayout;
    sliders->addLayout(
        mdlSliderColumn(this, "Re&duction", sldReduction, "lblReduction", &lblReduction));
    sliders->addLayout(
        mdlSliderColumn(this, "&Sensitivity", sldSensitivity, "lblSensitivity", &lblSensitivity));
    sliders->addLayout(
        mdlSliderColumn(this, "S&moothing", sldSmoothing, "lblSmoothing", &lblSmoothing));
    sliders->addLayout(mdlSliderColumn(this, "&Attack", sldAttack, "lblAttack", &lblAttack));
    sliders->addLayout(mdlSliderColumn(this, "Re&lease", sldRelease, "lblRelease", &lblRelease));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(profileBox);
    layout->addLayout(sliders);
    layout->addWidget(chkResidue);
    layout->addWidget(presets, 0, Qt::AlignLeft);
    layout->addWidget(preview);

    preview->Init(true, KV_EDIT_NOISE_REDUCTION, kvHelpNoiseReduction);
    readParams();
    showProfile();
}

void frmNoiseReduction::readParams() {
    mdlSetQuietly(sldReduction, repair->noiseReductionDb);
    mdlSetQuietly(sldSensitivity, repair->noiseSensitivity);
    mdlSetQuietly(sldSmoothing, repair->noiseSmoothing);
    mdlSetQuietly(sldAttack, repair->noiseAttackMs);
    mdlSetQuietly(sldRelease, repair->noiseReleaseMs);
    mdlSetQuietly(chkResidue, repair->noiseResidue != 0);
    showValues();
}

void frmNoiseReduction::showValues() {
    lblReduction->setText(mdlDbText(repair->noiseReductionDb));
    lblSensitivity->setText(mdlDbText(repair->noiseSensitivity));
    lblSmoothing->setText(QString("%1 bins").arg(repair->noiseSmoothing));
    lblAttack->setText(QString("%1 ms").arg(repair->noiseAttackMs));
    lblRelease->setText(QString("%1 ms").arg(repair->noiseReleaseMs));
}

void frmNoiseReduction::showProfile() {
    bool has = kvHasNoiseProfile(mdlMain.dialogDoc) == 1;
    lblProfile->setText(has ? "A noise profile is taken. Step 2: select what to clean and "
                              "press OK (or take the profile again)."
                            : "No noise profile yet: select a stretch of noise alone (a second "
                              "or more) and press Get Noise Profile.");
    preview->cmdOK->setEnabled(has);
    preview->cmdPreview->setEnabled(has);
}

void frmNoiseReduction::takeProfile() {
    preview->StopPreview();
    kvTakeNoiseProfile(mdlMain.dialogDoc);
    showProfile();
}
