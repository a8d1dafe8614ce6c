/*
 * dialog_support.cpp - one offscreen application for the dialog tests.
 */
#include "tests/codec/dialog_support.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <thread>

void testEnsureApplication() {
    if (QCoreApplication::instance()) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "codec_tests";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void testWhenModal(std::function<void(QWidget *dialog)> action) {
    QTimer::singleShot(0, [action] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog) {
            testWhenModal(action);
            return;
        }
        action(dialog);
    });
}

bool testWaitFor(const std::function<bool()> &done, double seconds) {
    auto limit = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<std::string> testEntries(const QComboBox *list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); i++)
        entries.push_back(list->itemText(i).toStdString());
    return entries;
}
