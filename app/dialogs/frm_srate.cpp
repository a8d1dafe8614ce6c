/*
 * frm_srate.cpp - the sample-rate dialog: the rates a saved file can have.
 *
 * The list starts at the document's own rate (44100 Hz when that rate is not
 * one of them); the document window converts only after OK.
 */
#include "app/dialogs/frm_srate.h"
#include "app/shell/mdl_main.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

frmSRate::frmSRate(QWidget *owner, int32_t *rate) : QDialog(owner), rate(rate) {
    setObjectName("frmSRate");
    setWindowTitle("Change Sample Rate");
    cmbRate = new QComboBox(this);
    cmbRate->setObjectName("cmbRate");
    for (int32_t choice :
         {4000, 6000, 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 96000})
        cmbRate->addItem(QString("%1 Hz").arg(choice), choice);
    int current = cmbRate->findData(*rate);
    cmbRate->setCurrentIndex(current >= 0 ? current : cmbRate->findData(44100));
    auto *label = new QLabel("New &Sample Rate:", this);
    label->setBuddy(cmbRate);
    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(cmbRate, 1);
    mdlLayOutOkCancel(this, row);
}

void frmSRate::done(int result) {
    if (result == QDialog::Accepted) *rate = cmbRate->currentData().toInt();
    QDialog::done(result);
}
