/*
 * ctl_preview.cpp - the preview, fade and button strip of the effect dialogs.
 *
 * A typed fade length is stored as soon as it is typed and only corrected to
 * 1 ... 1000 when the list loses focus, so the stored value follows the text
 * the user sees while typing.
 */
#include "app/dialogs/ctl_preview.h"
#include "app/dialogs/param_store.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

std::function<int32_t(int32_t, int32_t)> ctlPreview::previewStartCall = kvPreviewStart;
std::function<int32_t()> ctlPreview::previewStopCall = kvStop;

namespace {

/* The whole number a text starts with, as the user's typing reads: leading
 * spaces skipped, then an optional sign and the digits; 0 without digits. */
int32_t leadingNumber(const QString &text) {
    QString trimmed = text.trimmed();
    int end = 0;
    if (end < trimmed.size() && (trimmed[end] == '-' || trimmed[end] == '+')) end++;
    while (end < trimmed.size() && trimmed[end].isDigit() && end < 10)
        end++;
    bool ok = false;
    int32_t value = trimmed.left(end).toInt(&ok);
    return ok ? value : 0;
}

} // namespace

ctlPreview::ctlPreview(QWidget *owner, KV_Params *params) : QWidget(owner), params(params) {
    setObjectName("ctlPreview");
    fraPreview = new QGroupBox("Preview", this);
    cmdPreview = new QPushButton("&Start", fraPreview);
    cmdPreview->setObjectName("cmdPreview");
    chkBypass = new QCheckBox("&Bypass", fraPreview);
    chkBypass->setObjectName("chkBypass");
    auto *previewRow = new QHBoxLayout(fraPreview);
    previewRow->addWidget(cmdPreview);
    previewRow->addWidget(chkBypass);

    chkFade = new QCheckBox("Fade Edges:", this);
    chkFade->setObjectName("chkFade");
    cmbFade = new QComboBox(this);
    cmbFade->setObjectName("cmbFade");
    cmbFade->setAccessibleName("Fade Edges Milliseconds");
    cmbFade->setEditable(true);
    cmbFade->setInsertPolicy(QComboBox::NoInsert);
    for (int ms : {1, 2, 3, 4, 5, 10, 15, 20, 25, 30, 40, 50, 75, 100, 150, 200})
        cmbFade->addItem(QString::number(ms));
    lblMilliseconds = new QLabel("Milliseconds", this);
    auto *fadeRow = new QHBoxLayout;
    fadeRow->addWidget(chkFade);
    fadeRow->addWidget(cmbFade);
    fadeRow->addWidget(lblMilliseconds);
    fadeRow->addStretch(1);

    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdHelp = new QPushButton("&Help", this);
    cmdHelp->setObjectName("cmdHelp");
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(cmdOK);
    buttonRow->addWidget(cmdCancel);
    buttonRow->addWidget(cmdHelp);

    auto *left = new QVBoxLayout;
    left->addLayout(fadeRow);
    left->addLayout(buttonRow);
    auto *strip = new QHBoxLayout(this);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->addWidget(fraPreview);
    strip->addLayout(left, 1);

    connect(chkFade, &QCheckBox::toggled, this, &ctlPreview::fadeToggled);
    connect(cmbFade->lineEdit(), &QLineEdit::textEdited, this, &ctlPreview::fadeTyped);
    connect(cmbFade, &QComboBox::textActivated, this, &ctlPreview::fadeTyped);
    connect(cmbFade->lineEdit(), &QLineEdit::editingFinished, this, &ctlPreview::fadeLeft);
    connect(chkBypass, &QCheckBox::toggled, this,
            [this](bool ticked) { mdlStoreParam(this->params->previewBypass, ticked ? 1 : 0); });
    connect(cmdPreview, &QPushButton::clicked, this, &ctlPreview::togglePreview);
    if (mdlMain.frame)
        connect(mdlMain.frame, &frmMDI::outputDeviceFailed, this, &ctlPreview::previewFailed);
    connect(cmdOK, &QPushButton::clicked, this, [this] { emit done(true); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { emit done(false); });
    connect(cmdHelp, &QPushButton::clicked, this, [this] { mdlShowHelp(window(), 1, helpTopic); });
}

void ctlPreview::Init(bool fixSelection, int32_t kind, int32_t topic) {
    previewKind = kind;
    helpTopic = topic;
    mdlStoreParam(params->previewBypass, 0);
    chkBypass->setChecked(false);

    fraPreview->setVisible(previewKind > KV_EDIT_NONE);
    fraPreview->setEnabled(previewKind > KV_EDIT_NONE);
    cmdOK->setEnabled(true);
    cmdCancel->setEnabled(true);
    cmdHelp->setEnabled(helpTopic != 0);
    chkFade->setEnabled(true);

    int32_t doc = mdlMain.dialogDoc;
    wholeTarget = fixSelection ? kvFixSelection(doc) : kvIsAllSelected(doc);

    int32_t ms = params->fadeEdgesMs;
    cmbFade->setEditText(QString::number(ms));
    bool ticked = (wholeTarget == 1 ? params->fadeEdgesWhole : params->fadeEdges) != 0;
    /* Setting the box stores its value again, which leaves the field as it was. */
    chkFade->setChecked(ticked);
    fadeToggled(ticked);
}

void ctlPreview::fadeToggled(bool ticked) {
    if (wholeTarget == 1)
        mdlStoreParam(params->fadeEdgesWhole, ticked ? 1 : 0);
    else
        mdlStoreParam(params->fadeEdges, ticked ? 1 : 0);
    cmbFade->setEnabled(ticked);
    lblMilliseconds->setEnabled(ticked);
}

void ctlPreview::fadeTyped(const QString &text) {
    mdlStoreParam(params->fadeEdgesMs, leadingNumber(text));
}

void ctlPreview::fadeLeft() {
    int32_t ms = leadingNumber(cmbFade->currentText());
    if (ms > 1000) ms = 1000;
    if (ms <= 1) ms = 1;
    cmbFade->setEditText(QString::number(ms));
    mdlStoreParam(params->fadeEdgesMs, ms);
}

void ctlPreview::togglePreview() {
    if (!previewing) {
        previewStartCall(mdlMain.dialogDoc, previewKind);
        cmdPreview->setText("&Stop");
        previewing = true;
        emit previewStarted();
    } else {
        previewStopCall();
        cmdPreview->setText("&Start");
        previewing = false;
        emit previewStopped();
    }
}

/* The engine ended the preview itself (no device could be opened): the
 * button goes back to "&Start" without a second stop. */
void ctlPreview::previewFailed() {
    if (!previewing) return;
    cmdPreview->setText("&Start");
    previewing = false;
    emit previewStopped();
}

void ctlPreview::StartPreview() {
    if (!previewing && previewKind > KV_EDIT_NONE) togglePreview();
}

void ctlPreview::StopPreview() {
    if (previewing) togglePreview();
}

void ctlPreview::NoFade() {
    chkFade->hide();
    cmbFade->hide();
    lblMilliseconds->hide();
}

void ctlPreview::NoBypass() {
    chkBypass->hide();
}
