/*
 * The program in a terminal: --help and --version answer without a display
 * and exit 0, and the version is one number everywhere: the one the package
 * carries, printed by --version and shown in the window title.
 */
#include "tests/shell/shell_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

namespace {

/* "Korvel <major>.<minor>" of the project's version. */
QString productName() {
    QStringList parts = QString(KV_PROJECT_VERSION).split('.');
    return "Korvel " + parts.value(0) + "." + parts.value(1);
}

} // namespace

class TerminalOptions : public ShellTest {};

TEST_F(TerminalOptions, HelpAndVersionAnswerWithoutADisplay) {
    struct Case {
        const char *option;
        QString printed;
    };
    for (const Case &c : {Case{"--help", "Usage: korvel "}, Case{"--version", productName()}}) {
        SCOPED_TRACE(c.option);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QDir(QCoreApplication::applicationDirPath()).filePath("korvel"), {c.option});
        ASSERT_TRUE(child.waitForFinished(20000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
        EXPECT_TRUE(QString::fromLocal8Bit(child.readAllStandardOutput()).startsWith(c.printed));
    }
}

TEST_F(TerminalOptions, TheWindowTitleShowsThePackagesVersion) {
    startFrame();
    EXPECT_EQ(frame->windowTitle(), productName());
}
