/*
 * Playing without a sound device that can be opened: the engine's message
 * says what to do and offers the troubleshooting page, the status line says
 * "No audio output device", and an effect dialog's preview button comes back
 * to "Start" on its own.
 *
 * The test sound card takes 4000 Hz and more, so a sound at 1000 Hz is one
 * no device can play.
 */
#include "app/dialogs/ctl_preview.h"
#include "app/dialogs/frm_volume.h"
#include "app/dialogs/help_topics.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"
#include "tests/audio/test_device.h"
#include "tests/shell/shell_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>

class NoSoundDevice : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        kvUseTestAudioDevice(path("played.raw"));
        startFrame();
        /* As the frame's load does: the meter, which every stop blanks, is
         * this frame's and not one an earlier test destroyed. */
        kvSetVUParams(frame->findChild<QWidget *>("pVU"),
                      frame->findChild<QWidget *>("pVU")->width());
        /* After the engine's start, whose check of the stored records would
         * raise the rate to 4000 Hz. */
        options.skipNewFileDialog = 1;
        params.newSampleRate = 1000;
        params.newChannels = 1;
        params.newBitsPerSample = 16;
        params.newFormat = 1;
        frame->mnuNew_Click();
        document = frame->activeDocument();
        ASSERT_NE(document, nullptr);
        params.silenceAmount = 500;
        params.silenceUnit = 0;
        ASSERT_EQ(kvInsertSilence(document->ID), 0);
        ASSERT_GT(kvGetLength(document->ID), 0);
    }
    void TearDown() override {
        kvStop();
        ShellTest::TearDown();
    }
    static bool waitUntil(const std::function<bool()> &condition) {
        QElapsedTimer waited;
        waited.start();
        while (!condition()) {
            if (waited.elapsed() > 10000) return false;
            QApplication::processEvents();
            QThread::msleep(5);
        }
        return true;
    }

    frmMain *document = nullptr;
};

TEST_F(NoSoundDevice, APreviewSaysWhatToDoOffersHelpAndItsButtonComesBackToStart) {
    mdlMain.dialogDoc = document->ID;
    frmVolume volume(frame.get(), &params);
    volume.show();
    QString text;
    onNextModal([&text](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr) << "expected the engine's message";
        text = box->text();
        ASSERT_NE(box->button(QMessageBox::Yes), nullptr) << "help is offered";
        box->button(QMessageBox::Yes)->click();
    });
    QTest::mouseClick(volume.preview->cmdPreview, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&volume] { return !volume.preview->IsPreviewing(); }))
        << "the preview ended with the failure";
    EXPECT_EQ(volume.preview->cmdPreview->text(), "&Start");
    EXPECT_TRUE(text.startsWith("Can't open wave out device\n\n")) << text.toStdString();
    EXPECT_GT(text.indexOf("Use Default Output Device"), 0) << "and says what to do";
    std::vector<MdlHelpRequest> help = mdlTestTakeHelpRequests();
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0].topic, kvHelpNoSoundDevice);
    EXPECT_EQ(frame->statusField(5)->text(), "No audio output device");
    EXPECT_TRUE(frame->statusField(5)->isVisible());
}
