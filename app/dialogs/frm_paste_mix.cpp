/*
 * frm_paste_mix.cpp - the Paste Mix dialog.
 *
 * The range of a mix is the clipboard's length from the selection start, so
 * the dialog never widens an empty selection to the whole sound.
 */
#include "app/dialogs/frm_paste_mix.h"
#include "app/dialogs/frm_volume.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

frmPasteMix::frmPasteMix(QWidget *owner, KV_Params *params)
    : EffectDialog(owner, params, "frmPasteMix") {
    setWindowTitle("Paste Mix");
    lblDb = new QLabel(mdlDbText(params->pasteMixDb), this);
    lblDb->setObjectName("lblDb");
    lblPercent = new QLabel(mdlPercentText(params->pasteMixDb), this);
    lblPercent->setObjectName("lblPercent");
    KV_ParamRange level = mdlParamRange(params, params->pasteMixDb);
    sldLevel =
        makeSlider("sldLevel", level.lowest, level.highest, params->pasteMixDb, [this](int db) {
            mdlStoreParam(this->params->pasteMixDb, db);
            lblDb->setText(mdlDbText(db));
            lblPercent->setText(mdlPercentText(db));
        });
    sldLevel->setMinimumHeight(160);
    sldLevel->setAccessibleName("Clipboard Mix Level");
    auto *labels = new QVBoxLayout;
    labels->addWidget(new QLabel("Clipboard Mix Level:", this));
    labels->addWidget(lblDb);
    labels->addWidget(lblPercent);
    labels->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addWidget(sldLevel);
    top->addLayout(labels, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);
    preview->Init(false, KV_EDIT_PASTE_MIX, kvHelpPasteMix);
}
