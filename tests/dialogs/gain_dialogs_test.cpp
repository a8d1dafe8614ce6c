/*
 * The volume, normalize, edge-fade and paste-mix dialogs, opened from the
 * document window's menus on a real document: what they read and write in
 * KV_Params, and that OK runs the edit once while Cancel runs none.
 */
#include "app/dialogs/frm_mute.h"
#include "app/dialogs/frm_paste_mix.h"
#include "app/dialogs/frm_volume.h"
#include "app/shell/mdl_main.h"
#include "tests/dialogs/effect_dialog_fixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <cmath>

class GainDialogTest : public EffectDialogTest {
  protected:
    void SetUp() override {
        EffectDialogTest::SetUp();
        startFrame();
        std::string file = writeWave("gain.wav", 1, 8000, ramp(8000), true);
        document = openDocument(file);
        ASSERT_NE(document, nullptr);
        doc = document->ID;
        levelBefore = kvGetUndoLevel(doc);
        peakBefore = peakOf(doc);
    }

    int32_t levelBefore = 0;
    float peakBefore = 0;
};

TEST_F(GainDialogTest, VolumeSliderWritesDecibelsAndOkAppliesThemOnce) {
    params.volumeDb = -3;
    int opened = 0;
    answerDialog<frmVolume>(
        [&opened, this](frmVolume *volume) {
            opened = volume->sldVolume->value();
            EXPECT_EQ(volume->windowTitle(), "Change Volume");
            EXPECT_FALSE(volume->lblPeak->isVisible());
            volume->sldVolume->setValue(6);
            EXPECT_EQ(params.volumeDb, 6);
            EXPECT_EQ(volume->spnVolume->value(), 6);
            EXPECT_EQ(volume->lblPercent->text(), "200.0%");
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuVolume));
    EXPECT_EQ(opened, -3);
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_FLOAT_EQ(peakOf(doc), peakBefore * 2);
}

TEST_F(GainDialogTest, VolumeCancelOrZeroDecibelsChangesNothing) {
    answerDialog<frmVolume>([](frmVolume *volume) { volume->sldVolume->setValue(12); }, false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuVolume));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore);
    answerDialog<frmVolume>([](frmVolume *volume) { volume->sldVolume->setValue(0); }, true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuVolume));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore);
    EXPECT_FLOAT_EQ(peakOf(doc), peakBefore);
}

TEST_F(GainDialogTest, DoubleClickPutsTheVolumeBackToZero) {
    params.volumeDb = 9;
    mdlMain.dialogDoc = doc;
    frmVolume volume(frame.get(), &params);
    volume.show();
    QTest::mouseDClick(volume.sldVolume, Qt::LeftButton);
    EXPECT_EQ(volume.sldVolume->value(), 0);
    EXPECT_EQ(params.volumeDb, 0);
    EXPECT_EQ(volume.lblPercent->text(), "100.0%");
}

TEST_F(GainDialogTest, NormalizeOffersMinusThePeakAndRaisesItToFullScale) {
    int32_t peak = kvScanMax(doc);
    answerDialog<frmVolume>(
        [peak, this](frmVolume *normalize) {
            EXPECT_EQ(normalize->windowTitle(), "Normalize Volume");
            EXPECT_EQ(normalize->lblPeak->text(),
                      "Peak Level Found: " + QString::number(peak) + " dB");
            normalize->sldVolume->setValue(6);
            EXPECT_EQ(params.normalizeDb, 6);
            EXPECT_EQ(params.volumeDb, 0);
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuMaximize));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_FLOAT_EQ(peakOf(doc), peakBefore * 2);
}

TEST_F(GainDialogTest, TheNumberBoxAndTheSliderShowOneLevel) {
    mdlMain.dialogDoc = doc;
    params.volumeDb = 0;
    frmVolume volume(frame.get(), &params);
    volume.spnVolume->setValue(-7);
    EXPECT_EQ(volume.sldVolume->value(), -7);
    EXPECT_EQ(params.volumeDb, -7);
    volume.sldVolume->setValue(5);
    EXPECT_EQ(volume.spnVolume->value(), 5);
    EXPECT_EQ(volume.spnVolume->suffix(), " dB");
}

/* Normalize opens on the gain that brings the peak to -1 dBFS, and a
 * target chosen lower lowers the gain by as many dB. */
TEST_F(GainDialogTest, NormalizeAimsAtTheTargetPeakLevel) {
    mdlMain.dialogDoc = doc;
    const int32_t fullScale = 10;
    params.normalizeDb = fullScale;
    frmVolume normalize(frame.get(), &params, true, -fullScale);
    EXPECT_EQ(normalize.spnTarget->value(), -1);
    EXPECT_EQ(params.normalizeDb, fullScale - 1);
    normalize.spnTarget->setValue(-4);
    EXPECT_EQ(params.normalizeDb, fullScale - 4);
    EXPECT_EQ(normalize.sldVolume->value(), fullScale - 4);
}

TEST_F(GainDialogTest, MuteAndReverseGoThroughTheFadeEdgesDialog) {
    kvSetSelection(doc, 1000, 3000, -1);
    answerDialog<frmMute>(
        [](frmMute *fade) {
            EXPECT_EQ(fade->windowTitle(), "Fade Edges");
            EXPECT_FALSE(fade->preview->fraPreview->isVisible());
            fade->preview->chkFade->setChecked(false);
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuMute));
    EXPECT_EQ(params.fadeEdges, 0);
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_EQ(sampleAt(1000), 0.0f);
    EXPECT_EQ(sampleAt(2999), 0.0f);
    EXPECT_NE(sampleAt(999), 0.0f);

    kvSetSelection(doc, 4000, 6000, -1);
    float first = sampleAt(4000), last = sampleAt(5999);
    answerDialog<frmMute>([](frmMute *) {}, false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuReverse));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    answerDialog<frmMute>([](frmMute *) {}, true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuReverse));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 2);
    EXPECT_EQ(sampleAt(4000), last);
    EXPECT_EQ(sampleAt(5999), first);
}

TEST_F(GainDialogTest, PasteMixAddsTheClipboardAtTheChosenLevel) {
    kvSetSelection(doc, 0, 100, -1);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuCopy));
    kvSetSelection(doc, 0, 0, -1);
    float before = sampleAt(50);
    params.pasteMixDb = 4;
    answerDialog<frmPasteMix>(
        [this](frmPasteMix *mix) {
            EXPECT_EQ(mix->sldLevel->value(), 4);
            mix->sldLevel->setValue(-6);
            EXPECT_EQ(params.pasteMixDb, -6);
            EXPECT_EQ(mix->lblPercent->text(), "50.0%");
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuPasteMix));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_FLOAT_EQ(sampleAt(50), before * 1.5f);
}
