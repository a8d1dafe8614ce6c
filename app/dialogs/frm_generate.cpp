/*
 * frm_generate.cpp - the Tone Generator dialog.
 *
 * The tone is inserted at the cursor, so the preview strip reads the
 * selection without widening it, and it shows no edge-fade choice: this edit
 * never cross-fades its edges.
 */
#include "app/dialogs/frm_generate.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"
#include "app/shell/mdl_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

namespace {

/* The whole number a typed text starts with; 0 when it starts with none. */
int32_t numberIn(const QString &text) {
    QString digits;
    for (QChar c : text.trimmed()) {
        if (!c.isDigit() || digits.size() >= 9) break;
        digits += c;
    }
    return digits.toInt();
}

} // namespace

frmGenerate::frmGenerate(QWidget *owner, KV_Params *params)
    : EffectDialog(owner, params, "frmGenerate") {
    setWindowTitle("Tone Generator");
    int32_t rate = kvGetSampleRate(mdlMain.dialogDoc);
    nyquist = rate > 0 ? std::max(10, rate / 2) : INT_MAX;

    KV_ParamRange volume = mdlParamRange(params, params->toneVolumeDb);
    sldVolume = makeSlider("sldVolume", volume.lowest, volume.highest, 0, [this](int db) {
        mdlStoreParam(this->params->toneVolumeDb, db);
        lblVolume->setText(mdlDbText(db));
    });
    const QList<int> frequencies = {20, 50, 100, 200, 440, 500, 1000, 2000, 5000, 10000, 20000};
    cmbStartHz = makeNumberList("cmbStartHz", frequencies, &KV_Params::toneStartHz);
    cmbEndHz = makeNumberList("cmbEndHz", frequencies, &KV_Params::toneEndHz);
    cmbLength =
        makeNumberList("cmbLength", {1, 2, 3, 5, 10, 15, 20, 30, 45, 60}, &KV_Params::toneLength);
    chkSweep = new QCheckBox("S&weep to:", this);
    chkSweep->setObjectName("chkSweep");
    connect(chkSweep, &QCheckBox::toggled, this, [this](bool ticked) {
        mdlStoreParam(this->params->toneSweep, ticked ? 1 : 0);
        cmbEndHz->setEnabled(ticked);
    });
    cmbWaveform = new QComboBox(this);
    cmbWaveform->setObjectName("cmbWaveform");
    cmbWaveform->addItems({"Sinusoid", "Sawtooth", "Linear Triangle", "Square"});
    connect(cmbWaveform, &QComboBox::currentIndexChanged, this,
            [this](int index) { mdlStoreParam(this->params->toneWaveform, index); });
    cmbUnit = new QComboBox(this);
    cmbUnit->setObjectName("cmbUnit");
    cmbUnit->addItems({"Milliseconds", "Seconds", "Minutes"});
    connect(cmbUnit, &QComboBox::currentIndexChanged, this, [this](int index) {
        mdlStoreParam(this->params->toneLengthUnit, index);
        /* 90 seconds are fine, 90 minutes are not: the limit follows the unit. */
        mdlStoreParam(this->params->toneLength,
                      limited(&KV_Params::toneLength, this->params->toneLength));
        QSignalBlocker quiet(cmbLength);
        cmbLength->setEditText(QString::number(this->params->toneLength));
    });
    presets = new ctlPresets(this);
    presets->LoadMenu("Tone Generator", &params->toneVolumeDb, 28);
    connect(presets, &ctlPresets::presetLoaded, this, &frmGenerate::readParams);

    auto *length = new QHBoxLayout;
    length->addWidget(cmbLength, 1);
    length->addWidget(cmbUnit);
    auto *form = new QFormLayout;
    form->addRow("&Frequency (Hz):", cmbStartHz);
    form->addRow(chkSweep, cmbEndHz);
    form->addRow("W&aveform:", cmbWaveform);
    auto *lengthLabel = new QLabel("&Length:", this);
    lengthLabel->setBuddy(cmbLength);
    form->addRow(lengthLabel, length);
    auto *presetRow = new QHBoxLayout;
    presetRow->addWidget(presets);
    presetRow->addStretch(1);
    form->addRow(presetRow);
    auto *top = new QHBoxLayout;
    top->addLayout(mdlSliderColumn(this, "&Volume", sldVolume, "lblVolume", &lblVolume));
    top->addLayout(form, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);

    readParams();
    preview->Init(false, KV_EDIT_TONE, kvHelpToneGenerator);
    preview->NoFade();
}

QComboBox *frmGenerate::makeNumberList(const QString &name, const QList<int> &values,
                                       int32_t KV_Params::*field) {
    auto *list = new QComboBox(this);
    list->setObjectName(name);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    for (int value : values)
        list->addItem(QString::number(value));
    connect(list->lineEdit(), &QLineEdit::textEdited, this,
            [this, list, field] { storeNumber(list, field, false); });
    connect(list, &QComboBox::textActivated, this,
            [this, list, field] { storeNumber(list, field, true); });
    connect(list->lineEdit(), &QLineEdit::editingFinished, this,
            [this, list, field] { storeNumber(list, field, true); });
    return list;
}

int32_t frmGenerate::limited(int32_t KV_Params::*field, int32_t value) const {
    if (field == &KV_Params::toneLength) {
        static const int32_t unitMs[3] = {1, 1000, 60000};
        int32_t unit = std::clamp(params->toneLengthUnit, 0, 2);
        return std::clamp(value, 1, KV_LONGEST_TONE_MS / unitMs[unit]);
    }
    return std::clamp(value, 10, nyquist);
}

void frmGenerate::storeNumber(QComboBox *list, int32_t KV_Params::*field, bool rewrite) {
    mdlStoreParam(params->*field, limited(field, numberIn(list->currentText())));
    if (rewrite) {
        QSignalBlocker quiet(list);
        list->setEditText(QString::number(params->*field));
    }
}

void frmGenerate::readParams() {
    if (params->toneLengthUnit < 0 || params->toneLengthUnit > 2)
        mdlStoreParam(params->toneLengthUnit, 1);
    mdlSetQuietly(sldVolume, params->toneVolumeDb);
    mdlStoreParam(params->toneVolumeDb, sldVolume->value());
    lblVolume->setText(mdlDbText(params->toneVolumeDb));
    mdlStoreParam(params->toneLength, limited(&KV_Params::toneLength, params->toneLength));
    for (auto [list, field] : {std::pair{cmbStartHz, &KV_Params::toneStartHz},
                               std::pair{cmbEndHz, &KV_Params::toneEndHz},
                               std::pair{cmbLength, &KV_Params::toneLength}}) {
        QSignalBlocker quiet(list);
        list->setEditText(QString::number(params->*field));
    }
    if (params->toneWaveform < 0 || params->toneWaveform > 3)
        mdlStoreParam(params->toneWaveform, 0);
    {
        QSignalBlocker quietWave(cmbWaveform), quietUnit(cmbUnit);
        cmbWaveform->setCurrentIndex(params->toneWaveform);
        cmbUnit->setCurrentIndex(params->toneLengthUnit);
    }
    mdlStoreParam(params->toneSweep, params->toneSweep != 0 ? 1 : 0);
    mdlSetQuietly(chkSweep, params->toneSweep != 0);
    cmbEndHz->setEnabled(params->toneSweep != 0);
}
