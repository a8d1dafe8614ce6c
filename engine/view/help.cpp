/*
 * help.cpp - kvShowHelp: the help pages.
 *
 * Help is a folder of HTML pages, "help/topic-N.html" for the topic numbers
 * the program and the error messages use and "help/contents.html" for the
 * contents, found beside the help file the program names (its own folder)
 * or in the installed share/korvel/help. The desktop's browser shows them;
 * when it cannot be started a small text browser window does.
 */
#include "korvel.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

/* Help commands the program passes. */
enum : int32_t { KV_HELP_CONTEXT = 1, KV_HELP_CONTENTS = 11 };

/* The page for a command, in the first help folder that has it (the first
 * folder when none does). */
static QString kvHelpPage(const char *helpFile, int32_t command, int32_t data) {
    QString name = command == KV_HELP_CONTENTS ? QStringLiteral("contents.html")
                                               : QStringLiteral("topic-%1.html").arg(data);
    QString folder = QFileInfo(QString::fromLocal8Bit(helpFile ? helpFile : "")).absolutePath();
    QStringList candidates = {QDir::cleanPath(folder + "/help/" + name),
                              QDir::cleanPath(folder + "/../share/korvel/help/" + name)};
    for (const QString &candidate : candidates)
        if (QFileInfo::exists(candidate)) return candidate;
    return candidates.first();
}

static void kvShowInBrowserWindow(QWidget *owner, const QString &page) {
    auto *browser = new QTextBrowser(owner);
    browser->setWindowFlag(Qt::Window);
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setSource(QUrl::fromLocalFile(page));
    browser->resize(640, 480);
    browser->show();
}

extern "C" KV_API int32_t kvShowHelp(KvWindow window, const char *helpFile, int32_t command,
                                     int32_t data) {
    if (command != KV_HELP_CONTEXT && command != KV_HELP_CONTENTS) return 0;
    QString page = kvHelpPage(helpFile, command, data);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        kvShowInBrowserWindow(static_cast<QWidget *>(window), page);
    return 0;
}
