/*
 * The options dialog on a running frame: the working copy that only Apply and
 * OK write back, the lists and what each choice stores, the temp-drive
 * notice, the colour controls and preview, and scheme browsing in menus.
 * Device and drive lists come from fixed fakes, so every test sees the same.
 */
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/frm_options.h"
#include "app/dialogs/help_topics.h"
#include "app/shell/frm_properties.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"
#include "tests/shell/shell_fixture.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

using Scheme = std::array<int32_t, 11>;

int32_t fakeDeviceCount(int32_t input) {
    return input ? 0 : 2;
}

int32_t fakeDeviceName(int32_t, int32_t n, char *buffer, int32_t size) {
    const char *names[2] = {"Alpha", "Beta"};
    if (n < 0 || n > 1) return -1;
    return std::snprintf(buffer, static_cast<size_t>(size), "%s", names[n]);
}

/* C: is "/" labelled "System"; D: is "/data" without a label. */
int32_t fakeDrive(int32_t n, char *mount, int32_t mountSize, char *label, int32_t labelSize) {
    if (n < 0 || n > 1) return -1;
    std::snprintf(mount, static_cast<size_t>(mountSize), "%s", n == 0 ? "/" : "/data");
    std::snprintf(label, static_cast<size_t>(labelSize), "%s", n == 0 ? "System" : "");
    return n == 0 ? 'C' : 'D';
}

QRgb rgbOf(int32_t value) {
    return qRgb(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

std::optional<QPoint> findPixel(const QImage &image, QRgb colour) {
    for (int y = 0; y < image.height(); y++)
        for (int x = 0; x < image.width(); x++)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return QPoint(x, y);
    return std::nullopt;
}

bool showsColour(QWidget *picture, QRgb colour) {
    return findPixel(picture->grab().toImage(), colour).has_value();
}

QAction *entryNamed(QMenu *menu, const QString &text) {
    for (QAction *entry : menu->actions())
        if (entry->text() == text) return entry;
    return nullptr;
}

} // namespace

class OptionsDialogTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        frmOptions::deviceCountCall = fakeDeviceCount;
        frmOptions::deviceNameCall = fakeDeviceName;
        frmOptions::driveCall = fakeDrive;
        startFrame();
    }
    void TearDown() override {
        frmOptions::deviceCountCall = kvGetDeviceCount;
        frmOptions::deviceNameCall = kvGetDeviceName;
        frmOptions::driveCall = kvGetDrive;
        ShellTest::TearDown();
    }
    /* A modeless dialog on the live record, for tests that need no command. */
    std::unique_ptr<frmOptions> openDialog(int page = MDL_OPTIONS_AUDIO) {
        auto dialog = std::make_unique<frmOptions>(frame.get(), &options, &params, page);
        dialog->show();
        return dialog;
    }
    /* The next modal window must be the options dialog; `use` then closes it. */
    void answerOptions(std::function<void(frmOptions *)> use) {
        onNextModal([use](QWidget *modal) {
            auto *dialog = qobject_cast<frmOptions *>(modal);
            ASSERT_NE(dialog, nullptr);
            use(dialog);
            if (dialog->isVisible()) dialog->reject();
        });
    }
    static void choose(QComboBox *list, const QString &text) {
        int index = list->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        list->setCurrentIndex(index);
    }
    /* A scheme whose every colour differs from the defaults and the others. */
    static Scheme schemeWith(int32_t base) {
        Scheme scheme{};
        for (int i = 0; i < 10; i++)
            scheme[static_cast<size_t>(i)] = base + i * 0x010101;
        scheme[10] = 1;
        return scheme;
    }
};

TEST_F(OptionsDialogTest, CancelAfterChangesOnEveryPageLeavesTheOptionsByteIdentical) {
    Scheme scheme = schemeWith(0x102030);
    kvSavePreset("Color Schemes", "Night", scheme.data(), sizeof scheme);
    KV_Options before = options;
    bool changed = false;
    answerOptions([&](frmOptions *dialog) {
        dialog->chkTips->click();
        dialog->chkDontAsk->click();
        dialog->chkClipWarn->click();
        dialog->cmbClipWarn->setCurrentIndex(5);
        choose(dialog->cmbDevice, "ID 1: Beta");
        choose(dialog->cmbTDrive, "D: /data/KVTEMP [Fixed Disk D:]");
        dialog->chkNoSync->click();
        dialog->chkCopyBitmap->click();
        dialog->chkShowAnal->click();
        choose(dialog->cmbFSize, "8192");
        choose(dialog->cmbWindow, "Sinusoid");
        choose(dialog->cmbOSamp, "32x (97%)");
        dialog->presets->refresh();
        dialog->presets->loadPreset(0);
        dialog->cmbItems->setCurrentIndex(2);
        QTest::mouseClick(dialog->palette, Qt::LeftButton, {},
                          dialog->palette->cellRect(55).center());
        dialog->chkShadow->click();
        changed = std::memcmp(&dialog->working, &before, sizeof before) != 0;
        EXPECT_EQ(std::memcmp(&options, &before, sizeof before), 0) << "changed before Apply";
        EXPECT_TRUE(dialog->cmdApply->isEnabled());
        QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);
    });
    frame->ui().mnuOptions->trigger();
    EXPECT_TRUE(changed);
    EXPECT_EQ(std::memcmp(&options, &before, sizeof before), 0);
}

TEST_F(OptionsDialogTest, OpeningSelectsTheStoredChoicesWithApplyDisabled) {
    options.fftSize = 512;
    options.fftWindow = 2;
    options.fftOverlap = 32;
    options.playDevice = 1;
    options.tempDrive = 'D';
    options.clipWarning = 0;
    options.clipWarningDb = 3;
    options.skipNewFileDialog = 0;
    auto dialog = openDialog();
    EXPECT_EQ(dialog->windowTitle(), "Program Options");
    EXPECT_EQ(dialog->cmbFSize->currentText(), "512");
    EXPECT_EQ(dialog->cmbWindow->currentText(), "Blackman");
    EXPECT_EQ(dialog->cmbOSamp->currentText(), "32x (97%)");
    EXPECT_EQ(dialog->cmbDevice->currentText(), "ID 1: Beta");
    EXPECT_EQ(dialog->cmbTDrive->currentText(), "D: /data/KVTEMP [Fixed Disk D:]");
    EXPECT_EQ(dialog->cmbClipWarn->currentText(), "3");
    EXPECT_FALSE(dialog->cmbClipWarn->isEnabled());
    EXPECT_FALSE(dialog->cmdSettings->isEnabled());
    EXPECT_FALSE(dialog->cmdApply->isEnabled());
    EXPECT_EQ(dialog->lstPages->currentItem()->text(), "Audio Settings");
}

TEST_F(OptionsDialogTest, ListsShowTheDefaultEntryFirstThenDevicesAndDrives) {
    auto dialog = openDialog();
    ASSERT_EQ(dialog->cmbDevice->count(), 3);
    EXPECT_EQ(dialog->cmbDevice->itemText(0), "(Use Default Output Device)");
    EXPECT_EQ(dialog->cmbDevice->itemText(1), "ID 0: Alpha");
    ASSERT_EQ(dialog->cmbTDrive->count(), 3);
    EXPECT_EQ(dialog->cmbTDrive->itemText(0), "(Use System Temp Directory)");
    EXPECT_EQ(dialog->cmbTDrive->itemText(1), "C: /KVTEMP [System]");
    EXPECT_EQ(dialog->cmbTDrive->currentIndex(), 0);
    QStringList pages;
    for (int i = 0; i < dialog->lstPages->count(); i++)
        pages.append(dialog->lstPages->item(i)->text());
    EXPECT_EQ(pages, QStringList({"Audio Settings", "General", "Advanced", "Colors", "FFT Settings",
                                  "View"}));
}

TEST_F(OptionsDialogTest, StoredValuesOutsideTheListsSelectNothingAndSurviveApply) {
    options.fftSize = 3000;
    options.tempDrive = 'Q';
    auto dialog = openDialog();
    EXPECT_EQ(dialog->cmbFSize->currentIndex(), -1);
    EXPECT_EQ(dialog->cmbTDrive->currentIndex(), -1);
    dialog->chkNoSync->click();
    dialog->Apply();
    EXPECT_EQ(options.fftSize, 3000);
    EXPECT_EQ(options.tempDrive, 'Q');
    EXPECT_TRUE(mdlTestTakeShownBoxes().empty());
}

TEST_F(OptionsDialogTest, EachControlWritesItsFieldAndApplyCopiesTheWholeRecord) {
    options.clipWarning = 1;
    KV_Options before = options;
    auto dialog = openDialog();
    dialog->chkTips->click();
    EXPECT_EQ(dialog->working.showTips, 0);
    dialog->cmbClipWarn->setCurrentIndex(7);
    EXPECT_EQ(dialog->working.clipWarningDb, 7);
    dialog->chkClipWarn->click();
    EXPECT_EQ(dialog->working.clipWarning, 0);
    EXPECT_FALSE(dialog->cmbClipWarn->isEnabled());
    choose(dialog->cmbFSize, "4096");
    EXPECT_EQ(dialog->working.fftSize, 4096);
    choose(dialog->cmbWindow, "Hamming");
    EXPECT_EQ(dialog->working.fftWindow, 3);
    choose(dialog->cmbOSamp, "16x (94%)");
    EXPECT_EQ(dialog->working.fftOverlap, 16);
    choose(dialog->cmbOSamp, "4x (75%)");
    EXPECT_EQ(dialog->working.fftOverlap, 4);
    dialog->chkNoSync->click();
    EXPECT_EQ(dialog->working.noSyncWait, 1);
    dialog->chkCopyBitmap->click();
    EXPECT_EQ(dialog->working.copyWholeBitmap, 1);
    dialog->chkShowAnal->click();
    EXPECT_EQ(dialog->working.showAnalyzer, 0);
    dialog->chkDontAsk->click();
    EXPECT_EQ(dialog->working.skipNewFileDialog, 1);
    EXPECT_TRUE(dialog->cmdSettings->isEnabled());
    EXPECT_EQ(std::memcmp(&options, &before, sizeof before), 0);
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    EXPECT_EQ(std::memcmp(&options, &dialog->working, sizeof options), 0);
    EXPECT_FALSE(dialog->cmdApply->isEnabled());
    EXPECT_TRUE(dialog->isEnabled());
}

TEST_F(OptionsDialogTest, UndoLimitIsHandedToTheEngineOnlyOnApply) {
    KV_Limits limits{};
    ASSERT_EQ(kvGetLimits(&limits, sizeof limits), 0);
    auto dialog = openDialog(MDL_OPTIONS_ADVANCED);
    EXPECT_EQ(dialog->txtUndoLimit->value(), limits.maxUndoLevels);
    for (int levels : {25, 0, 3}) {
        dialog->txtUndoLimit->setValue(levels);
        EXPECT_EQ(dialog->workingLimits.maxUndoLevels, levels);
    }
    EXPECT_TRUE(dialog->cmdApply->isEnabled());
    KV_Limits live{};
    kvGetLimits(&live, sizeof live);
    EXPECT_EQ(live.maxUndoLevels, limits.maxUndoLevels) << "nothing before Apply";
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    kvGetLimits(&live, sizeof live);
    EXPECT_EQ(live.maxUndoLevels, 3);
    auto again = openDialog(MDL_OPTIONS_ADVANCED);
    EXPECT_EQ(again->txtUndoLimit->value(), 3);
}

TEST_F(OptionsDialogTest, ViewPageSettingsReachTheEngineOnlyOnApply) {
    KV_ViewOptions before{};
    ASSERT_EQ(kvGetViewOptions(&before, sizeof before), 0);
    auto dialog = openDialog(MDL_OPTIONS_VIEW);
    EXPECT_EQ(dialog->txtRangeDb->value(), before.rangeDb);
    dialog->cmbFreqScale->setCurrentIndex(KV_FREQUENCY_LOG);
    dialog->cmbColorMap->setCurrentIndex(KV_COLORMAP_SCHEME);
    dialog->txtRangeDb->setValue(60);
    dialog->txtGainDb->setValue(-12);
    dialog->cmbAmpRuler->setCurrentIndex(KV_AMPLITUDE_LINEAR);
    dialog->cmbNewMode->setCurrentIndex(KV_DISPLAY_BOTH);
    KV_ViewOptions live{};
    kvGetViewOptions(&live, sizeof live);
    EXPECT_EQ(std::memcmp(&live, &before, sizeof live), 0) << "nothing before Apply";
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    kvGetViewOptions(&live, sizeof live);
    KV_ViewOptions expected = before;
    expected.frequencyScale = KV_FREQUENCY_LOG;
    expected.colorMap = KV_COLORMAP_SCHEME;
    expected.rangeDb = 60;
    expected.gainDb = -12;
    expected.amplitudeRuler = KV_AMPLITUDE_LINEAR;
    expected.newWindowMode = KV_DISPLAY_BOTH;
    EXPECT_EQ(std::memcmp(&live, &expected, sizeof live), 0);
    auto again = openDialog(MDL_OPTIONS_VIEW);
    EXPECT_EQ(again->cmbNewMode->currentIndex(), KV_DISPLAY_BOTH);
    EXPECT_EQ(again->txtGainDb->value(), -12);
}

TEST_F(OptionsDialogTest, WorkFolderSizeIsTheEnginesAsTheDialogOpens) {
    for (int32_t size : {123457, 2000000}) {
        kvTestWriteFile(workFolder + "/DATA00FF.tmp", std::string(static_cast<size_t>(size), 'x'));
        auto dialog = openDialog(MDL_OPTIONS_ADVANCED);
        int64_t bytes = 0;
        ASSERT_EQ(kvGetWorkFolderSize(&bytes), 0);
        EXPECT_GE(bytes, size);
        EXPECT_TRUE(
            dialog->lblWorkSize->text().contains(QLocale().toString(static_cast<qint64>(bytes))))
            << dialog->lblWorkSize->text().toStdString() << " for " << bytes;
    }
}

TEST_F(OptionsDialogTest, DefaultOutputDeviceStoresMinusOne) {
    options.playDevice = 1;
    answerOptions([this](frmOptions *dialog) {
        choose(dialog->cmbDevice, "ID 0: Alpha");
        EXPECT_EQ(dialog->working.playDevice, 0);
        choose(dialog->cmbDevice, "(Use Default Output Device)");
        EXPECT_EQ(dialog->working.playDevice, -1);
        EXPECT_EQ(options.playDevice, 1);
        QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    });
    frame->ui().mnuOptions->trigger();
    EXPECT_EQ(options.playDevice, -1);
}

TEST_F(OptionsDialogTest, ApplyWithANewTempDriveShowsTheNoticeOnce) {
    auto dialog = openDialog(MDL_OPTIONS_ADVANCED);
    choose(dialog->cmbTDrive, "C: /KVTEMP [System]");
    mdlTestQueueAnswer(QMessageBox::Ok);
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    auto boxes = mdlTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Temp Drive Changed");
    EXPECT_EQ(boxes[0].text,
              "Changes to the Temp Directory will take effect the next time you start Korvel.");
    EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(options.tempDrive, 'C');

    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    dialog->chkNoSync->click();
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    EXPECT_TRUE(mdlTestTakeShownBoxes().empty());
    EXPECT_EQ(options.noSyncWait, 1);
}

TEST_F(OptionsDialogTest, OkWithoutChangesWritesNothing) {
    auto dialog = openDialog();
    options.nudgeMs = 77;
    QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(options.nudgeMs, 77);
}

TEST_F(OptionsDialogTest, ApplyTakesTheToolTipsOffTheFrame) {
    QToolButton *save = frame->toolButton(frame->ui().TB.Save);
    ASSERT_NE(save, nullptr);
    ASSERT_FALSE(save->toolTip().isEmpty());
    auto dialog = openDialog(MDL_OPTIONS_GENERAL);
    dialog->chkTips->click();
    QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
    EXPECT_TRUE(save->toolTip().isEmpty());
}

TEST_F(OptionsDialogTest, FftButtonsOpenTheFftPage) {
    answerOptions([](frmOptions *dialog) {
        EXPECT_EQ(dialog->lstPages->currentItem()->text(), "FFT Settings");
        EXPECT_EQ(dialog->pages->currentIndex(), MDL_OPTIONS_FFT);
        EXPECT_TRUE(dialog->cmbFSize->isVisible());
        EXPECT_FALSE(dialog->cmdApply->isEnabled());
        choose(dialog->cmbFSize, "1024");
        QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    });
    EXPECT_TRUE(mdlShowOptions(frame.get(), &options, MDL_OPTIONS_FFT));
    EXPECT_EQ(options.fftSize, 1024);
}

TEST_F(OptionsDialogTest, UpAndDownKeysMoveThroughThePages) {
    auto dialog = openDialog();
    dialog->lstPages->setFocus();
    QTest::keyClick(dialog->lstPages, Qt::Key_Down);
    QTest::keyClick(dialog->lstPages, Qt::Key_Down);
    EXPECT_EQ(dialog->pages->currentIndex(), MDL_OPTIONS_ADVANCED);
    EXPECT_TRUE(dialog->cmbTDrive->isVisible());
    QTest::keyClick(dialog->lstPages, Qt::Key_Up);
    EXPECT_EQ(dialog->pages->currentIndex(), MDL_OPTIONS_GENERAL);
}

TEST_F(OptionsDialogTest, DocumentMenuOpensTheDialogAndHelpShowsItsTopic) {
    std::string file = writeWave("options.wav", 1, 8000, ramp(800), true);
    frmMain *document = openDocument(file);
    ASSERT_NE(document, nullptr);
    answerOptions([](frmOptions *dialog) {
        QTest::mouseClick(dialog->cmdHelp, Qt::LeftButton);
        QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);
    });
    ASSERT_TRUE(document->runCommand(&frmMainUi::mnuOptions));
    EXPECT_EQ(mdlMain.dialogDoc, document->ID);
    auto requests = mdlTestTakeHelpRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, 1);
    EXPECT_EQ(requests[0].topic, kvHelpOptions);
}

TEST_F(OptionsDialogTest, SettingsOpensTheNewFilePropertiesWithoutTheirBox) {
    auto dialog = openDialog(MDL_OPTIONS_GENERAL);
    dialog->chkDontAsk->click();
    bool opened = false;
    onNextModal([&opened](QWidget *modal) {
        auto *properties = qobject_cast<frmProperties *>(modal);
        ASSERT_NE(properties, nullptr);
        opened = true;
        EXPECT_TRUE(properties->chkDontAsk->isHidden());
        properties->accept();
    });
    QTest::mouseClick(dialog->cmdSettings, Qt::LeftButton);
    EXPECT_TRUE(opened);
    EXPECT_EQ(dialog->working.skipNewFileDialog, 1);
    EXPECT_EQ(options.skipNewFileDialog, 0);
}

TEST_F(OptionsDialogTest, PaletteAndCustomColourAssignTheChosenItem) {
    auto dialog = openDialog(MDL_OPTIONS_COLORS);
    dialog->cmbItems->setCurrentIndex(2);
    QTest::mouseClick(dialog->palette, Qt::LeftButton, {}, dialog->palette->cellRect(37).center());
    EXPECT_EQ(dialog->working.colors[2], mdlPaletteColor(37));
    EXPECT_TRUE(showsColour(dialog->picPreview, rgbOf(mdlPaletteColor(37))));
    EXPECT_TRUE(dialog->cmdApply->isEnabled());

    dialog->cmbItems->setCurrentIndex(9);
    onNextModal([](QWidget *modal) {
        auto *chooser = qobject_cast<QColorDialog *>(modal);
        ASSERT_NE(chooser, nullptr);
        chooser->setCurrentColor(QColor(1, 2, 3));
        chooser->accept();
    });
    QTest::mouseClick(dialog->cmdCustom, Qt::LeftButton);
    EXPECT_EQ(dialog->working.colors[9], 0x030201);
    onNextModal([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
    QTest::mouseClick(dialog->cmdCustom, Qt::LeftButton);
    EXPECT_EQ(dialog->working.colors[9], 0x030201);
    EXPECT_EQ(options.colors[9], 0x404040);
}

TEST_F(OptionsDialogTest, ClickingThePreviewSelectsTheItemWhoseColourIsThere) {
    auto dialog = openDialog(MDL_OPTIONS_COLORS);
    QImage picture = dialog->picPreview->grab().toImage();
    for (int item = 0; item < 10; item++) {
        std::optional<QPoint> spot = findPixel(picture, rgbOf(options.colors[item]));
        ASSERT_TRUE(spot.has_value()) << "item " << item << " is not drawn";
        dialog->cmbItems->setCurrentIndex(item == 0 ? 1 : 0);
        QTest::mouseClick(dialog->picPreview, Qt::LeftButton, {}, *spot);
        EXPECT_EQ(dialog->cmbItems->currentIndex(), item);
    }
}

TEST_F(OptionsDialogTest, DrawShadowSwitchesTheShadowAndSelectsItsItem) {
    auto dialog = openDialog(MDL_OPTIONS_COLORS);
    ASSERT_TRUE(showsColour(dialog->picPreview, rgbOf(options.colors[6])));
    dialog->chkShadow->click();
    EXPECT_EQ(dialog->working.colors[10], 0);
    EXPECT_EQ(dialog->cmbItems->currentText(), "Wave Shadow");
    EXPECT_FALSE(showsColour(dialog->picPreview, rgbOf(options.colors[6])));
    EXPECT_TRUE(dialog->cmdApply->isEnabled());
}

TEST_F(OptionsDialogTest, LoadingASchemeRefreshesTheColourControls) {
    Scheme scheme = schemeWith(0x203040);
    scheme[10] = 0;
    kvSavePreset("Color Schemes", "Dusk", scheme.data(), sizeof scheme);
    auto dialog = openDialog(MDL_OPTIONS_COLORS);
    dialog->presets->refresh();
    dialog->presets->loadPreset(0);
    EXPECT_EQ(std::memcmp(dialog->working.colors, scheme.data(), sizeof scheme), 0);
    EXPECT_FALSE(dialog->chkShadow->isChecked());
    EXPECT_TRUE(showsColour(dialog->picPreview, rgbOf(scheme[0])));
    EXPECT_TRUE(dialog->cmdApply->isEnabled());
}

TEST_F(OptionsDialogTest, HoveringSchemeEntriesPreviewsThemAndClosingTheMenuRestores) {
    Scheme red = schemeWith(0x000080), blue = schemeWith(0x800000);
    kvSavePreset("Color Schemes", " 1: Red", red.data(), sizeof red);
    kvSavePreset("Color Schemes", " 2: Blue", blue.data(), sizeof blue);
    kvSavePreset("Color Schemes", "Plain", red.data(), sizeof red);
    auto dialog = openDialog(MDL_OPTIONS_COLORS);
    QWidget *picture = dialog->picPreview;
    bool browsed = false;
    QTimer::singleShot(100, [&] {
        QMenu *menu = dialog->presets->mnuPresets;
        ASSERT_TRUE(menu->isVisible());
        for (const char *name : {" 1: Red", " 2: Blue", "Plain"}) {
            QAction *entry = entryNamed(menu, name);
            ASSERT_NE(entry, nullptr) << name;
            menu->setActiveAction(entry);
            bool redShown = showsColour(picture, rgbOf(red[0]));
            bool blueShown = showsColour(picture, rgbOf(blue[0]));
            bool workingShown = showsColour(picture, rgbOf(options.colors[0]));
            std::string which = name;
            EXPECT_EQ(redShown, which == " 1: Red") << which;
            EXPECT_EQ(blueShown, which == " 2: Blue") << which;
            EXPECT_EQ(workingShown, which == "Plain") << which;
        }
        menu->setActiveAction(entryNamed(menu, " 1: Red"));
        browsed = true;
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    QTest::mouseClick(dialog->presets->cmdPresets, Qt::LeftButton);
    ASSERT_TRUE(browsed);
    EXPECT_TRUE(showsColour(picture, rgbOf(options.colors[0])));
    EXPECT_FALSE(showsColour(picture, rgbOf(red[0])));
    EXPECT_EQ(std::memcmp(&dialog->working, &options, sizeof options), 0);
    EXPECT_FALSE(dialog->cmdApply->isEnabled());
}

TEST_F(OptionsDialogTest, OnlyASpaceOneOrTwoDigitsAndAColonNameAStoredScheme) {
    for (int n = 1; n <= 12; n++) {
        Scheme scheme = schemeWith(0x000010 * n);
        kvSavePreset("Color Schemes", QString(" %1: Scheme").arg(n).toLatin1().constData(),
                     scheme.data(), sizeof scheme);
    }
    auto dialog = openDialog(MDL_OPTIONS_COLORS);
    QMenu menu;
    struct Case {
        const char *text;
        int scheme; /* 0: the working colours */
    } cases[] = {{" 12: Twelve", 12}, {"12: no space", 0}, {" 3: Three", 3}, {" 1x: bad", 0},
                 {" 9:", 9},          {" 123: long", 0},   {" 40: none", 0}};
    for (const Case &c : cases)
        menu.addAction(c.text);
    menu.popup(QPoint(0, 0));
    for (const Case &c : cases) {
        menu.setActiveAction(entryNamed(&menu, c.text));
        int32_t expected = c.scheme ? schemeWith(0x000010 * c.scheme)[0] : options.colors[0];
        EXPECT_TRUE(showsColour(dialog->picPreview, rgbOf(expected))) << c.text;
    }
    menu.close();
    EXPECT_TRUE(showsColour(dialog->picPreview, rgbOf(options.colors[0])));
}
