/*
 * Loudness Normalize and Noise Reduction opened from the document window's
 * menus: the target typed in the dialog is the loudness the sound ends up
 * with (so the record the dialog writes is the one the engine reads), and
 * Noise Reduction's OK only works once a profile is taken.
 */
#include "app/dialogs/frm_loudness.h"
#include "app/dialogs/frm_noise.h"
#include "tests/dialogs/effect_dialog_fixture.h"

#include <QDoubleSpinBox>
#include <QPushButton>
#include <QTest>
#include <cmath>

class RepairDialogTest : public EffectDialogTest {
  protected:
    void SetUp() override {
        EffectDialogTest::SetUp();
        startFrame();
        std::vector<float> chord(48000);
        for (size_t i = 0; i < chord.size(); i++)
            chord[i] = static_cast<float>(0.05 * std::sin(0.02 * i) + 0.03 * std::sin(0.3 * i));
        document = openDocument(writeWave("repair.wav", 1, 48000, chord, true));
        ASSERT_NE(document, nullptr);
        doc = document->ID;
    }
    int32_t undoLevel() const { return kvGetUndoLevel(doc); }
};

TEST_F(RepairDialogTest, LoudnessNormalizeReachesTheTargetTypedInTheDialog) {
    int32_t before = undoLevel();
    answerDialog<frmLoudnessNormalize>(
        [](frmLoudnessNormalize *dialog) { dialog->spnTarget->setValue(-20.0); }, true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuLoudnessNormalize));
    ASSERT_EQ(undoLevel(), before + 1);
    KV_Loudness after{};
    kvSetSelection(doc, 0, 0, -1);
    ASSERT_EQ(kvMeasureLoudness(doc, &after, sizeof after), 0);
    EXPECT_NEAR(after.integratedLufs, -20.0, 0.1);
}

TEST_F(RepairDialogTest, NoiseReductionRunsOnlyOnceAProfileIsTaken) {
    int32_t before = undoLevel();
    answerDialog<frmNoiseReduction>(
        [](frmNoiseReduction *dialog) {
            EXPECT_FALSE(dialog->preview->cmdOK->isEnabled());
            QTest::mouseClick(dialog->cmdGetProfile, Qt::LeftButton);
            EXPECT_TRUE(dialog->preview->cmdOK->isEnabled());
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuNoiseReduction));
    EXPECT_EQ(undoLevel(), before + 1);
    char label[40] = {};
    kvGetUndoText(doc, undoLevel(), label);
    EXPECT_STREQ(label, "Noise Reduction");
}
