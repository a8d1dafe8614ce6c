/*
 * Keyboard shortcuts: every key of the help's "at a glance" table, pressed
 * in a document window, reaches the one command it names exactly once, with
 * the window normal and maximized (a maximized window hands its system menu
 * to the menu bar, which brings shortcuts of its own).
 *
 * The command handlers are detached for the test: what is measured is that
 * the key reaches its entry, not what the command then does, so no dialog,
 * playback or new window gets in the way of the next key.
 */
#include "tests/shell/shell_fixture.h"

#include <QApplication>
#include <QFile>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

QString helpPage(const QString &name) {
    QFile file(QString(KV_HELP_DIR) + "/" + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

/* The keys of the table that follows the heading with id "keys". A "..."
 * between two keys stands for the keys in between ("F2 ... F9",
 * "Shift+1 ... Shift+8"): the last character counts up. */
QStringList tableKeys(const QString &page) {
    int start = page.indexOf("id=\"keys\"");
    int end = page.indexOf("</table>", start);
    if (start < 0 || end < 0) return {};
    QString table = page.mid(start, end - start);
    static const QRegularExpression token("<kbd>([^<]+)</kbd>|(\\.\\.\\.)");
    QStringList keys;
    bool range = false;
    for (auto it = token.globalMatch(table); it.hasNext();) {
        QRegularExpressionMatch match = it.next();
        if (!match.captured(2).isEmpty()) {
            range = true;
            continue;
        }
        QString key = match.captured(1).trimmed();
        if (range && !keys.isEmpty()) {
            QString first = keys.last();
            int from = first.right(1).toInt(), to = key.right(1).toInt();
            QString stem = key.left(key.size() - 1);
            for (int n = from + 1; n < to; n++)
                keys.append(stem + QString::number(n));
        }
        range = false;
        keys.append(key);
    }
    return keys;
}

/* The entry of the window's menus bound to `key`, either as its shortcut or
 * as the key text after the tab of its caption (keys the window takes
 * itself, such as the view digits). */
QList<QAction *> entriesFor(frmMain *document, const QKeySequence &key) {
    QList<QAction *> found;
    for (QAction *entry : document->findChildren<QAction *>()) {
        bool bound = entry->shortcuts().contains(key);
        QString caption = entry->text();
        int tab = caption.indexOf('\t');
        if (tab >= 0 && QKeySequence(caption.mid(tab + 1)) == key) bound = true;
        if (bound && !found.contains(entry)) found.append(entry);
    }
    return found;
}

/* The entry and every submenu above it: a disabled submenu holds back the
 * keys of its entries. */
void enableWithItsMenus(QAction *entry) {
    entry->setEnabled(true);
    for (QObject *holder : entry->associatedObjects())
        if (auto *menu = qobject_cast<QMenu *>(holder)) enableWithItsMenus(menu->menuAction());
}

} // namespace

class Shortcuts : public ShellTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Shortcuts, EveryKeyOfTheHelpTableRunsItsEntryOnce) {
    QStringList keys = tableKeys(helpPage("contents.html"));
    ASSERT_GE(keys.size(), 20) << "could not read the keys table of contents.html";
    startFrame();
    frmMain *document = openDocument(writeWave("keys.wav", 2, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    auto *window = qobject_cast<QMdiSubWindow *>(document->parentWidget());
    if (GetParam())
        window->showMaximized();
    else
        window->showNormal();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));

    for (QAction *entry : document->findChildren<QAction *>())
        QObject::disconnect(entry, &QAction::triggered, document, nullptr);
    for (bool &saved : document->savedViews)
        saved = true;

    for (const QString &key : keys) {
        QKeySequence sequence(key);
        QList<QAction *> entries = entriesFor(document, sequence);
        ASSERT_EQ(entries.size(), 1) << key.toStdString() << " names one entry";
        QAction *entry = entries.first();
        enableWithItsMenus(entry);
        QSignalSpy ran(entry, &QAction::triggered);
        document->setFocus();
        QKeyCombination combination = sequence[0];
        QTest::keyClick(document, combination.key(), combination.keyboardModifiers());
        EXPECT_EQ(ran.count(), 1) << key.toStdString() << " runs "
                                  << entry->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(WindowStates, Shortcuts, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Maximized" : "Normal"; });
