/*
 * message_window.h - single instance and the hand-over between copies.
 *
 * The hidden "KORVEL MESSAGE WINDOW" is a local socket server named after that
 * title and the user id, in the user's runtime folder. Whether another copy
 * runs is decided by an exclusive lock on a file beside it, which the kernel
 * drops when its holder ends, so a crashed editor never blocks the next start.
 * A forwarding copy sends packets of two 32-bit numbers (message, wParam) and
 * waits for each 32-bit reply. The reply comes once the command file is read,
 * before any file opens, so the copy never waits on the editor's boxes.
 */
#ifndef KV_APP_MESSAGE_WINDOW_H
#define KV_APP_MESSAGE_WINDOW_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

class QLocalServer;
class QLocalSocket;

/* Asks the running copy to come to the front (its process cannot be raised
 * from outside on every desktop, so it raises itself). */
enum : int32_t { MDL_MSG_FOREGROUND = 0 };

/* Full path of the message window's socket. */
QString mdlMessageWindowName();

/* True when another copy of the program holds the instance lock. The first
 * caller that gets the lock keeps it for the rest of the process. */
bool mdlOtherCopyRunning();

/* The forwarding copy's part: finds the message window, asks it to the front
 * and hands the command line over through a command file. Returns false when
 * no message window answered (the command line is then lost). */
bool mdlForwardToRunningCopy(const QString &commandLine);

class mdlMessageWindow : public QObject {
    Q_OBJECT
  public:
    mdlMessageWindow();
    ~mdlMessageWindow() override;

    /* Starts listening; false with *error and *number set when it cannot. */
    bool open(QString *error, int *number);
    void close();

  private:
    void accept();
    void serve(QLocalSocket *socket);
    void act(bool raise);

    QLocalServer *server;
    QStringList pending; /* command lines read, not yet opened */
    bool opening = false;
};

#endif
