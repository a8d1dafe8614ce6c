/*
 * frm_properties.cpp - the new-file properties dialog.
 *
 * The five format choices map to (bits, format tag) pairs: PCM at 8, 16 and
 * 32 bits, IEEE float at 32 and 64 bits. A stored pair that matches none of
 * them selects 16-bit PCM, the default.
 */
#include "app/shell/frm_properties.h"
#include "app/shell/mdl_main.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

struct MdlSampleFormat {
    const char *caption;
    int32_t bits;
    int32_t format;
};

static const MdlSampleFormat sampleFormats[5] = {{"&8-bit PCM", 8, 1},
                                                 {"&16-bit PCM", 16, 1},
                                                 {"&32-bit PCM", 32, 1},
                                                 {"32-bit &Float", 32, 3},
                                                 {"&64-bit Float", 64, 3}};

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
    cmbRate->setCurrentText(QString::number(params->newSampleRate));
    auto *rateLayout = new QVBoxLayout(rateBox);
    rateLayout->addWidget(cmbRate);
    rateLayout->addStretch();

    optFormat = new QButtonGroup(this);
    QStringList formats;
    int chosen = 1;
    for (int i = 0; i < 5; i++) {
        formats.append(sampleFormats[i].caption);
        if (sampleFormats[i].bits == params->newBitsPerSample &&
            sampleFormats[i].format == params->newFormat)
            chosen = i;
    }
    QGroupBox *formatBox = mdlChoiceBox(this, "Sample &Format", optFormat, formats);
    optFormat->button(chosen)->setChecked(true);

    optChannels = new QButtonGroup(this);
    QGroupBox *channelBox = mdlChoiceBox(this, "&Channels", optChannels, {"&Mono", "&Stereo"});
    optChannels->button(params->newChannels == 1 ? 0 : 1)->setChecked(true);

    chkDontAsk = new QCheckBox("&Don't Prompt for New File Settings", this);
    chkDontAsk->setObjectName("chkDontAsk");
    chkDontAsk->setChecked(options->skipNewFileDialog != 0);
    chkDontAsk->setVisible(showDontPrompt);

    auto *choices = new QHBoxLayout;
    choices->addWidget(rateBox);
    choices->addWidget(formatBox);
    choices->addWidget(channelBox);
    auto *content = new QVBoxLayout;
    content->addLayout(choices);
    content->addWidget(chkDontAsk);
    mdlLayOutOkCancel(this, content);
}

void frmProperties::done(int result) {
    mdlMain.dialogResult = result == QDialog::Accepted;
    if (mdlMain.dialogResult) {
        bool valid = false;
        int rate = cmbRate->currentText().toInt(&valid);
        if (valid && rate >= 4000 && rate <= 96000) params->newSampleRate = rate;
        const MdlSampleFormat &format = sampleFormats[optFormat->checkedId()];
        params->newBitsPerSample = format.bits;
        params->newFormat = format.format;
        params->newChannels = optChannels->checkedId() == 0 ? 1 : 2;
        options->skipNewFileDialog = chkDontAsk->isChecked() ? 1 : 0;
    }
    QDialog::done(result);
}
