/*
 * mdl_main.h - program-wide state and services of the shell: the frame in
 * charge, the dialog document, command-line parsing, the two
 * callbacks handed to the engine, and the start-up failure box.
 *
 * The engine's callbacks carry no context pointer, so the one frame window of
 * the run registers itself here and the callbacks reach it through mdlFrame.
 */
#ifndef KV_APP_MDL_MAIN_H
#define KV_APP_MDL_MAIN_H

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>

class QAction;
class QDialog;
class QKeySequence;
class QLayout;
class QMenu;
class frmMDI;

/* Hand-over message number: the first user message number plus 100. */
enum : int32_t { MDL_MSG_HANDOVER = 1124 };

/* Caption of the frame and of the About box. */
extern const char *const mdlProductName;

struct MdlState {
    frmMDI *frame = nullptr;
    int32_t dialogDoc = -1; /* the document an effect dialog works on */
    int32_t showState = 0;  /* 3 maximized, 7 minimized, 0 as stored */
};
extern MdlState mdlMain;

/* --help and --version print the usage or "Korvel <version>" to standard
 * output; the result is then the exit status (0). Runs before the toolkit
 * starts, so it needs no display. -1 when neither option is given. */
int mdlTerminalOption(int argc, char **argv);

/* Splits a command line into the names it holds: a double quote ends a
 * non-empty name, spaces before a name are skipped, and every other character
 * (spaces inside a name included) belongs to the current name. Names come
 * back trimmed, empty ones dropped. */
QStringList mdlParseCommandLine(const QString &commandLine);

/* The command line of this process in the form the parser reads back: every
 * argument quoted. The show-state options are taken out into mdlMain. */
QString mdlCommandLineFromArguments(const QStringList &arguments);

/* Progress callback given to kvInit (drives frmProgress), and the idle one. */
void mdlProgress(const char *text, int32_t textLength, int32_t percent, int32_t secondsLeft);
int32_t mdlIdle(int32_t unused);

/* Adds entry `name` (its object name, for screen readers and tests) to a menu. */
QAction *mdlAddMenuEntry(QMenu *menu, const QString &name, const QString &caption,
                         const QKeySequence &shortcut);

/* Lays a small dialog out: its content above an OK and a Cancel button, and
 * names its controls for screen readers (accessible.h). */
void mdlLayOutOkCancel(QDialog *dialog, QLayout *content);

/* Shows "Korvel Fatal Error" with the start-up failure text and ends the
 * process with code 1. */
[[noreturn]] void mdlStartupFailure(const QString &description, int number);

#endif
