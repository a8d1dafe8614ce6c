/*
 * frm_mdi_lifecycle.cpp - the frame's start and end: the engine, the stored
 * window position, the first run, closing every document, arranging the
 * document windows, and the Help menu.
 */
#include "app/dialogs/frm_options.h"
#include "app/dialogs/frm_record.h"
#include "app/dialogs/repair_store.h"
#include "app/shell/frm_about.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/frm_progress.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"
#include "message_event.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

static const char *const noOutputDeviceText = "No audio output device";

/* The maker's web pages. */
static const char *const webMainPage = "https://korvel.example.org/";
static const char *const webSupportPage = "https://korvel.example.org/support/";

/* ---- Start and stop ---- */

bool frmMDI::startEngine() {
    if (engineRunning) return true;
    engineRunning = kvInit(this, kvOptions, sizeof *kvOptions, kvParams, sizeof *kvParams, nullptr,
                           mdlProgress, reinterpret_cast<void *>(&mdlIdle)) == 0;
    if (engineRunning) kvSetRepairParams(mdlRepairParams(), sizeof(KV_RepairParams));
    return engineRunning;
}

void frmMDI::stopEngine() {
    if (!engineRunning) return;
    kvCleanUp();
    engineRunning = false;
}

void frmMDI::restorePosition() {
    if (kvGetReg("Settings", "Window Position", &position, 20) == 20) {
        kvValidateWinPos(&position, 20);
        move(position.left, position.top);
        resize(position.width, position.height);
        if (position.state == 2) setWindowState(Qt::WindowMaximized);
        return;
    }
    position.left = x();
    position.top = y();
    position.width = width();
    position.height = height();
    kvSetReg("Settings", "Window Position", &position, 20);
}

void frmMDI::Form_Load(const QString &commandLine) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setWindowTitle(mdlProductName);
    startEngine();
    kvSetVUParams(pVU, pVU->width());
    restorePosition();
    if (mdlMain.showState == 3) setWindowState(Qt::WindowMaximized);
    if (mdlMain.showState == 7) setWindowState(Qt::WindowMinimized);
    position.state = isMaximized() ? 2 : 0;
    show();
    UpdateTips();
    if (!commandLine.isEmpty()) openCommandLine(commandLine);
    firstRun();
    QApplication::restoreOverrideCursor();
}

void frmMDI::openCommandLine(const QString &commandLine) {
    for (const QString &name : mdlParseCommandLine(commandLine))
        OpenNewFile(name);
}

void frmMDI::firstRun() {
    static const char *const installKey = "Software\\Tervalin\\Korvel\\Install";
    char buffer[10] = {};
    kvGetRegString(KV_HKEY_LOCAL_MACHINE, installKey, "First Run", buffer, sizeof buffer);
    size_t length = strnlen(buffer, sizeof buffer);
    QString value = length < sizeof buffer ? QString::fromLocal8Bit(buffer, length) : QString();
    if (value.trimmed() == "No") return;
    mnuHelpGettingStarted_Click();
    QByteArray folder = QCoreApplication::applicationDirPath().toLocal8Bit();
    kvSetRegString(KV_HKEY_LOCAL_MACHINE, installKey, "First Run", "No", 0);
    kvSetRegString(KV_HKEY_LOCAL_MACHINE, installKey, "Install Path", folder.constData(), 0);
}

void frmMDI::storePosition() {
    if (isMinimized()) showNormal();
    position.state = isMaximized() ? 2 : 0;
    if (position.state == 0) {
        position.left = x();
        position.top = y();
        position.width = width();
        position.height = height();
    }
    kvSetReg("Settings", "Window Position", &position, 20);
}

/* Runs every document's own close check, stopping at the first refusal. */
bool frmMDI::closeDocuments() {
    for (QMdiSubWindow *window : mdiArea->subWindowList()) {
        if (!window->close()) return false;
    }
    return true;
}

void frmMDI::closeEvent(QCloseEvent *event) {
    /* The close box stays live while an engine call lets events run. */
    if (disabled) {
        event->ignore();
        return;
    }
    if (engineRunning) storePosition();
    if (!closeDocuments()) {
        event->ignore();
        return;
    }
    DoDisable();
    stopEngine();
    DoEnable();
    event->accept();
}

void frmMDI::tileDocuments(bool horizontal) {
    QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    if (windows.isEmpty()) return;
    QSize area = mdiArea->viewport()->size();
    int count = static_cast<int>(windows.size());
    int step = (horizontal ? area.height() : area.width()) / count;
    for (QMdiSubWindow *window : windows)
        window->showNormal();
    for (int i = 0; i < count; i++) {
        if (horizontal)
            windows[i]->setGeometry(0, i * step, area.width(), step);
        else
            windows[i]->setGeometry(i * step, 0, step, area.height());
    }
}

void frmMDI::cascadeDocuments() {
    mdiArea->cascadeSubWindows();
}

void frmMDI::comeToFront() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

/* ---- Help and About ---- */

void frmMDI::mnuExit_Click() {
    close();
}

void frmMDI::mnuHelpTopics_Click() {
    mdlShowHelp(this, 11, 1);
}

void frmMDI::mnuHelpGettingStarted_Click() {
    mdlShowHelp(this, 1, 1);
}

void frmMDI::mnuWebMain_Click() {
    QDesktopServices::openUrl(QUrl(webMainPage));
}

void frmMDI::mnuWebSupport_Click() {
    QDesktopServices::openUrl(QUrl(webSupportPage));
}

void frmMDI::mnuAbout_Click() {
    frmAbout about(this);
    about.exec();
}

void frmMDI::mnuOptions_Click() {
    kvStop();
    mdlShowOptions(this, kvOptions, MDL_OPTIONS_AUDIO);
}
