/*
 * dialog_support.h - the application the dialog tests need (offscreen), and
 * small helpers to reach the panel's controls by their template names.
 */
#ifndef KV_TEST_DIALOG_SUPPORT_H
#define KV_TEST_DIALOG_SUPPORT_H

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

/* Makes sure a QApplication exists (offscreen unless a platform was chosen). */
void testEnsureApplication();

/* Runs `action` on the modal dialog once its event loop has started. */
void testWhenModal(std::function<void(QWidget *dialog)> action);

/* Processes events until `done` holds or `seconds` have passed: done's value. */
bool testWaitFor(const std::function<bool()> &done, double seconds);

/* The texts of a combo box's entries. */
std::vector<std::string> testEntries(const QComboBox *list);

template <typename Control> Control *testControl(QWidget *dialog, const char *name) {
    return dialog->findChild<Control *>(name);
}

#endif
