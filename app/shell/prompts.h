/*
 * prompts.h - the program's own questions to the user (message boxes) and
 * its help requests.
 *
 * Every prompt of the shell goes through here so that tests can queue the
 * answers beforehand and read back what was asked; a queued answer keeps the
 * box from ever being shown. Nothing in the product queues answers, so users
 * always see the real boxes.
 */
#ifndef KV_APP_PROMPTS_H
#define KV_APP_PROMPTS_H

#include <QMessageBox>
#include <QString>
#include <vector>

class QWidget;

/* Shows an application-modal box and returns the button chosen. */
QMessageBox::StandardButton mdlMessageBox(QWidget *owner, const QString &title, const QString &text,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::Icon icon,
                                          QMessageBox::StandardButton defaultButton);

/* Opens help: the engine's viewer with the help file beside the program. */
void mdlShowHelp(QWidget *owner, int32_t command, int32_t topic);

/* ---- Test hooks ---- */

struct MdlShownBox {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton defaultButton;
};

struct MdlHelpRequest {
    int32_t command;
    int32_t topic;
};

/* The answer the next box gets instead of being shown. */
void mdlTestQueueAnswer(QMessageBox::StandardButton answer);
/* From now on help requests are only recorded, never opened. */
void mdlTestCaptureHelp();
std::vector<MdlShownBox> mdlTestTakeShownBoxes();
std::vector<MdlHelpRequest> mdlTestTakeHelpRequests();
/* Drops the answers still queued and returns how many there were (a test
 * that leaves some over expected a prompt that never came). */
int mdlTestDropPendingAnswers();

#endif
