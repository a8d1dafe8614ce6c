/*
 * frm_mdi_events.cpp - the engine's notifications and the frame's own input:
 * status texts, ended playback, clip counts, drag and drop, and the clicks
 * on the empty area and the time fields.
 *
 * The engine reaches the frame only through sent events (its window
 * messages), handled in event() on the user-interface thread; a notification
 * about the active document is answered from that document's state.
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

/* ---- Notifications and input ---- */

void frmMDI::showStatusText(int32_t message, const char *text, intptr_t length) {
    QString shown =
        text && length > 0 ? QString::fromLocal8Bit(text, static_cast<int>(length)) : QString();
    if (message > KV_MSG_POSITION) {
        lblStatus[message - KV_MSG_EDITS]->setText(shown);
        return;
    }
    lTime[message - KV_MSG_SEL_START]->setText(shown);
    frmMain *document = activeDocument();
    if (!document) return;
    QString times[4];
    for (int i = 0; i < 4; i++)
        times[i] = lTime[i]->text();
    document->describeView(times);
}

/* The engine has already said so in its box; the status line keeps saying
 * it, in one field that later failures do not add to, and a dialog's
 * preview button learns that its preview has ended. */
void frmMDI::noOutputDevice() {
    lblStatus[5]->setText(noOutputDeviceText);
    lblStatus[5]->show();
    emit outputDeviceFailed();
}

void frmMDI::handleNotification(int32_t message, intptr_t wParam, intptr_t lParam) {
    if (message >= KV_MSG_SEL_START && message <= KV_MSG_RATE) {
        showStatusText(message, reinterpret_cast<const char *>(wParam), lParam);
    } else if (message == KV_MSG_ERROR_SHOWN) {
        mdlProgress(nullptr, 0, -1, 0);
    } else if (message == KV_MSG_ERROR_HELP) {
        mdlShowHelp(this, 1, static_cast<int32_t>(wParam));
    } else if (message == KV_MSG_PLAY_FAILED) {
        kvFullRefresh();
    } else if (message == KV_MSG_NO_OUTPUT) {
        noOutputDevice();
    } else if (message == KV_MSG_CLIPBOARD) {
        UpdateCopy(static_cast<int32_t>(wParam));
    } else if (message == KV_MSG_CLIP_PLAYED) {
        ui_.TB.Play->setChecked(false);
    } else if (message == KV_MSG_ZOOM_CHANGED) {
        if (frmMain *document = activeDocument()) document->UpdateToolbar();
    }
}

bool frmMDI::event(QEvent *event) {
    int type = event->type();
    bool engineMessage =
        (type >= KV_MSG_SEL_START && type <= KV_MSG_RATE) || type == KV_MSG_ERROR_SHOWN ||
        type == KV_MSG_ERROR_HELP || type == KV_MSG_CLIPBOARD || type == KV_MSG_PLAY_FAILED ||
        type == KV_MSG_NO_OUTPUT || type == KV_MSG_CLIP_PLAYED || type == KV_MSG_ZOOM_CHANGED;
    if (!engineMessage) return QMainWindow::event(event);
    auto *message = static_cast<KvMessageEvent *>(event);
    handleNotification(type, message->wParam, message->lParam);
    return true;
}

void frmMDI::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ApplicationPaletteChange && engineRunning) kvFullRefresh();
    QMainWindow::changeEvent(event);
}

static QStringList mdlDroppedSoundFiles(const QMimeData *data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && mdlIsSoundFileName(url.toLocalFile()))
            files.append(url.toLocalFile());
    return files;
}

void frmMDI::dragEnterEvent(QDragEnterEvent *event) {
    if (mdlDroppedSoundFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void frmMDI::dragMoveEvent(QDragMoveEvent *event) {
    if (mdlDroppedSoundFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void frmMDI::dropEvent(QDropEvent *event) {
    QStringList files = mdlDroppedSoundFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    for (const QString &path : files)
        OpenNewFile(path);
}

bool frmMDI::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::MouseButtonPress) return QMainWindow::eventFilter(watched, event);
    auto *press = static_cast<QMouseEvent *>(event);
    if (watched == mdiArea->viewport() && press->button() == Qt::RightButton) {
        QPoint where = press->globalPosition().toPoint();
        if (menusShown)
            menusShown->popUpFileMenu(where);
        else
            mnuFile->popup(where);
        return true;
    }
    bool timeField = std::find(std::begin(lTime), std::end(lTime), watched) != std::end(lTime);
    bool button = press->button() == Qt::LeftButton || press->button() == Qt::RightButton;
    if (timeField && button && menusShown) {
        menusShown->popUpTimeFormatMenu(press->globalPosition().toPoint());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
