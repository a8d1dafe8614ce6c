/*
 * frm_silence.cpp - the insert-silence dialog.
 *
 * The fields keep the last length used, since KV_Params is stored between
 * runs (one second until a length has been chosen); the dialog result tells
 * the document window whether to insert.
 */
#include "app/dialogs/frm_silence.h"
#include "app/dialogs/param_store.h"
#include "app/shell/mdl_main.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

frmSilence::frmSilence(QWidget *owner, KV_Params *params) : QDialog(owner), params(params) {
    setObjectName("frmSilence");
    setWindowTitle("Insert Silence");
    txtAmount = new QSpinBox(this);
    txtAmount->setObjectName("txtAmount");
    txtAmount->setRange(0, 999999);
    cmbUnit = new QComboBox(this);
    cmbUnit->setObjectName("cmbUnit");
    cmbUnit->setAccessibleName("Length Unit");
    cmbUnit->addItems({"Milliseconds", "Seconds", "Minutes"});
    bool stored = params->silenceAmount > 0 && params->silenceUnit >= 0 && params->silenceUnit <= 2;
    txtAmount->setValue(stored ? params->silenceAmount : 1);
    cmbUnit->setCurrentIndex(stored ? params->silenceUnit : 1);
    auto *label = new QLabel("&Length:", this);
    label->setBuddy(txtAmount);
    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(txtAmount, 1);
    row->addWidget(cmbUnit);
    mdlLayOutOkCancel(this, row);
}

void frmSilence::done(int result) {
    if (result == QDialog::Accepted) {
        mdlStoreParam(params->silenceAmount, txtAmount->value());
        mdlStoreParam(params->silenceUnit, cmbUnit->currentIndex());
    }
    QDialog::done(result);
}
