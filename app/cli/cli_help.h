/*
 * cli_help.h - korvel-cli's help, written once: --help prints it, and the
 * build turns the same text into the manual page.
 */
#ifndef KV_CLI_HELP_H
#define KV_CLI_HELP_H

#include <QString>

/* The help of a command ("apply", "info", "presets"), or of the program
 * for an empty name. */
QString cliHelpText(const QString &command);

/* The whole help as a roff manual page, korvel-cli(1). */
QString cliManPage();

#endif
