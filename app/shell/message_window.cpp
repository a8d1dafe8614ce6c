/*
 * message_window.cpp - the message window and the forwarding copy.
 *
 * Packets are read as they arrive and answered at once; a connection that
 * closes before a whole packet arrived asks for nothing. The reply only says
 * the command file was read: opening the files can show boxes with event
 * loops of their own, so it runs later, after the exchange, and a forwarding
 * copy never waits on them (nor can its going away pull the connection from
 * under a box).
 */
#include "app/shell/message_window.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/mdl_main.h"
#include "korvel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTime>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

static const char *const messageWindowTitle = "KORVEL MESSAGE WINDOW";

/* In a folder only this user can use, so no one else can plant a lock that
 * stops the editor or a socket that never answers. */
QString mdlMessageWindowName() {
    char folder[4096];
    if (kvGetInstanceFolder(folder, sizeof folder) < 0) return QString();
    return QDir(QString::fromLocal8Bit(folder))
        .filePath(QString("%1-%2").arg(messageWindowTitle).arg(getuid()));
}

bool mdlOtherCopyRunning() {
    static int lockHandle = -1;
    if (lockHandle >= 0) return false;
    QString name = mdlMessageWindowName();
    if (name.isEmpty()) return false;
    QByteArray path = (name + ".lock").toLocal8Bit();
    int handle = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (handle < 0) return false;
    if (flock(handle, LOCK_EX | LOCK_NB) == 0) {
        lockHandle = handle;
        return false;
    }
    ::close(handle);
    return true;
}

/* Sends one packet and waits for its reply; false when the window is gone
 * or has not answered in time (a busy editor still reads the packet later,
 * so giving up loses nothing). */
static bool mdlSendPacket(QLocalSocket *socket, int32_t message, int32_t wParam) {
    int32_t packet[2] = {message, wParam};
    socket->write(reinterpret_cast<const char *>(packet), sizeof packet);
    if (!socket->waitForBytesWritten(5000)) return false;
    QElapsedTimer waited;
    waited.start();
    while (socket->bytesAvailable() < 4) {
        qint64 left = 15000 - waited.elapsed();
        if (left <= 0 || !socket->waitForReadyRead(static_cast<int>(left))) return false;
    }
    int32_t reply = 0;
    socket->read(reinterpret_cast<char *>(&reply), sizeof reply);
    return true;
}

/* The running copy takes its lock before it opens the window, so a copy that
 * finds the lock held gives the window a moment to appear. */
static bool mdlConnect(QLocalSocket *socket) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        socket->connectToServer(mdlMessageWindowName());
        if (socket->waitForConnected(1000)) return true;
        if (waited.elapsed() > 2000) return false;
        QThread::msleep(100);
    }
}

bool mdlForwardToRunningCopy(const QString &commandLine) {
    QLocalSocket socket;
    if (!mdlConnect(&socket)) return false;
    if (!mdlSendPacket(&socket, MDL_MSG_FOREGROUND, 0)) return false;
    if (commandLine.isEmpty()) return true;
    srand(static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay()));
    double r = static_cast<double>(rand()) / (static_cast<double>(RAND_MAX) + 1.0);
    auto number = static_cast<int32_t>(r * 65536.0 + 0.5);
    QByteArray text = commandLine.toLocal8Bit();
    kvWriteCmdFile(number, text.constData());
    return mdlSendPacket(&socket, MDL_MSG_HANDOVER, number);
}

/* Reads and consumes command file `number`: its command line, or an empty
 * text when there is none. */
static QString mdlReadHandOver(int32_t number) {
    char buffer[256];
    std::memset(buffer, ' ', 255);
    buffer[255] = 0;
    int32_t length = kvReadCmdFile(number, buffer);
    if (length <= 0) return QString();
    return QString::fromLocal8Bit(buffer, length);
}

static void mdlOpenCommandLine(const QString &commandLine) {
    if (!mdlMain.frame) return;
    for (const QString &name : mdlParseCommandLine(commandLine))
        mdlMain.frame->OpenNewFile(name);
}

mdlMessageWindow::mdlMessageWindow() : server(new QLocalServer(this)) {
    setObjectName(messageWindowTitle);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &mdlMessageWindow::accept);
}

mdlMessageWindow::~mdlMessageWindow() {
    close();
}

bool mdlMessageWindow::open(QString *error, int *number) {
    /* Only the holder of the instance lock gets here, so a socket file left
     * behind belongs to an editor that ended without closing it. */
    QLocalServer::removeServer(mdlMessageWindowName());
    if (server->listen(mdlMessageWindowName())) return true;
    *error = server->errorString();
    *number = static_cast<int>(server->serverError());
    return false;
}

void mdlMessageWindow::close() {
    if (server->isListening()) server->close();
}

/* The connection is only touched inside its own signals, which Qt never
 * delivers once it is deleted; nothing that runs an event loop runs there. */
void mdlMessageWindow::accept() {
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void mdlMessageWindow::serve(QLocalSocket *socket) {
    while (socket->bytesAvailable() >= 8) {
        int32_t packet[2] = {0, 0};
        socket->read(reinterpret_cast<char *>(packet), sizeof packet);
        bool raise = packet[0] == MDL_MSG_FOREGROUND;
        if (packet[0] == MDL_MSG_HANDOVER) pending.append(mdlReadHandOver(packet[1]));
        int32_t reply = 0;
        socket->write(reinterpret_cast<const char *>(&reply), sizeof reply);
        socket->flush();
        QMetaObject::invokeMethod(
            this, [this, raise] { act(raise); }, Qt::QueuedConnection);
    }
}

/* Runs after the exchange, outside the socket's signals. Opening a file can
 * show a box whose event loop takes the next hand-over; that one waits in
 * the queue for the loop below, so files still open in the order sent. */
void mdlMessageWindow::act(bool raise) {
    if (raise && mdlMain.frame) mdlMain.frame->comeToFront();
    if (opening) return;
    opening = true;
    while (!pending.isEmpty())
        mdlOpenCommandLine(pending.takeFirst());
    opening = false;
}
