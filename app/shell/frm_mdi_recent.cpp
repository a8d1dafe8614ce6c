/*
 * frm_mdi_recent.cpp - the recently used files of both File menus, and which
 * dropped files the frame takes.
 *
 * An entry shows as much of its path as the menu has room for, measured in
 * the menu's own font, and keeps the whole path for opening.
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

QString mdlRecentDisplayName(const QString &path, const QFontMetrics &metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;
    int nameStart = static_cast<int>(path.lastIndexOf('/')) + 1;
    QString name = path.mid(nameStart);
    int nameWidth = metrics.horizontalAdvance(name);
    if (nameStart == 0 || nameWidth > width * 2 / 3)
        return metrics.elidedText(path, Qt::ElideMiddle, width);
    return metrics.elidedText(path.left(nameStart), Qt::ElideMiddle, width - nameWidth) + name;
}

/* The widest the File menu may grow for its recent entries: its width
 * without them, or sixty characters, but never past half the screen. */
static int mdlRecentMenuWidth(QMenu *fileMenu) {
    int wanted = std::max(fileMenu->sizeHint().width(),
                          60 * QFontMetrics(fileMenu->font()).averageCharWidth());
    QScreen *screen = fileMenu->screen();
    return screen ? std::min(wanted, screen->availableGeometry().width() / 2) : wanted;
}

static void mdlCaptionRecentFiles(const QList<QAction *> &entries, const QFontMetrics &metrics,
                                  int width) {
    for (qsizetype i = 0; i < entries.size(); i++) {
        QString path = entries[i]->data().toString();
        entries[i]->setText(
            QString("&%1: %2").arg(i + 1).arg(mdlRecentDisplayName(path, metrics, width)));
    }
}

void mdlRebuildRecentFiles(QMenu *fileMenu, QAction *separator, QList<QAction *> *entries,
                           frmMDI *frame) {
    qDeleteAll(*entries);
    entries->clear();
    int32_t count = kvGetMRUCount();
    separator->setVisible(count > 0);
    int menuWidth = mdlRecentMenuWidth(fileMenu);
    for (int32_t i = 0; i < count; i++) {
        char buffer[256] = {};
        kvGetMRU(buffer, i, 255);
        QString path = QString::fromLocal8Bit(buffer, static_cast<int>(strnlen(buffer, 255)));
        path = path.trimmed();
        QAction *entry = fileMenu->addAction(path);
        entry->setObjectName(QString("mnuMRU(%1)").arg(i));
        entry->setData(path);
        QObject::connect(entry, &QAction::triggered, frame, [frame, path] {
            if (!frame->isBusy()) frame->OpenNewFile(path);
        });
        entries->append(entry);
    }
    /* The menu's margins and columns are the style's: measured, not guessed. */
    QFontMetrics metrics(fileMenu->font());
    int width = menuWidth - metrics.horizontalAdvance("&10: ");
    mdlCaptionRecentFiles(*entries, metrics, width);
    int overflow = fileMenu->sizeHint().width() - menuWidth;
    if (overflow > 0) mdlCaptionRecentFiles(*entries, metrics, width - overflow);
}

bool mdlIsSoundFileName(const QString &name) {
    return name.contains(".wav", Qt::CaseInsensitive) || name.contains(".mp3", Qt::CaseInsensitive);
}
