/*
 * frm_eq.cpp - the equalizer dialog.
 *
 * The top band's nominal centre is the whole kilohertz of the rate scaled by
 * 100000 / 275, and each band below halves it; centres of 1000 Hz and more
 * are shown in whole kilohertz.
 */
#include "app/dialogs/frm_eq.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"
#include "app/shell/mdl_main.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

QString mdlEqBandLabel(int32_t rate, int band) {
    int64_t top = std::llround(static_cast<double>(rate / 1000) * 100000.0 / 275.0);
    int64_t centre = top >> (9 - band);
    if (centre < 1000) return QString::number(centre) + " Hz";
    return QString::number(centre / 1000) + " kHz";
}

frmEQ::frmEQ(QWidget *owner, KV_Params *params) : EffectDialog(owner, params, "frmEQ") {
    setWindowTitle("10 Band Graphic Equalizer");
    int32_t rate = kvGetSampleRate(mdlMain.dialogDoc);
    auto *bands = new QHBoxLayout;
    for (int k = 0; k < 10; k++) {
        sldBand[k] = makeBoundSlider(QString("sldBand%1").arg(k), params->eqBandDb[k],
                                     [this](int) { writeParams(); });
        QVBoxLayout *column = mdlSliderColumn(this, mdlEqBandLabel(rate, k), sldBand[k],
                                              QString("lblDb%1").arg(k), &lblDb[k]);
        lblFrequency[k] = qobject_cast<QLabel *>(column->itemAt(0)->widget());
        lblFrequency[k]->setObjectName(QString("lblFrequency%1").arg(k));
        bands->addLayout(column);
    }
    presets = new ctlPresets(this);
    presets->LoadMenu("EQ", params->eqBandDb, sizeof params->eqBandDb);
    connect(presets, &ctlPresets::presetLoaded, this, &frmEQ::readParams);

    auto *presetRow = new QHBoxLayout;
    presetRow->addStretch(1);
    presetRow->addWidget(presets);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bands);
    layout->addLayout(presetRow);
    layout->addWidget(preview);

    readParams();
    preview->Init(true, KV_EDIT_EQUALIZER, kvHelpEqualizer);
}

void frmEQ::readParams() {
    bindings.read();
    writeParams();
}

void frmEQ::writeParams() {
    bindings.write();
    for (int k = 0; k < 10; k++)
        lblDb[k]->setText(mdlDbText(params->eqBandDb[k]));
}
