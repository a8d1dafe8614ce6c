/*
 * The open and save dialogs, offscreen: the open panel's description of the
 * file under the cursor, the save panel's lists and their enabling rules,
 * and what the two exports hand back on OK and on cancel.
 */
#include "engine/codec/file_dialogs.h"
#include "engine/platform/messages.h"
#include "tests/codec/codec_fixture.h"
#include "tests/codec/dialog_support.h"
#include "tests/document/wave_files.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>

class DialogTest : public CodecTest {
  protected:
    void SetUp() override {
        testEnsureApplication();
        CodecTest::SetUp();
    }
};

/* The widest text of a column among the rows the view shows. */
static int contentWidth(QTreeView *view, int column) {
    int widest = 0;
    QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); row++) {
        QString text = view->model()->index(row, column, root).data().toString();
        widest = std::max(widest, view->fontMetrics().horizontalAdvance(text));
    }
    return widest;
}

/* Both file dialogs open wide enough that the detail view shows every
 * column whole, without scrolling sideways; only a long name may be cut. */
TEST_F(DialogTest, BothFileDialogsOpenWideEnoughForEveryColumn) {
    kvTestWriteFile(path("a sound with a rather long name, recorded live.wav"), "RIFF");
    std::unique_ptr<QFileDialog> dialogs[] = {
        std::make_unique<KvOpenDialog>(nullptr),
        std::make_unique<KvSaveDialog>(nullptr, 2, 44100, KvSaveChoice{1, 16, 0, nullptr})};
    for (const auto &dialog : dialogs) {
        SCOPED_TRACE(dialog->acceptMode() == QFileDialog::AcceptOpen ? "open" : "save");
        dialog->setDirectory(QString::fromStdString(root));
        dialog->setViewMode(QFileDialog::Detail);
        dialog->show();
        auto *view = dialog->findChild<QTreeView *>("treeView");
        ASSERT_NE(view, nullptr);
        QHeaderView *header = view->header();
        for (int i = 0; i < 50; i++) {
            QApplication::processEvents();
            usleep(10000);
        }
        ASSERT_GT(view->model()->rowCount(view->rootIndex()), 0) << "the folder was listed";
        for (int column = 0; column < header->count(); column++) {
            SCOPED_TRACE(
                header->model()->headerData(column, Qt::Horizontal).toString().toStdString());
            EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column))
                << "the heading is whole";
            if (column > 0) {
                EXPECT_GE(header->sectionSize(column), contentWidth(view, column))
                    << "so are sizes, kinds and dates";
            }
        }
        EXPECT_GE(view->viewport()->width(), header->length()) << "and every column is in view";
        dialog->hide();
    }
}

/* ---- Open panel ---- */

class OpenPanel : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        dialog = new KvOpenDialog(nullptr);
    }
    void TearDown() override {
        delete dialog;
        DialogTest::TearDown();
    }
    void select(const std::string &file) {
        emit dialog->currentChanged(QString::fromStdString(file));
    }
    std::string text(const char *name) {
        return testControl<QLabel>(dialog, name)->text().toStdString();
    }
    bool previewEnabled() { return testControl<QPushButton>(dialog, "ctl1001")->isEnabled(); }
    KvOpenDialog *dialog = nullptr;
};

TEST_F(OpenPanel, WaveWithAnEighteenByteFormatChunkShowsItsFormatAndLength) {
    TestWave wave;
    wave.fmtSize = 18;
    wave.samples.assign(44100 * 4 * 5 / 2, '\0'); /* 2.5 s of 16-bit stereo */
    kvTestWriteFile(path("long-fmt.wav"), wave.bytes());
    select(path("long-fmt.wav"));
    EXPECT_EQ(text("ctl1002"), "Selected File: PCM, 16 Bits, Stereo, 44100 Hz");
    EXPECT_EQ(text("ctl1003"), "Length: 0:02.50");
    EXPECT_TRUE(previewEnabled());
}

TEST_F(OpenPanel, LengthCountsMinutesSecondsAndHundredths) {
    TestWave wave;
    wave.channels = 1;
    wave.sampleRate = 8000;
    wave.bitsPerSample = 8;
    wave.samples.assign(8000 * 61 + 4000 + 80, '\x80'); /* 61.51 s */
    kvTestWriteFile(path("minute.wav"), wave.bytes());
    select(path("minute.wav"));
    EXPECT_EQ(text("ctl1002"), "Selected File: PCM, 8 Bits, Mono, 8000 Hz");
    EXPECT_EQ(text("ctl1003"), "Length: 1:01.51");
}

TEST_F(OpenPanel, WaveTheReaderOpensIsDescribedEvenWithChunksBeforeItsData) {
    TestWave wave;
    wave.extra = {testChunk("LIST", "INFOISFT\x04\0\0\0Test")};
    wave.samples.assign(44100 * 4, '\0');
    kvTestWriteFile(path("list.wav"), wave.bytes());
    select(path("list.wav"));
    EXPECT_EQ(text("ctl1002"), "Selected File: PCM, 16 Bits, Stereo, 44100 Hz");
    EXPECT_EQ(text("ctl1003"), "Length: 0:01.00");
}

TEST_F(OpenPanel, Mp3IsDescribedFromItsFirstFrame) {
    TestTone tone;
    tone.channels = 1;
    tone.frames = 3 * 44100;
    std::string mp3 = makeMp3(tone, "mono", "-m m -b 128");
    select(mp3);
    EXPECT_EQ(text("ctl1002"), "Selected File: MP3, 128 kbps, Mono, 44100 Hz");
    /* The length is estimated from the file size at the stream's bit rate. */
    struct stat info;
    stat(mp3.c_str(), &info);
    int64_t hundredths = 100 * static_cast<int64_t>(info.st_size) / (128 * 125);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Length: %d:%02d.%02d",
                  static_cast<int>(hundredths / 6000), static_cast<int>(hundredths / 100 % 60),
                  static_cast<int>(hundredths % 100));
    EXPECT_EQ(text("ctl1003"), expected);
    EXPECT_EQ(text("ctl1003").substr(0, 12), "Length: 0:03");
    EXPECT_TRUE(previewEnabled());
}

/* A variable rate is named, and its average gives the length. */
TEST_F(OpenPanel, VariableBitRateMp3IsDescribedByItsAverage) {
    TestTone tone;
    tone.frames = 3 * 44100;
    tone.noise = 0.1;
    select(makeMp3(tone, "varying", "-V 2"));
    EXPECT_EQ(text("ctl1002").substr(0, 32), "Selected File: MP3, VBR, average");
    EXPECT_EQ(text("ctl1003").substr(0, 12), "Length: 0:03");
}

/* Every WAVE file the editor opens is described, with the channels it has,
 * and can be previewed. */
struct Described {
    const char *name;
    int32_t formatTag, bits, channels;
    std::string extension;
    const char *text;
};

class OpenPanelFormats : public OpenPanel, public ::testing::WithParamInterface<Described> {};

TEST_P(OpenPanelFormats, AreDescribedAndCanBePreviewed) {
    TestWave wave;
    wave.formatTag = GetParam().formatTag;
    wave.bitsPerSample = GetParam().bits;
    wave.channels = GetParam().channels;
    wave.extension = GetParam().extension;
    if (!wave.extension.empty()) wave.fmtSize = 40;
    if (wave.formatTag == 7) wave.fmtSize = 18;
    wave.samples.assign(44100 / 2 * wave.channels * wave.bitsPerSample / 8, '\0');
    kvTestWriteFile(path("kind.wav"), wave.bytes());
    select(path("kind.wav"));
    EXPECT_EQ(text("ctl1002"), GetParam().text);
    EXPECT_EQ(text("ctl1003"), "Length: 0:00.50");
    EXPECT_TRUE(previewEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    NewKinds, OpenPanelFormats,
    ::testing::Values(
        Described{"Float", 3, 32, 2, "", "Selected File: Float, 32 Bits, Stereo, 44100 Hz"},
        Described{"Pcm24", 1, 24, 2, "", "Selected File: PCM, 24 Bits, Stereo, 44100 Hz"},
        Described{"Mulaw", 7, 8, 1, "", "Selected File: u-law, 8 Bits, Mono, 44100 Hz"},
        Described{"FivePointOne", 0xFFFE, 16, 6, testExtensible(16, 0x3F, 1),
                  "Selected File: PCM, 16 Bits, 6 Channels, 44100 Hz"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(OpenPanel, FoldersAndOtherFilesLeaveThePanelBlank) {
    select(makeMp3(TestTone{}, "first"));
    select(root);
    EXPECT_EQ(text("ctl1002"), "");
    EXPECT_FALSE(previewEnabled());
    kvTestWriteFile(path("notes.txt"), std::string(5000, 'x'));
    select(path("notes.txt"));
    EXPECT_EQ(text("ctl1002"), "");
    EXPECT_EQ(text("ctl1003"), "");
    EXPECT_FALSE(previewEnabled());
}

TEST_F(OpenPanel, PanelControlsSitBelowTheDialogsOwn) {
    EXPECT_EQ(testControl<QPushButton>(dialog, "ctl1001")->text(), "Preview");
    QStringList filters = {"Supported File Types (*.wav *.mp3)", "PCM Wave Files (*.wav)",
                           "MPEG1 Layer-3 Files (*.mp3)"};
    if (kvSoundFilesInstalled())
        filters = {"Supported File Types (*.wav *.mp3 *.flac *.ogg *.opus *.aif *.aiff)",
                   "PCM Wave Files (*.wav)",
                   "MPEG1 Layer-3 Files (*.mp3)",
                   "FLAC Files (*.flac)",
                   "Ogg Vorbis Files (*.ogg)",
                   "Opus Files (*.opus)",
                   "AIFF Files (*.aif *.aiff)"};
    EXPECT_EQ(dialog->nameFilters(), filters);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
}

/* ---- Save panel ---- */

class SavePanel : public DialogTest {
  protected:
    void TearDown() override {
        delete dialog;
        DialogTest::TearDown();
    }
    void open(int32_t channels, int32_t rate, KvSaveChoice choice) {
        dialog = new KvSaveDialog(nullptr, channels, rate, choice);
        dialog->show();
    }
    QComboBox *codecs() { return testControl<QComboBox>(dialog, "ctl1005"); }
    QComboBox *attributes() { return testControl<QComboBox>(dialog, "ctl1006"); }
    bool enabled(const char *name) { return testControl<QWidget>(dialog, name)->isEnabled(); }
    bool okEnabled() {
        auto *buttons = dialog->findChild<QDialogButtonBox *>("buttonBox");
        for (QAbstractButton *button : buttons->buttons())
            if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
                return button->isEnabled();
        return false;
    }
    /* Picks a file type the way the user does, through the dialog's type box. */
    void chooseType(int index) {
        auto *types = dialog->findChild<QComboBox *>("fileTypeCombo");
        types->setCurrentIndex(index);
        emit types->activated(index);
        emit types->textActivated(types->itemText(index));
    }
    int32_t boxesShown(const std::string &title) {
        int32_t count = 0;
        for (const KvShownBox &box : kvTestTakeShownBoxes())
            count += box.title == title;
        return count;
    }
    KvSaveDialog *dialog = nullptr;
};

static const std::vector<std::string> kAttributes = {
    "8 Bit Unsigned",           "16 Bit Signed",           "24 Bit Signed", "32 Bit Signed",
    "Bit IEEE Single (32 Bit)", "Bit IEEE Double (64 Bit)"};

TEST_F(SavePanel, WaveDocumentOffersTheSampleFormats) {
    open(2, 44100, {3, 64, 0, nullptr});
    EXPECT_EQ(testEntries(attributes()), kAttributes);
    EXPECT_EQ(attributes()->currentText(), "Bit IEEE Double (64 Bit)");
    EXPECT_FALSE(enabled("ctl1005"));
    EXPECT_FALSE(enabled("ctl1004"));
    EXPECT_TRUE(enabled("ctl1007"));
    EXPECT_EQ(dialog->selectedNameFilter(), "PCM Wave File (*.wav)");
}

TEST_F(SavePanel, SwitchingTheTypeRefillsTheLists) {
    open(2, 44100, {1, 16, 128, nullptr});
    EXPECT_STREQ(kvSaveExtension(), "wav");
    chooseType(1);
    EXPECT_STREQ(kvSaveExtension(), "mp3");
    EXPECT_EQ(dialog->defaultSuffix(), "mp3");
    ASSERT_EQ(codecs()->count(), 1);
    EXPECT_EQ(codecs()->itemText(0).toStdString().rfind("LAME", 0), 0u);
    EXPECT_TRUE(enabled("ctl1005"));
    std::vector<std::string> rates;
    for (int rate : {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320})
        rates.push_back("Bitrate: " + std::to_string(rate) + " kbps");
    EXPECT_EQ(testEntries(attributes()), rates);
    EXPECT_EQ(attributes()->currentText(), "Bitrate: 128 kbps");
    EXPECT_EQ(dialog->choice.saveFormat, 85);
    EXPECT_NE(dialog->choice.saveCodec, nullptr);

    chooseType(0);
    EXPECT_STREQ(kvSaveExtension(), "wav");
    EXPECT_EQ(testEntries(attributes()), kAttributes);
    EXPECT_EQ(attributes()->currentText(), "16 Bit Signed");
    EXPECT_FALSE(enabled("ctl1005"));
}

TEST_F(SavePanel, MpegTwoRatesOfferTheirBitRates) {
    open(1, 22050, {85, 16, 256, nullptr});
    ASSERT_EQ(attributes()->count(), 14);
    EXPECT_EQ(attributes()->itemText(0), "Bitrate: 8 kbps");
    EXPECT_EQ(attributes()->itemText(13), "Bitrate: 160 kbps");
}

/* The document's bit rate when it is offered, else the entry nearest to
 * 256 kbit/s; the selected entry is the choice. */
TEST_F(SavePanel, TheSelectedBitRateIsTheDocumentsOrTheOfferedOneNearest256) {
    struct Case {
        int32_t channels, rate, documentBitRate, selected;
    };
    for (Case c : {Case{2, 44100, 0, 256}, Case{2, 44100, 112, 112}, Case{1, 22050, 256, 160},
                   Case{2, 48000, 300, 256}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, document " << c.documentBitRate);
        open(c.channels, c.rate, {85, 16, c.documentBitRate, nullptr});
        QString expected = QString("Bitrate: %1 kbps").arg(c.selected);
        EXPECT_EQ(attributes()->currentText(), expected);
        EXPECT_EQ(dialog->choice.saveBitRate, c.selected);
        delete dialog;
        dialog = nullptr;
    }
}

/* A variable-bit-rate source is offered first, as such, and chosen until a
 * constant rate is picked. */
TEST_F(SavePanel, AVariableBitRateSourceKeepsItsKindOfRateUntilAnotherIsChosen) {
    KvSaveChoice choice{85, 16, 128, nullptr};
    choice.sourceAverage = 128;
    choice.saveVariable = true;
    open(2, 44100, choice);
    ASSERT_EQ(attributes()->count(), 15);
    EXPECT_EQ(attributes()->currentText(), "Bitrate: VBR, average 128 kbps");
    EXPECT_TRUE(dialog->choice.saveVariable);
    attributes()->setCurrentIndex(9);
    emit attributes()->activated(9);
    EXPECT_EQ(attributes()->currentText(), "Bitrate: 128 kbps");
    EXPECT_FALSE(dialog->choice.saveVariable);
    EXPECT_EQ(dialog->choice.saveBitRate, 128);
}

TEST_F(SavePanel, ChoosingAnEntrySetsTheChoice) {
    open(2, 44100, {1, 16, 0, nullptr});
    attributes()->setCurrentIndex(5);
    emit attributes()->activated(5);
    EXPECT_EQ(dialog->choice.saveFormat, 3);
    EXPECT_EQ(dialog->choice.saveBits, 64);
    EXPECT_EQ(dialog->choice.saveBitRate, 0);
    chooseType(1);
    attributes()->setCurrentIndex(13);
    emit attributes()->activated(13);
    EXPECT_EQ(dialog->choice.saveBitRate, 320);
    EXPECT_EQ(dialog->choice.saveBits, 16);
}

/* Each libsndfile type offers its natural choices, starting on a sensible
 * default (never the lowest quality), and the last entry sets the choice. */
TEST_F(SavePanel, LibraryTypesOfferTheirChoicesWithAMiddleDefault) {
    if (!kvSoundFilesInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    struct Type {
        int index;
        const char *extension, *selected, *last;
        int32_t lastBits, lastSetting;
    };
    for (const Type &type : {Type{2, "flac", "16 Bit, Level 5", "24 Bit, Level 8", 24, 8},
                             Type{3, "ogg", "Quality 6", "Quality 10", 16, 10},
                             Type{4, "opus", "Bitrate: 128 kbps", "Bitrate: 256 kbps", 16, 256},
                             Type{5, "aif", "16 Bit Signed", "24 Bit Signed", 24, 0}}) {
        SCOPED_TRACE(type.extension);
        open(2, 48000, {1, 16, 0, nullptr});
        chooseType(type.index);
        EXPECT_STREQ(kvSaveExtension(), type.extension);
        EXPECT_EQ(attributes()->currentText().toStdString(), type.selected);
        int last = attributes()->count() - 1;
        attributes()->setCurrentIndex(last);
        emit attributes()->activated(last);
        EXPECT_EQ(attributes()->currentText().toStdString(), type.last);
        EXPECT_EQ(dialog->choice.saveBits, type.lastBits);
        EXPECT_EQ(dialog->choice.saveBitRate, type.lastSetting);
        delete dialog;
        dialog = nullptr;
    }
}

/* A Vorbis quality of 8 is no MP3 bit rate of 8 kbit/s. */
TEST_F(SavePanel, LeavingALibraryTypeForMp3StartsNearTheDefaultBitRate) {
    if (!kvSoundFilesInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    open(1, 8000, {KV_FORMAT_VORBIS, 16, 8, nullptr});
    chooseType(1);
    EXPECT_EQ(attributes()->currentText(), "Bitrate: 64 kbps");
}

TEST_F(SavePanel, LeavingFloatingPointForPcmNeverChoosesSixtyFourBitPcm) {
    open(2, 44100, {3, 64, 0, nullptr});
    dialog->typeChanged(1);
    EXPECT_EQ(dialog->choice.saveFormat, 1);
    EXPECT_EQ(dialog->choice.saveBits, 16);
    EXPECT_EQ(attributes()->currentText(), "16 Bit Signed");
}

TEST_F(SavePanel, NoCodecForTheRateDisablesOkAndSaysSoOnce) {
    kvTestQueueAnswer(KV_ID_OK);
    kvTestQueueAnswer(KV_ID_OK);
    open(2, 96000, {1, 16, 0, nullptr});
    dialog->findChild<QLineEdit *>("fileNameEdit")->setText("name");
    EXPECT_TRUE(okEnabled());
    chooseType(1);
    EXPECT_EQ(attributes()->count(), 0);
    EXPECT_FALSE(okEnabled());
    for (const char *name : {"ctl1004", "ctl1005", "ctl1006", "ctl1007"})
        EXPECT_FALSE(enabled(name)) << name;
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "No CODECs Found");
    EXPECT_EQ(boxes[0].text, "No CODECs Found for the specified format. Please select a "
                             "different file type.");
    EXPECT_EQ(boxes[0].icon, KV_ICON_WARNING);

    dialog->refillLists();
    dialog->findChild<QLineEdit *>("fileNameEdit")->setText("other");
    EXPECT_FALSE(okEnabled());
    EXPECT_EQ(boxesShown("No CODECs Found"), 0);
    chooseType(0);
    EXPECT_TRUE(okEnabled());
    chooseType(1);
    EXPECT_EQ(boxesShown("No CODECs Found"), 1);
}

TEST_F(SavePanel, HiddenCodecsShowTheBoxWhenTheDialogOpens) {
    setenv("KORVEL_NO_CODECS", "1", 1);
    kvTestQueueAnswer(KV_ID_OK);
    open(2, 44100, {85, 16, 128, nullptr});
    EXPECT_EQ(codecs()->count(), 0);
    EXPECT_FALSE(okEnabled());
    EXPECT_EQ(boxesShown("No CODECs Found"), 1);
    EXPECT_EQ(dialog->selectedNameFilter(), "MPEG1 Layer-3 File (*.mp3)");
}

/* ---- The exports ---- */

class DialogExports : public DialogTest {
  protected:
    /* A stereo 44100 Hz WAVE document opened from `name`. */
    void openWave(const std::string &name) {
        kvTestWriteFile(path(name), TestTone{}.wave());
        ASSERT_EQ(kvOpen(doc, path(name).c_str()), 0);
    }
};

TEST_F(DialogExports, CancelledSaveDialogChangesNothing) {
    openWave("song.wav");
    KV_Document before = *kvGetDocument(doc);
    char name[255];
    std::snprintf(name, sizeof name, "%s", path("song.wav").c_str());
    std::string typed;
    testWhenModal([&typed](QWidget *dialog) {
        typed = dialog->findChild<QLineEdit *>("fileNameEdit")->text().toStdString();
        static_cast<QDialog *>(dialog)->reject();
    });
    EXPECT_EQ(kvGetSaveFile(doc, name), -1);
    EXPECT_EQ(typed, "song");
    EXPECT_EQ(std::string(name), path("song.wav"));
    KV_Document *after = kvGetDocument(doc);
    EXPECT_EQ(after->formatTag, before.formatTag);
    EXPECT_EQ(after->bitsPerSample, before.bitsPerSample);
    EXPECT_EQ(after->bitRate, before.bitRate);
    EXPECT_EQ(after->codecDriver, before.codecDriver);
}

TEST_F(DialogExports, AcceptedSaveDialogHandsBackThePathAndTheChoices) {
    openWave("song.wav");
    char name[255];
    std::snprintf(name, sizeof name, "%s", path("song.wav").c_str());
    std::string target = path("renamed");
    testWhenModal([target](QWidget *widget) {
        auto *dialog = static_cast<KvSaveDialog *>(widget);
        auto *types = dialog->findChild<QComboBox *>("fileTypeCombo");
        types->setCurrentIndex(1);
        emit types->activated(1);
        emit types->textActivated(types->itemText(1));
        dialog->selectFile(QString::fromStdString(target));
        dialog->accept();
    });
    ASSERT_EQ(kvGetSaveFile(doc, name), 0);
    EXPECT_EQ(std::string(name), target + ".mp3");
    KV_Document *document = kvGetDocument(doc);
    EXPECT_EQ(document->formatTag, 85);
    EXPECT_EQ(document->bitsPerSample, 16);
    EXPECT_EQ(document->codecDriver, kvFindCodec(2, 44100));
    EXPECT_GE(document->bitRate, 32);
    ASSERT_EQ(kvSave(doc, name), 0) << lastMessage();
    int32_t reopened = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(reopened, name), 0);
    EXPECT_EQ(kvGetDocument(reopened)->bitRate, document->bitRate);
}

static std::vector<std::string> chosenPaths;
static void collectPath(const char *path, int32_t length) {
    chosenPaths.push_back(std::string(path, length));
    EXPECT_EQ(std::strlen(path), static_cast<size_t>(length));
}

TEST_F(DialogExports, OpenDialogPassesEveryChosenPath) {
    kvTestWriteFile(path("one.wav"), TestTone{}.wave());
    chosenPaths.clear();
    std::string chosen = path("one.wav");
    testWhenModal([chosen](QWidget *widget) {
        auto *dialog = static_cast<QFileDialog *>(widget);
        dialog->selectFile(QString::fromStdString(chosen));
        static_cast<QDialog *>(dialog)->accept();
    });
    EXPECT_EQ(kvGetFileNames(collectPath), 0);
    EXPECT_EQ(chosenPaths, std::vector<std::string>{chosen});
}

TEST_F(DialogExports, CancelledOpenDialogCallsNothing) {
    chosenPaths.clear();
    testWhenModal([](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); });
    EXPECT_EQ(kvGetFileNames(collectPath), -1);
    EXPECT_TRUE(chosenPaths.empty());
}
