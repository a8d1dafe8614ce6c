/*
 * frm_reverb.cpp - the Reverb Processor dialog.
 *
 * The two lists hold exactly the engine's room and wall tables in order, so
 * a list position is the stored index; a stored index outside a table opens
 * on its first entry and is corrected in the record, since the engine would
 * otherwise leave the sound untouched.
 */
#include "app/dialogs/frm_reverb.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/frm_echo.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/param_store.h"
#include "app/dialogs/slider_column.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

frmReverb::frmReverb(QWidget *owner, KV_Params *params) : EffectDialog(owner, params, "frmReverb") {
    setWindowTitle("Reverb Processor");
    const char *const pairs[3] = {"Input Level", "Processed Out", "Dry Out"};
    auto *levels = new QHBoxLayout;
    for (int pair = 0; pair < 3; pair++) {
        auto *columns = new QHBoxLayout;
        for (int side = 0; side < 2; side++) {
            int k = 2 * pair + side;
            sldLevel[k] = makeBoundSlider(
                QString("sldLevel%1").arg(k), params->reverbLevelDb[k], [this, k](int db) {
                    if (this->params->reverbGang == 1)
                        mdlMoveGanged(sldLevel[k ^ 1], this->params->reverbLevelDb[k], db);
                    writeParams();
                });
            columns->addLayout(mdlSliderColumn(this, side == 0 ? "L" : "R", sldLevel[k],
                                               QString("lblLevel%1").arg(k), &lblLevel[k]));
        }
        auto *box = new QGroupBox(pairs[pair], this);
        box->setLayout(columns);
        levels->addWidget(box);
    }

    cmbRoomSize = new QComboBox(this);
    cmbRoomSize->setObjectName("cmbRoomSize");
    cmbRoomSize->addItems({"30 x 45 feet", "50 x 75 feet", "100 x 150 feet", "200 x 300 feet",
                           "400 x 600 feet", "800 x 1200 feet"});
    cmbWall = new QComboBox(this);
    cmbWall->setObjectName("cmbWall");
    cmbWall->addItems(
        {"Metal / Steel", "Concrete / Brick", "Wood / Panel / Drywall", "Foam / Cloth / Carpet"});
    chkGang = new QCheckBox("&Gang Left and Right", this);
    chkGang->setObjectName("chkGang");
    bindings.bind(cmbRoomSize, params->reverbRoomSize);
    bindings.bind(cmbWall, params->reverbWall);
    bindings.bind(chkGang, params->reverbGang);
    connect(cmbRoomSize, &QComboBox::currentIndexChanged, this, [this] { writeParams(); });
    connect(cmbWall, &QComboBox::currentIndexChanged, this, [this] { writeParams(); });
    connect(chkGang, &QCheckBox::toggled, this, [this] { writeParams(); });
    presets = new ctlPresets(this);
    presets->LoadMenu("Reverb", params->reverbLevelDb, 36);
    connect(presets, &ctlPresets::presetLoaded, this, &frmReverb::readParams);

    auto *room = new QFormLayout;
    room->addRow("Room &Size:", cmbRoomSize);
    room->addRow("&Walls:", cmbWall);
    auto *side = new QVBoxLayout;
    side->addLayout(room);
    side->addWidget(chkGang);
    side->addStretch(1);
    side->addWidget(presets, 0, Qt::AlignRight);
    auto *top = new QHBoxLayout;
    top->addLayout(levels, 1);
    top->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(preview);

    readParams();
    preview->Init(true, KV_EDIT_REVERB, kvHelpReverb);
}

void frmReverb::readParams() {
    bindings.read();
    writeParams();
}

void frmReverb::writeParams() {
    bindings.write();
    for (int k = 0; k < 6; k++)
        lblLevel[k]->setText(mdlDbText(params->reverbLevelDb[k]));
}
