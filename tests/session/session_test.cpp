/*
 * A newcomer's whole session, driven through the real frame on a real X
 * server (Xvfb): open a file from the command line (it shows whole, with a
 * cursor at 0), zoom in and scroll with the wheel, select with the mouse,
 * cut, paste at the end, equalize and add reverb through their dialogs, undo
 * once, play the selection on the test sound card to its end, save as MP3
 * through the save dialog at the bit rate it offers, close with Ctrl+W,
 * reopen the MP3 and compare; then take files from second copies of the
 * program, one of them refused and its sender gone while that is reported.
 *
 * Every step leaves a picture of the screen in <build>/artifacts/session, so
 * a failure can be looked at afterwards.
 */
#include "app/dialogs/effect_dialog.h"
#include "app/shell/frm_recover.h"
#include "app/shell/message_window.h"
#include "app/shell/prompts.h"
#include "app/shell/session_end.h"
#include "engine/document/document.h"
#include "tests/audio/test_device.h"
#include "tests/shell/shell_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QThread>
#include <QWheelEvent>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

class NewcomerSession : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        played = path("played.raw");
        kvUseTestAudioDevice(played);
        artifacts = QDir(QCoreApplication::applicationDirPath() + "/../artifacts/session");
        artifacts.removeRecursively();
        QDir().mkpath(artifacts.path());
        options.loopPlayback = 0;
        params.fadeEdges = 0;
        params.fadeEdgesWhole = 0;
    }
    void TearDown() override {
        kvStop();
        ShellTest::TearDown();
    }

    /* A picture of the whole screen, with any dialog that is open. */
    void snapshot(const QString &step) {
        settle(100);
        QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        EXPECT_TRUE(screen.save(
            artifacts.filePath(QString("%1-%2.png").arg(++shots, 2, 10, QChar('0')).arg(step))));
    }
    static void settle(int ms) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            QApplication::processEvents();
            QThread::msleep(5);
        }
    }
    static bool waitUntil(const std::function<bool()> &condition, int ms) {
        QElapsedTimer waited;
        waited.start();
        while (!condition()) {
            if (waited.elapsed() > ms) return false;
            QApplication::processEvents();
            QThread::msleep(5);
        }
        return true;
    }

    /* One wheel notch over the waveform's middle; `delta` > 0 turns it away. */
    static void turnWheel(QWidget *window, int delta, Qt::KeyboardModifiers modifiers) {
        QPointF at(window->width() / 2, window->height() / 2);
        QWheelEvent event(at, window->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window, &event);
        QApplication::processEvents();
    }
    /* The frames the window shows, [first, end), as Select View reads them. */
    static std::pair<int32_t, int32_t> visibleFrames(int32_t doc) {
        int32_t first = 0, end = 0;
        kvSelectView(doc);
        kvGetSelection(doc, &first, &end, nullptr);
        return {first, end};
    }

    /* A left-button drag across the waveform, as the hand makes it. */
    static void drag(QWidget *window, int fromX, int toX, int y) {
        auto send = [window](QEvent::Type type, int x, int y, Qt::MouseButton button,
                             Qt::MouseButtons buttons) {
            QPointF at(x, y);
            QMouseEvent event(type, at, window->mapToGlobal(at), button, buttons, Qt::NoModifier);
            QApplication::sendEvent(window, &event);
            QApplication::processEvents();
        };
        send(QEvent::MouseButtonPress, fromX, y, Qt::LeftButton, Qt::LeftButton);
        for (int x = fromX; x <= toX; x += 10)
            send(QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, toX, y, Qt::LeftButton, Qt::NoButton);
    }

    static std::vector<float> frames(int32_t doc, int32_t channel, int32_t start, int32_t count) {
        std::vector<float> samples(static_cast<size_t>(std::max(count, 0)));
        if (count > 0) {
            EXPECT_EQ(kvReadFrames(doc, channel, start, count, samples.data()), count);
        }
        return samples;
    }

    /* The best normalised correlation of `b` against `a` over small shifts:
     * MP3 coding moves the sound by its decoder delay and changes the
     * samples slightly, but keeps the shape. */
    static double bestCorrelation(const std::vector<float> &a, const std::vector<float> &b,
                                  int32_t maxShift, int32_t *bestShift) {
        double best = -1.0;
        for (int32_t shift = -maxShift; shift <= maxShift; shift++) {
            double ab = 0, aa = 0, bb = 0;
            for (size_t i = 0; i < a.size(); i += 3) {
                int64_t j = static_cast<int64_t>(i) + shift;
                if (j < 0 || j >= static_cast<int64_t>(b.size())) continue;
                ab += a[i] * b[j];
                aa += a[i] * a[i];
                bb += b[j] * b[j];
            }
            double correlation = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
            if (correlation > best) {
                best = correlation;
                *bestShift = shift;
            }
        }
        return best;
    }

    /* Two seconds of a chord that every effect of the session changes
     * audibly, quiet enough that none of them clips. */
    static std::vector<float> chord() {
        std::vector<float> samples(88200);
        for (size_t i = 0; i < samples.size(); i++) {
            double t = static_cast<double>(i) / 44100.0;
            samples[i] = static_cast<float>(0.12 * std::sin(2 * M_PI * 220 * t) +
                                            0.08 * std::sin(2 * M_PI * 1250 * t) +
                                            0.05 * std::sin(2 * M_PI * 5100 * t));
        }
        return samples;
    }

    std::string played;
    QDir artifacts;
    int shots = 0;
};

TEST_F(NewcomerSession, OpenEditEffectsPlaySaveAsMp3AndReopen) {
    ASSERT_NE(QGuiApplication::platformName(), "offscreen") << "this session runs under Xvfb";
    std::string source = writeWave("session.wav", 2, 44100, chord(), false);
    ASSERT_EQ(kvSetRegString(KV_HKEY_LOCAL_MACHINE, "Software\\Tervalin\\Korvel\\Install",
                             "First Run", "No", 0),
              0);

    /* 1. Start with the file on the command line. */
    startFrame();
    frame->resize(1000, 700);
    frame->Form_Load("\"" + QString::fromStdString(source) + "\"");
    frmMain *document = frame->activeDocument();
    ASSERT_NE(document, nullptr);
    int32_t doc = document->ID;
    const int32_t length = kvGetLength(doc);
    ASSERT_EQ(length, 88200);
    int32_t cursor = -1, cursorEnd = -1;
    kvGetSelection(doc, &cursor, &cursorEnd, nullptr);
    EXPECT_EQ(cursor, 0) << "a cursor at 0";
    EXPECT_EQ(cursorEnd, 0) << "and nothing selected";
    std::pair<int32_t, int32_t> shown = visibleFrames(doc);
    EXPECT_EQ(shown.first, 0);
    EXPECT_GE(shown.second, length) << "the whole sound is in the window";
    snapshot("opened");

    /* 1b. Zoom in with the wheel, scroll with Shift and the wheel, and fit
     * the whole sound again with Ctrl+L. */
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    for (int notch = 0; notch < 8; notch++)
        turnWheel(document, 120, Qt::NoModifier);
    std::pair<int32_t, int32_t> zoomed = visibleFrames(doc);
    ASSERT_LT(zoomed.second - zoomed.first, length / 2) << "the wheel zoomed in";
    for (int notch = 0; notch < 3; notch++)
        turnWheel(document, -120, Qt::ShiftModifier);
    std::pair<int32_t, int32_t> scrolled = visibleFrames(doc);
    EXPECT_GT(scrolled.first, zoomed.first) << "Shift and the wheel scrolled towards the end";
    EXPECT_EQ(scrolled.second - scrolled.first, zoomed.second - zoomed.first) << "without zooming";
    snapshot("scrolled");
    document->setFocus();
    QTest::keyClick(document, Qt::Key_L, Qt::ControlModifier);
    ASSERT_EQ(visibleFrames(doc).first, 0);
    ASSERT_GE(visibleFrames(doc).second, length) << "Ctrl+L fits the whole sound again";

    /* 2. Select a range with the mouse. */
    int32_t width = document->width();
    drag(document, width / 4, width / 2, document->height() / 2);
    int32_t anchor = 0, end = 0, channel = 0;
    kvGetSelection(doc, &anchor, &end, &channel);
    int32_t from = std::min(anchor, end), to = std::max(anchor, end);
    ASSERT_GT(to - from, 4410) << "the drag selected " << from << ".." << to;
    EXPECT_NEAR(from, length / 4, length / 20);
    EXPECT_NEAR(to, length / 2, length / 20);
    snapshot("selected");
    std::vector<float> cutLeft = frames(doc, 0, from, to - from);

    /* 3. Cut, then paste at the end. */
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuCut));
    ASSERT_EQ(kvGetLength(doc), length - (to - from));
    ASSERT_TRUE(document->runCommand(document->ui().mnuPlayback[9])) << "Jump to End of File";
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuPasteInsert));
    ASSERT_EQ(kvGetLength(doc), length);
    EXPECT_EQ(frames(doc, 0, length - (to - from), to - from), cutLeft)
        << "the cut range came back at the end, sample for sample";
    snapshot("pasted");
    int32_t pastedFrom = length - (to - from);

    /* 4. Equalize the pasted range through the equalizer dialog. */
    kvSetSelection(doc, pastedFrom, length, channel);
    std::vector<float> beforeEq = frames(doc, 0, pastedFrom, to - from);
    onNextModal([this](QWidget *modal) {
        auto *dialog = qobject_cast<EffectDialog *>(modal);
        ASSERT_NE(dialog, nullptr) << "expected the equalizer";
        QList<QSlider *> bands = dialog->findChildren<QSlider *>();
        ASSERT_GE(bands.size(), 10);
        for (QSlider *band : bands)
            band->setValue(band->minimum() + (band->maximum() - band->minimum()) / 4);
        snapshot("equalizer");
        QTest::mouseClick(dialog->preview->cmdOK, Qt::LeftButton);
    });
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuEQ));
    std::vector<float> afterEq = frames(doc, 0, pastedFrom, to - from);
    EXPECT_NE(afterEq, beforeEq) << "the equalizer changed the range";
    const int32_t equalizedLength = kvGetLength(doc);

    /* 5. Reverb on the same range: the sound grows by the tail. */
    kvSetSelection(doc, pastedFrom, equalizedLength, channel);
    onNextModal([this](QWidget *modal) {
        auto *dialog = qobject_cast<EffectDialog *>(modal);
        ASSERT_NE(dialog, nullptr) << "expected the reverb dialog";
        snapshot("reverb");
        QTest::mouseClick(dialog->preview->cmdOK, Qt::LeftButton);
    });
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuReverb));
    EXPECT_GT(kvGetLength(doc), equalizedLength) << "reverb adds its tail";
    snapshot("reverberated");

    /* 6. Undo one step: back to the equalized sound. */
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuUndo));
    ASSERT_EQ(kvGetLength(doc), equalizedLength);
    EXPECT_EQ(frames(doc, 0, pastedFrom, to - from), afterEq);
    snapshot("undone");

    /* 7. Play the selection on the test sound card to its end. */
    kvSetSelection(doc, pastedFrom, pastedFrom + 22050, channel);
    ASSERT_TRUE(document->runCommand(document->ui().mnuPlayback[6])) << "Play Normal";
    ASSERT_TRUE(waitUntil([] { return kvIsPlaying() != 0; }, 5000));
    snapshot("playing");
    ASSERT_TRUE(waitUntil([] { return kvIsPlaying() == 0; }, 20000));
    std::vector<KvStereoFrame> device = kvReadPlayedFrames(played);
    std::vector<float> selection = frames(doc, 0, pastedFrom, 22050);
    const size_t lead = 1024; /* the device starts on one buffer of silence */
    ASSERT_GE(device.size(), lead + selection.size());
    int32_t wrong = 0;
    for (size_t i = 0; i < selection.size(); i++)
        if (std::abs(device[lead + i][0] - selection[i] * 32768.0f) > 2.0f) wrong++;
    EXPECT_EQ(wrong, 0) << "the device played the selection";
    int32_t after = 0;
    for (size_t i = lead + selection.size(); i < device.size(); i++)
        if (device[i][0] != 0 || device[i][1] != 0) after++;
    EXPECT_EQ(after, 0) << "and nothing after it";

    /* 8. Save as MP3 through the save dialog. */
    const std::vector<float> saved = frames(doc, 0, 0, kvGetLength(doc));
    QString target = QString::fromStdString(path("session.mp3"));
    onNextModal([this, target](QWidget *modal) {
        auto *files = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(files, nullptr) << "expected the save dialog";
        auto *type = files->findChild<QComboBox *>("fileTypeCombo");
        ASSERT_NE(type, nullptr);
        int mp3 = type->findText("MPEG1 Layer-3 File (*.mp3)");
        ASSERT_GE(mp3, 0);
        type->setFocus();
        while (type->currentIndex() < mp3)
            QTest::keyClick(type, Qt::Key_Down);
        auto *codecs = files->findChild<QComboBox *>("ctl1005");
        ASSERT_NE(codecs, nullptr);
        EXPECT_TRUE(codecs->isEnabled()) << "the MP3 type offers its codecs";
        EXPECT_GT(codecs->count(), 0);
        auto *bitRates = files->findChild<QComboBox *>("ctl1006");
        ASSERT_NE(bitRates, nullptr);
        EXPECT_EQ(bitRates->currentText(), "Bitrate: 256 kbps")
            << "a WAVE sound has no bit rate: the dialog starts on a new document's";
        files->setDirectory(QFileInfo(target).absolutePath());
        files->findChild<QLineEdit *>("fileNameEdit")->setText(QFileInfo(target).fileName());
        snapshot("save-dialog");
        static_cast<QDialog *>(files)->accept();
    });
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuSaveAs));
    QFile written(target);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    QByteArray head = written.read(4);
    EXPECT_TRUE(head.startsWith("ID3") ||
                (head.size() > 1 && uint8_t(head[0]) == 0xFF && (uint8_t(head[1]) & 0xE0) == 0xE0))
        << "an MPEG file, not a WAVE file named .mp3";
    EXPECT_EQ(kvIsSaved(doc), 1);
    snapshot("saved");

    /* 9. Close with Ctrl+W, reopen the MP3 and compare. */
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    document->setFocus();
    QTest::keyClick(document, Qt::Key_W, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([this] { return frame->documents().isEmpty(); }, 5000));
    answerFileDialog(target);
    frame->mnuOpen_Click();
    frmMain *reopened = frame->activeDocument();
    ASSERT_NE(reopened, nullptr);
    snapshot("reopened");
    EXPECT_EQ(frame->statusField(2)->text(), "256k MP3") << "saved at the bit rate offered";
    int32_t reopenedLength = kvGetLength(reopened->ID);
    EXPECT_NEAR(reopenedLength, static_cast<int32_t>(saved.size()), 2304)
        << "MP3 frames round the length up to at most two frames";
    std::vector<float> back = frames(reopened->ID, 0, 0, reopenedLength);
    int32_t shift = 0;
    EXPECT_GT(bestCorrelation(saved, back, 1200, &shift), 0.95)
        << "the reopened sound is the saved one, shifted by " << shift;

    /* 10. Second copies hand files over: one killed at once, one with a
     * refused file that must not wait on the report, then a good one. */
    ASSERT_FALSE(mdlOtherCopyRunning()) << "this editor holds the instance lock";
    mdlMessageWindow messageWindow;
    QString error;
    int number = 0;
    ASSERT_TRUE(messageWindow.open(&error, &number)) << error.toStdString();
    QString program = QDir(QCoreApplication::applicationDirPath()).filePath("korvel");
    QProcess killed;
    killed.start(program, {QString::fromStdString(source)});
    ASSERT_TRUE(killed.waitForStarted(10000));
    killed.kill();
    killed.waitForFinished(5000);
    std::string refused = path("refused.wav");
    kvTestWriteFile(refused, std::string(5000, 'x'));
    auto ended = [](QProcess *copy) {
        return copy->state() == QProcess::NotRunning || copy->waitForFinished(5000);
    };
    QProcess sender;
    bool reported = false;
    onNextModal([&](QWidget *box) {
        snapshot("refused-hand-over");
        EXPECT_TRUE(ended(&sender)) << "the sender waits on the report";
        sender.kill();
        sender.waitForFinished(5000);
        settle(300);
        reported = true;
        QTest::mouseClick(qobject_cast<QMessageBox *>(box)->button(QMessageBox::Ok),
                          Qt::LeftButton);
    });
    sender.start(program, {QString::fromStdString(refused)});
    ASSERT_TRUE(waitUntil([&] { return reported; }, 20000)) << "the refused file was reported";
    settle(300);
    EXPECT_EQ(frame->documents().size(), 1);
    QProcess next;
    next.start(program, {QString::fromStdString(source)});
    ASSERT_TRUE(waitUntil([&] { return frame->documents().size() == 2; }, 20000))
        << "the editor took the next hand-over";
    EXPECT_TRUE(ended(&next));
}

/* True once a document record in a session folder under `workRoot` says
 * its document has changes since it was last saved. The record is replaced
 * whole, and only after the state it names is on disk. */
static bool editedOnDisk(const std::string &workRoot) {
    std::error_code failed;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(workRoot, failed)) {
        if (entry.path().extension() != ".doc") continue;
        KV_DocRecord record{};
        std::ifstream file(entry.path(), std::ios::binary);
        if (file.read(reinterpret_cast<char *>(&record), sizeof record) &&
            record.level != record.savedLevel)
            return true;
    }
    return false;
}

/* The real program, with a home of its own on this display, opens a file
 * and doubles it (select all, copy, jump to the end, paste; the
 * documentation's screenshot hook runs those commands) and is killed once
 * that edit is on disk. The next start's recovery window brings the sound
 * back, unsaved and under its file's name; saving it writes the doubled
 * sound. */
TEST_F(NewcomerSession, KilledWorkIsRestoredThroughTheRecoveryWindowSavedAndCompared) {
    ASSERT_NE(QGuiApplication::platformName(), "offscreen") << "this session runs under Xvfb";
    std::string source = writeWave("killed.wav", 1, 8000, ramp(4000), true);
    ASSERT_EQ(kvSetRegString(KV_HKEY_LOCAL_MACHINE, "Software\\Tervalin\\Korvel\\Install",
                             "First Run", "No", 0),
              0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
        std::string folder = path(name);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        environment.insert(name, QString::fromStdString(folder));
    }
    environment.insert("KORVEL_SCREENSHOT", QString::fromStdString(path("never-taken.png")));
    environment.insert("KORVEL_SCREENSHOT_DELAY_MS", "10000");
    environment.insert("KORVEL_SCREENSHOT_COMMANDS",
                       "mnuSelAll,mnuCopy,mnuPlayback(9),mnuPasteInsert");
    QProcess killed;
    killed.setProcessEnvironment(environment);
    killed.start(QDir(QCoreApplication::applicationDirPath()).filePath("korvel"),
                 {QString::fromStdString(source)});
    ASSERT_TRUE(killed.waitForStarted(10000));
    bool edited = waitUntil(
        [&] { return editedOnDisk(workRoot) || killed.state() == QProcess::NotRunning; }, 30000);
    ASSERT_TRUE(edited && killed.state() == QProcess::Running)
        << "the program's edit reached its working folder while it ran";
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(5000));
    ASSERT_EQ(killed.exitStatus(), QProcess::CrashExit);
    std::vector<float> expected = ramp(4000), once = expected;
    expected.insert(expected.end(), once.begin(), once.end());

    startFrame();
    bool shown = false;
    onNextModal([&](QWidget *modal) {
        auto *window = qobject_cast<frmRecover *>(modal);
        ASSERT_NE(window, nullptr) << "expected the recovery window";
        shown = true;
        snapshot("recovery-window");
        QPushButton *restore =
            window->findChildren<QPushButton *>(QRegularExpression("^cmdRestore")).value(0);
        ASSERT_NE(restore, nullptr);
        QTest::mouseClick(restore, Qt::LeftButton);
    });
    mdlOfferRecovery(frame.get());
    ASSERT_TRUE(shown);
    frmMain *document = frame->activeDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(kvIsSaved(document->ID), 0);
    EXPECT_EQ(document->FileName.toStdString(), source);
    snapshot("restored");
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuSave));
    EXPECT_NE(kvIsSaved(document->ID), 0);
    int32_t reopened = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(reopened, source.c_str()), 0);
    std::vector<float> saved(kvGetLength(reopened));
    kvReadFrames(reopened, 0, 0, static_cast<int32_t>(saved.size()), saved.data());
    kvClose(reopened);
    EXPECT_EQ(saved, expected);
}

/* SIGTERM (what a logout or shutdown sends) with a display asks about
 * unsaved work as closing the window does: Cancel keeps Korvel and the work,
 * No lets it close. */
TEST_F(NewcomerSession, TerminationSignalAsksAboutUnsavedWorkAsClosingDoes) {
    std::string source = writeWave("term.wav", 1, 8000, ramp(4000), true);
    startFrame();
    mdlWatchSessionEnd(frame.get());
    frmMain *document = frame->OpenNewFile(QString::fromStdString(source));
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 0, 100, -1);
    kvDelete(document->ID);
    mdlTestTakeShownBoxes();
    mdlTestQueueAnswer(QMessageBox::Cancel);
    raise(SIGTERM);
    settle(300);
    std::vector<MdlShownBox> boxes = mdlTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Confirm Exit");
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(kvGetLength(document->ID), 3900);
    mdlTestQueueAnswer(QMessageBox::No);
    raise(SIGTERM);
    settle(300);
    EXPECT_EQ(mdlTestTakeShownBoxes().size(), 1u);
    EXPECT_FALSE(frame->isVisible());
}
