/*
 * prompts.cpp - message boxes and help for the shell.
 *
 * The test queues are plain lists on the GUI thread, which is the only thread
 * the shell runs on. A box that takes a queued answer is still recorded, so a
 * test can check the exact title, text and buttons it would have shown.
 */
#include "app/shell/prompts.h"
#include "korvel.h"

#include <QCoreApplication>
#include <QDir>
#include <deque>

static std::deque<QMessageBox::StandardButton> queuedAnswers;
static std::vector<MdlShownBox> shownBoxes;
static std::vector<MdlHelpRequest> helpRequests;
static bool captureHelp = false;

void mdlTestQueueAnswer(QMessageBox::StandardButton answer) {
    queuedAnswers.push_back(answer);
}

void mdlTestCaptureHelp() {
    captureHelp = true;
}

std::vector<MdlShownBox> mdlTestTakeShownBoxes() {
    std::vector<MdlShownBox> taken;
    taken.swap(shownBoxes);
    return taken;
}

std::vector<MdlHelpRequest> mdlTestTakeHelpRequests() {
    std::vector<MdlHelpRequest> taken;
    taken.swap(helpRequests);
    return taken;
}

int mdlTestDropPendingAnswers() {
    int count = static_cast<int>(queuedAnswers.size());
    queuedAnswers.clear();
    return count;
}

QMessageBox::StandardButton mdlMessageBox(QWidget *owner, const QString &title, const QString &text,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::Icon icon,
                                          QMessageBox::StandardButton defaultButton) {
    shownBoxes.push_back({title, text, buttons, icon, defaultButton});
    if (!queuedAnswers.empty()) {
        QMessageBox::StandardButton answer = queuedAnswers.front();
        queuedAnswers.pop_front();
        return answer;
    }
    QMessageBox box(icon, title, text, buttons, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void mdlShowHelp(QWidget *owner, int32_t command, int32_t topic) {
    if (captureHelp) {
        helpRequests.push_back({command, topic});
        return;
    }
    QByteArray helpFile =
        QDir(QCoreApplication::applicationDirPath()).filePath("Korvel.hlp").toLocal8Bit();
    kvShowHelp(owner, helpFile.constData(), command, topic);
}
