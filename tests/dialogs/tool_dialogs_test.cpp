/*
 * The compressor, distortion, tone generator and time-and-pitch dialogs,
 * opened from the document window's menus on a real document: what they
 * read from and write to KV_Params and in which unit, their transfer curve
 * and size read-outs, and that OK runs the edit once while Cancel runs none.
 */
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/frm_compressor.h"
#include "app/dialogs/frm_distortion.h"
#include "app/dialogs/frm_generate.h"
#include "app/dialogs/frm_pitch.h"
#include "app/dialogs/help_topics.h"
#include "app/shell/mdl_main.h"
#include "tests/dialogs/effect_dialog_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <utility>
#include <vector>

namespace {

double gainOf(int db) {
    return std::pow(1.122462048309373, db);
}

QColor colorOf(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

} // namespace

class ToolDialogTest : public EffectDialogTest {
  protected:
    void SetUp() override {
        EffectDialogTest::SetUp();
        startFrame();
        std::string file = writeWave("tool.wav", 1, 8000, ramp(8000), true);
        document = openDocument(file);
        ASSERT_NE(document, nullptr);
        doc = document->ID;
        levelBefore = kvGetUndoLevel(doc);
        lengthBefore = kvGetLength(doc);
        peakBefore = peakOf(doc);
        previewCalls.clear();
        ctlPreview::previewStartCall = [this](int32_t d, int32_t kind) {
            previewCalls.emplace_back(d, kind);
            return 0;
        };
        ctlPreview::previewStopCall = [this] {
            previewCalls.emplace_back(-1, -1);
            return 0;
        };
    }
    void TearDown() override {
        ctlPreview::previewStartCall = kvPreviewStart;
        ctlPreview::previewStopCall = kvStop;
        EffectDialogTest::TearDown();
    }
    /* Types `text` into an editable list and leaves it, as the user would. */
    static void typeInto(QComboBox *list, const QString &text) {
        list->lineEdit()->clear();
        QTest::keyClicks(list->lineEdit(), text);
    }
    static void leave(QComboBox *list) { emit list->lineEdit()->editingFinished(); }

    int32_t levelBefore = 0;
    int32_t lengthBefore = 0;
    float peakBefore = 0;
    std::vector<std::pair<int32_t, int32_t>> previewCalls;
};

/* ---- Compressor/Limiter ---- */

TEST_F(ToolDialogTest, CompressorOpensOnTheRecordAndShowsEachUnit) {
    params.compThresholdDb = -20;
    params.compHardClipDb = -3;
    params.compRatio = 4;
    params.compAttack = 35;
    params.compRelease = 25;
    params.compGainDb = 6;
    params.compEnhance = 7;
    params.compSoftKnee = 0;
    params.compSideChain = 1;
    params.compOversample = 1;
    mdlMain.dialogDoc = doc;
    frmCompressor compressor(frame.get(), &params);
    EXPECT_EQ(compressor.windowTitle(), "Compressor/Limiter");
    EXPECT_EQ(compressor.sldThreshold->value(), -20);
    EXPECT_EQ(compressor.lblThreshold->text(), "-20 dB");
    EXPECT_EQ(compressor.sldHardClip->value(), -3);
    EXPECT_EQ(compressor.lblRatio->text(), "4:1");
    EXPECT_EQ(compressor.lblAttack->text(), "3.5 ms");
    EXPECT_EQ(compressor.lblRelease->text(), "250 ms");
    EXPECT_EQ(compressor.lblGain->text(), "6 dB");
    EXPECT_EQ(compressor.lblEnhance->text(), "7");
    EXPECT_FALSE(compressor.chkSoftKnee->isChecked());
    EXPECT_TRUE(compressor.chkSideChain->isChecked());
    EXPECT_TRUE(compressor.chkOversample->isChecked());
    EXPECT_TRUE(compressor.preview->cmdHelp->isEnabled());

    EXPECT_ENGINE_RANGE(compressor.sldThreshold, compThresholdDb);
    EXPECT_EQ(compressor.sldRatio->minimum(), 1);
    EXPECT_EQ(compressor.sldRatio->maximum(), 100);
    EXPECT_ENGINE_RANGE(compressor.sldAttack, compAttack);
    EXPECT_ENGINE_RANGE(compressor.sldRelease, compRelease);
    EXPECT_ENGINE_RANGE(compressor.sldGain, compGainDb);
    EXPECT_ENGINE_RANGE(compressor.sldEnhance, compEnhance);
}

TEST_F(ToolDialogTest, CompressorControlsWriteTheirFieldsInTheRecordsUnits) {
    mdlMain.dialogDoc = doc;
    frmCompressor compressor(frame.get(), &params);
    compressor.sldAttack->setValue(125);
    EXPECT_EQ(params.compAttack, 125);
    EXPECT_EQ(compressor.lblAttack->text(), "12.5 ms");
    compressor.sldRelease->setValue(7);
    EXPECT_EQ(params.compRelease, 7);
    EXPECT_EQ(compressor.lblRelease->text(), "70 ms");
    compressor.sldRatio->setValue(100);
    EXPECT_EQ(params.compRatio, 100);
    EXPECT_EQ(compressor.lblRatio->text(), "inf:1");
    compressor.sldRatio->setValue(2);
    EXPECT_EQ(params.compRatio, 2);
    compressor.sldThreshold->setValue(-30);
    EXPECT_EQ(params.compThresholdDb, -30);
    compressor.sldGain->setValue(0);
    EXPECT_EQ(params.compGainDb, 0);
    compressor.chkSoftKnee->setChecked(true);
    EXPECT_EQ(params.compSoftKnee, 1);
    compressor.chkOversample->setChecked(false);
    EXPECT_EQ(params.compOversample, 0);
}

TEST_F(ToolDialogTest, OneWheelNotchMovesACompressorSliderOneStoredStep) {
    params.compAttack = 30;
    mdlMain.dialogDoc = doc;
    frmCompressor compressor(frame.get(), &params);
    compressor.show();
    QSlider *slider = compressor.sldAttack;
    QPointF centre = QPointF(slider->width() / 2.0, slider->height() / 2.0);
    QWheelEvent notch(centre, slider->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &notch);
    EXPECT_EQ(std::abs(params.compAttack - 30), 1);
    EXPECT_EQ(params.compAttack, slider->value());
}

TEST_F(ToolDialogTest, CompressorOpensAStoredRatioOfZeroAsInfiniteNotOneToOne) {
    params.compRatio = 0;
    mdlMain.dialogDoc = doc;
    frmCompressor compressor(frame.get(), &params);
    EXPECT_EQ(compressor.sldRatio->value(), 100);
    EXPECT_EQ(compressor.lblRatio->text(), "inf:1");
    EXPECT_EQ(params.compRatio, 100);
}

TEST_F(ToolDialogTest, CompressorPresetsHoldItsFortyBytesAndReloadTheControls) {
    KV_Params stored = params;
    stored.compThresholdDb = -33;
    stored.compOversample = 0;
    stored.echoFeedbackRtoLDb = -40;
    ASSERT_EQ(kvSavePreset("Compressor", "Hard", &stored.compThresholdDb, 40), 0);
    params.echoFeedbackRtoLDb = -1;
    mdlMain.dialogDoc = doc;
    frmCompressor compressor(frame.get(), &params);
    compressor.presets->refresh();
    ASSERT_EQ(compressor.presets->loadEntries.size(), 1);
    compressor.presets->loadPreset(0);
    EXPECT_EQ(compressor.sldThreshold->value(), -33);
    EXPECT_EQ(compressor.lblThreshold->text(), "-33 dB");
    EXPECT_FALSE(compressor.chkOversample->isChecked());
    EXPECT_EQ(params.echoFeedbackRtoLDb, -1);
}

TEST_F(ToolDialogTest, CompressorPreviewsEditNine) {
    mdlMain.dialogDoc = doc;
    frmCompressor compressor(frame.get(), &params);
    compressor.show();
    QTest::mouseClick(compressor.preview->cmdPreview, Qt::LeftButton);
    ASSERT_EQ(previewCalls.size(), 1u);
    EXPECT_EQ(previewCalls[0], (std::pair<int32_t, int32_t>(doc, KV_EDIT_COMPRESSOR)));
}

TEST_F(ToolDialogTest, CompressorOkRunsTheEditOnceAndCancelNone) {
    params.compHardClipDb = -9;
    answerDialog<frmCompressor>([](frmCompressor *compressor) { compressor->sldGain->setValue(0); },
                                false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuComp));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore);
    EXPECT_FLOAT_EQ(peakOf(doc), peakBefore);

    answerDialog<frmCompressor>([](frmCompressor *compressor) { compressor->sldGain->setValue(0); },
                                true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuComp));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    char text[40] = {};
    kvGetUndoText(doc, kvGetUndoLevel(doc), text);
    EXPECT_STREQ(text, "Compressor/Limiter");
    EXPECT_LE(peakOf(doc), gainOf(-9) + 1e-6);
}

/* ---- Distortion ---- */

TEST_F(ToolDialogTest, DistortionOpensOnTheRecordAndKeepsTheThresholdSixDbBelowTheClip) {
    params.distHighClipDb = -20;
    params.distLowThresholdDb = -40;
    mdlMain.dialogDoc = doc;
    frmDistortion distortion(frame.get(), &params, &options);
    EXPECT_EQ(distortion.windowTitle(), "Distortion");
    EXPECT_EQ(distortion.sldHighClip->value(), -20);
    EXPECT_EQ(distortion.sldLowThreshold->value(), -40);
    EXPECT_EQ(distortion.lblHighClip->text(), "-20 dB");
    EXPECT_ENGINE_RANGE(distortion.sldHighClip, distHighClipDb);
    EXPECT_ENGINE_RANGE(distortion.sldLowThreshold, distLowThresholdDb);

    distortion.sldHighClip->setValue(-44);
    EXPECT_EQ(params.distHighClipDb, -44);
    EXPECT_EQ(params.distLowThresholdDb, -50);
    EXPECT_EQ(distortion.sldLowThreshold->value(), -50);
    EXPECT_EQ(distortion.lblLowThreshold->text(), "-50 dB");

    distortion.sldLowThreshold->setValue(-10);
    EXPECT_EQ(params.distLowThresholdDb, -50);
    EXPECT_EQ(distortion.sldLowThreshold->value(), -50);
    distortion.sldLowThreshold->setValue(-70);
    EXPECT_EQ(params.distLowThresholdDb, -70);
}

TEST_F(ToolDialogTest, DistortionOpeningRepairsAThresholdAboveTheClip) {
    params.distHighClipDb = -30;
    params.distLowThresholdDb = -12;
    mdlMain.dialogDoc = doc;
    frmDistortion distortion(frame.get(), &params, &options);
    EXPECT_EQ(params.distLowThresholdDb, -36);
    EXPECT_EQ(distortion.sldLowThreshold->value(), -36);
}

TEST_F(ToolDialogTest, DistortionCurveIsDrawnInTheColourTableAndFollowsTheLevels) {
    options.colors[0] = 0x102030;
    options.colors[1] = 0x00FF00;
    options.colors[2] = 0x808080;
    params.distHighClipDb = -12;
    params.distLowThresholdDb = -96;
    mdlMain.dialogDoc = doc;
    frmDistortion distortion(frame.get(), &params, &options);
    distortion.picCurve->setFixedSize(161, 161);
    const int right = 160, bottom = 160;
    QColor curve = colorOf(options.colors[1]);
    /* The rows of column `column` painted in the curve colour. */
    auto curveRows = [&](int column) {
        QImage image = distortion.picCurve->grab().toImage();
        std::vector<int> rows;
        for (int row = 0; row <= bottom; row++)
            if (image.pixelColor(column, row) == curve) rows.push_back(row);
        return rows;
    };
    auto rowFor = [&](double output) {
        return static_cast<int>(std::lround((1.0 - output) * 0.5 * bottom));
    };
    QImage image = distortion.picCurve->grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 5), colorOf(options.colors[0]));
    EXPECT_EQ(image.pixelColor(right / 4, 5), colorOf(options.colors[2]));

    const int loud = 152; /* input 0.9 */
    std::vector<int> rows = curveRows(loud);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), rowFor(gainOf(-12)), 1);
    EXPECT_NEAR(rows.back(), rowFor(gainOf(-12)), 1);

    distortion.sldHighClip->setValue(0);
    rows = curveRows(loud);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), rowFor(0.9), 1);

    const int quiet = 84; /* input 0.05, passed through while the gate is off */
    rows = curveRows(quiet);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), rowFor(0.05), 1);
    distortion.sldLowThreshold->setValue(-12);
    rows = curveRows(quiet);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.front(), rowFor(0.0), 1);
    EXPECT_NEAR(rows.back(), rowFor(0.0), 1);
}

TEST_F(ToolDialogTest, DistortionOkClipsOnceAndCancelChangesNothing) {
    params.distHighClipDb = 0;
    params.distLowThresholdDb = -96;
    answerDialog<frmDistortion>(
        [](frmDistortion *distortion) { distortion->sldHighClip->setValue(-12); }, false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuDistortion));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore);
    EXPECT_FLOAT_EQ(peakOf(doc), peakBefore);

    answerDialog<frmDistortion>(
        [this](frmDistortion *distortion) {
            EXPECT_EQ(distortion->sldHighClip->value(), -12);
            EXPECT_TRUE(distortion->preview->cmdHelp->isEnabled());
            QTest::mouseClick(distortion->preview->cmdPreview, Qt::LeftButton);
            EXPECT_EQ(previewCalls.at(0), (std::pair<int32_t, int32_t>(doc, KV_EDIT_DISTORTION)));
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuDistortion));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_NEAR(peakOf(doc), gainOf(-12), 1e-6);
}

/* ---- Tone generator ---- */

TEST_F(ToolDialogTest, ToneGeneratorOpensOnTheRecord) {
    params.toneVolumeDb = -10;
    params.toneStartHz = 440;
    params.toneEndHz = 880;
    params.toneSweep = 1;
    params.toneWaveform = 2;
    params.toneLength = 250;
    params.toneLengthUnit = 0;
    mdlMain.dialogDoc = doc;
    frmGenerate tone(frame.get(), &params);
    EXPECT_EQ(tone.windowTitle(), "Tone Generator");
    EXPECT_EQ(tone.sldVolume->value(), -10);
    EXPECT_ENGINE_RANGE(tone.sldVolume, toneVolumeDb);
    EXPECT_EQ(tone.lblVolume->text(), "-10 dB");
    EXPECT_EQ(tone.cmbStartHz->currentText(), "440");
    EXPECT_EQ(tone.cmbEndHz->currentText(), "880");
    EXPECT_TRUE(tone.chkSweep->isChecked());
    EXPECT_TRUE(tone.cmbEndHz->isEnabled());
    EXPECT_EQ(tone.cmbWaveform->currentText(), "Linear Triangle");
    EXPECT_EQ(tone.cmbLength->currentText(), "250");
    EXPECT_EQ(tone.cmbUnit->currentText(), "Milliseconds");
    EXPECT_FALSE(tone.preview->chkFade->isVisibleTo(&tone));
    QStringList waveforms;
    for (int i = 0; i < tone.cmbWaveform->count(); i++)
        waveforms << tone.cmbWaveform->itemText(i);
    EXPECT_EQ(waveforms, QStringList({"Sinusoid", "Sawtooth", "Linear Triangle", "Square"}));
}

TEST_F(ToolDialogTest, ToneFrequenciesAreLimitedToTenHzAndHalfTheRateAndLengthToOne) {
    mdlMain.dialogDoc = doc;
    frmGenerate tone(frame.get(), &params);
    typeInto(tone.cmbStartHz, "1234");
    EXPECT_EQ(params.toneStartHz, 1234);
    typeInto(tone.cmbStartHz, "6000");
    EXPECT_EQ(params.toneStartHz, 4000);
    leave(tone.cmbStartHz);
    EXPECT_EQ(tone.cmbStartHz->currentText(), "4000");
    tone.chkSweep->setChecked(true);
    typeInto(tone.cmbEndHz, "3");
    EXPECT_EQ(params.toneEndHz, 10);
    EXPECT_EQ(params.toneSweep, 1);
    tone.cmbEndHz->setCurrentIndex(tone.cmbEndHz->findText("500"));
    emit tone.cmbEndHz->textActivated("500");
    EXPECT_EQ(params.toneEndHz, 500);
    typeInto(tone.cmbLength, "0");
    EXPECT_EQ(params.toneLength, 1);
    leave(tone.cmbLength);
    EXPECT_EQ(tone.cmbLength->currentText(), "1");
    tone.cmbUnit->setCurrentIndex(2);
    EXPECT_EQ(params.toneLengthUnit, 2);
    typeInto(tone.cmbLength, "90");
    EXPECT_EQ(params.toneLength, 60) << "an hour at most";
    tone.cmbUnit->setCurrentIndex(1);
    typeInto(tone.cmbLength, "90");
    EXPECT_EQ(params.toneLength, 90) << "90 seconds are fine";
    tone.cmbUnit->setCurrentIndex(0);
    typeInto(tone.cmbLength, "5000000");
    EXPECT_EQ(params.toneLength, 3600000);
    tone.cmbUnit->setCurrentIndex(2);
    EXPECT_EQ(params.toneLength, 60) << "changing the unit keeps the length within the hour";
    EXPECT_EQ(tone.cmbLength->currentText(), "60");
    tone.cmbWaveform->setCurrentIndex(3);
    EXPECT_EQ(params.toneWaveform, 3);
    tone.sldVolume->setValue(12);
    EXPECT_EQ(params.toneVolumeDb, 12);
}

TEST_F(ToolDialogTest, ToneOkInsertsTheToneAtTheCursorOnceAndCancelNothing) {
    params.toneLength = 100;
    params.toneLengthUnit = 0;
    params.toneWaveform = 3;
    params.toneVolumeDb = 0;
    params.toneSweep = 0;
    params.toneStartHz = 1000;
    kvSetSelection(doc, 1000, 1000, -1);
    float before = sampleAt(999), after = sampleAt(1000);
    answerDialog<frmGenerate>([](frmGenerate *) {}, false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuToneGenerator));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore);
    EXPECT_EQ(kvGetLength(doc), lengthBefore);

    answerDialog<frmGenerate>(
        [this](frmGenerate *tone) {
            QTest::mouseClick(tone->preview->cmdPreview, Qt::LeftButton);
            EXPECT_EQ(previewCalls.at(0), (std::pair<int32_t, int32_t>(doc, KV_EDIT_TONE)));
            EXPECT_EQ(kvIsSel(doc), 0);
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuToneGenerator));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_EQ(kvGetLength(doc), lengthBefore + 800);
    EXPECT_EQ(sampleAt(999), before);
    EXPECT_FLOAT_EQ(std::fabs(sampleAt(1000)), 1.0f);
    EXPECT_FLOAT_EQ(std::fabs(sampleAt(1799)), 1.0f);
    EXPECT_EQ(sampleAt(1800), after);
}

/* ---- Time and pitch ---- */

TEST_F(ToolDialogTest, PitchOpensOnTheRecordWithoutAnOwner) {
    params.pitchStart = 150;
    params.pitchEnd = 75;
    params.pitchDynamic = 1;
    params.pitchMode = 2;
    answerDialog<frmPitch>(
        [](frmPitch *pitch) {
            EXPECT_EQ(pitch->parentWidget(), nullptr);
            EXPECT_EQ(pitch->sldStart->value(), 150);
            EXPECT_EQ(pitch->sldEnd->value(), 75);
            EXPECT_EQ(pitch->lblStart->text(), "150%");
            EXPECT_TRUE(pitch->chkDynamic->isChecked());
            EXPECT_TRUE(pitch->sldEnd->isEnabled());
            EXPECT_TRUE(pitch->optMode[2]->isChecked());
            EXPECT_EQ(pitch->optMode[0]->text(), "Simple Pitch Control (Resample)");
            EXPECT_EQ(pitch->optMode[1]->text(), "FFT Pitch Scaling (Time Remains Constant)");
            EXPECT_EQ(pitch->optMode[2]->text(), "FFT Time Scaling (Pitch Remains Constant)");
            EXPECT_ENGINE_RANGE(pitch->sldStart, pitchStart);
        },
        false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuTnP));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore);
}

TEST_F(ToolDialogTest, PitchSizesFollowTheFactorAndTheMethod) {
    params.pitchStart = 100;
    params.pitchEnd = 100;
    params.pitchDynamic = 0;
    params.pitchMode = 0;
    mdlMain.dialogDoc = doc;
    kvSetSelection(doc, 0, 0, -1);
    frmPitch pitch(nullptr, &params);
    /* No selection: the whole second of sound is the input. */
    EXPECT_EQ(pitch.lblInputSize->text(), "1.000 s");
    EXPECT_EQ(pitch.lblResultSize->text(), "1.000 s");
    pitch.sldStart->setValue(200);
    EXPECT_EQ(params.pitchStart, 200);
    EXPECT_EQ(pitch.lblStart->text(), "200%");
    EXPECT_EQ(pitch.lblResultSize->text(), "0.500 s");
    pitch.optMode[1]->setChecked(true);
    EXPECT_EQ(params.pitchMode, 1);
    EXPECT_EQ(pitch.lblResultSize->text(), "1.000 s");
    pitch.optMode[2]->setChecked(true);
    EXPECT_EQ(params.pitchMode, 2);
    EXPECT_EQ(pitch.lblResultSize->text(), "0.500 s");
    pitch.sldStart->setValue(50);
    EXPECT_EQ(pitch.lblResultSize->text(), "2.000 s");
    EXPECT_FALSE(pitch.sldEnd->isEnabled());
    pitch.chkDynamic->setChecked(true);
    EXPECT_EQ(params.pitchDynamic, 1);
    EXPECT_TRUE(pitch.sldEnd->isEnabled());
    pitch.sldEnd->setValue(50);
    EXPECT_EQ(params.pitchEnd, 50);
    EXPECT_EQ(pitch.lblResultSize->text(), "2.000 s");
}

TEST_F(ToolDialogTest, PitchOpeningBringsStoredFactorsAndMethodIntoRange) {
    params.pitchStart = 0;
    params.pitchEnd = 900;
    params.pitchMode = 7;
    mdlMain.dialogDoc = doc;
    frmPitch pitch(nullptr, &params);
    EXPECT_EQ(params.pitchStart, 50);
    EXPECT_EQ(params.pitchEnd, 200);
    EXPECT_EQ(params.pitchMode, 0);
    EXPECT_TRUE(pitch.optMode[0]->isChecked());
    EXPECT_EQ(pitch.lblResultSize->text(), "2.000 s");
}

TEST_F(ToolDialogTest, PitchMethodChangeRestartsARunningPreview) {
    params.pitchMode = 0;
    mdlMain.dialogDoc = doc;
    frmPitch pitch(nullptr, &params);
    pitch.show();
    QTest::mouseClick(pitch.preview->cmdPreview, Qt::LeftButton);
    pitch.optMode[1]->setChecked(true);
    std::vector<std::pair<int32_t, int32_t>> expected = {
        {doc, KV_EDIT_PITCH}, {-1, -1}, {doc, KV_EDIT_PITCH}};
    EXPECT_EQ(previewCalls, expected);
    EXPECT_TRUE(pitch.preview->IsPreviewing());
}

TEST_F(ToolDialogTest, PitchOkScalesOnceAndCancelChangesNothing) {
    params.pitchStart = 200;
    params.pitchDynamic = 0;
    params.pitchMode = 0;
    answerDialog<frmPitch>([](frmPitch *pitch) { pitch->sldStart->setValue(50); }, false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuTnP));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore);
    EXPECT_EQ(kvGetLength(doc), lengthBefore);

    answerDialog<frmPitch>([](frmPitch *pitch) { pitch->sldStart->setValue(200); }, true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuTnP));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_NEAR(kvGetLength(doc), lengthBefore / 2, 2);
}

/* ---- The effects toolbar ---- */

TEST_F(ToolDialogTest, EffectsToolbarButtonsOpenTheirDialogs) {
    answerDialog<frmCompressor>([](frmCompressor *) {}, false);
    frame->ui().TBVolume.AGC->trigger();
    answerDialog<frmDistortion>([](frmDistortion *) {}, false);
    frame->ui().TBVolume.Dist->trigger();
    answerDialog<frmPitch>([](frmPitch *) {}, false);
    frame->ui().TBVolume.Pitch->trigger();
    answerDialog<frmGenerate>([](frmGenerate *) {}, false);
    frame->ui().TBVolume.Tone->trigger();
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore);
}
