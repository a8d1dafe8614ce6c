/*
 * main.cpp - korvel-cli: the Korvel engine for batch work from the terminal.
 *
 * The first argument names the command; each command parses the rest and
 * starts the engine only once its command line is known to be right, so help
 * and usage errors never touch the settings store.
 */
#include "app/cli/cli_commands.h"
#include "app/cli/cli_help.h"

#include <QCoreApplication>
#include <cstdio>

int cliUsageError(const QString &command, const QString &problem) {
    std::fprintf(stderr, "korvel-cli %s: %s\nTry 'korvel-cli %s --help'.\n",
                 command.toLocal8Bit().constData(), problem.toLocal8Bit().constData(),
                 command.toLocal8Bit().constData());
    return cliExitUsage;
}

static int cliShow(const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return cliExitOk;
}

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("korvel-cli");
    QStringList arguments = application.arguments().mid(1);
    QString command = arguments.value(0);
    QStringList rest = arguments.mid(1);
    if (command == "apply") return cliApply(rest);
    if (command == "info") return cliInfo(rest);
    if (command == "presets") return cliPresets(rest);
    if (command == "help" || command == "--help" || command == "-h")
        return cliShow(cliHelpText(rest.value(0)));
    if (command == "--man") return cliShow(cliManPage());
    if (command.isEmpty()) {
        std::fputs(cliHelpText("").toLocal8Bit().constData(), stderr);
        return cliExitUsage;
    }
    return cliUsageError(command, "no such command (info, apply, presets, help)");
}
