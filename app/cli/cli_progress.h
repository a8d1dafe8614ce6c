/*
 * cli_progress.h - what korvel-cli tells the user while it works.
 *
 * On a terminal one line on standard error is redrawn: the file, the
 * engine's current caption with its percentage, and the whole batch with
 * the time still needed. Off a terminal each finished file is one plain line,
 * so logs stay readable; -q leaves only the error messages.
 */
#ifndef KV_CLI_PROGRESS_H
#define KV_CLI_PROGRESS_H

#include <QString>
#include <cstdint>

enum class CliProgressMode { Bar, Lines, Quiet };

/* Bar when standard error is a terminal, else Lines; Quiet when asked. */
CliProgressMode cliChooseProgressMode(bool quiet);

void cliProgressBegin(CliProgressMode mode, int32_t files);
/* A file starts; `index` counts from 0. */
void cliProgressFile(int32_t index, const QString &name);
/* The engine's report on the current file (the progress callback's form). */
void cliProgressReport(const char *text, int32_t textLength, int32_t percent, int32_t secondsLeft);
/* A file ended; `result` is the line a log shows ("take1.wav -> take1.mp3"). */
void cliProgressDone(const QString &result, bool ok);
/* Prints a message line without tearing the bar. */
void cliProgressMessage(const QString &line);
void cliProgressEnd();

#endif
