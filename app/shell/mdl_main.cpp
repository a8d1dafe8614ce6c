/*
 * mdl_main.cpp - program-wide services of the shell.
 *
 * Command lines are parsed the same way at start-up and for every hand-over:
 * the running copy cannot tell whether a line came from its own process or a
 * forwarded one. A Linux process gets its arguments already split, so they
 * are quoted back into one line; names then survive the parser unchanged.
 */
#include "app/shell/mdl_main.h"
#include "app/dialogs/accessible.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/frm_progress.h"
#include "app/shell/prompts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHash>
#include <QMenu>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char *const mdlProductName = "Korvel " KV_PRODUCT_VERSION;

static const char *const mdlUsage =
    "Usage: korvel [--maximized | --minimized] [FILE...]\n"
    "Opens each WAVE or MP3 FILE in its own window; when Korvel is already\n"
    "running, the files open in that copy.\n"
    "\n"
    "  --maximized  open the main window maximized\n"
    "  --minimized  open the main window minimized\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n";

int mdlTerminalOption(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(mdlUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", mdlProductName);
            return 0;
        }
    }
    return -1;
}

MdlState mdlMain;

QStringList mdlParseCommandLine(const QString &commandLine) {
    QStringList names{QString()};
    for (QChar c : commandLine) {
        QString &current = names.last();
        if (c == '"') {
            if (!current.isEmpty()) names.append(QString());
        } else if (c == ' ' && current.isEmpty()) {
            continue;
        } else {
            current.append(c);
        }
    }
    QStringList result;
    for (const QString &name : names)
        if (!name.trimmed().isEmpty()) result.append(name.trimmed());
    return result;
}

QString mdlCommandLineFromArguments(const QStringList &arguments) {
    QStringList quoted;
    for (const QString &argument : arguments) {
        if (argument == "--maximized")
            mdlMain.showState = 3;
        else if (argument == "--minimized")
            mdlMain.showState = 7;
        else
            quoted.append('"' + argument + '"');
    }
    return quoted.join(' ');
}

void mdlProgress(const char *text, int32_t textLength, int32_t percent, int32_t secondsLeft) {
    if (mdlMain.frame)
        mdlMain.frame->progressWindow()->report(text, textLength, percent, secondsLeft);
}

int32_t mdlIdle(int32_t unused) {
    (void)unused;
    return 0;
}

QAction *mdlAddMenuEntry(QMenu *menu, const QString &name, const QString &caption,
                         const QKeySequence &shortcut) {
    QAction *entry = menu->addAction(caption);
    entry->setObjectName(name);
    entry->setShortcut(shortcut);
    return entry;
}

void mdlLayOutOkCancel(QDialog *dialog, QLayout *content) {
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(dialog);
    layout->addLayout(content);
    layout->addWidget(buttons);
    mdlNameControls(dialog);
}

void mdlStartupFailure(const QString &description, int number) {
    QString text = "An error has occurred while attempting to load Korvel:\n\n\t" + description +
                   " (" + QString::number(number) + ")\n\n" +
                   "If you have just installed Korvel, a reboot may be necessary. " +
                   "Otherwise, please contact technical support for assistance.";
    mdlMessageBox(nullptr, "Korvel Fatal Error", text, QMessageBox::Ok, QMessageBox::Critical,
                  QMessageBox::Ok);
    std::exit(1);
}
