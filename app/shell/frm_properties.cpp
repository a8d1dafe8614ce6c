/*
 * frm_properties.cpp - the new-file properties dialog.
 *
 * The five format choices map to (bits, format tag) pairs: PCM at 8, 16 and
 * 32 bits, IEEE float at 32 and 64 bits. A stored pair that matches none of
 * them selects 16-bit PCM, the default.
 */
#include "app/shell/frm_properties.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/param_store.h"
#include "app/shell/mdl_main.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <iterator>

struct MdlSampleFormat {
    const char *caption;
    int32_t bits;
    int32_t format;
};

static const MdlSampleFormat sampleFormats[6] = {
    {"&8-bit PCM", 8, 1},   {"&16-bit PCM", 16, 1},   {"&24-bit PCM", 24, 1},
    {"&32-bit PCM", 32, 1}, {"32-bit &Float", 32, 3}, {"&64-bit Float", 64, 3}};

static QGroupBox *mdlChoiceBox(QWidget *owner, const QString &title, QButtonGroup *group,
                               const QStringList &captions) {
    auto *box = new QGroupBox(title, owner);
    auto *layout = new QVBoxLayout(box);
    for (int i = 0; i < captions.size(); i++) {
        auto *choice = new QRadioButton(captions[i], box);
        group->addButton(choice, i);
        layout->addWidget(choice);
    }
    return box;
}

frmProperties::frmProperties(QWidget *owner, KV_Options *options, KV_Params *params,
                             bool showDontPrompt)
    : QDialog(owner), options(options), params(params) {
    setObjectName("frmProperties");
    setWindowTitle("New File Properties");

    auto *rateBox = new QGroupBox("Sample &Rate", this);
    cmbRate = new QComboBox(rateBox);
    cmbRate->setObjectName("cmbRate");
    cmbRate->setAccessibleName("Sample Rate");
    cmbRate->setEditable(true);
    cmbRate->addItems({"4000", "6000", "8000", "11025", "12000", "16000", "22050", "24000", "32000",
                       "44100", "48000", "96000"});
    cmbRate->setValidator(new QIntValidator(4000, 96000, cmbRate));
    auto *rateLayout = new QVBoxLayout(rateBox);
    rateLayout->addWidget(cmbRate);
    rateLayout->addStretch();

    optFormat = new QButtonGroup(this);
    QStringList formats;
    for (const MdlSampleFormat &format : sampleFormats)
        formats.append(format.caption);
    QGroupBox *formatBox = mdlChoiceBox(this, "Sample &Format", optFormat, formats);

    optChannels = new QButtonGroup(this);
    QGroupBox *channelBox = mdlChoiceBox(this, "&Channels", optChannels, {"&Mono", "&Stereo"});

    chkDontAsk = new QCheckBox("&Don't Prompt for New File Settings", this);
    chkDontAsk->setObjectName("chkDontAsk");
    chkDontAsk->setChecked(options->skipNewFileDialog != 0);
    chkDontAsk->setVisible(showDontPrompt);

    working[0] = params->newBitsPerSample;
    working[1] = params->newFormat;
    working[2] = params->newSampleRate;
    working[3] = params->newChannels;
    presets = new ctlPresets(this);
    presets->LoadMenu("New File", working, sizeof working);
    connect(presets, &ctlPresets::presetLoaded, this, [this] { showWorkingCopy(); });
    showWorkingCopy();
    /* Every change reaches the working copy at once, so a preset saved
     * before OK holds what the dialog shows. */
    connect(cmbRate, &QComboBox::currentTextChanged, this, [this] { takeWorkingCopy(); });
    connect(optFormat, &QButtonGroup::idClicked, this, [this] { takeWorkingCopy(); });
    connect(optChannels, &QButtonGroup::idClicked, this, [this] { takeWorkingCopy(); });

    auto *choices = new QHBoxLayout;
    choices->addWidget(rateBox);
    choices->addWidget(formatBox);
    choices->addWidget(channelBox);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(chkDontAsk, 1);
    bottom->addWidget(presets);
    auto *content = new QVBoxLayout;
    content->addLayout(choices);
    content->addLayout(bottom);
    mdlLayOutOkCancel(this, content);
}

void frmProperties::showWorkingCopy() {
    int chosen = 1;
    for (int i = 0; i < static_cast<int>(std::size(sampleFormats)); i++)
        if (sampleFormats[i].bits == working[0] && sampleFormats[i].format == working[1])
            chosen = i;
    QSignalBlocker quiet(cmbRate);
    cmbRate->setCurrentText(QString::number(working[2]));
    optFormat->button(chosen)->setChecked(true);
    optChannels->button(working[3] == 1 ? 0 : 1)->setChecked(true);
}

void frmProperties::takeWorkingCopy() {
    bool valid = false;
    int rate = cmbRate->currentText().toInt(&valid);
    if (valid && rate >= 4000 && rate <= 96000) working[2] = rate;
    const MdlSampleFormat &format = sampleFormats[optFormat->checkedId()];
    working[0] = format.bits;
    working[1] = format.format;
    working[3] = optChannels->checkedId() == 0 ? 1 : 2;
}

void frmProperties::done(int result) {
    if (result == QDialog::Accepted) {
        takeWorkingCopy();
        mdlStoreParam(params->newBitsPerSample, working[0]);
        mdlStoreParam(params->newFormat, working[1]);
        mdlStoreParam(params->newSampleRate, working[2]);
        mdlStoreParam(params->newChannels, working[3]);
        options->skipNewFileDialog = chkDontAsk->isChecked() ? 1 : 0;
    }
    QDialog::done(result);
}
