/*
 * The document window: close prompts, saving with Save As and the clip
 * warning, menu captions and enabling, the title, new files, silence, the
 * undo history, and the view-slot keys and buttons.
 */
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/ctl_preview.h"
#include "app/dialogs/frm_silence.h"
#include "app/dialogs/frm_volume.h"
#include "app/shell/frm_properties.h"
#include "app/shell/frm_undo_hist.h"
#include "app/shell/prompts.h"
#include "tests/shell/shell_fixture.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

/* A changed document: opened from a file and faded in. */
class DocumentTest : public ShellTest {
  protected:
    frmMain *openChanged(const std::string &name) {
        std::string file = writeWave(name, 1, 8000, ramp(8000), false);
        frmMain *document = openDocument(file);
        if (!document) return nullptr;
        document->runCommand(&frmMainUi::mnuFadeIn);
        return document;
    }
    frmMain *newDocument() {
        options.skipNewFileDialog = 1;
        frame->mnuNew_Click();
        return frame->activeDocument();
    }
    static std::string undoCaption(frmMain *document) {
        document->InitMenu();
        return document->ui().mnuUndo->text().toStdString();
    }
};

class ClosingDocuments : public DocumentTest {};

TEST_F(ClosingDocuments, AnUnchangedWindowClosesWithoutAQuestion) {
    std::string file = writeWave("plain.wav", 1, 8000, ramp(800), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(document->parentWidget()->close());
    EXPECT_TRUE(mdlTestTakeShownBoxes().empty());
    EXPECT_TRUE(frame->documents().isEmpty());
}

TEST_F(ClosingDocuments, AChangedWindowOffersYesNoAndCancelAndCancelKeepsIt) {
    startFrame();
    frmMain *document = openChanged("changed.wav");
    ASSERT_NE(document, nullptr);
    ASSERT_EQ(kvIsSaved(document->ID), 0);
    mdlTestQueueAnswer(QMessageBox::Cancel);
    EXPECT_FALSE(document->parentWidget()->close());
    std::vector<MdlShownBox> boxes = mdlTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Confirm Exit");
    EXPECT_EQ(boxes[0].text, QString::fromStdString(path("changed.wav")) +
                                 " has been modified.\n\nDo you want to save your changes?");
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Question);
    EXPECT_EQ(frame->documents().size(), 1);
}

TEST_F(ClosingDocuments, NoClosesWithoutSaving) {
    startFrame();
    frmMain *document = openChanged("unsaved.wav");
    ASSERT_NE(document, nullptr);
    std::string before = kvTestReadFile(path("unsaved.wav"));
    mdlTestQueueAnswer(QMessageBox::No);
    EXPECT_TRUE(document->parentWidget()->close());
    EXPECT_TRUE(frame->documents().isEmpty());
    EXPECT_EQ(kvTestReadFile(path("unsaved.wav")), before);
}

TEST_F(ClosingDocuments, YesSavesTheFileAndCloses) {
    startFrame();
    frmMain *document = openChanged("saved.wav");
    ASSERT_NE(document, nullptr);
    std::string before = kvTestReadFile(path("saved.wav"));
    mdlTestQueueAnswer(QMessageBox::Yes);
    EXPECT_TRUE(document->parentWidget()->close());
    EXPECT_TRUE(frame->documents().isEmpty());
    EXPECT_NE(kvTestReadFile(path("saved.wav")), before);
}

TEST_F(ClosingDocuments, YesFollowedByACancelledSaveAsKeepsTheWindowOpen) {
    startFrame();
    frmMain *document = newDocument();
    ASSERT_NE(document, nullptr);
    params.silenceAmount = 100;
    params.silenceUnit = 0;
    ASSERT_EQ(kvInsertSilence(document->ID), 0);
    mdlTestQueueAnswer(QMessageBox::Yes);
    answerFileDialog(QString());
    EXPECT_FALSE(document->parentWidget()->close());
    EXPECT_EQ(frame->documents().size(), 1);
    EXPECT_EQ(kvIsSaved(document->ID), 0);
    EXPECT_EQ(document->FileName, "Untitled");
}

TEST_F(ClosingDocuments, ExitAsksForEveryChangedWindowAndStopsAtACancel) {
    startFrame();
    ASSERT_NE(openChanged("one.wav"), nullptr);
    ASSERT_NE(openChanged("two.wav"), nullptr);
    mdlTestQueueAnswer(QMessageBox::No);
    mdlTestQueueAnswer(QMessageBox::Cancel);
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(mdlTestTakeShownBoxes().size(), 2u);
    EXPECT_EQ(frame->documents().size(), 1);
}

class SavingDocuments : public DocumentTest {};

TEST_F(SavingDocuments, SaveOnAnUntitledDocumentRunsSaveAs) {
    startFrame();
    frmMain *document = newDocument();
    ASSERT_NE(document, nullptr);
    params.silenceAmount = 50;
    params.silenceUnit = 0;
    ASSERT_EQ(kvInsertSilence(document->ID), 0);
    QString target = QString::fromStdString(path("named.wav"));
    answerFileDialog(target);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuSave));
    EXPECT_EQ(document->FileName, target);
    EXPECT_TRUE(kvTestFileExists(target.toStdString()));
    EXPECT_EQ(kvIsSaved(document->ID), 1);
    EXPECT_EQ(document->windowTitle(), "named.wav");
    char recent[256] = {};
    ASSERT_GT(kvGetMRU(recent, 0, 255), 0);
    EXPECT_EQ(QString(recent), target);
}

TEST_F(SavingDocuments, ACancelledSaveAsOfAnUntitledDocumentRecordsNoRecentFile) {
    startFrame();
    frmMain *document = newDocument();
    ASSERT_NE(document, nullptr);
    answerFileDialog(QString());
    document->mnuSaveAs_Click();
    EXPECT_EQ(document->FileName, "Untitled");
    EXPECT_EQ(kvGetMRUCount(), 0);
}

TEST_F(SavingDocuments, TheClipWarningAsksOnceAndNormalizesOnYes) {
    std::vector<float> loud = ramp(8000);
    for (float &value : loud)
        value *= 2.0f * 1.4142f;
    std::string file = writeWave("loud.wav", 2, 8000, loud, true);
    options.clipWarning = 1;
    options.clipWarningDb = 0;
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    ASSERT_NEAR(peakOf(document->ID), 1.4142f, 0.01f);
    mdlTestQueueAnswer(QMessageBox::Yes);
    document->mnuSave_Click();

    std::vector<MdlShownBox> boxes = mdlTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Clip Warning");
    EXPECT_EQ(boxes[0].text, "The Peak Level in this sound exceeds your threshold and will result "
                             "in clipping (Peak Level: +3 db)\n\nFloating-point files are saved "
                             "limited to full scale (-1.0 to 1.0), so the peaks would be cut off "
                             "too.\n\nWould you like me to Normalize before saving?");
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_LE(peakOf(document->ID), 1.0f);
    EXPECT_GT(peakOf(document->ID), 0.85f) << "within a dB of full scale";
    int32_t anchor = -1, end = -1;
    kvGetSelection(document->ID, &anchor, &end, nullptr);
    EXPECT_EQ(std::min(anchor, end), 0);
    EXPECT_EQ(std::max(anchor, end), kvGetLength(document->ID));
    EXPECT_EQ(kvIsSaved(document->ID), 1);
}

/* Whatever the peak, Normalize (from its menu entry, offered value
 * confirmed, or from the clip warning's Yes) never takes a sample past full
 * scale, and leaves the peak within a dB of the level it aims at. */
TEST_F(SavingDocuments, NormalizeNeverTakesThePeakPastFullScale) {
    options.clipWarning = 1;
    options.clipWarningDb = 0;
    startFrame();
    int n = 0;
    for (float peak : {1.5f, 1.06f, 0.5f, 0.3f, 0.01f}) {
        for (bool fromWarning : {false, true}) {
            if (fromWarning && peak <= 1.12f) continue; /* no warning below +1 dB */
            SCOPED_TRACE(testing::Message() << peak << (fromWarning ? " clip warning" : " menu"));
            std::vector<float> frames = ramp(8000);
            for (float &value : frames)
                value *= 2.0f * peak;
            std::string name = "peak" + std::to_string(++n) + ".wav";
            frmMain *document = openDocument(writeWave(name, 1, 8000, frames, true));
            ASSERT_NE(document, nullptr);
            ASSERT_NEAR(peakOf(document->ID), peak, 0.001f);
            if (fromWarning) {
                mdlTestQueueAnswer(QMessageBox::Yes);
                document->mnuSave_Click();
                EXPECT_EQ(mdlTestTakeShownBoxes().size(), 1u);
            } else {
                onNextModal([](QWidget *modal) {
                    auto *normalize = qobject_cast<frmVolume *>(modal);
                    ASSERT_NE(normalize, nullptr);
                    QTest::mouseClick(normalize->preview->cmdOK, Qt::LeftButton);
                });
                ASSERT_TRUE(document->runCommand(&frmMainUi::mnuMaximize));
            }
            EXPECT_LE(peakOf(document->ID), 1.0f);
            /* Within a dB of the level aimed at: full scale for the warning,
             * -1 dBFS offered by the dialog. */
            EXPECT_GT(peakOf(document->ID), fromWarning ? 0.85f : 0.75f);
        }
    }
}

TEST_F(SavingDocuments, NoMeansTheSoundIsSavedUnchanged) {
    std::vector<float> loud = ramp(8000);
    for (float &value : loud)
        value *= 2.0f * 1.4142f;
    std::string file = writeWave("kept.wav", 1, 8000, loud, true);
    options.clipWarning = 1;
    options.clipWarningDb = 0;
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    mdlTestQueueAnswer(QMessageBox::No);
    document->mnuSave_Click();
    EXPECT_EQ(mdlTestTakeShownBoxes().size(), 1u);
    EXPECT_NEAR(peakOf(document->ID), 1.4142f, 0.01f);
}

TEST_F(SavingDocuments, APeakAtTheThresholdOrAWarningSwitchedOffAsksNothing) {
    std::string file = writeWave("quiet.wav", 1, 8000, ramp(8000), true);
    options.clipWarning = 1;
    options.clipWarningDb = 0;
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    document->mnuSave_Click();
    options.clipWarning = 0;
    document->mnuSave_Click();
    EXPECT_TRUE(mdlTestTakeShownBoxes().empty());
}

class DocumentMenus : public DocumentTest {};

TEST_F(DocumentMenus, TheUndoCaptionNamesTheEditOrSaysCantUndo) {
    std::string file = writeWave("undo.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(undoCaption(document), "Can't &Undo");
    EXPECT_FALSE(document->ui().mnuUndo->isEnabled());
    EXPECT_FALSE(frame->ui().TB.Undo->isEnabled());

    kvSetSelection(document->ID, 1000, 2000, -1);
    document->UpdateToolbar();
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuCut));
    document->UpdateToolbar();
    EXPECT_EQ(undoCaption(document), "&Undo Cut");
    EXPECT_TRUE(document->ui().mnuUndo->isEnabled());
    EXPECT_EQ(frame->toolButton(frame->ui().TB.Undo)->toolTip(), "Undo Cut");
    EXPECT_EQ(document->ui().mnuRedo->text(), "Can't &Redo");

    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuUndo));
    EXPECT_EQ(undoCaption(document), "Can't &Undo");
    EXPECT_EQ(document->ui().mnuRedo->text(), "&Redo Cut");
    EXPECT_EQ(frame->toolButton(frame->ui().TB.Redo)->toolTip(), "Redo Cut");
}

TEST_F(DocumentMenus, TheTitleIsTheFileNameWithAStarWhileChanged) {
    std::string file = writeWave("title.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->windowTitle(), "title.wav");
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuFadeOut));
    EXPECT_EQ(document->windowTitle(), "title.wav *");
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuUndo));
    EXPECT_EQ(document->windowTitle(), "title.wav");
}

TEST_F(DocumentMenus, TheChannelCommandOffersTheOtherChannelCount) {
    std::string mono = writeWave("mono.wav", 1, 8000, ramp(800), false);
    startFrame();
    frmMain *document = openDocument(mono);
    ASSERT_NE(document, nullptr);
    document->InitMenu();
    EXPECT_EQ(document->ui().mnuConvertChannels->text(), "Convert to &Stereo");
    EXPECT_FALSE(document->ui().mnuForceStereo->isEnabled());
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuConvertChannels));
    EXPECT_EQ(kvGetChannels(document->ID), 2);
    EXPECT_EQ(document->ui().mnuConvertChannels->text(), "Convert to &Mono");
    EXPECT_TRUE(document->ui().mnuForceStereo->isEnabled());
}

TEST_F(DocumentMenus, PasteEntriesFollowTheClipsAndTheSound) {
    startFrame();
    frmMain *document = newDocument();
    ASSERT_NE(document, nullptr);
    document->InitMenu();
    EXPECT_FALSE(document->ui().mnuPaste->isEnabled());
    frame->UpdateCopy(1);
    document->InitMenu();
    EXPECT_TRUE(document->ui().mnuPasteInsert->isEnabled());
    EXPECT_TRUE(document->ui().mnuPasteNew->isEnabled());
    EXPECT_FALSE(document->ui().mnuPasteReplace->isEnabled()) << "an empty sound";
    EXPECT_TRUE(document->ui().mnuPaste->isEnabled());
}

TEST_F(DocumentMenus, CopyAddsItsClipToTheListAndEnablesPasteAtOnce) {
    std::string file = writeWave("copy.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    int32_t clipsBefore = frame->findChild<QComboBox *>("cmbClip")->count();
    ASSERT_EQ(kvSetSelection(document->ID, 1000, 3000, -1), 0);
    QCoreApplication::processEvents();
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuCopy));
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->findChild<QComboBox *>("cmbClip")->count(), clipsBefore + 1)
        << "no redraw was needed";
    EXPECT_EQ(frame->findChild<QComboBox *>("cmbClip")->currentIndex(), clipsBefore);
    document->InitMenu();
    EXPECT_TRUE(document->ui().mnuPasteInsert->isEnabled());
}

TEST_F(DocumentMenus, ARightClickOpensTheEditMenuUnlessAButtonDragIsUnderWay) {
    std::string file = writeWave("menu.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    QTest::mouseClick(document, Qt::RightButton, Qt::NoModifier, QPoint(40, 40));
    EXPECT_TRUE(document->ui().editMenu->isVisible());
    document->ui().editMenu->hide();

    QTest::mousePress(document, Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
    QTest::mouseClick(document, Qt::RightButton, Qt::NoModifier, QPoint(60, 40));
    EXPECT_FALSE(document->ui().editMenu->isVisible());
    QTest::mouseRelease(document, Qt::LeftButton, Qt::NoModifier, QPoint(60, 40));
}

class ViewSlots : public DocumentTest {};

TEST_F(ViewSlots, ShiftDigitSavesASlotThatTheDigitRestores) {
    std::string file = writeWave("views.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 100, 500, -1);
    document->InitMenu();
    EXPECT_FALSE(document->ui().mnuLView[2]->isEnabled());
    QTest::keyClick(document, Qt::Key_3, Qt::ShiftModifier);
    EXPECT_TRUE(document->savedViews[2]);
    EXPECT_TRUE(document->ui().mnuLView[2]->isEnabled());
    EXPECT_TRUE(frame->ui().TB.V[2]->isEnabled());

    kvSetSelection(document->ID, 2000, 3000, -1);
    QTest::keyClick(document, Qt::Key_3);
    int32_t anchor = 0, end = 0;
    kvGetSelection(document->ID, &anchor, &end, nullptr);
    EXPECT_EQ(anchor, 100);
    EXPECT_EQ(end, 500);
}

TEST_F(ViewSlots, TheSetButtonThenAViewButtonSavesTheSlotAndReleasesTheSetButton) {
    std::string file = writeWave("buttons.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 10, 20, -1);
    frame->ui().TB.vSet->trigger();
    ASSERT_TRUE(frame->ui().TB.vSet->isChecked());
    ASSERT_TRUE(frame->ui().TB.V[1]->isEnabled()) << "every slot can be saved while set";
    frame->ui().TB.V[1]->trigger();
    EXPECT_FALSE(frame->ui().TB.vSet->isChecked());
    EXPECT_TRUE(document->savedViews[1]);
    EXPECT_FALSE(frame->ui().TB.V[2]->isEnabled());

    kvSetSelection(document->ID, 30, 40, -1);
    frame->ui().TB.V[1]->trigger();
    int32_t anchor = 0, end = 0;
    kvGetSelection(document->ID, &anchor, &end, nullptr);
    EXPECT_EQ(anchor, 10);
    EXPECT_EQ(end, 20);
}

class OpenedSounds : public DocumentTest {
  protected:
    /* The frames the window shows, [first, end), as Select View reads them. */
    static std::pair<int32_t, int32_t> visibleFrames(int32_t doc) {
        int32_t first = 0, end = 0;
        kvSelectView(doc);
        kvGetSelection(doc, &first, &end, nullptr);
        return {first, end};
    }
    static std::pair<int32_t, int32_t> selection(int32_t doc) {
        int32_t anchor = -1, end = -1;
        kvGetSelection(doc, &anchor, &end, nullptr);
        return {anchor, end};
    }
};

TEST_F(OpenedSounds, ALongSoundOpensWithACursorAtZeroAndWholeInTheWindow) {
    using Range = std::pair<int32_t, int32_t>;
    struct Case {
        int32_t channels;
        bool floating;
    };
    startFrame();
    for (Case c : {Case{1, false}, Case{2, true}}) {
        SCOPED_TRACE(c.channels);
        std::string name = "long" + std::to_string(c.channels) + ".wav";
        frmMain *document =
            openDocument(writeWave(name, c.channels, 8000, ramp(60 * 8000), c.floating));
        ASSERT_NE(document, nullptr);
        int32_t doc = document->ID, length = kvGetLength(doc);
        EXPECT_EQ(selection(doc), Range(0, 0)) << "a cursor at 0, nothing selected";
        Range shown = visibleFrames(doc);
        EXPECT_EQ(shown.first, 0);
        EXPECT_GE(shown.second, length) << "the whole sound is in the window";
        EXPECT_LT(shown.second - length, document->width()) << "and fills it";
    }
}

class NewDocuments : public DocumentTest {};

TEST_F(NewDocuments, TheConfirmedPropertiesMakeTheDocument) {
    startFrame();
    options.skipNewFileDialog = 0;
    onNextModal([](QWidget *modal) {
        auto *properties = qobject_cast<frmProperties *>(modal);
        ASSERT_NE(properties, nullptr);
        properties->cmbRate->setCurrentText("22050");
        properties->optFormat->button(2)->setChecked(true); /* 24-bit PCM */
        properties->optChannels->button(0)->setChecked(true);
        properties->chkDontAsk->setChecked(true);
        properties->accept();
    });
    frame->mnuNew_Click();
    ASSERT_EQ(frame->documents().size(), 1);
    int32_t channels = 0, rate = 0, bits = 0;
    kvGetProperties(frame->documents().first()->ID, &channels, &rate, &bits);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(params.newFormat, 1);
    EXPECT_EQ(options.skipNewFileDialog, 1);
    EXPECT_EQ(frame->documents().first()->windowTitle(), "Untitled");
}

TEST_F(NewDocuments, CancelledPropertiesCloseTheNewWindowAndKeepTheSettings) {
    startFrame();
    options.skipNewFileDialog = 0;
    int32_t rateBefore = params.newSampleRate;
    onNextModal([](QWidget *modal) {
        auto *properties = qobject_cast<frmProperties *>(modal);
        ASSERT_NE(properties, nullptr);
        properties->cmbRate->setCurrentText("8000");
        properties->reject();
    });
    frame->mnuNew_Click();
    QApplication::processEvents();
    EXPECT_TRUE(frame->documents().isEmpty());
    EXPECT_EQ(params.newSampleRate, rateBefore);
}

TEST_F(NewDocuments, NewFilePresetsSaveWhatTheDialogShowsAndLoadIntoIt) {
    startFrame();
    const int32_t voice[4] = {8, 1, 11025, 1}; /* bits, format, rate, channels */
    ASSERT_EQ(kvSavePreset("New File", "Voice", voice, sizeof voice), 0);
    frmProperties properties(frame.get(), &options, &params, true);
    properties.presets->refresh();
    ASSERT_EQ(properties.presets->loadEntries.size(), 1);
    properties.presets->loadEntries[0]->trigger();
    EXPECT_EQ(properties.cmbRate->currentText(), "11025");
    EXPECT_EQ(properties.optFormat->checkedId(), 0) << "8-bit PCM";
    EXPECT_EQ(properties.optChannels->checkedId(), 0) << "mono";

    /* Chosen by hand, then saved under a new name. */
    QTest::mouseClick(properties.optFormat->button(5), Qt::LeftButton);
    QTest::mouseClick(properties.optChannels->button(1), Qt::LeftButton);
    properties.cmbRate->setCurrentText("48000");
    onNextModal([](QWidget *modal) {
        auto *prompt = qobject_cast<QInputDialog *>(modal);
        ASSERT_NE(prompt, nullptr);
        prompt->setTextValue("Studio");
        prompt->accept();
    });
    properties.presets->savePreset();
    ASSERT_EQ(kvGetPresetCount("New File"), 2);
    int32_t stored[4] = {};
    int32_t studio = 0;
    char name[64] = {};
    for (int32_t i = 0; i < 2; i++) {
        kvGetPresetName("New File", i, name, sizeof name);
        if (QString(name) == "Studio") studio = i;
    }
    ASSERT_EQ(kvLoadPreset("New File", studio, stored, sizeof stored), sizeof stored);
    EXPECT_EQ(std::vector<int32_t>(stored, stored + 4), std::vector<int32_t>({64, 3, 48000, 2}));

    properties.reject();
    EXPECT_EQ(params.newBitsPerSample, 16) << "a preset loaded but cancelled changes nothing";
}

TEST_F(NewDocuments, InsertSilenceAddsTheLengthChosenInItsDialog) {
    startFrame();
    frmMain *document = newDocument();
    ASSERT_NE(document, nullptr);
    ASSERT_EQ(kvGetSampleRate(document->ID), 44100);
    onNextModal([](QWidget *modal) {
        auto *silence = qobject_cast<frmSilence *>(modal);
        ASSERT_NE(silence, nullptr);
        silence->txtAmount->setValue(500);
        silence->cmbUnit->setCurrentIndex(0);
        silence->accept();
    });
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuInsertSilence));
    EXPECT_EQ(kvGetLength(document->ID), 22050);
    EXPECT_EQ(undoCaption(document), "&Undo Insert Silence");
}

class UndoHistory : public DocumentTest {};

TEST_F(UndoHistory, TheListShowsEveryStateAndAClickMovesThere) {
    std::string file = writeWave("history.wav", 1, 8000, ramp(8000), false);
    startFrame();
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuFadeIn));
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuFadeOut));
    QStringList shown;
    int selected = -1;
    onNextModal([&shown, &selected](QWidget *modal) {
        auto *history = qobject_cast<frmUndoHist *>(modal);
        ASSERT_NE(history, nullptr);
        for (int i = 0; i < history->lstHistory->count(); i++)
            shown.append(history->lstHistory->item(i)->text());
        selected = history->lstHistory->currentRow();
        QListWidgetItem *first = history->lstHistory->item(0);
        QTest::mouseClick(history->lstHistory->viewport(), Qt::LeftButton, Qt::NoModifier,
                          history->lstHistory->visualItemRect(first).center());
        history->reject();
    });
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuUndoHist));
    EXPECT_EQ(shown, QStringList({"Original File", "Fade In", "Fade Out"}));
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(kvGetUndoLevel(document->ID), 0);
    EXPECT_EQ(document->windowTitle(), "history.wav");
}
