/*
 * The frame window: start-up steps, the clip selector and paste to a new
 * file, the recently used files, opening, drag and drop, the engine's
 * notifications and closing.
 */
#include "app/shell/frm_progress.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"
#include "app/shell/session_end.h"
#include "message_event.h"
#include "tests/shell/shell_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

static void kvTestSend(QWidget *target, int32_t message, intptr_t wParam, intptr_t lParam) {
    KvMessageEvent event(message, wParam, lParam);
    QApplication::sendEvent(target, &event);
}

static QString kvTestMruCaption(frmMDI *frame) {
    frame->InitMenu();
    QAction *entry = nullptr;
    for (QAction *candidate : frame->findChildren<QAction *>("mnuMRU(0)"))
        if (candidate->isVisible()) entry = candidate;
    return entry ? entry->text() : QString();
}

class FrameStartUp : public ShellTest {};

TEST_F(FrameStartUp, ClosingTheFrameStoresTheUsersSettings) {
    startFrame();
    options.timeFormat = 2;
    ASSERT_TRUE(closeFrame());
    KV_Options stored{};
    ASSERT_EQ(kvGetReg("Settings", "Options", &stored, 144), 144);
    EXPECT_EQ(stored.timeFormat, 2);
}

/* The terminated program of the test below, run as a process of its own:
 * a fork of this one, whose Qt keeps threads, could not even paint. */
TEST_F(FrameStartUp, TerminatedProgram) {
    const char *source = std::getenv("KV_TEST_TERM_SOURCE");
    if (!source) GTEST_SKIP() << "run by TerminationWithoutADisplayLeavesTheWorkForRecovery";
    setenv("KORVEL_TMPDIR", std::getenv("KV_TEST_TERM_TMPDIR"), 1);
    startFrame();
    mdlWatchSessionEnd(frame.get());
    frmMain *document = frame->OpenNewFile(source);
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 0, 100, -1);
    kvDelete(document->ID);
    raise(SIGTERM);
    QTest::qWait(3000);
    _exit(4); /* the signal went unanswered */
}

/* SIGTERM with nobody to ask (no display): the program ends at once and
 * leaves its unsaved work for the next start to offer. */
TEST_F(FrameStartUp, TerminationWithoutADisplayLeavesTheWorkForRecovery) {
    std::string source = writeWave("term.wav", 1, 8000, ramp(4000), true);
    pid_t child = fork();
    if (child == 0) {
        setenv("KV_TEST_TERM_SOURCE", source.c_str(), 1);
        setenv("KV_TEST_TERM_TMPDIR", tempFolder.c_str(), 1);
        execl("/proc/self/exe", "shell_tests", "--gtest_filter=FrameStartUp.TerminatedProgram",
              nullptr);
        _exit(5);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    startFrame();
    KV_Recoverable found{};
    ASSERT_EQ(kvListRecoverable(&found, 1, sizeof found), 1);
    EXPECT_EQ(found.length, 3900);
    EXPECT_EQ(std::string(found.path), source);
    EXPECT_EQ(kvDiscardRecoverable(-1), 0);
}

TEST_F(FrameStartUp, AMissingWindowPositionIsStoredFromTheFramesOwnPlacement) {
    startFrame();
    frame->Form_Load("");
    KV_WinPos stored{};
    ASSERT_EQ(kvGetReg("Settings", "Window Position", &stored, 20), 20);
    EXPECT_EQ(stored.width, frame->width());
    EXPECT_EQ(stored.height, frame->height());
}

TEST_F(FrameStartUp, AStoredPositionLargerThanTheWorkAreaIsShrunkToIt) {
    KV_WinPos huge{0, 0, 0, 5000, 4000};
    ASSERT_EQ(kvSetReg("Settings", "Window Position", &huge, 20), 0);
    startFrame();
    frame->Form_Load("");
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(frame->width(), area.width());
    EXPECT_LE(frame->height(), area.height());
    EXPECT_FALSE(frame->isMaximized());
}

TEST_F(FrameStartUp, TheStoredMaximizedStateComesBack) {
    KV_WinPos maximized{10, 10, 2, 400, 300};
    ASSERT_EQ(kvSetReg("Settings", "Window Position", &maximized, 20), 0);
    startFrame();
    frame->Form_Load("");
    EXPECT_TRUE(frame->isMaximized());
}

TEST_F(FrameStartUp, TheFirstStartOpensGettingStartedOnceAndRecordsIt) {
    startFrame();
    frame->Form_Load("");
    std::vector<MdlHelpRequest> first = mdlTestTakeHelpRequests();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].command, 1);
    EXPECT_EQ(first[0].topic, 1);
    char value[10] = {};
    kvGetRegString(KV_HKEY_LOCAL_MACHINE, "Software\\Tervalin\\Korvel\\Install", "First Run", value,
                   sizeof value);
    EXPECT_STREQ(value, "No");
    ASSERT_TRUE(closeFrame());

    startFrame();
    frame->Form_Load("");
    EXPECT_TRUE(mdlTestTakeHelpRequests().empty());
}

TEST_F(FrameStartUp, EveryFileOfTheCommandLineIsOpened) {
    std::string first = writeWave("first take.wav", 1, 8000, ramp(800), false);
    std::string second = writeWave("second.wav", 2, 8000, ramp(800), false);
    startFrame();
    frame->Form_Load(QString("\"%1\" \"%2\"").arg(first.c_str(), second.c_str()));
    QList<frmMain *> documents = frame->documents();
    ASSERT_EQ(documents.size(), 2);
    EXPECT_EQ(documents[0]->FileName.toStdString(), first);
    EXPECT_EQ(documents[1]->FileName.toStdString(), second);
}

class ClipSelector : public ShellTest {};

TEST_F(ClipSelector, WithoutClipsTheSelectorPasteAndPlayAreDisabled) {
    startFrame();
    EXPECT_FALSE(frame->findChild<QComboBox *>("cmbClip")->isEnabled());
    EXPECT_FALSE(frame->ui().TB.Paste->isEnabled());
    EXPECT_FALSE(frame->ui().TB.Play->isEnabled());
}

TEST_F(ClipSelector, TheEnginesClipCountListsEveryClipAndSelectsTheLast) {
    startFrame();
    kvTestSend(frame.get(), KV_MSG_CLIPBOARD, 3, 0);
    ASSERT_EQ(frame->findChild<QComboBox *>("cmbClip")->count(), 3);
    EXPECT_EQ(frame->findChild<QComboBox *>("cmbClip")->itemText(0), "Clip 1");
    EXPECT_EQ(frame->findChild<QComboBox *>("cmbClip")->itemText(2), "Clip 3");
    EXPECT_EQ(frame->findChild<QComboBox *>("cmbClip")->currentIndex(), 2);
    EXPECT_TRUE(frame->findChild<QComboBox *>("cmbClip")->isEnabled());
    EXPECT_TRUE(frame->ui().TB.Paste->isEnabled());
    EXPECT_TRUE(frame->ui().TB.Play->isEnabled());

    kvTestSend(frame.get(), KV_MSG_CLIPBOARD, 0, 0);
    EXPECT_EQ(frame->findChild<QComboBox *>("cmbClip")->count(), 0);
    EXPECT_FALSE(frame->findChild<QComboBox *>("cmbClip")->isEnabled());
    EXPECT_FALSE(frame->ui().TB.Paste->isEnabled());
}

TEST_F(ClipSelector, PasteWithNoDocumentMakesA16BitDocumentWithTheClipsRateAndChannels) {
    std::string source = writeWave("source.wav", 1, 22050, ramp(4410), true);
    startFrame();
    frmMain *document = openDocument(source);
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 1000, 3000, -1);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuCopy));
    kvDoStatus(document->ID, 1);
    ASSERT_EQ(frame->findChild<QComboBox *>("cmbClip")->count(), 1)
        << "the status update after the copy names one clip";
    document->parentWidget()->close();
    ASSERT_TRUE(frame->documents().isEmpty());

    frame->ui().TB.Paste->trigger();
    ASSERT_EQ(frame->documents().size(), 1);
    int32_t made = frame->documents().first()->ID;
    int32_t channels = 0, rate = 0, bits = 0;
    ASSERT_EQ(kvGetProperties(made, &channels, &rate, &bits), 0);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(kvGetLength(made), 2000);
    EXPECT_EQ(frame->documents().first()->FileName, "Untitled");
}

class RecentFiles : public ShellTest {};

/* An entry takes the menu's room: a path that fits is shown whole, a longer
 * one loses the middle of its folders but keeps its file name, and neither
 * widens the menu past half the screen. */
TEST_F(RecentFiles, AnEntryShowsAsMuchOfItsPathAsTheMenuHolds) {
    startFrame();
    QString folders = "/music/projects/" + QString("nested-folder/").repeated(16);
    struct Case {
        QString path;
        bool whole;
    } cases[] = {{"/home/someone/recordings/take-one/voice.wav", true},
                 {folders + "final mix.wav", false}};
    for (const Case &entry : cases) {
        SCOPED_TRACE(entry.path.toStdString());
        kvSetMRU(entry.path.toLocal8Bit().constData());
        QString shown = kvTestMruCaption(frame.get()).mid(4);
        if (entry.whole) {
            EXPECT_EQ(shown.toStdString(), entry.path.toStdString());
        } else {
            EXPECT_LT(shown.size(), entry.path.size());
            EXPECT_TRUE(shown.startsWith("/music/"));
            EXPECT_TRUE(shown.endsWith("/final mix.wav"));
        }
        frame->InitMenu();
        QMenu *file = frame->findChild<QAction *>("mnuFile")->menu();
        EXPECT_LE(file->sizeHint().width(), file->screen()->availableGeometry().width() / 2);
    }
}

TEST_F(RecentFiles, TheSeparatorShowsOnlyWithEntries) {
    startFrame();
    frame->InitMenu();
    QAction *separator = frame->findChild<QAction *>("mnuSepMRU");
    ASSERT_NE(separator, nullptr);
    EXPECT_FALSE(separator->isVisible());
    kvSetMRU("/somewhere/a.wav");
    frame->InitMenu();
    EXPECT_TRUE(separator->isVisible());
}

TEST_F(RecentFiles, OpeningAFileRecordsItAndItsEntryOpensIt) {
    std::string file = writeWave("recent.wav", 1, 8000, ramp(800), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    char entry[256] = {};
    ASSERT_GT(kvGetMRU(entry, 0, 255), 0);
    EXPECT_EQ(std::string(entry), file);
    document->parentWidget()->close();

    frame->InitMenu();
    QAction *recent = frame->findChild<QAction *>("mnuMRU(0)");
    ASSERT_NE(recent, nullptr);
    recent->trigger();
    ASSERT_EQ(frame->documents().size(), 1);
    EXPECT_EQ(frame->documents().first()->FileName.toStdString(), file);
}

class OpeningFiles : public ShellTest {};

TEST_F(OpeningFiles, OpeningAFileThatIsOpenFocusesItsWindow) {
    std::string first = writeWave("first.wav", 1, 8000, ramp(800), false);
    std::string second = writeWave("second.wav", 1, 8000, ramp(800), false);
    startFrame();
    frmMain *firstWindow = openDocument(first);
    frmMain *secondWindow = openDocument(second);
    ASSERT_NE(firstWindow, nullptr);
    ASSERT_NE(secondWindow, nullptr);
    EXPECT_EQ(frame->activeDocument(), secondWindow);

    EXPECT_EQ(openDocument(first), firstWindow);
    EXPECT_EQ(frame->documents().size(), 2);
    EXPECT_EQ(frame->activeDocument(), firstWindow);
}

TEST_F(OpeningFiles, AFileThatCannotBeReadClosesItsWindowAfterTheEnginesMessage) {
    kvTestWriteFile(path("broken.wav"), "RIFF but not a sound");
    startFrame();
    QString title;
    onNextModal([&title](QWidget *modal) {
        title = modal->windowTitle();
        static_cast<QDialog *>(modal)->accept();
    });
    EXPECT_EQ(openDocument(path("broken.wav")), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(title, "Korvel Error");
    EXPECT_TRUE(frame->documents().isEmpty());
    EXPECT_FALSE(frame->ui().TB.Save->isEnabled());
}

TEST_F(OpeningFiles, TheOpenCommandOpensTheFilesChosenInTheEnginesDialog) {
    std::string file = writeWave("chosen.wav", 2, 8000, ramp(800), false);
    startFrame();
    answerFileDialog(QString::fromStdString(file));
    frame->ui().TB.Open->trigger();
    ASSERT_EQ(frame->documents().size(), 1);
    EXPECT_EQ(frame->documents().first()->FileName.toStdString(), file);
}

static void kvTestDrop(QWidget *target, const QStringList &files, bool *accepted) {
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &file : files)
        urls.append(QUrl::fromLocalFile(file));
    data->setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    *accepted = enter.isAccepted();
    if (*accepted) {
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }
    delete data;
}

TEST_F(OpeningFiles, DroppedFilesOpenWhenTheirNameHoldsASoundExtensionInAnyCase) {
    std::string upper = writeWave("LOUD.WAV", 1, 8000, ramp(800), false);
    std::string backup = writeWave("take.wav.bak", 1, 8000, ramp(800), false);
    kvTestWriteFile(path("notes.txt"), "not a sound");
    startFrame();
    bool accepted = true;
    kvTestDrop(frame.get(), {QString::fromStdString(path("notes.txt"))}, &accepted);
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(frame->documents().isEmpty());

    kvTestDrop(frame.get(),
               {QString::fromStdString(upper), QString::fromStdString(path("notes.txt")),
                QString::fromStdString(backup)},
               &accepted);
    EXPECT_TRUE(accepted);
    QList<frmMain *> documents = frame->documents();
    ASSERT_EQ(documents.size(), 2);
    EXPECT_EQ(documents[0]->FileName.toStdString(), upper);
    EXPECT_EQ(documents[1]->FileName.toStdString(), backup);
}

class FrameNotifications : public ShellTest {};

TEST_F(FrameNotifications, StatusTextsGoToTheirFieldsAndClearWithTheLastDocument) {
    std::string file = writeWave("status.wav", 2, 44100, ramp(4410), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    const char *start = "00:01.500 and more";
    kvTestSend(frame.get(), KV_MSG_SEL_START, reinterpret_cast<intptr_t>(start), 9);
    const char *rate = "44100 Hz";
    kvTestSend(frame.get(), KV_MSG_RATE, reinterpret_cast<intptr_t>(rate),
               static_cast<intptr_t>(std::strlen(rate)));
    EXPECT_EQ(frame->timeField(0)->text(), "00:01.500");
    EXPECT_EQ(frame->statusField(4)->text(), "44100 Hz");

    document->parentWidget()->close();
    EXPECT_TRUE(frame->timeField(0)->text().isEmpty());
    EXPECT_TRUE(frame->statusField(4)->text().isEmpty());
}

TEST_F(FrameNotifications, AnEngineBoxTakesTheProgressWindowDown) {
    startFrame();
    params.cancellable = 0;
    frame->progressWindow()->report("Please Wait: Working...", 23, 40, 0);
    ASSERT_TRUE(frame->progressWindow()->isVisible());
    kvTestSend(frame.get(), KV_MSG_ERROR_SHOWN, 0, 0);
    EXPECT_FALSE(frame->progressWindow()->isVisible());
}

TEST_F(FrameNotifications, HelpOnAnEngineMessageOpensItsTopic) {
    startFrame();
    kvTestSend(frame.get(), KV_MSG_ERROR_HELP, 42, 0);
    std::vector<MdlHelpRequest> requests = mdlTestTakeHelpRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, 1);
    EXPECT_EQ(requests[0].topic, 42);
}

TEST_F(FrameNotifications, TheEndOfAClipPreviewTurnsThePlayButtonBack) {
    startFrame();
    kvTestSend(frame.get(), KV_MSG_CLIPBOARD, 1, 0);
    frame->ui().TB.Play->setChecked(true);
    kvTestSend(frame.get(), KV_MSG_CLIP_PLAYED, 0, 0);
    EXPECT_FALSE(frame->ui().TB.Play->isChecked());
}

TEST_F(FrameNotifications, ASelectionChangeInTheEngineUpdatesCutAndCopy) {
    std::string file = writeWave("select.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 400, 400, -1);
    EXPECT_FALSE(frame->ui().TB.Cut->isEnabled());
    EXPECT_FALSE(document->ui().mnuDelete->isEnabled());
    kvSetSelection(document->ID, 100, 900, -1);
    EXPECT_TRUE(frame->ui().TB.Cut->isEnabled());
    EXPECT_TRUE(frame->ui().TB.Copy->isEnabled());
    EXPECT_TRUE(document->ui().mnuDelete->isEnabled());
}

class FrameClosing : public ShellTest {};

TEST_F(FrameClosing, ACancelledDocumentKeepsTheFrameOpen) {
    std::string file = writeWave("keep.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuFadeIn));
    mdlTestQueueAnswer(QMessageBox::Cancel);
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(frame->documents().size(), 1);
    EXPECT_EQ(document->ID, frame->documents().first()->ID);
}

TEST_F(FrameClosing, TheWindowPositionIsStoredWhenTheFrameCloses) {
    startFrame();
    frame->Form_Load("");
    frame->setGeometry(40, 50, 640, 480);
    ASSERT_TRUE(closeFrame());
    KV_WinPos stored{};
    ASSERT_EQ(kvGetReg("Settings", "Window Position", &stored, 20), 20);
    EXPECT_EQ(stored.state, 0);
    EXPECT_EQ(stored.width, 640);
    EXPECT_EQ(stored.height, 480);
}

class WindowArrangement : public ShellTest {};

TEST_F(WindowArrangement, TilingHorizontallyStacksTheWindowsAtFullWidth) {
    std::string first = writeWave("first.wav", 1, 8000, ramp(800), false);
    std::string second = writeWave("second.wav", 1, 8000, ramp(800), false);
    startFrame();
    frame->resize(900, 700);
    ASSERT_NE(openDocument(first), nullptr);
    ASSERT_NE(openDocument(second), nullptr);
    frame->tileDocuments(true);
    QApplication::processEvents();
    QSize area = frame->findChild<QMdiArea *>("mdiArea")->viewport()->size();
    QList<frmMain *> documents = frame->documents();
    ASSERT_EQ(documents.size(), 2);
    QWidget *top = documents[0]->parentWidget();
    QWidget *bottom = documents[1]->parentWidget();
    EXPECT_EQ(top->geometry(), QRect(0, 0, area.width(), area.height() / 2));
    EXPECT_EQ(bottom->geometry(), QRect(0, area.height() / 2, area.width(), area.height() / 2));
    EXPECT_GT(documents[1]->width(), area.width() - 40) << "the document fills its window";
}
