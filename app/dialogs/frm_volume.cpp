/*
 * frm_volume.cpp - Change Volume and Normalize Volume.
 *
 * The percentage follows the engine's decibel rule (2^(dB/6)), not the
 * 20·log10 rule, so it shows the gain the edit will really apply.
 */
#include "app/dialogs/frm_volume.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

QString mdlPercentText(int32_t db) {
    return QString::number(std::pow(1.122462048309373, db) * 100.0, 'f', 1) + "%";
}

frmVolume::frmVolume(QWidget *owner, KV_Params *params, bool normalize, int32_t peakDb)
    : EffectDialog(owner, params, "frmVolume"),
      field(normalize ? &params->normalizeDb : &params->volumeDb) {
    setWindowTitle(normalize ? "Normalize Volume" : "Change Volume");
    sldVolume = makeSlider("sldVolume", -48, 48, *field, [this](int db) { setLevel(db); });
    sldVolume->setMinimumHeight(160);
    sldVolume->setAccessibleName(normalize ? "Normalize Level" : "Volume Change");
    lblDb = new QLabel(this);
    lblDb->setObjectName("lblDb");
    lblPercent = new QLabel(this);
    lblPercent->setObjectName("lblPercent");
    lblPeak = new QLabel("Peak Level Found: " + QString::number(peakDb) + " db", this);
    lblPeak->setObjectName("lblPeak");
    lblPeak->setVisible(normalize);

    auto *labels = new QVBoxLayout;
    labels->addWidget(lblPeak);
    labels->addWidget(lblDb);
    labels->addWidget(lblPercent);
    labels->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addWidget(sldVolume);
    top->addLayout(labels, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);

    lblDb->setText(QString::number(*field) + " db");
    lblPercent->setText(mdlPercentText(*field));
    installEventFilter(this);
    sldVolume->installEventFilter(this);
    preview->Init(true, normalize ? 5 : 1, normalize ? kvHelpNormalize : kvHelpVolume);
}

void frmVolume::setLevel(int db) {
    mdlStoreParam(*field, db);
    lblDb->setText(QString::number(db) + " db");
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
