/*
 * frm_options.cpp - the options dialog: its frame of pages, the working copy
 * it edits, applying it, and scheme browsing.
 *
 * Scheme browsing listens to every menu of the program while the dialog
 * lives, as the menu-select hook it stands for did. The pages are built in
 * frm_options_pages.cpp and frm_options_colors.cpp.
 */
#include "app/dialogs/frm_options.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/options_controls.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/frm_properties.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

std::function<int32_t(int32_t)> frmOptions::deviceCountCall = kvGetDeviceCount;
std::function<int32_t(int32_t, int32_t, char *, int32_t)> frmOptions::deviceNameCall =
    kvGetDeviceName;
std::function<int32_t(int32_t, char *, int32_t, char *, int32_t)> frmOptions::driveCall =
    kvGetDrive;

/* ---- The dialog ---- */

frmOptions::frmOptions(QWidget *owner, KV_Options *options, KV_Params *params, int page)
    : QDialog(owner), options(options), params(params) {
    setObjectName("frmOptions");
    setWindowTitle("Program Options");
    std::memcpy(&working, options, sizeof working);
    kvGetLimits(&workingLimits, sizeof workingLimits);
    kvGetViewOptions(&workingView, sizeof workingView);

    fraBody = new QWidget(this);
    lstPages = new QListWidget(fraBody);
    lstPages->setObjectName("lstPages");
    lstPages->setAccessibleName("Pages");
    lstPages->addItems({"Audio Settings", "General", "Advanced", "Colors", "FFT Settings", "View"});
    lstPages->setFixedWidth(lstPages->sizeHintForColumn(0) + 24);
    pages = new QStackedWidget(fraBody);
    pages->setObjectName("pages");
    pages->addWidget(createAudioPage());
    pages->addWidget(createGeneralPage());
    pages->addWidget(createAdvancedPage());
    pages->addWidget(createColorsPage());
    pages->addWidget(createFftPage());
    pages->addWidget(createViewPage());
    connect(lstPages, &QListWidget::currentRowChanged, pages, &QStackedWidget::setCurrentIndex);

    cmdOK = mdlButton(fraBody, "cmdOK", "&OK");
    cmdOK->setDefault(true);
    cmdCancel = mdlButton(fraBody, "cmdCancel", "&Cancel");
    cmdApply = mdlButton(fraBody, "cmdApply", "&Apply");
    cmdHelp = mdlButton(fraBody, "cmdHelp", "&Help");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *button : {cmdOK, cmdCancel, cmdApply, cmdHelp})
        buttons->addWidget(button);
    auto *top = new QHBoxLayout;
    top->addWidget(lstPages);
    top->addWidget(pages, 1);
    auto *body = new QVBoxLayout(fraBody);
    body->addLayout(top, 1);
    body->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fraBody);

    fillDevices();
    fillDrives();
    showWorkFolderSize();
    readControls();
    presets->LoadMenu("Color Schemes", working.colors, sizeof working.colors);

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::Apply);
    connect(cmdHelp, &QPushButton::clicked, this, [this] { mdlShowHelp(this, 1, kvHelpOptions); });
    lstPages->setCurrentRow(page >= MDL_OPTIONS_AUDIO && page <= MDL_OPTIONS_VIEW ? page : 0);
    cmdApply->setEnabled(false);
    qApp->installEventFilter(this);
}

frmOptions::~frmOptions() {
    qApp->removeEventFilter(this);
}

/* Sets every control from the working copy; an option whose stored value is
 * not one of a list's entries leaves that list without a choice. */
void frmOptions::readControls() {
    const QList<QWidget *> controls = fraBody->findChildren<QWidget *>();
    std::vector<std::unique_ptr<QSignalBlocker>> quiet;
    for (QWidget *control : controls)
        quiet.push_back(std::make_unique<QSignalBlocker>(control));
    chkTips->setChecked(working.showTips != 0);
    chkDontAsk->setChecked(working.skipNewFileDialog != 0);
    cmdSettings->setEnabled(working.skipNewFileDialog != 0 && params);
    chkClipWarn->setChecked(working.clipWarning != 0);
    cmbClipWarn->setCurrentIndex(
        working.clipWarningDb >= 0 && working.clipWarningDb <= 10 ? working.clipWarningDb : -1);
    cmbClipWarn->setEnabled(working.clipWarning != 0);
    lblClipDb->setEnabled(working.clipWarning != 0);
    int device = working.playDevice + 1;
    cmbDevice->setCurrentIndex(device >= 0 && device < cmbDevice->count() ? device : -1);
    int drive = working.tempDrive == 0 ? 0 : cmbTDrive->findData(std::toupper(working.tempDrive));
    cmbTDrive->setCurrentIndex(drive);
    chkNoSync->setChecked(working.noSyncWait != 0);
    chkCopyBitmap->setChecked(working.copyWholeBitmap != 0);
    txtUndoLimit->setValue(workingLimits.maxUndoLevels);
    chkShowAnal->setChecked(working.showAnalyzer != 0);
    cmbFSize->setCurrentIndex(mdlIndexOf(mdlFftSizes, 6, working.fftSize));
    cmbWindow->setCurrentIndex(working.fftWindow >= 0 && working.fftWindow <= 5 ? working.fftWindow
                                                                                : -1);
    cmbOSamp->setCurrentIndex(mdlIndexOf(mdlFftOverlaps, 4, working.fftOverlap));
    cmbFreqScale->setCurrentIndex(workingView.frequencyScale);
    cmbColorMap->setCurrentIndex(workingView.colorMap);
    txtRangeDb->setValue(workingView.rangeDb);
    txtGainDb->setValue(workingView.gainDb);
    cmbAmpRuler->setCurrentIndex(workingView.amplitudeRuler);
    cmbNewMode->setCurrentIndex(workingView.newWindowMode);
    quiet.clear();
    readColorControls();
}

void frmOptions::changed() {
    cmdApply->setEnabled(true);
}
void frmOptions::cmdSettings_Click() {
    frmProperties properties(this, &working, params, false);
    properties.exec();
}

void frmOptions::Apply() {
    /* The body goes grey rather than the dialog itself: the notice box is
     * owned by the dialog, and a box owned by a disabled window takes no input. */
    QApplication::setOverrideCursor(Qt::WaitCursor);
    fraBody->setEnabled(false);
    if (working.tempDrive != options->tempDrive)
        mdlMessageBox(this, "Temp Drive Changed",
                      "Changes to the Temp Directory will take effect the next time you start "
                      "Korvel.",
                      QMessageBox::Ok, QMessageBox::Information, QMessageBox::Ok);
    std::memcpy(options, &working, sizeof working);
    kvSetLimits(&workingLimits, sizeof workingLimits);
    kvSetViewOptions(&workingView, sizeof workingView);
    kvFullRefresh();
    if (mdlMain.frame) mdlMain.frame->UpdateTips();
    fraBody->setEnabled(true);
    cmdApply->setEnabled(false);
    QApplication::restoreOverrideCursor();
    cmdOK->setFocus();
}

void frmOptions::cmdOK_Click() {
    if (cmdApply->isEnabled()) Apply();
    accept();
}

/* ---- Scheme preview while browsing menus ---- */

void frmOptions::MenuHover(int32_t id) {
    if (id == lastHover) return;
    lastHover = id;
    if (id >= 1 &&
        kvLoadPreset("Color Schemes", id - 1, scheme.data(), sizeof(int32_t) * scheme.size()) >= 0)
        picPreview->showColors(scheme.data());
    else
        picPreview->showColors(working.colors);
}

/* " n:" or " nn:" at the start of at most 80 characters names scheme n. */
void frmOptions::menuSelect(QAction *entry) {
    QByteArray text = entry->text().left(80).toLocal8Bit();
    text.truncate(static_cast<int>(qstrnlen(text.constData(), text.size())));
    auto digit = [&text](int i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    int32_t id = 0;
    if (text.startsWith(' ') && digit(1) && text.size() > 2 && text[2] == ':')
        id = text[1] - '0';
    else if (text.startsWith(' ') && digit(1) && digit(2) && text.size() > 3 && text[3] == ':')
        id = (text[1] - '0') * 10 + (text[2] - '0');
    MenuHover(id);
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event) {
    auto *menu = qobject_cast<QMenu *>(watched);
    if (menu && event->type() == QEvent::Show)
        connect(menu, &QMenu::hovered, this, &frmOptions::menuSelect, Qt::UniqueConnection);
    else if (menu && event->type() == QEvent::Hide)
        MenuHover(-1);
    return QDialog::eventFilter(watched, event);
}

bool mdlShowOptions(QWidget *owner, KV_Options *options, int page) {
    KV_Params *params = mdlMain.frame ? mdlMain.frame->params() : nullptr;
    frmOptions dialog(owner, options, params, page);
    return dialog.exec() == QDialog::Accepted;
}