/*
 * main.cpp - mdlMain: the program's entry point.
 *
 * The process becomes either the running editor or a forwarding copy that
 * hands its command line to the editor already running and quits. The two
 * shared records live in static storage: the engine keeps their addresses
 * from kvInit on, so they must never move.
 *
 * KORVEL_SCREENSHOT names a PNG file: the editor then runs the menu commands
 * named in KORVEL_SCREENSHOT_COMMANDS (object names, comma-separated) on the
 * active document, saves a picture of the screen after
 * KORVEL_SCREENSHOT_DELAY_MS milliseconds and quits. That is how the pictures
 * of the documentation are taken on machines without a display.
 */
#include "app/shell/defaults.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/frm_recover.h"
#include "app/shell/mdl_main.h"
#include "app/shell/message_window.h"
#include "app/shell/session_end.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <exception>

static KV_Options options;
static KV_Params params;

static void mdlScheduleScreenshot(frmMDI *frame) {
    QString file = qEnvironmentVariable("KORVEL_SCREENSHOT");
    if (file.isEmpty()) return;
    int delay = qEnvironmentVariableIntValue("KORVEL_SCREENSHOT_DELAY_MS");
    QTimer::singleShot(delay > 0 ? delay : 1000, frame, [file] {
        QScreen *screen = QGuiApplication::primaryScreen();
        QRect area = mdlMain.frame->frameGeometry();
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window->isVisible()) area = area.united(window->frameGeometry());
        screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file, "PNG");
        QApplication::exit(0);
    });
    QStringList commands =
        qEnvironmentVariable("KORVEL_SCREENSHOT_COMMANDS").split(',', Qt::SkipEmptyParts);
    QTimer::singleShot(delay > 0 ? delay / 2 : 500, frame, [frame, commands] {
        for (const QString &command : commands)
            if (frmMain *document = frame->activeDocument())
                document->runCommand(document->findChild<QAction *>(command));
    });
}

static int mdlRun(QApplication &application) {
    QString commandLine = mdlCommandLineFromArguments(application.arguments().mid(1));
    if (mdlOtherCopyRunning()) {
        mdlForwardToRunningCopy(commandLine);
        return 0;
    }
    mdlMessageWindow messageWindow;
    QString error;
    int number = 0;
    if (!messageWindow.open(&error, &number)) mdlStartupFailure(error, number);
    mdlDefaultOptions(&options);
    mdlDefaultParams(&params);
    kvCheckMRU();
    frmMDI frame(&options, &params);
    frame.Form_Load(commandLine);
    mdlWatchSessionEnd(&frame);
    mdlOfferRecovery(&frame);
    mdlScheduleScreenshot(&frame);
    int result = application.exec();
    messageWindow.close();
    return result;
}

int main(int argc, char **argv) {
    /* Answered before the toolkit starts: a terminal without a display
     * still gets the usage and the version. */
    if (int status = mdlTerminalOption(argc, argv); status >= 0) return status;
    QApplication application(argc, argv);
    QApplication::setApplicationName("Korvel");
    QGuiApplication::setDesktopFileName("korvel");
    try {
        return mdlRun(application);
    } catch (const std::exception &failure) {
        mdlStartupFailure(failure.what(), 0);
    }
}
