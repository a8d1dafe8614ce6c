/*
 * session_end.cpp - SIGTERM through a self-pipe, and the session manager's
 * commit request.
 *
 * A signal handler may do next to nothing, so it only writes a byte to a
 * pipe; the pipe's notifier then runs on the interface thread, between
 * events, where closing the frame is safe.
 */
#include "app/shell/session_end.h"
#include "app/shell/frm_mdi.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

static int signalPipe[2] = {-1, -1};

extern "C" void mdlOnTerminate(int) {
    const char byte = 1;
    /* Nothing to do on failure: the pipe is full, so a byte already waits. */
    ssize_t ignored = write(signalPipe[1], &byte, 1);
    (void)ignored;
}

bool mdlHasDisplay() {
    QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
}

/* Closes the frame with its prompts where someone can answer them;
 * otherwise ends at once, leaving the working files for recovery. */
static void mdlTerminate(QPointer<frmMDI> frame) {
    if (!mdlHasDisplay() || !frame) std::_Exit(0);
    frame->close();
}

static void mdlCatchTerminate(frmMDI *frame) {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, frame);
    QPointer<frmMDI> guarded(frame);
    QObject::connect(notifier, &QSocketNotifier::activated, frame, [guarded] {
        char bytes[16];
        while (read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        mdlTerminate(guarded);
    });
    struct sigaction action {};
    action.sa_handler = mdlOnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
}

void mdlWatchSessionEnd(frmMDI *frame) {
    mdlCatchTerminate(frame);
    auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!application) return;
    /* The session is ending: each unsaved document asks, as at closing; a
     * Cancel asks the session manager to stop the logout. */
    QPointer<frmMDI> guarded(frame);
    QObject::connect(application, &QGuiApplication::commitDataRequest, frame,
                     [guarded](QSessionManager &manager) {
                         if (!guarded) return;
                         if (!manager.allowsInteraction()) return;
                         if (!guarded->closeDocuments()) manager.cancel();
                         manager.release();
                     });
}
