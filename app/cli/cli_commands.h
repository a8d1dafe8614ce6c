/*
 * cli_commands.h - korvel-cli's commands and its exit statuses.
 */
#ifndef KV_CLI_COMMANDS_H
#define KV_CLI_COMMANDS_H

#include <QString>
#include <QStringList>

/* Exit statuses, listed in the help and the manual page. */
enum CliExit : int {
    cliExitOk = 0,     /* every file was done */
    cliExitFailed = 1, /* some file failed; the others were done */
    cliExitUsage = 2,  /* the command line was wrong; nothing was read or written */
};

/* Each takes the arguments after its name and returns the exit status. */
int cliApply(const QStringList &arguments);
int cliInfo(const QStringList &arguments);
int cliPresets(const QStringList &arguments);

/* Prints "korvel-cli COMMAND: problem" and where help is; cliExitUsage. */
int cliUsageError(const QString &command, const QString &problem);

#endif
