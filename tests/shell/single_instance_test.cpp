/*
 * Single instance: a second copy of the real program hands its files to the
 * running one and quits. Both copies run as processes on this test's private
 * folders (settings, working folder and runtime folder). KORVEL_PROGRAM names
 * another copy of the program to drive (the installed one, in the package
 * test); by default it is the one built beside this test.
 */
#include "app/shell/mdl_main.h"
#include "app/shell/message_window.h"
#include "tests/shell/shell_fixture.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

class SingleInstance : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        program = qEnvironmentVariable("KORVEL_PROGRAM");
        if (program.isEmpty())
            program = QDir(QCoreApplication::applicationDirPath()).filePath("korvel");
        ASSERT_TRUE(QFileInfo::exists(program))
            << "build the program first: " << program.toStdString();
        ASSERT_EQ(kvSetRegString(KV_HKEY_LOCAL_MACHINE, "Software\\Tervalin\\Korvel\\Install",
                                 "First Run", "No", 0),
                  0);
    }
    void TearDown() override {
        if (editor.state() != QProcess::NotRunning) {
            editor.kill();
            editor.waitForFinished(5000);
        }
        ShellTest::TearDown();
    }
    void startProcess(QProcess *process, const QStringList &arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, arguments);
        ASSERT_TRUE(process->waitForStarted(10000));
    }
    /* The editor is up once its message window answers. */
    bool waitForMessageWindow() {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000) {
            QLocalSocket probe;
            probe.connectToServer(mdlMessageWindowName());
            if (probe.waitForConnected(200)) return true;
            if (editor.state() == QProcess::NotRunning) return false;
            QThread::msleep(50);
        }
        return false;
    }
    /* The editor opens what it was handed after it answered the sender. */
    std::vector<std::string> recentFilesOnceThere(size_t count) {
        QElapsedTimer waited;
        waited.start();
        while (recentFiles().size() < count && waited.elapsed() < 20000)
            QThread::msleep(50);
        return recentFiles();
    }
    std::vector<std::string> recentFiles() {
        std::vector<std::string> entries;
        for (int32_t i = 0; i < kvGetMRUCount(); i++) {
            char entry[256] = {};
            kvGetMRU(entry, i, 255);
            entries.push_back(entry);
        }
        return entries;
    }

    QString program;
    QProcess editor;
};

TEST_F(SingleInstance, ASecondCopyHandsItsFilesToTheRunningOneAndQuits) {
    std::string spaced = writeWave("first take.wav", 1, 8000, ramp(800), false);
    std::string plain = writeWave("second.wav", 2, 8000, ramp(800), false);
    startProcess(&editor, {});
    ASSERT_TRUE(waitForMessageWindow());
    EXPECT_EQ(kvGetMRUCount(), 0);

    QProcess second;
    startProcess(&second, {QString::fromStdString(spaced), QString::fromStdString(plain)});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    EXPECT_EQ(recentFilesOnceThere(2), std::vector<std::string>({plain, spaced}))
        << "the running copy opened both files, in order";
    EXPECT_EQ(editor.state(), QProcess::Running);
}

TEST_F(SingleInstance, ASecondCopyWithoutFilesOpensNothingAndQuits) {
    startProcess(&editor, {});
    ASSERT_TRUE(waitForMessageWindow());
    QProcess second;
    startProcess(&second, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(recentFiles().empty());
    EXPECT_EQ(editor.state(), QProcess::Running);
}

TEST_F(SingleInstance, TheEditorOpensTheFilesOfItsOwnCommandLine) {
    std::string file = writeWave("own.wav", 1, 8000, ramp(800), false);
    startProcess(&editor, {QString::fromStdString(file)});
    ASSERT_TRUE(waitForMessageWindow());
    QElapsedTimer waited;
    waited.start();
    while (recentFiles().empty() && waited.elapsed() < 20000)
        QThread::msleep(50);
    EXPECT_EQ(recentFiles(), std::vector<std::string>({file}));
}

/* A pipe named like a sound file is refused at once: the editor comes up
 * and still takes the files a second copy hands over. */
TEST_F(SingleInstance, APipeOnTheCommandLineDoesNotHoldTheEditor) {
    std::string pipe = root + "/pipe.wav";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::string file = writeWave("after.wav", 1, 8000, ramp(800), false);
    startProcess(&editor, {QString::fromStdString(pipe)});
    ASSERT_TRUE(waitForMessageWindow());
    QProcess second;
    startProcess(&second, {QString::fromStdString(file)});
    EXPECT_TRUE(second.waitForFinished(12000)) << "the editor is held by the pipe";
    EXPECT_EQ(recentFilesOnceThere(1), std::vector<std::string>({file}));
}

/* A socket that takes connections and never answers, with the lock beside
 * it held: what a hung editor, or someone else's trap, looks like. False
 * when it could not be made. */
static bool kvTestSilentWindow(const std::string &name, int *lockHandle, int *socketHandle) {
    *lockHandle = ::open((name + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    *socketHandle = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (*lockHandle < 0 || *socketHandle < 0 || name.size() >= sizeof address.sun_path)
        return false;
    std::strcpy(address.sun_path, name.c_str());
    return flock(*lockHandle, LOCK_EX) == 0 &&
           bind(*socketHandle, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
           listen(*socketHandle, 4) == 0;
}

TEST_F(SingleInstance, AForwardingCopyGivesUpOnAWindowThatNeverAnswers) {
    int lockHandle = -1, socketHandle = -1;
    ASSERT_TRUE(
        kvTestSilentWindow(mdlMessageWindowName().toStdString(), &lockHandle, &socketHandle));
    std::string file = writeWave("handed.wav", 1, 8000, ramp(800), false);
    QProcess second;
    startProcess(&second, {QString::fromStdString(file)});
    EXPECT_TRUE(second.waitForFinished(40000)) << "the forwarding copy waits for ever";
    ::close(socketHandle);
    ::close(lockHandle);
}

/* Without a runtime folder the lock and socket would go to the shared
 * temporary folder; another user's lock and silent socket there, under the
 * names Korvel used and in a folder named like Korvel's own, neither stop
 * the editor nor hang it. */
TEST_F(SingleInstance, AnotherUsersLockAndSocketInTheSharedFolderDoNotStopTheEditor) {
    std::string shared = sharedFolder();
    std::string title = "KORVEL MESSAGE WINDOW-" + std::to_string(geteuid());
    std::string ownName = shared + "/korvel-" + std::to_string(geteuid());
    int other = kvTestAsOtherUser([&] {
        int handles[4];
        return mkdir(ownName.c_str(), 0777) == 0 && chmod(ownName.c_str(), 0777) == 0 &&
               kvTestSilentWindow(shared + "/" + title, &handles[0], &handles[1]) &&
               kvTestSilentWindow(ownName + "/" + title, &handles[2], &handles[3]);
    });
    if (other < 0) GTEST_SKIP() << "needs root, to act as another user";
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", shared.c_str(), 1);
    std::string file = writeWave("own.wav", 1, 8000, ramp(800), false);
    startProcess(&editor, {QString::fromStdString(file)});
    QElapsedTimer waited;
    waited.start();
    while (recentFiles().empty() && waited.elapsed() < 20000 && editor.state() == QProcess::Running)
        QThread::msleep(50);
    EXPECT_EQ(recentFiles(), std::vector<std::string>({file})) << "the editor did not come up";
    EXPECT_EQ(editor.state(), QProcess::Running);
    kvTestEndOtherUser(other);
    unsetenv("TMPDIR");
}

/* Runs events until `condition` holds; false after `ms`. */
static bool kvTestWaitUntil(const std::function<bool()> &condition, int ms = 10000) {
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > ms) return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

/* The editor's side runs in this process; the sender is a bare connection
 * that goes away at each step of the hand-over of a refused file: with no
 * packet, half a packet, right after the packet, and while the editor reports
 * the file. Each time a sender that waits has its reply before any report,
 * and the editor still takes the next hand-over. */
TEST_F(SingleInstance, TheEditorOutlivesASenderThatGoesAwayAtAnyStep) {
    startFrame();
    mdlMessageWindow window;
    QString error;
    int number = 0;
    ASSERT_TRUE(window.open(&error, &number)) << error.toStdString();
    std::string refused = path("refused.wav");
    kvTestWriteFile(refused, std::string(5000, 'x'));
    enum Step { NoPacket, HalfPacket, WholePacket, DuringReport };
    for (Step step : {NoPacket, HalfPacket, WholePacket, DuringReport}) {
        SCOPED_TRACE(step);
        auto sender = std::make_unique<QLocalSocket>();
        sender->connectToServer(mdlMessageWindowName());
        ASSERT_TRUE(sender->waitForConnected(2000));
        ASSERT_EQ(kvWriteCmdFile(step, ("\"" + refused + "\"").c_str()), 0);
        int32_t packet[2] = {MDL_MSG_HANDOVER, step};
        sender->write(reinterpret_cast<const char *>(packet), step == NoPacket     ? 0
                                                              : step == HalfPacket ? 4
                                                                                   : 8);
        sender->flush();
        bool reported = false;
        if (step >= WholePacket) {
            onNextModal([&](QWidget *box) {
                if (sender) {
                    EXPECT_TRUE(sender->bytesAvailable() >= 4 || sender->waitForReadyRead(3000))
                        << "the sender waits on the box";
                    sender.reset();
                    kvTestWaitUntil([] { return false; }, 300);
                }
                reported = true;
                static_cast<QDialog *>(box)->reject();
            });
        }
        if (step != DuringReport) sender.reset();
        if (step >= WholePacket)
            ASSERT_TRUE(kvTestWaitUntil([&] { return reported; }));
        else
            kvTestWaitUntil([] { return false; }, 300);
    }
    std::string good = writeWave("good.wav", 1, 8000, ramp(800), false);
    QLocalSocket next;
    next.connectToServer(mdlMessageWindowName());
    ASSERT_TRUE(next.waitForConnected(2000));
    ASSERT_EQ(kvWriteCmdFile(9, ("\"" + good + "\"").c_str()), 0);
    int32_t packet[2] = {MDL_MSG_HANDOVER, 9};
    next.write(reinterpret_cast<const char *>(packet), sizeof packet);
    EXPECT_TRUE(kvTestWaitUntil([&] { return next.bytesAvailable() >= 4; }));
    EXPECT_TRUE(kvTestWaitUntil([&] { return !recentFiles().empty(); }));
    EXPECT_EQ(recentFiles(), std::vector<std::string>({good}));
}
