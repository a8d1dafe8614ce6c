/*
 * Single instance: a second copy of the real program hands its files to the
 * running one and quits. Both copies run as processes on this test's private
 * folders (settings, working folder and runtime folder). KORVEL_PROGRAM names
 * another copy of the program to drive (the installed one, in the package
 * test); by default it is the one built beside this test.
 */
#include "app/shell/message_window.h"
#include "tests/shell/shell_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

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

    EXPECT_EQ(recentFiles(), std::vector<std::string>({plain, spaced}))
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
