/*
 * frm_volume.cpp - Change Volume and Normalize Volume.
 *
 * The percentage follows the engine's decibel rule (2^(dB/6)), not the
 * 20·log10 rule, so it shows the gain the edit will really apply. The slider
 * and the number box show one value: the box moves the slider, and the
 * slider alone writes the field. Normalize opens on the gain that brings the
 * peak to its target level, -1 dBFS unless the user picks another; the
 * target moves the gain by as many dB.
 */
#include "app/dialogs/frm_volume.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"

#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

/* Normalize's targets. */
static const int32_t lowestTargetDb = -24;
static const int32_t offeredTargetDb = -1;

QString mdlPercentText(int32_t db) {
    return QString::number(std::pow(1.122462048309373, db) * 100.0, 'f', 1) + "%";
}

static QSpinBox *mdlDbBox(QWidget *owner, const QString &name, int minimum, int maximum,
                          const QString &suffix) {
    auto *box = new QSpinBox(owner);
    box->setObjectName(name);
    box->setRange(minimum, maximum);
    box->setSuffix(suffix);
    return box;
}

frmVolume::frmVolume(QWidget *owner, KV_Params *params, bool normalize, int32_t peakDb)
    : EffectDialog(owner, params, "frmVolume"),
      field(normalize ? &params->normalizeDb : &params->volumeDb), fullScaleGain(*field) {
    setWindowTitle(normalize ? "Normalize Volume" : "Change Volume");
    QString name = normalize ? "Normalize Level" : "Volume Change";
    KV_ParamRange limit = mdlParamRange(params, *field);
    spnVolume = mdlDbBox(this, "spnVolume", limit.lowest, limit.highest, " dB");
    spnVolume->setAccessibleName(name);
    sldVolume = makeSlider("sldVolume", limit.lowest, limit.highest, *field,
                           [this](int db) { setLevel(db); });
    sldVolume->setMinimumHeight(160);
    sldVolume->setAccessibleName(name);
    lblPercent = new QLabel(this);
    lblPercent->setObjectName("lblPercent");
    lblPeak = new QLabel("Peak Level Found: " + mdlDbText(peakDb), this);
    lblPeak->setObjectName("lblPeak");
    lblPeak->setVisible(normalize);
    spnTarget = mdlDbBox(this, "spnTarget", lowestTargetDb, 0, " dBFS");
    spnTarget->setValue(offeredTargetDb);
    spnTarget->setVisible(normalize);
    auto *targetLabel = new QLabel("&Target Peak Level:", this);
    targetLabel->setBuddy(spnTarget);
    targetLabel->setVisible(normalize);

    auto *values = new QFormLayout;
    values->addRow(lblPeak);
    values->addRow(targetLabel, spnTarget);
    values->addRow(spnVolume);
    values->addRow(lblPercent);
    auto *top = new QHBoxLayout;
    top->addWidget(sldVolume);
    top->addLayout(values, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);

    connect(spnVolume, &QSpinBox::valueChanged, sldVolume, &QSlider::setValue);
    connect(spnTarget, &QSpinBox::valueChanged, this,
            [this](int target) { sldVolume->setValue(fullScaleGain + target); });
    setLevel(*field);
    if (normalize) sldVolume->setValue(fullScaleGain + offeredTargetDb);
    installEventFilter(this);
    sldVolume->installEventFilter(this);
    preview->Init(true, normalize ? KV_EDIT_NORMALIZE : KV_EDIT_VOLUME,
                  normalize ? kvHelpNormalize : kvHelpVolume);
}

void frmVolume::setLevel(int db) {
    mdlStoreParam(*field, db);
    spnVolume->setValue(db);
    lblPercent->setText(mdlPercentText(db));
}

bool frmVolume::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        sldVolume->setValue(0);
        setLevel(0);
        return true;
    }
    return EffectDialog::eventFilter(watched, event);
}
