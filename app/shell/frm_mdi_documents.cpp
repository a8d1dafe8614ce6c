/*
 * frm_mdi_documents.cpp - the frame's document windows: creating, finding,
 * opening, new, recording, pasting to a new file, activation and closing.
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

/* ---- Documents ---- */

/* The document area gives every window a system menu whose Close answers
 * Ctrl+W as well as Ctrl+F4. The document's own File, Close already has
 * Ctrl+W (with the save prompt behind it), and one key bound twice in the
 * same window runs neither, so the system menu gives up every key that the
 * document's menus use and keeps the rest. */
static void mdlYieldSystemMenuKeys(QMdiSubWindow *window, const frmMain *document) {
    QList<QKeySequence> taken = document->shortcuts();
    for (QAction *entry : window->systemMenu()->actions()) {
        QList<QKeySequence> keys = entry->shortcuts();
        keys.removeIf([&taken](const QKeySequence &key) { return taken.contains(key); });
        entry->setShortcuts(keys);
    }
}

frmMain *frmMDI::createDocumentWindow() {
    auto *document = new frmMain(this);
    watchDocument(document);
    QMdiSubWindow *window = mdiArea->addSubWindow(document);
    mdlYieldSystemMenuKeys(window, document);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(QIcon(":/icons/document.svg"));
    window->show();
    if (!document->Form_Load()) {
        window->close();
        return nullptr;
    }
    return document;
}

frmMain *frmMDI::activeDocument() const {
    QMdiSubWindow *window = mdiArea->currentSubWindow();
    if (!window) window = mdiArea->activeSubWindow();
    return window ? qobject_cast<frmMain *>(window->widget()) : nullptr;
}

QList<frmMain *> frmMDI::documents() const {
    QList<frmMain *> list;
    for (QMdiSubWindow *window : mdiArea->subWindowList())
        if (auto *document = qobject_cast<frmMain *>(window->widget())) list.append(document);
    return list;
}

frmMain *frmMDI::OpenNewFile(const QString &path) {
    kvStop();
    for (frmMain *document : documents()) {
        if (document->FileName == path) {
            activate(document);
            return document;
        }
    }
    frmMain *document = createDocumentWindow();
    if (!document) return nullptr;
    if (!document->OpenFile(path)) {
        document->parentWidget()->close();
        return nullptr;
    }
    return document;
}

void frmMDI::mnuNew_Click() {
    kvStop();
    frmMain *document = createDocumentWindow();
    if (document && !document->NewFile()) document->parentWidget()->close();
}

void frmMDI::openRecord() {
    kvStop();
    frmMain *document = activeDocument();
    if (!document || document->ID < 0) {
        document = createDocumentWindow();
        if (!document) return;
        if (!document->NewFile()) {
            document->parentWidget()->close();
            return;
        }
    }
    frmRecord window(this, kvOptions, document->ID, lTime[3]);
    window.exec();
    kvSetVUParams(pVU, pVU->width());
    DoEnable();
    kvRefresh(document->ID);
    document->UpdateToolbar();
}

/* The open dialog's callback: one chosen file per call. */
static void mdlOpenChosenFile(const char *path, int32_t length) {
    if (mdlMain.frame) mdlMain.frame->OpenNewFile(QString::fromLocal8Bit(path, length));
}

void frmMDI::mnuOpen_Click() {
    kvStop();
    kvGetFileNames(mdlOpenChosenFile);
}

frmMain *frmMDI::PasteNew() {
    kvStop();
    frmMain *document = createDocumentWindow();
    if (!document) return nullptr;
    DoDisable();
    int32_t channels = 0, rate = 0;
    kvGetClipProp(cmbClip->currentIndex(), &channels, &rate);
    if (kvNew(document->ID, channels, 16, 1, rate) != 0) {
        DoEnable();
        document->parentWidget()->close();
        return nullptr;
    }
    kvPaste(document->ID, 0);
    DoEnable();
    kvRefresh(document->ID);
    document->UpdateToolbar();
    return document;
}

/* A document's change shows on the toolbars; the frame asks for the state
 * it shows, so a document never reaches into the frame's buttons. */
void frmMDI::watchDocument(frmMain *document) {
    connect(document, &frmMain::stateChanged, this, &frmMDI::updateActions);
}

void frmMDI::activate(frmMain *document) {
    mdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(document->parentWidget()));
    document->setFocus();
}

void frmMDI::documentClosed(frmMain *document) {
    if (menusShown == document) showMenusOf(nullptr);
    updateActions(nullptr);
}

void frmMDI::subWindowActivated() {
    frmMain *document = activeDocument();
    if (!document) {
        if (documents().isEmpty()) showMenusOf(nullptr);
        return;
    }
    showMenusOf(document);
    kvRefresh(document->ID);
    document->UpdateToolbar();
}

void frmMDI::showMenusOf(frmMain *document) {
    menusShown = document;
    menuBar()->clear();
    for (QMenu *menu : document ? document->menus() : frameMenus)
        menuBar()->addMenu(menu);
}
