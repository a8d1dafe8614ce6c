/*
 * frm_loudness.cpp - Loudness Normalize and Loudness Analysis.
 *
 * The record holds tenths (of LUFS and of dBTP) so that it stays a row of
 * int32 fields; the boxes show them as decimals. The gain shown is the
 * target less the loudness measured when the dialog opened, which is what
 * the edit applies before its limiter.
 */
#include "app/dialogs/frm_loudness.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/shell/mdl_main.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

QString mdlLoudnessText(double value, const char *unit) {
    if (!std::isfinite(value)) return QString("-inf %1").arg(unit);
    return QString("%1 %2").arg(value, 0, 'f', 1).arg(unit);
}

static QDoubleSpinBox *mdlTenthsBox(QWidget *owner, const QString &name, double lowest,
                                    double highest, const QString &suffix) {
    auto *box = new QDoubleSpinBox(owner);
    box->setObjectName(name);
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setRange(lowest, highest);
    box->setSuffix(suffix);
    return box;
}

frmLoudnessNormalize::frmLoudnessNormalize(QWidget *owner, KV_Params *params,
                                           KV_RepairParams *repair)
    : EffectDialog(owner, params, "frmLoudnessNormalize"), repair(repair) {
    setWindowTitle("Loudness Normalize");
    preview->Init(true, KV_EDIT_LOUDNESS_NORMALIZE, kvHelpLoudness);
    hasMeasure = kvMeasureLoudness(mdlMain.dialogDoc, &measured, sizeof measured) == 0;
    lblMeasured = new QLabel(this);
    lblMeasured->setObjectName("lblMeasured");
    lblMeasured->setText(hasMeasure
                             ? "Loudness now: " + mdlLoudnessText(measured.integratedLufs, "LUFS") +
                                   ", true peak " + mdlLoudnessText(measured.truePeakDbtp, "dBTP")
                             : QString("Loudness now: not measured"));
    spnTarget = mdlTenthsBox(this, "spnTarget", -70.0, -5.0, " LUFS");
    spnCeiling = mdlTenthsBox(this, "spnCeiling", -20.0, 0.0, " dBTP");
    lblGain = new QLabel(this);
    lblGain->setObjectName("lblGain");
    presets = new ctlPresets(this);
    presets->LoadMenu("Loudness", &repair->loudnessTarget, 2 * sizeof(int32_t));
    connect(presets, &ctlPresets::presetLoaded, this, &frmLoudnessNormalize::readParams);

    auto *values = new QFormLayout;
    values->addRow(lblMeasured);
    values->addRow("&Target loudness:", spnTarget);
    values->addRow("True-peak &ceiling:", spnCeiling);
    values->addRow(lblGain);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(values);
    layout->addWidget(presets, 0, Qt::AlignLeft);
    layout->addWidget(preview);

    connect(spnTarget, &QDoubleSpinBox::valueChanged, this, [this](double lufs) {
        mdlStoreParam(this->repair->loudnessTarget, static_cast<int32_t>(std::lround(lufs * 10)));
        showGain();
    });
    connect(spnCeiling, &QDoubleSpinBox::valueChanged, this, [this](double dbtp) {
        mdlStoreParam(this->repair->loudnessCeiling, static_cast<int32_t>(std::lround(dbtp * 10)));
    });
    readParams();
}

void frmLoudnessNormalize::readParams() {
    spnTarget->setValue(repair->loudnessTarget / 10.0);
    spnCeiling->setValue(repair->loudnessCeiling / 10.0);
    showGain();
}

void frmLoudnessNormalize::showGain() {
    if (!hasMeasure || !std::isfinite(measured.integratedLufs)) {
        lblGain->setText("Too quiet to measure: nothing to normalize");
        preview->cmdOK->setEnabled(false);
        return;
    }
    double gain = repair->loudnessTarget / 10.0 - measured.integratedLufs;
    lblGain->setText(QString("Gain: %1%2 dB (the limiter holds the peaks under the ceiling)")
                         .arg(gain >= 0 ? "+" : "")
                         .arg(gain, 0, 'f', 1));
}

frmLoudnessMeter::frmLoudnessMeter(QWidget *owner, int32_t doc) : QDialog(owner), doc(doc) {
    setObjectName("frmLoudnessMeter");
    setWindowTitle("Loudness Analysis");
    auto label = [this](const char *name) {
        auto *value = new QLabel(this);
        value->setObjectName(name);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return value;
    };
    lblScope = label("lblScope");
    lblIntegrated = label("lblIntegrated");
    lblRange = label("lblRange");
    lblShortTerm = label("lblShortTerm");
    lblMomentary = label("lblMomentary");
    lblTruePeak = label("lblTruePeak");
    lblSamplePeak = label("lblSamplePeak");
    auto *figures = new QFormLayout;
    figures->addRow(lblScope);
    figures->addRow("Integrated loudness:", lblIntegrated);
    figures->addRow("Loudness range:", lblRange);
    figures->addRow("Short-term maximum:", lblShortTerm);
    figures->addRow("Momentary maximum:", lblMomentary);
    figures->addRow("True peak:", lblTruePeak);
    figures->addRow("Sample peak:", lblSamplePeak);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *again = buttons->addButton("&Measure Again", QDialogButtonBox::ActionRole);
    again->setObjectName("cmdMeasure");
    connect(again, &QPushButton::clicked, this, &frmLoudnessMeter::measure);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(figures);
    layout->addWidget(buttons);
    measure();
}

void frmLoudnessMeter::measure() {
    KV_Loudness loudness{};
    bool whole = kvIsSel(doc) != 1 || kvIsAllSelected(doc) == 1;
    lblScope->setText(whole ? "The whole sound (EBU R128)" : "The selection (EBU R128)");
    if (kvMeasureLoudness(doc, &loudness, sizeof loudness) != 0) {
        for (QLabel *value :
             {lblIntegrated, lblRange, lblShortTerm, lblMomentary, lblTruePeak, lblSamplePeak})
            value->setText("not measured");
        return;
    }
    lblIntegrated->setText(mdlLoudnessText(loudness.integratedLufs, "LUFS"));
    lblRange->setText(mdlLoudnessText(loudness.rangeLu, "LU"));
    lblShortTerm->setText(mdlLoudnessText(loudness.shortTermMaxLufs, "LUFS"));
    lblMomentary->setText(mdlLoudnessText(loudness.momentaryMaxLufs, "LUFS"));
    lblTruePeak->setText(mdlLoudnessText(loudness.truePeakDbtp, "dBTP"));
    lblSamplePeak->setText(mdlLoudnessText(loudness.samplePeakDbfs, "dBFS"));
}
