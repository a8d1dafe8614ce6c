/*
 * The two shared dialog controls: the preset box against the engine's real
 * preset store, and the preview strip's fade, bypass and preview button.
 */
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/ctl_preview.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"
#include "tests/shell/shell_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include <cstring>

namespace {

struct Slice {
    int32_t values[4];
};

/* The visible, non-separator entries of a menu: caption and enabled state. */
std::vector<std::pair<QString, bool>> entriesOf(QMenu *menu) {
    std::vector<std::pair<QString, bool>> entries;
    for (QAction *action : menu->actions())
        if (!action->isSeparator() && action->isVisible())
            entries.emplace_back(action->text(), action->isEnabled());
    return entries;
}

std::string presetName(const char *group, int index) {
    char buffer[64] = {};
    kvGetPresetName(group, index, buffer, sizeof buffer);
    return buffer;
}

} // namespace

class PresetBoxTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        startFrame();
        owner = std::make_unique<QWidget>();
        box = new ctlPresets(owner.get());
        box->LoadMenu("Test Group", &slice, sizeof slice);
    }
    void TearDown() override {
        owner.reset();
        ShellTest::TearDown();
    }
    /* The next name prompt is answered with `name` (Cancel when null). */
    void answerName(const char *name) {
        std::string text = name ? name : "";
        bool cancel = name == nullptr;
        onNextModal([text, cancel](QWidget *modal) {
            auto *prompt = qobject_cast<QInputDialog *>(modal);
            ASSERT_NE(prompt, nullptr);
            EXPECT_EQ(prompt->windowTitle(), "Preset Name");
            EXPECT_EQ(prompt->labelText(), "Preset Name");
            if (cancel) {
                prompt->reject();
                return;
            }
            prompt->setTextValue(QString::fromStdString(text));
            prompt->accept();
        });
    }

    Slice slice = {{1, 2, 3, 4}};
    std::unique_ptr<QWidget> owner;
    ctlPresets *box = nullptr;
};

TEST_F(PresetBoxTest, EmptyGroupOffersOnlyDisabledDeleteAndSave) {
    auto entries = entriesOf(box->mnuPresets);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], std::make_pair(QString("&Delete Preset"), false));
    EXPECT_EQ(entries[1], std::make_pair(QString("&Save Preset..."), true));
    EXPECT_EQ(box->mnuPresets->defaultAction(), box->mnuSave);
}

/* The equalizer, compressor, echo and reverb ship presets: listed above the
 * user's own, loaded into the record like them, never in the delete menu. */
TEST_F(PresetBoxTest, ShippedPresetsComeFirstLoadAndCannotBeDeleted) {
    struct Group {
        const char *name;
        void *record;
        int32_t size;
    };
    const Group groups[] = {{"EQ", params.eqBandDb, sizeof params.eqBandDb},
                            {"Compressor", &params.compThresholdDb, 40},
                            {"Echo", &params.echoFeedbackRtoLDb, 64},
                            {"Reverb", params.reverbLevelDb, 36}};
    for (const Group &group : groups) {
        SCOPED_TRACE(group.name);
        std::vector<char> before(static_cast<const char *>(group.record),
                                 static_cast<const char *>(group.record) + group.size);
        kvSavePreset(group.name, "Mine", group.record, group.size);
        box->LoadMenu(group.name, group.record, group.size);
        ASSERT_GE(box->factoryEntries.size(), 3);
        QList<QAction *> entries = box->mnuPresets->actions();
        for (int i = 0; i < box->factoryEntries.size(); i++)
            EXPECT_EQ(entries[i], box->factoryEntries[i]) << "shipped presets come first";
        ASSERT_EQ(box->loadEntries.size(), 1);
        EXPECT_GT(entries.indexOf(box->loadEntries[0]), box->factoryEntries.size());
        ASSERT_EQ(box->deleteEntries.size(), 1) << "only the user's own can be deleted";
        EXPECT_EQ(box->deleteEntries[0]->text(), "Mine");

        for (QAction *shipped : box->factoryEntries) {
            std::memcpy(group.record, before.data(), before.size());
            QSignalSpy loaded(box, &ctlPresets::presetLoaded);
            shipped->trigger();
            EXPECT_EQ(loaded.count(), 1);
            EXPECT_NE(std::memcmp(group.record, before.data(), before.size()), 0)
                << shipped->text().toStdString() << " changes the settings";
        }
        std::memcpy(group.record, before.data(), before.size());
    }
}

TEST_F(PresetBoxTest, AmpersandInANameShowsLiterally) {
    kvSavePreset("Test Group", "Rock & Roll", &slice, sizeof slice);
    box->refresh();
    ASSERT_EQ(box->loadEntries.size(), 1);
    EXPECT_EQ(box->loadEntries[0]->text(), "Rock && Roll");
    EXPECT_EQ(box->deleteEntries[0]->text(), "Rock && Roll");
    EXPECT_TRUE(box->mnuDelete->isEnabled());
}

TEST_F(PresetBoxTest, SavingRefusesSixtyOneCharactersAndAcceptsSixty) {
    std::string tooLong(61, 'x'), longest(60, 'y');
    answerName(tooLong.c_str());
    mdlTestQueueAnswer(QMessageBox::Ok);
    answerName(longest.c_str());
    box->savePreset();
    auto boxes = mdlTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Name Too Long");
    EXPECT_EQ(boxes[0].text, "Please choose a name less than 60 characters");
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    ASSERT_EQ(kvGetPresetCount("Test Group"), 1);
    EXPECT_EQ(presetName("Test Group", 0), longest);
    ASSERT_EQ(box->loadEntries.size(), 1);
}

TEST_F(PresetBoxTest, CancelledOrEmptyNameSavesNothing) {
    answerName(nullptr);
    box->savePreset();
    answerName("");
    box->savePreset();
    EXPECT_EQ(kvGetPresetCount("Test Group"), 0);
}

TEST_F(PresetBoxTest, OverwriteInOtherCaseReplacesInPlaceOnlyAfterYes) {
    kvSavePreset("Test Group", "Warm", &slice, sizeof slice);
    kvSavePreset("Test Group", "Bright", &slice, sizeof slice);
    slice.values[0] = 99;
    answerName("WARM");
    mdlTestQueueAnswer(QMessageBox::No);
    answerName("WARM");
    mdlTestQueueAnswer(QMessageBox::Yes);
    box->savePreset();
    auto boxes = mdlTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Confirm Overwrite");
    EXPECT_EQ(boxes[0].text, "Overwrite existing preset?");
    EXPECT_EQ(boxes[0].defaultButton, QMessageBox::No);
    ASSERT_EQ(kvGetPresetCount("Test Group"), 2);
    EXPECT_EQ(presetName("Test Group", 0), "WARM");
    Slice stored = {};
    kvLoadPreset("Test Group", 0, &stored, sizeof stored);
    EXPECT_EQ(stored.values[0], 99);
}

TEST_F(PresetBoxTest, LoadingFillsTheRecordAndTellsTheDialog) {
    Slice saved = {{7, 8, 9, 10}};
    kvSavePreset("Test Group", "Saved", &saved, sizeof saved);
    box->refresh();
    int loaded = 0;
    QObject::connect(box, &ctlPresets::presetLoaded, [&loaded] { loaded++; });
    box->loadEntries[0]->trigger();
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(std::memcmp(&slice, &saved, sizeof slice), 0);
}

TEST_F(PresetBoxTest, DeleteAsksAndRemovesOnlyOnYes) {
    for (const char *name : {"One", "Two", "Three"})
        kvSavePreset("Test Group", name, &slice, sizeof slice);
    box->refresh();
    mdlTestQueueAnswer(QMessageBox::No);
    box->deleteEntries[0]->trigger();
    EXPECT_EQ(kvGetPresetCount("Test Group"), 3);
    mdlTestQueueAnswer(QMessageBox::Yes);
    box->deleteEntries[0]->trigger();
    auto boxes = mdlTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].title, "Confirm Preset Delete");
    EXPECT_EQ(boxes[1].text,
              "You are about to remove the following preset:\n\n\tOne\n\nAre you sure?");
    ASSERT_EQ(kvGetPresetCount("Test Group"), 2);
    EXPECT_EQ(presetName("Test Group", 0), "Two");
    ASSERT_EQ(box->loadEntries.size(), 2);
    EXPECT_EQ(box->loadEntries[1]->text(), "Three");
}

class PreviewStripTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        startFrame();
        std::string file = writeWave("strip.wav", 1, 8000, ramp(8000), false);
        document = openDocument(file);
        ASSERT_NE(document, nullptr);
        mdlMain.dialogDoc = document->ID;
        owner = std::make_unique<QWidget>();
        strip = new ctlPreview(owner.get(), &params);
        owner->show();
    }
    void TearDown() override {
        owner.reset();
        ctlPreview::previewStartCall = kvPreviewStart;
        ctlPreview::previewStopCall = kvStop;
        ShellTest::TearDown();
    }
    void typeLength(const QString &text) {
        QLineEdit *edit = strip->cmbFade->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    frmMain *document = nullptr;
    std::unique_ptr<QWidget> owner;
    ctlPreview *strip = nullptr;
};

TEST_F(PreviewStripTest, FadeLengthIsStoredAsTypedAndCorrectedOnLeaving) {
    strip->Init(true, KV_EDIT_VOLUME);
    strip->chkFade->setChecked(true);
    typeLength("5000");
    EXPECT_EQ(params.fadeEdgesMs, 5000);
    emit strip->cmbFade->lineEdit()->editingFinished();
    EXPECT_EQ(params.fadeEdgesMs, 1000);
    EXPECT_EQ(strip->cmbFade->currentText(), "1000");
    typeLength("0");
    EXPECT_EQ(params.fadeEdgesMs, 0);
    emit strip->cmbFade->lineEdit()->editingFinished();
    EXPECT_EQ(params.fadeEdgesMs, 1);
    EXPECT_EQ(strip->cmbFade->currentText(), "1");
    strip->cmbFade->setCurrentIndex(strip->cmbFade->findText("75"));
    emit strip->cmbFade->textActivated("75");
    EXPECT_EQ(params.fadeEdgesMs, 75);
}

TEST_F(PreviewStripTest, WholeSoundUsesFadeEdgesWholeAndPartUsesFadeEdges) {
    params.fadeEdges = 1;
    params.fadeEdgesWhole = 0;
    kvSetSelection(document->ID, 0, 0, -1);
    strip->Init(true, KV_EDIT_VOLUME);
    EXPECT_EQ(strip->wholeTarget, 1);
    EXPECT_FALSE(strip->chkFade->isChecked());
    EXPECT_FALSE(strip->cmbFade->isEnabled());
    strip->chkFade->setChecked(true);
    EXPECT_EQ(params.fadeEdgesWhole, 1);
    EXPECT_EQ(params.fadeEdges, 1);

    kvSetSelection(document->ID, 100, 200, -1);
    params.fadeEdgesWhole = 0;
    strip->Init(true, KV_EDIT_VOLUME);
    EXPECT_EQ(strip->wholeTarget, 0);
    EXPECT_TRUE(strip->chkFade->isChecked());
    EXPECT_TRUE(strip->cmbFade->isEnabled());
    strip->chkFade->setChecked(false);
    EXPECT_EQ(params.fadeEdges, 0);
    EXPECT_EQ(params.fadeEdgesWhole, 0);
}

TEST_F(PreviewStripTest, PreviewButtonStartsAndStopsTheDialogsEdit) {
    std::vector<std::pair<int32_t, int32_t>> starts;
    int stops = 0;
    ctlPreview::previewStartCall = [&starts](int32_t doc, int32_t edit) {
        starts.emplace_back(doc, edit);
        return 0;
    };
    ctlPreview::previewStopCall = [&stops] {
        stops++;
        return 0;
    };
    params.previewBypass = 1;
    strip->Init(true, KV_EDIT_REVERB);
    EXPECT_EQ(params.previewBypass, 0);
    strip->chkBypass->setChecked(true);
    EXPECT_EQ(params.previewBypass, 1);
    QTest::mouseClick(strip->cmdPreview, Qt::LeftButton);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0], (std::pair<int32_t, int32_t>(document->ID, KV_EDIT_REVERB)));
    EXPECT_EQ(strip->cmdPreview->text(), "&Stop");
    EXPECT_TRUE(strip->IsPreviewing());
    strip->StartPreview();
    EXPECT_EQ(starts.size(), 1u);
    QTest::mouseClick(strip->cmdPreview, Qt::LeftButton);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(strip->cmdPreview->text(), "&Start");
    strip->StopPreview();
    EXPECT_EQ(stops, 1);
}

TEST_F(PreviewStripTest, OkConfirmsAndCancelDoesNot) {
    strip->Init(true, KV_EDIT_NONE);
    EXPECT_FALSE(strip->fraPreview->isVisibleTo(owner.get()));
    EXPECT_FALSE(strip->cmdHelp->isEnabled());
    std::vector<bool> results;
    QObject::connect(strip, &ctlPreview::done,
                     [&results](bool confirmed) { results.push_back(confirmed); });
    QTest::mouseClick(strip->cmdCancel, Qt::LeftButton);
    QTest::mouseClick(strip->cmdOK, Qt::LeftButton);
    EXPECT_EQ(results, (std::vector<bool>{false, true}));
}
