/*
 * The recording window on the test sound card: the states its buttons and
 * lists go through, keeping a take when it closes while recording, and the
 * Rec button that opens it on a new document when none is open.
 */
#include "app/dialogs/frm_record.h"
#include "tests/audio/test_device.h"
#include "tests/shell/shell_fixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <fstream>

class RecordWindow : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        kvUseTestAudioDevice(path("played.raw"));
        std::string input = path("input.raw");
        setenv("KV_TEST_AUDIO_IN", input.c_str(), 1);
        /* Ten seconds of a quiet constant signal on both inputs. */
        std::ofstream(input, std::ios::binary) << std::string(44100 * 4 * 10, '\x10');
        options.recordAutoStart = 0;
        options.mixerPanelOpen = 0;
        options.recordMode = 0;
        startFrame();
    }

    /* Standing by: everything but Stop is available. */
    static void expectStandingBy(frmRecord &window) {
        EXPECT_EQ(window.lStatus->text(), "Standing By");
        EXPECT_EQ(window.windowTitle(), "Standing By");
        EXPECT_TRUE(window.cmdStart->isEnabled());
        EXPECT_TRUE(window.cmdPlay->isEnabled());
        EXPECT_FALSE(window.cmdStop->isEnabled());
        EXPECT_TRUE(window.cmbDevice->isEnabled());
        EXPECT_TRUE(window.cmbRecMode->isEnabled());
    }
    /* Recording or playing: only Stop, and no list. */
    static void expectBusy(frmRecord &window, const char *status) {
        EXPECT_EQ(window.lStatus->text(), status);
        EXPECT_EQ(window.windowTitle(), status);
        EXPECT_FALSE(window.cmdStart->isEnabled());
        EXPECT_FALSE(window.cmdPlay->isEnabled());
        EXPECT_TRUE(window.cmdStop->isEnabled());
        EXPECT_FALSE(window.cmbDevice->isEnabled());
        EXPECT_FALSE(window.cmbRecMode->isEnabled());
        EXPECT_FALSE(window.lblDevice->isEnabled());
    }
};

TEST_F(RecordWindow, ButtonsAndListsFollowRecordStopPlayAndTheEndOfPlayback) {
    frmMain *document = openDocument(writeWave("short.wav", 2, 44100, ramp(2000), false));
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 2000, 2000, -1);
    frmRecord window(frame.get(), &options, document->ID, frame->timeField(3));
    window.show();
    expectStandingBy(window);
    EXPECT_EQ(window.lTime->text(), "00:00.000");
    EXPECT_EQ(window.cmbRecMode->count(), 2);
    EXPECT_EQ(window.cmbRecMode->itemText(0), "Insert at End of Selection");
    ASSERT_GT(window.cmbDevice->count(), 0);
    EXPECT_TRUE(window.cmbDevice->itemText(0).startsWith("ID 0: "));

    window.cmdStart->click();
    expectBusy(window, "Recording");
    QTest::qWait(600);
    EXPECT_NE(window.lTime->text(), "00:00.000");
    window.cmdPlay->click();
    EXPECT_EQ(window.lStatus->text(), "Recording");
    window.cmdStop->click();
    expectStandingBy(window);
    int32_t length = kvGetLength(document->ID);
    EXPECT_GT(length, 2000 + 44100 / 4);
    char label[40] = "";
    kvGetUndoText(document->ID, kvGetUndoLevel(document->ID), label);
    EXPECT_STREQ(label, "Record");

    kvSetSelection(document->ID, length - 4410, length - 4410, -1);
    window.cmdPlay->click();
    expectBusy(window, "Playing");
    window.cmdStart->click();
    EXPECT_EQ(window.lStatus->text(), "Playing");
    EXPECT_EQ(kvGetLength(document->ID), length);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.lStatus->text() == "Standing By"; }, 5000));
    expectStandingBy(window);
    EXPECT_EQ(kvIsPlaying(), 0);
    window.cmdDone->click();
}

TEST_F(RecordWindow, ClosingWhileRecordingKeepsTheTakeAndAutoStartRecordsAtOnce) {
    frmMain *document = openDocument(writeWave("short.wav", 1, 44100, ramp(1000), false));
    ASSERT_NE(document, nullptr);
    options.recordAutoStart = 1;
    int32_t level = kvGetUndoLevel(document->ID);
    {
        frmRecord window(frame.get(), &options, document->ID, frame->timeField(3));
        window.show();
        EXPECT_EQ(window.lStatus->text(), "Recording");
        QTest::qWait(400);
        window.close();
    }
    EXPECT_EQ(kvGetUndoLevel(document->ID), level + 1);
    EXPECT_GT(kvGetLength(document->ID), 1000);
    EXPECT_EQ(kvIsPlaying(), 0);
}

TEST_F(RecordWindow, ModeAndDeviceChoicesAreStoredAndTheMixerPanelFallsBack) {
    frmMain *document = openDocument(writeWave("short.wav", 1, 44100, ramp(1000), false));
    ASSERT_NE(document, nullptr);
    frmRecord window(frame.get(), &options, document->ID, frame->timeField(3));
    window.show();
    window.cmbRecMode->setCurrentIndex(1);
    EXPECT_EQ(options.recordMode, 1);
    int32_t last = window.cmbDevice->count() - 1;
    window.cmbDevice->setCurrentIndex(last);
    EXPECT_EQ(options.recordDevice, last);
    EXPECT_TRUE(window.isEnabled());

    EXPECT_FALSE(window.fraMixer->isVisible());
    window.cmdMixer->click();
    EXPECT_EQ(options.mixerPanelOpen, 1);
    EXPECT_EQ(window.cmdMixer->text(), "&Mixer <<");
    EXPECT_TRUE(window.fraMixer->isVisible());
    QString device = window.cmbDevice->currentText().section(": ", 1);
    EXPECT_EQ(window.fraMixer->title(), "No Mixer for " + device);
    window.cmdMixer->click();
    EXPECT_EQ(options.mixerPanelOpen, 0);
    EXPECT_EQ(window.cmdMixer->text(), "&Mixer >>");

    options.recTimeSize = 1;
    window.applyTimeLook();
    EXPECT_GT(window.lTime->font().pointSizeF(), window.font().pointSizeF());
    window.cmdDone->click();
}

TEST_F(RecordWindow, RecButtonOpensTheWindowOnANewDocumentWhenNoneIsOpen) {
    options.skipNewFileDialog = 1;
    QAction *rec = frame->ui().TBPlayback.Rec;
    ASSERT_NE(rec, nullptr);
    frame->UpdateToolbar();
    EXPECT_TRUE(rec->isEnabled());
    QString opened;
    onNextModal([&](QWidget *modal) {
        opened = modal->objectName();
        qobject_cast<frmRecord *>(modal)->cmdDone->click();
    });
    rec->trigger();
    EXPECT_EQ(opened, "frmRecord");
    ASSERT_NE(frame->activeDocument(), nullptr);
    EXPECT_GE(frame->activeDocument()->ID, 0);
}

/* Without an input device the empty list says so, and the window says what
 * to do; with one, neither shows. */
TEST_F(RecordWindow, AnEmptyDeviceListSaysWhyAndWhatToDo) {
    frmMain *document = openDocument(writeWave("short.wav", 1, 44100, ramp(1000), false));
    ASSERT_NE(document, nullptr);
    for (int32_t devices : {0, 1}) {
        SCOPED_TRACE(devices);
        frmRecord::deviceCountCall = [devices](int32_t input) {
            return input ? std::min(devices, kvGetDeviceCount(1)) : kvGetDeviceCount(0);
        };
        frmRecord window(frame.get(), &options, document->ID, frame->timeField(3));
        window.show();
        EXPECT_EQ(window.cmbDevice->count(), devices);
        EXPECT_EQ(window.cmbDevice->placeholderText().toStdString(),
                  devices ? "" : "No audio input device");
        EXPECT_EQ(window.lblNoDevice->isVisible(), devices == 0);
        EXPECT_EQ(window.lblNoDevice->text().contains("Connect a microphone"), devices == 0);
        window.cmdDone->click();
    }
    frmRecord::deviceCountCall = kvGetDeviceCount;
}
