/*
 * The equalizer, FFT filter, simple echo, echo and reverb dialogs, opened
 * from the document window's menus on a real document: what they read and
 * write in KV_Params and in which unit, their preset groups, preview kinds
 * and help topics, that OK runs the edit once while Cancel runs none, and the
 * stereo check in front of Echo and Reverb.
 */
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/frm_echo.h"
#include "app/dialogs/frm_eq.h"
#include "app/dialogs/frm_filter.h"
#include "app/dialogs/frm_reverb.h"
#include "app/dialogs/frm_simple_echo.h"
#include "app/dialogs/help_topics.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"
#include "tests/dialogs/effect_dialog_fixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <cstring>

namespace {

const int32_t kRate = 44100;

/* One dialog of this file as the tests meet it. */
struct FilterCommand {
    const char *menu;
    frmMainCommand entry;
    int32_t edit;
    const char *undoText;
    int32_t helpTopic;
    const char *presetGroup;
    size_t presetOffset;
    int32_t presetSize;
};

const FilterCommand kCommands[] = {
    {"mnuEQ", &frmMainUi::mnuEQ, KV_EDIT_EQUALIZER, "Equalizer", kvHelpEqualizer, "EQ",
     offsetof(KV_Params, eqBandDb), 40},
    {"mnuFFTFilter", &frmMainUi::mnuFFTFilter, KV_EDIT_FFT_FILTER, "FFT Filter", kvHelpFftFilter,
     "FFT Filter", offsetof(KV_Params, fftStartHighPassHz), 24},
    {"mnuEchoSimple", &frmMainUi::mnuEchoSimple, KV_EDIT_SIMPLE_ECHO, "Simple Echo",
     kvHelpSimpleEcho, "Simple Echo", offsetof(KV_Params, simpleEchoDelayMs), 16},
    {"mnuEcho", &frmMainUi::mnuEcho, KV_EDIT_ECHO, "Echo", kvHelpEcho, "Echo",
     offsetof(KV_Params, echoFeedbackRtoLDb), 64},
    {"mnuReverb", &frmMainUi::mnuReverb, KV_EDIT_REVERB, "Reverb", kvHelpReverb, "Reverb",
     offsetof(KV_Params, reverbLevelDb), 36},
};

} // namespace

class FilterDialogTest : public EffectDialogTest {
  protected:
    void SetUp() override {
        EffectDialogTest::SetUp();
        startFrame();
        open(2);
    }
    void TearDown() override {
        ctlPreview::previewStartCall = kvPreviewStart;
        ctlPreview::previewStopCall = kvStop;
        EffectDialogTest::TearDown();
    }
    /* Opens a new 0.2 s sound with `channels` channels as the current document. */
    void open(int32_t channels) {
        static int opened = 0;
        std::string name = "filter" + std::to_string(++opened) + ".wav";
        std::string file = writeWave(name, channels, kRate, ramp(8820), true);
        document = openDocument(file);
        ASSERT_NE(document, nullptr);
        doc = document->ID;
        levelBefore = kvGetUndoLevel(doc);
        lengthBefore = kvGetLength(doc);
    }
    std::string undoText(int32_t level) {
        char text[40] = {};
        kvGetUndoText(doc, level, text);
        return text;
    }

    int32_t levelBefore = 0;
    int32_t lengthBefore = 0;
};

/* ---- What every dialog shares ---- */

TEST_F(FilterDialogTest, OkRunsTheDialogsEditOnceAndCancelRunsNone) {
    for (const FilterCommand &command : kCommands) {
        SCOPED_TRACE(command.menu);
        int32_t level = kvGetUndoLevel(doc);
        answerDialog<EffectDialog>([](EffectDialog *) {}, false);
        ASSERT_TRUE(document->runCommand(command.entry));
        EXPECT_EQ(kvGetUndoLevel(doc), level);
        EXPECT_EQ(kvGetNumUndo(doc), level + 1);

        answerDialog<EffectDialog>([](EffectDialog *) {}, true);
        ASSERT_TRUE(document->runCommand(command.entry));
        EXPECT_EQ(kvGetUndoLevel(doc), level + 1);
        EXPECT_EQ(undoText(level + 1), command.undoText);
        EXPECT_FALSE(frame->isBusy());
        kvSetSelection(doc, 0, 0, -1);
    }
}

TEST_F(FilterDialogTest, EachDialogPreviewsItsOwnEditAndOffersItsHelpTopic) {
    std::vector<std::pair<int32_t, int32_t>> started;
    ctlPreview::previewStartCall = [&started](int32_t d, int32_t kind) {
        started.emplace_back(d, kind);
        return 0;
    };
    ctlPreview::previewStopCall = [] { return 0; };
    for (const FilterCommand &command : kCommands) {
        SCOPED_TRACE(command.menu);
        started.clear();
        answerDialog<EffectDialog>(
            [](EffectDialog *dialog) {
                EXPECT_TRUE(dialog->preview->fraPreview->isVisible());
                EXPECT_TRUE(dialog->preview->cmdHelp->isEnabled());
                QTest::mouseClick(dialog->preview->cmdPreview, Qt::LeftButton);
                QTest::mouseClick(dialog->preview->cmdHelp, Qt::LeftButton);
            },
            false);
        ASSERT_TRUE(document->runCommand(command.entry));
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].first, doc);
        EXPECT_EQ(started[0].second, command.edit);
        auto help = mdlTestTakeHelpRequests();
        ASSERT_EQ(help.size(), 1u);
        EXPECT_EQ(help[0].topic, command.helpTopic);
    }
}

TEST_F(FilterDialogTest, EachPresetGroupLoadsExactlyTheDialogsSliceOfTheRecord) {
    for (const FilterCommand &command : kCommands) {
        SCOPED_TRACE(command.menu);
        /* A stored slice of small, valid values that differ from the record's. */
        std::vector<int32_t> stored(static_cast<size_t>(command.presetSize / 4));
        for (size_t i = 0; i < stored.size(); i++)
            stored[i] = static_cast<int32_t>(-1 - static_cast<int32_t>(i % 3));
        if (command.edit == KV_EDIT_FFT_FILTER) stored = {300, 400, 3000, 5000, 1, 1};
        if (command.edit == KV_EDIT_SIMPLE_ECHO) stored = {250, -7, -8, 40};
        if (command.edit == KV_EDIT_ECHO) {
            stored = {-10, -2, -11, -12, -4, -13, 700, 100, 300, 400, -1, -16, -17, -2, 1, 0};
        }
        if (command.edit == KV_EDIT_REVERB) stored = {-1, -2, -3, -4, -5, -6, 1, 3, 0};
        kvSavePreset(command.presetGroup, "Stored", stored.data(), command.presetSize);
        KV_Params before = params;
        answerDialog<EffectDialog>(
            [](EffectDialog *dialog) {
                auto *presets = dialog->findChild<ctlPresets *>();
                ASSERT_NE(presets, nullptr);
                presets->refresh();
                ASSERT_EQ(presets->loadEntries.size(), 1);
                presets->loadEntries[0]->trigger();
            },
            false);
        ASSERT_TRUE(document->runCommand(command.entry));
        const char *raw = reinterpret_cast<const char *>(&params);
        const char *rawBefore = reinterpret_cast<const char *>(&before);
        EXPECT_EQ(std::memcmp(raw + command.presetOffset, stored.data(),
                              static_cast<size_t>(command.presetSize)),
                  0);
        EXPECT_EQ(std::memcmp(raw, rawBefore, command.presetOffset), 0);
        size_t end = command.presetOffset + static_cast<size_t>(command.presetSize);
        EXPECT_EQ(std::memcmp(raw + end, rawBefore + end, sizeof params - end), 0);
    }
}

/* ---- Equalizer ---- */

TEST(EqualizerLabels, BandCentresRunFrom31HzTo16KHzAt44100) {
    const char *expected[10] = {"31 Hz", "62 Hz", "125 Hz", "250 Hz", "500 Hz",
                                "1 kHz", "2 kHz", "4 kHz",  "8 kHz",  "16 kHz"};
    for (int k = 0; k < 10; k++)
        EXPECT_EQ(mdlEqBandLabel(44100, k), expected[k]) << "band " << k;
}

TEST(EqualizerLabels, BandCentresFollowTheRoundedTopBandAtOtherRates) {
    /* 48000 Hz: top = 48 * 100000 / 275 = 17454.5..., rounded to 17455. */
    EXPECT_EQ(mdlEqBandLabel(48000, 9), "17 kHz");
    EXPECT_EQ(mdlEqBandLabel(48000, 5), "1 kHz");
    EXPECT_EQ(mdlEqBandLabel(48000, 4), "545 Hz");
    EXPECT_EQ(mdlEqBandLabel(48000, 0), "34 Hz");
    /* 22050 Hz: top = 22 * 100000 / 275 = 8000 exactly. */
    EXPECT_EQ(mdlEqBandLabel(22050, 9), "8 kHz");
    EXPECT_EQ(mdlEqBandLabel(22050, 6), "1 kHz");
    EXPECT_EQ(mdlEqBandLabel(22050, 5), "500 Hz");
}

TEST_F(FilterDialogTest, EqualizerReadsTheBandsAndEachSliderWritesItsBandInDb) {
    for (int k = 0; k < 10; k++)
        params.eqBandDb[k] = k - 5;
    answerDialog<frmEQ>(
        [this](frmEQ *eq) {
            EXPECT_EQ(eq->windowTitle(), "10 Band Graphic Equalizer");
            for (int k = 0; k < 10; k++) {
                EXPECT_EQ(eq->sldBand[k]->value(), k - 5);
                EXPECT_ENGINE_RANGE(eq->sldBand[k], eqBandDb);
                EXPECT_EQ(eq->lblFrequency[k]->text(), mdlEqBandLabel(kRate, k));
            }
            EXPECT_EQ(eq->lblFrequency[0]->text(), "31 Hz");
            eq->sldBand[3]->setValue(24);
            EXPECT_EQ(params.eqBandDb[3], 24);
            EXPECT_EQ(eq->lblDb[3]->text(), "24 dB");
            EXPECT_EQ(params.eqBandDb[4], -1);
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuEQ));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_EQ(undoText(levelBefore + 1), "Equalizer");
}

TEST_F(FilterDialogTest, EqualizerBandOutsideTheSliderRangeIsCorrectedInTheRecord) {
    params.eqBandDb[0] = 90;
    params.eqBandDb[1] = -90;
    answerDialog<frmEQ>([](frmEQ *) {}, false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuEQ));
    EXPECT_EQ(params.eqBandDb[0], 24);
    EXPECT_EQ(params.eqBandDb[1], -24);
}

/* ---- FFT filter ---- */

TEST(FftFilterUnits, ReopeningKeepsEveryStoredBinFrequency) {
    for (int32_t size : {256, 2048, 8192}) {
        for (int32_t rate : {8000, 22050, 44100, 96000}) {
            for (int32_t bin = 0; bin <= size / 2; bin++) {
                int32_t hz = mdlFftBinToHz(bin, size, rate);
                int32_t found = mdlFftHzToBin(hz, size, rate);
                ASSERT_EQ(mdlFftBinToHz(found, size, rate), hz)
                    << "size " << size << " rate " << rate << " bin " << bin;
                /* Where bins lie at least 1 Hz apart, the slider goes back to
                 * the very bin it was on. */
                if (rate / 2 >= size / 2) {
                    ASSERT_EQ(found, bin);
                }
            }
        }
    }
}

TEST(FftFilterUnits, BinFrequencyIsBinTimesHalfRateOverHalfSize) {
    EXPECT_EQ(mdlFftBinToHz(0, 2048, 44100), 0);
    EXPECT_EQ(mdlFftBinToHz(1024, 2048, 44100), 22050);
    EXPECT_EQ(mdlFftBinToHz(512, 2048, 44100), 11025);
    /* 100 * 22050 / 1024 = 2153.3, truncated. */
    EXPECT_EQ(mdlFftBinToHz(100, 2048, 44100), 2153);
    EXPECT_EQ(mdlFftBinToHz(128, 256, 8000), 4000);
    /* A frequency between two bins opens on the bin above it. */
    EXPECT_EQ(mdlFftHzToBin(200, 2048, 44100), 10);
    EXPECT_EQ(mdlFftHzToBin(-5, 2048, 44100), 0);
}

TEST(FftFilterUnits, FrequenciesShowInKilohertzWithOneDecimal) {
    EXPECT_EQ(mdlKhzText(0), "0.0 kHz");
    EXPECT_EQ(mdlKhzText(200), "0.2 kHz");
    EXPECT_EQ(mdlKhzText(22050), "22.1 kHz");
    EXPECT_EQ(mdlKhzText(4000), "4.0 kHz");
}

TEST_F(FilterDialogTest, FftFilterReadsHertzAndStoresTheChosenBinAsHertz) {
    params.fftStartHighPassHz = 200;
    params.fftStartLowPassHz = 4000;
    params.fftEndHighPassHz = 1000;
    params.fftEndLowPassHz = 8000;
    params.fftFilterType = 1;
    params.fftDynamic = 0;
    answerDialog<frmFilter>(
        [this](frmFilter *filter) {
            EXPECT_EQ(filter->windowTitle(), "FFT Filtering");
            EXPECT_EQ(filter->sldStartHighPass->minimum(), 0);
            EXPECT_EQ(filter->sldStartHighPass->maximum(), 1023);
            EXPECT_EQ(filter->sldStartLowPass->minimum(), 1);
            EXPECT_EQ(filter->sldStartLowPass->maximum(), 1024);
            EXPECT_EQ(filter->sldStartHighPass->value(), 10);
            EXPECT_EQ(filter->sldEndLowPass->value(), mdlFftHzToBin(8000, 2048, kRate));
            /* Opening shows the stored frequencies and leaves them alone. */
            EXPECT_EQ(filter->lblStartHighPass->text(), "0.2 kHz");
            EXPECT_EQ(params.fftStartHighPassHz, 200);
            EXPECT_TRUE(filter->optBandReject->isChecked());
            EXPECT_TRUE(filter->optStatic->isChecked());
            EXPECT_FALSE(filter->sldEndHighPass->isEnabled());

            filter->sldStartLowPass->setValue(1024);
            EXPECT_EQ(params.fftStartLowPassHz, 22050);
            EXPECT_EQ(filter->lblStartLowPass->text(), "22.1 kHz");
            filter->sldStartHighPass->setValue(100);
            EXPECT_EQ(params.fftStartHighPassHz, 2153);
            EXPECT_EQ(filter->lblStartHighPass->text(), "2.2 kHz");

            filter->optBandPass->setChecked(true);
            EXPECT_EQ(params.fftFilterType, 0);
            filter->optDynamic->setChecked(true);
            EXPECT_EQ(params.fftDynamic, 1);
            EXPECT_TRUE(filter->sldEndHighPass->isEnabled());
            filter->sldEndHighPass->setValue(0);
            EXPECT_EQ(params.fftEndHighPassHz, 0);
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuFFTFilter));
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    EXPECT_EQ(kvGetLength(doc), lengthBefore);
}

TEST_F(FilterDialogTest, FftEdgeSlidersReachHalfTheRateWhateverTheFftSize) {
    for (int32_t size : {256, 8192}) {
        SCOPED_TRACE(size);
        options.fftSize = size;
        answerDialog<frmFilter>(
            [this, size](frmFilter *filter) {
                EXPECT_EQ(filter->sldEndLowPass->maximum(), size / 2);
                EXPECT_EQ(filter->sldEndHighPass->maximum(), size / 2 - 1);
                filter->optDynamic->setChecked(true);
                filter->sldEndLowPass->setValue(size / 2);
                EXPECT_EQ(params.fftEndLowPassHz, kRate / 2);
                filter->sldEndLowPass->setValue(size / 4);
                EXPECT_EQ(params.fftEndLowPassHz, kRate / 4);
            },
            false);
        ASSERT_TRUE(document->runCommand(&frmMainUi::mnuFFTFilter));
    }
}

TEST_F(FilterDialogTest, FftSettingsButtonOpensTheOptionsAndRereadsTheFftSize) {
    params.fftStartLowPassHz = 11025;
    bool optionsShown = false;
    answerDialog<frmFilter>(
        [this, &optionsShown](frmFilter *filter) {
            EXPECT_EQ(filter->cmdFFTSettings->text(), "&FFT Settings...");
            EXPECT_EQ(filter->sldStartLowPass->value(), 512);
            /* The options dialog is modal inside this one: a one-shot timer
             * meets it, as the watchdog is busy with this handler. */
            QTimer::singleShot(100, [this, filter, &optionsShown] {
                QWidget *modal = QApplication::activeModalWidget();
                ASSERT_NE(modal, nullptr);
                EXPECT_NE(modal, filter);
                optionsShown = true;
                options.fftSize = 256;
                if (auto *dialog = qobject_cast<QDialog *>(modal))
                    dialog->reject();
                else
                    modal->close();
            });
            QTest::mouseClick(filter->cmdFFTSettings, Qt::LeftButton);
            EXPECT_EQ(filter->sldStartLowPass->maximum(), 128);
            EXPECT_EQ(filter->sldStartLowPass->value(), 64);
            EXPECT_EQ(params.fftStartLowPassHz, 11025);
        },
        false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuFFTFilter));
    EXPECT_TRUE(optionsShown);
}

/* ---- Simple echo ---- */

TEST(EchoFilterUnits, CoefficientsShowAsTheFrequencyTheyGiveAtTheRate) {
    EXPECT_EQ(mdlFilterHzText(50, 100, 44100), "11025 Hz");
    EXPECT_EQ(mdlFilterHzText(100, 100, 44100), "22050 Hz");
    EXPECT_EQ(mdlFilterHzText(2, 100, 8000), "80 Hz");
    EXPECT_EQ(mdlFilterHzText(800, 1000, 44100), "17640 Hz");
    EXPECT_EQ(mdlFilterHzText(0, 1000, 44100), "0 Hz");
    EXPECT_EQ(mdlFilterHzText(333, 1000, 11025), "1835 Hz");
}

TEST_F(FilterDialogTest, SimpleEchoReadsItsFieldsAndWritesDelayLevelsAndHundredths) {
    params.simpleEchoDelayMs = 300;
    params.simpleEchoFeedbackDb = -12;
    params.simpleEchoWetDb = -3;
    params.simpleEchoLowPass = 50;
    answerDialog<frmSimpleEcho>(
        [this](frmSimpleEcho *echo) {
            EXPECT_EQ(echo->windowTitle(), "Simple Echo");
            EXPECT_EQ(echo->sldDelay->value(), 300);
            EXPECT_EQ(echo->sldFeedback->value(), -12);
            EXPECT_EQ(echo->sldWetOut->value(), -3);
            EXPECT_EQ(echo->sldLowPass->value(), 50);
            EXPECT_EQ(echo->lblLowPass->text(), "11025 Hz");
            EXPECT_ENGINE_RANGE(echo->sldFeedback, simpleEchoFeedbackDb);
            EXPECT_ENGINE_RANGE(echo->sldLowPass, simpleEchoLowPass);
            echo->sldLowPass->setValue(20);
            EXPECT_EQ(params.simpleEchoLowPass, 20);
            EXPECT_EQ(echo->lblLowPass->text(), "4410 Hz");
            echo->sldDelay->setValue(1000);
            EXPECT_EQ(params.simpleEchoDelayMs, 1000);
            echo->sldWetOut->setValue(-48);
            EXPECT_EQ(params.simpleEchoWetDb, -48);
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuEchoSimple));
    EXPECT_EQ(undoText(levelBefore + 1), "Simple Echo");
    EXPECT_EQ(kvGetLength(doc), lengthBefore + 3 * kRate);
}

TEST_F(FilterDialogTest, SimpleEchoDelayBeyondTheLineIsCorrectedBeforeTheEdit) {
    params.simpleEchoDelayMs = 5000;
    answerDialog<frmSimpleEcho>(
        [](frmSimpleEcho *echo) { EXPECT_EQ(echo->sldDelay->value(), 1000); }, false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuEchoSimple));
    EXPECT_EQ(params.simpleEchoDelayMs, 1000);
}

/* ---- Echo ---- */

TEST_F(FilterDialogTest, EchoReadsItsFieldsAndShowsItsFiltersInHertz) {
    params.echoLowPass = 800;
    params.echoHighPass = 200;
    params.echoLeftFromRightDb = -20;
    params.echoFeedbackLtoRDb = -30;
    params.echoBounce = 1;
    answerDialog<frmEcho>(
        [this](frmEcho *echo) {
            EXPECT_EQ(echo->windowTitle(), "Echo Processor");
            EXPECT_EQ(echo->sldLowPass->value(), 800);
            EXPECT_EQ(echo->lblLowPass->text(), "17640 Hz");
            EXPECT_EQ(echo->lblHighPass->text(), "4410 Hz");
            EXPECT_EQ(echo->sldLeftFromRight->value(), -20);
            EXPECT_EQ(echo->sldFeedbackLtoR->value(), -30);
            EXPECT_TRUE(echo->chkBounce->isChecked());
            EXPECT_ENGINE_RANGE(echo->sldLowPass, echoLowPass);
            EXPECT_ENGINE_RANGE(echo->sldHighPass, echoHighPass);
            echo->sldHighPass->setValue(500);
            EXPECT_EQ(params.echoHighPass, 500);
            EXPECT_EQ(echo->lblHighPass->text(), "11025 Hz");
            echo->chkBounce->setChecked(false);
            EXPECT_EQ(params.echoBounce, 0);
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuEcho));
    EXPECT_EQ(undoText(levelBefore + 1), "Echo");
    EXPECT_EQ(kvGetLength(doc), lengthBefore + 3 * kRate);
}

TEST_F(FilterDialogTest, GangedEchoControlsMoveTheirPartnerByTheSameStep) {
    params.echoGang = 1;
    params.echoLeftDelayMs = 100;
    params.echoRightDelayMs = 150;
    params.echoLeftFromLeftDb = -3;
    params.echoRightFromRightDb = -6;
    answerDialog<frmEcho>(
        [this](frmEcho *echo) {
            echo->sldLeftDelay->setValue(200);
            EXPECT_EQ(params.echoLeftDelayMs, 200);
            EXPECT_EQ(params.echoRightDelayMs, 250);
            EXPECT_EQ(echo->sldRightDelay->value(), 250);
            EXPECT_EQ(echo->lblRightDelay->text(), "250 ms");
            echo->sldRightFromRight->setValue(-10);
            EXPECT_EQ(params.echoLeftFromLeftDb, -7);
            echo->sldWetRight->setValue(params.echoWetRightDb + 2);
            EXPECT_EQ(params.echoWetLeftDb, params.echoWetRightDb);
            /* A partner at its limit stops there. */
            echo->sldLeftDelay->setValue(1000);
            EXPECT_EQ(params.echoRightDelayMs, 1000);

            echo->chkGang->setChecked(false);
            EXPECT_EQ(params.echoGang, 0);
            echo->sldLeftDelay->setValue(500);
            EXPECT_EQ(params.echoLeftDelayMs, 500);
            EXPECT_EQ(params.echoRightDelayMs, 1000);
        },
        false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuEcho));
}

/* ---- Reverb ---- */

TEST_F(FilterDialogTest, ReverbReadsItsLevelsAndListsAndWritesThem) {
    const int32_t levels[6] = {0, -1, -12, -13, 2, 3};
    std::memcpy(params.reverbLevelDb, levels, sizeof levels);
    params.reverbRoomSize = 1;
    params.reverbWall = 0;
    params.reverbGang = 0;
    answerDialog<frmReverb>(
        [this, &levels](frmReverb *reverb) {
            EXPECT_EQ(reverb->windowTitle(), "Reverb Processor");
            for (int k = 0; k < 6; k++)
                EXPECT_EQ(reverb->sldLevel[k]->value(), levels[k]);
            EXPECT_ENGINE_RANGE(reverb->sldLevel[0], reverbLevelDb);
            ASSERT_EQ(reverb->cmbRoomSize->count(), 6);
            EXPECT_EQ(reverb->cmbRoomSize->itemText(0), "30 x 45 feet");
            EXPECT_EQ(reverb->cmbRoomSize->itemText(5), "800 x 1200 feet");
            EXPECT_EQ(reverb->cmbRoomSize->currentText(), "50 x 75 feet");
            ASSERT_EQ(reverb->cmbWall->count(), 4);
            EXPECT_EQ(reverb->cmbWall->itemText(2), "Wood / Panel / Drywall");
            EXPECT_EQ(reverb->cmbWall->currentText(), "Metal / Steel");
            EXPECT_FALSE(reverb->chkGang->isChecked());

            reverb->sldLevel[3]->setValue(-20);
            EXPECT_EQ(params.reverbLevelDb[3], -20);
            EXPECT_EQ(params.reverbLevelDb[2], -12);
            EXPECT_EQ(reverb->lblLevel[3]->text(), "-20 dB");
            reverb->cmbWall->setCurrentIndex(3);
            EXPECT_EQ(params.reverbWall, 3);
            reverb->cmbRoomSize->setCurrentIndex(5);
            EXPECT_EQ(params.reverbRoomSize, 5);

            reverb->chkGang->setChecked(true);
            EXPECT_EQ(params.reverbGang, 1);
            reverb->sldLevel[4]->setValue(-4);
            EXPECT_EQ(params.reverbLevelDb[5], -3);
        },
        true);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuReverb));
    EXPECT_EQ(undoText(levelBefore + 1), "Reverb");
}

TEST_F(FilterDialogTest, ReverbIndexOutsideItsListOpensOnTheFirstEntryAndIsCorrected) {
    params.reverbRoomSize = 9;
    params.reverbWall = -1;
    answerDialog<frmReverb>(
        [](frmReverb *reverb) {
            EXPECT_EQ(reverb->cmbRoomSize->currentIndex(), 0);
            EXPECT_EQ(reverb->cmbWall->currentIndex(), 0);
        },
        false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuReverb));
    EXPECT_EQ(params.reverbRoomSize, 0);
    EXPECT_EQ(params.reverbWall, 0);
}

/* ---- The stereo check ---- */

TEST_F(FilterDialogTest, EchoAndReverbOnAMonoSoundAnsweredNoChangeNothing) {
    open(1);
    for (frmMainCommand menu : {&frmMainUi::mnuEcho, &frmMainUi::mnuReverb}) {
        SCOPED_TRACE(menu == &frmMainUi::mnuEcho ? "Echo" : "Reverb");
        mdlTestQueueAnswer(QMessageBox::No);
        ASSERT_TRUE(document->runCommand(menu));
        auto boxes = mdlTestTakeShownBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, "Incompatible Format");
        EXPECT_EQ(boxes[0].text, "This function requires a stereo sound file.\n\nWould you like "
                                 "to convert the current sound to stereo?");
        EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(boxes[0].icon, QMessageBox::Question);
        EXPECT_EQ(kvGetChannels(doc), 1);
        EXPECT_EQ(kvGetNumUndo(doc), levelBefore + 1);
        EXPECT_EQ(kvGetLength(doc), lengthBefore);
    }
}

TEST_F(FilterDialogTest, EchoAndReverbOnAMonoSoundAnsweredYesConvertBeforeTheDialog) {
    for (frmMainCommand menu : {&frmMainUi::mnuEcho, &frmMainUi::mnuReverb}) {
        SCOPED_TRACE(menu == &frmMainUi::mnuEcho ? "Echo" : "Reverb");
        open(1);
        mdlTestQueueAnswer(QMessageBox::Yes);
        int32_t channelsInDialog = 0;
        answerDialog<EffectDialog>(
            [this, &channelsInDialog](EffectDialog *) { channelsInDialog = kvGetChannels(doc); },
            true);
        ASSERT_TRUE(document->runCommand(menu));
        EXPECT_EQ(mdlTestTakeShownBoxes().size(), 1u);
        EXPECT_EQ(channelsInDialog, 2);
        EXPECT_EQ(kvGetChannels(doc), 2);
        EXPECT_EQ(kvGetLength(doc), lengthBefore + 3 * kRate);
    }
}

TEST_F(FilterDialogTest, StereoSoundGoesStraightToTheEchoDialog) {
    answerDialog<frmEcho>([](frmEcho *) {}, false);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuEcho));
    EXPECT_TRUE(mdlTestTakeShownBoxes().empty());
}
