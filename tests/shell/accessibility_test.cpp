/*
 * The editor without a mouse and without sight: the names screen readers
 * hear for every control, the waveform window's description of the
 * selection, the menus' Alt letters, the keys of the waveform, and a
 * picture that stays sharp on a screen of twice the pixel density.
 */
#include "app/dialogs/accessible.h"
#include "app/dialogs/effect_dialog.h"
#include "app/dialogs/frm_mute.h"
#include "app/dialogs/frm_paste_mix.h"
#include "app/dialogs/frm_record.h"
#include "app/dialogs/frm_silence.h"
#include "app/dialogs/frm_srate.h"
#include "app/dialogs/frm_volume.h"
#include "app/shell/frm_properties.h"
#include "app/shell/mdl_main.h"
#include "tests/audio/test_device.h"
#include "tests/shell/shell_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

/* Lists read as lists in failure messages. */
static void PrintTo(const QStringList &list, std::ostream *out) {
    *out << "{" << list.join(" | ").toStdString() << "}";
}

namespace {

/* What a screen reader hears as the widget's name. A list box on Linux
 * reports its chosen entry as its name and is introduced by the label it is
 * related to (its buddy); Qt says its accessible name while it is empty. */
QString spokenName(QWidget *widget) {
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    if (!face) return {};
    if (qobject_cast<QComboBox *>(widget)) {
        for (const auto &relation : face->relations(QAccessible::Label))
            return relation.first->text(QAccessible::Name).remove(':').trimmed();
        return widget->accessibleName();
    }
    return face->text(QAccessible::Name).trimmed();
}

/* The controls of a window that speak no name, described for a failure. */
QStringList unnamedControls(QWidget *window) {
    QStringList unnamed;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!mdlIsControl(widget)) continue;
        if (spokenName(widget).isEmpty())
            unnamed.append(
                QString("%1 '%2'").arg(widget->metaObject()->className(), widget->objectName()));
    }
    return unnamed;
}

/* The Alt letter of a caption: the character after a single '&'. */
QChar mnemonicOf(const QString &caption) {
    for (int i = 0; i + 1 < caption.size(); i++) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            i++;
            continue;
        }
        return caption[i + 1].toUpper();
    }
    return {};
}

/* Every menu reachable from a list of top-level menus, each once. */
QList<QMenu *> allMenus(const QList<QMenu *> &top) {
    QList<QMenu *> menus;
    QList<QMenu *> pending = top;
    while (!pending.isEmpty()) {
        QMenu *menu = pending.takeFirst();
        menus.append(menu);
        emit menu->aboutToShow();
        for (QAction *entry : menu->actions())
            if (entry->menu() && entry->isVisible()) pending.append(entry->menu());
    }
    return menus;
}

/* "mnuConversions S: mnuConvertChannels mnuConvertSampleRate" for every letter two visible entries
 * share, and "mnuZooming -: mnuZoomIn" for entries without a letter. */
QStringList letterProblems(const QString &owner, const QList<QAction *> &entries) {
    QMap<QChar, QStringList> byLetter;
    QStringList problems;
    for (QAction *entry : entries) {
        if (entry->isSeparator() || !entry->isVisible()) continue;
        QChar letter = mnemonicOf(entry->text());
        if (letter.isNull())
            problems.append(owner + " -: " + entry->objectName());
        else
            byLetter[letter].append(entry->objectName());
    }
    for (auto group = byLetter.cbegin(); group != byLetter.cend(); ++group)
        if (group->size() > 1) problems.append(owner + " " + group.key() + ": " + group->join(' '));
    return problems;
}

QList<QMenu *> barMenus(QMenuBar *bar) {
    QList<QMenu *> menus;
    for (QAction *entry : bar->actions())
        if (entry->menu()) menus.append(entry->menu());
    return menus;
}

QStringList menuProblems(QMenuBar *bar, const QList<QMenu *> &top) {
    QStringList problems = letterProblems("menu bar", bar->actions());
    for (QMenu *menu : allMenus(top))
        problems += letterProblems(menu->menuAction()->objectName(), menu->actions());
    return problems;
}

} // namespace

/* ---- Names ---- */

class ControlNames : public ShellTest {};

TEST_F(ControlNames, EveryToolbarButtonSpeaksWhatItDoesNotItsShortKey) {
    startFrame();
    QSet<QString> names;
    for (QToolBar *bar :
         {frame->findChild<QToolBar *>("TB"), frame->findChild<QToolBar *>("TBVolume"),
          frame->findChild<QToolBar *>("TBPlayback")}) {
        for (QAction *button : bar->actions()) {
            if (button->isSeparator()) continue;
            QWidget *widget = bar->widgetForAction(button);
            ASSERT_NE(widget, nullptr);
            QString name = spokenName(widget);
            EXPECT_FALSE(name.isEmpty()) << button->objectName().toStdString();
            EXPECT_NE(name, button->text()) << "only the key: " << name.toStdString();
            EXPECT_FALSE(names.contains(name)) << "two buttons called " << name.toStdString();
            names.insert(name);
        }
    }
    EXPECT_EQ(spokenName(frame->toolButton(frame->ui().TBPlayback.Ffw)), "Play Fast Forward");
}

TEST_F(ControlNames, FrameAndDocumentWindowHaveNoUnnamedControl) {
    startFrame();
    EXPECT_EQ(unnamedControls(frame.get()), QStringList());
    for (int i = 0; i < 4; i++)
        EXPECT_FALSE(spokenName(frame->timeField(i)).isEmpty()) << i;
    for (int i = 0; i < 6; i++)
        EXPECT_FALSE(spokenName(frame->statusField(i)).isEmpty()) << i;

    frmMain *document = openDocument(writeWave("named.wav", 2, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(unnamedControls(frame.get()), QStringList());
    EXPECT_EQ(spokenName(document), "Waveform of named.wav");
    auto *bar = document->findChild<QScrollBar *>();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(spokenName(bar).isEmpty());
}

/* The window's name says what it shows, whichever of the menu entries and
 * the toolbar button chose it; the button is down while a spectrogram shows
 * and brings back the last mode that showed one. */
TEST_F(ControlNames, TheDocumentNameFollowsTheDisplayMode) {
    startFrame();
    frmMain *document = openDocument(writeWave("shown.wav", 1, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    QAction *button = frame->ui().TB.Display;
    struct Step {
        std::function<void()> choose;
        int32_t mode;
        const char *name;
    };
    const Step steps[] = {
        {[&] { document->runCommand(document->ui().mnuDisplayMode[2]); }, KV_DISPLAY_BOTH,
         "Waveform and spectrogram of shown.wav"},
        {[&] { button->trigger(); }, KV_DISPLAY_WAVEFORM, "Waveform of shown.wav"},
        {[&] { button->trigger(); }, KV_DISPLAY_BOTH, "Waveform and spectrogram of shown.wav"},
        {[&] { document->runCommand(document->ui().mnuDisplayMode[1]); }, KV_DISPLAY_SPECTROGRAM,
         "Spectrogram of shown.wav"},
        {[&] { button->trigger(); }, KV_DISPLAY_WAVEFORM, "Waveform of shown.wav"},
        {[&] { button->trigger(); }, KV_DISPLAY_SPECTROGRAM, "Spectrogram of shown.wav"},
    };
    for (const Step &step : steps) {
        step.choose();
        EXPECT_EQ(kvGetDisplayMode(document->ID), step.mode);
        EXPECT_EQ(spokenName(document), step.name);
        EXPECT_EQ(button->isChecked(), step.mode != KV_DISPLAY_WAVEFORM) << step.name;
    }
}

/* Each field of the status line keeps the fixed name of what it shows,
 * says its tool tip, and gives what it shows now as its value. */
TEST_F(ControlNames, StatusFieldsGiveTheirTextAsTheirValueAndNameItInATip) {
    startFrame();
    frmMain *document = openDocument(writeWave("status.wav", 2, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 100, 900, -1);
    QList<QLabel *> fields;
    for (int i = 0; i < 4; i++)
        fields.append(frame->timeField(i));
    for (int i = 0; i < 5; i++)
        fields.append(frame->statusField(i));
    QSet<QString> tips;
    for (QLabel *field : fields) {
        SCOPED_TRACE(field->objectName().toStdString());
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(field);
        ASSERT_NE(face, nullptr);
        ASSERT_FALSE(field->text().isEmpty());
        EXPECT_EQ(face->text(QAccessible::Value), field->text());
        EXPECT_EQ(face->text(QAccessible::Name), field->accessibleName());
        EXPECT_FALSE(field->toolTip().isEmpty());
        EXPECT_FALSE(tips.contains(field->toolTip())) << "one tip per field";
        tips.insert(field->toolTip());
    }
}

TEST_F(ControlNames, UndoButtonSpeaksTheStepItWouldUndo) {
    startFrame();
    frmMain *document = openDocument(writeWave("undo.wav", 1, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    QToolButton *undo = frame->toolButton(frame->ui().TB.Undo);
    EXPECT_EQ(spokenName(undo), "Can't Undo");
    document->runCommand(&frmMainUi::mnuFadeIn);
    EXPECT_TRUE(spokenName(undo).startsWith("Undo ")) << spokenName(undo).toStdString();
}

TEST_F(ControlNames, SmallDialogsNameEveryControl) {
    startFrame();
    frmMain *document = openDocument(writeWave("dialogs.wav", 1, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    mdlMain.dialogDoc = document->ID;
    int32_t rate = 44100;
    frmSRate sampleRate(frame.get(), &rate);
    frmSilence silence(frame.get(), &params);
    frmProperties properties(frame.get(), &options, &params, true);
    frmVolume volume(frame.get(), &params);
    frmPasteMix mix(frame.get(), &params);
    frmMute fadeEdges(frame.get(), &params);
    for (QDialog *dialog : std::initializer_list<QDialog *>{&sampleRate, &silence, &properties,
                                                            &volume, &mix, &fadeEdges}) {
        dialog->show();
        EXPECT_EQ(unnamedControls(dialog), QStringList()) << dialog->objectName().toStdString();
        dialog->hide();
    }
    EXPECT_EQ(spokenName(silence.findChild<QSpinBox *>()), "Length");
}

TEST_F(ControlNames, RecordingWindowNamesEveryControl) {
    kvUseTestAudioDevice(path("played.raw"));
    options.recordAutoStart = 0;
    options.mixerPanelOpen = 1;
    startFrame();
    frmMain *document = openDocument(writeWave("record.wav", 2, 44100, ramp(2000), false));
    ASSERT_NE(document, nullptr);
    frmRecord window(frame.get(), &options, document->ID, frame->timeField(3));
    window.show();
    EXPECT_EQ(unnamedControls(&window), QStringList());
    EXPECT_EQ(spokenName(window.cmbDevice), "Recording Device");
    window.cmdDone->click();
}

/* Dialogs others add later are named from their labels and object names
 * when they are first shown, without code of their own. */
TEST_F(ControlNames, AnEffectDialogNamesUnnamedControlsFromLabelsAndObjectNames) {
    startFrame();
    EffectDialog dialog(frame.get(), &params, "frmTest");
    auto *delay = new QSpinBox(&dialog);
    auto *label = new QLabel("&Delay Time:", &dialog);
    label->setBuddy(delay);
    auto *feedback = new QSlider(Qt::Vertical, &dialog);
    feedback->setObjectName("sldFeedbackLevel");
    auto *chosen = new QComboBox(&dialog);
    chosen->setAccessibleName("Kept");
    EXPECT_TRUE(spokenName(feedback).isEmpty());
    dialog.show();
    EXPECT_EQ(spokenName(delay), "Delay Time");
    EXPECT_EQ(spokenName(feedback), "Feedback Level");
    EXPECT_EQ(chosen->accessibleName(), "Kept");
    EXPECT_EQ(unnamedControls(&dialog), QStringList());
    dialog.hide();
}

/* ---- The waveform window's description ---- */

class WaveformDescription : public ShellTest {
  protected:
    QString description(frmMain *document) {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(document);
        return face ? face->text(QAccessible::Description) : QString();
    }
};

TEST_F(WaveformDescription, FollowsTheSelectionInTheTimeFormatInUse) {
    startFrame();
    frmMain *document = openDocument(writeWave("told.wav", 1, 8000, ramp(16000), false));
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 4000, 12000, -1);
    EXPECT_EQ(description(document),
              "Selection from 00:00.500 to 00:01.500, length 00:01.000. File length 00:02.000.");
    kvSetSelection(document->ID, 8000, 8000, -1);
    EXPECT_EQ(description(document), "Cursor at 00:01.000. File length 00:02.000.");
    kvSetSelection(document->ID, 0, 800, -1);
    document->runCommand(document->ui().mnuTF[3]);
    EXPECT_EQ(description(document),
              "Selection from 0 smp to 800 smp, length 800 smp. File length 16000 smp.");
}

TEST_F(WaveformDescription, TellsTheNewLengthAfterAnEdit) {
    startFrame();
    frmMain *document = openDocument(writeWave("cut.wav", 1, 8000, ramp(16000), false));
    ASSERT_NE(document, nullptr);
    kvSetSelection(document->ID, 0, 8000, -1);
    document->runCommand(&frmMainUi::mnuDelete);
    EXPECT_TRUE(description(document).endsWith("File length 00:01.000."))
        << description(document).toStdString();
}

/* ---- Keyboard ---- */

class KeyboardUse : public ShellTest {
  protected:
    void activateFrame() {
        QApplication::setActiveWindow(frame.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
    /* The popup the menu bar opened for an Alt letter. */
    static QMenu *openMenu(QMenuBar *bar, Qt::Key letter) {
        QTest::keyClick(bar->window(), letter, Qt::AltModifier);
        QTest::qWait(20);
        return qobject_cast<QMenu *>(QApplication::activePopupWidget());
    }
};

/* On a mono sound "Convert to &Stereo" and "Change &Sample Rate..." share
 * a letter; both are enabled together, and the menu moves between entries
 * sharing a letter, so each is two presses away. The two zoom steps without
 * a letter are also the waveform's Up and Down keys. Anything else found
 * here is a new clash. */
TEST_F(KeyboardUse, EveryMenuGivesItsEntriesDistinctAltLetters) {
    startFrame();
    EXPECT_EQ(menuProblems(frame->menuBar(), barMenus(frame->menuBar())), QStringList());
    kvSetMRU(writeWave("recent.wav", 1, 8000, ramp(800), false).c_str());
    frmMain *document = openDocument(writeWave("letters.wav", 1, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    document->InitMenu();
    QStringList expected = {"mnuConversions S: mnuConvertChannels mnuConvertSampleRate",
                            "mnuZooming -: mnuZoomIn", "mnuZooming -: mnuZoomOut"};
    QStringList found = menuProblems(frame->menuBar(), document->menus());
    found.sort();
    expected.sort();
    EXPECT_EQ(found, expected);
}

TEST_F(KeyboardUse, TheWindowMenuGivesOnlyTheFirstNineWindowsADigit) {
    startFrame();
    std::string file = writeWave("many.wav", 1, 8000, ramp(800), false);
    frmMain *document = nullptr;
    for (int n = 0; n < 10; n++) {
        std::string copy = path("many" + std::to_string(n) + ".wav");
        ASSERT_TRUE(QFile::copy(QString::fromStdString(file), QString::fromStdString(copy)));
        document = openDocument(copy);
        ASSERT_NE(document, nullptr);
    }
    QMenu *window = document->ui().mnuWindow->menu();
    emit window->aboutToShow();
    /* Only the tenth window's entry (it has no object name) lacks a letter. */
    EXPECT_EQ(letterProblems("mnuWindow", window->actions()), QStringList({"mnuWindow -: "}));
}

TEST_F(KeyboardUse, AltLettersRunCommandsAndASharedLetterMovesToTheNextEntry) {
    startFrame();
    frmMain *document = openDocument(writeWave("keys.wav", 1, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    activateFrame();
    QMenu *edit = openMenu(frame->menuBar(), Qt::Key_E);
    ASSERT_EQ(edit, document->ui().editMenu);
    QTest::keyClick(edit, Qt::Key_S);
    int32_t anchor = -1, end = -1, channel = 0;
    kvGetSelection(document->ID, &anchor, &end, &channel);
    EXPECT_EQ(std::min(anchor, end), 0);
    EXPECT_EQ(std::max(anchor, end), 8000);

    /* Nothing can be undone yet: Cut's letter must not lead to Undo. */
    edit = openMenu(frame->menuBar(), Qt::Key_E);
    ASSERT_NE(edit, nullptr);
    QTest::keyClick(edit, Qt::Key_T);
    EXPECT_EQ(kvGetLength(document->ID), 0);
    EXPECT_EQ(frame->findChild<QComboBox *>("cmbClip")->count(), 1);

    frmMain *mono = openDocument(writeWave("mono.wav", 1, 8000, ramp(8000), false));
    ASSERT_NE(mono, nullptr);
    activateFrame();
    edit = openMenu(frame->menuBar(), Qt::Key_E);
    ASSERT_EQ(edit, mono->ui().editMenu);
    QTest::keyClick(edit, Qt::Key_O);
    auto *conversions = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_EQ(conversions, mono->ui().mnuConversions->menu());
    /* A menu opened from the keyboard starts on its first entry. */
    QTest::keyClick(conversions, Qt::Key_S);
    EXPECT_EQ(conversions->activeAction(), mono->ui().mnuConvertSampleRate);
    QTest::keyClick(conversions, Qt::Key_S);
    EXPECT_EQ(conversions->activeAction(), mono->ui().mnuConvertChannels);
    QTest::keyClick(conversions, Qt::Key_Escape);
}

TEST_F(KeyboardUse, FocusReturnsToTheWaveformWhoseKeysMoveTheSelection) {
    startFrame();
    frmMain *document = openDocument(writeWave("focus.wav", 1, 8000, ramp(80000), false));
    ASSERT_NE(document, nullptr);
    activateFrame();
    document->runCommand(&frmMainUi::mnuFadeIn);
    EXPECT_EQ(frame->focusWidget(), document) << "the frame gives focus back to the waveform";
    activateFrame();
    ASSERT_EQ(QApplication::focusWidget(), document);
    kvSetSelection(document->ID, 0, 0, -1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right, Qt::ShiftModifier);
    int32_t anchor = -1, end = -1, channel = 0;
    kvGetSelection(document->ID, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 0);
    EXPECT_GT(end, 0) << "Shift+Right moves the selection's end";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    kvGetSelection(document->ID, &anchor, &end, &channel);
    EXPECT_EQ(end, 80000);
}

/* Every button of the three toolbars does what some menu entry of the
 * document window does, except the clip preview, which has only its button. */
TEST_F(KeyboardUse, ToolbarCommandsHaveMenuEntries) {
    startFrame();
    frmMain *document = openDocument(writeWave("menus.wav", 1, 8000, ramp(8000), false));
    ASSERT_NE(document, nullptr);
    static const QMap<QString, QString> entries = {{"TB.New", "mnuNew"},
                                                   {"TB.Open", "mnuOpen"},
                                                   {"TB.Save", "mnuSave"},
                                                   {"TB.Cut", "mnuCut"},
                                                   {"TB.Copy", "mnuCopy"},
                                                   {"TB.Paste", "mnuPasteInsert"},
                                                   {"TB.Undo", "mnuUndo"},
                                                   {"TB.Redo", "mnuRedo"},
                                                   {"TB.vSet", "mnuSView(0)"},
                                                   {"TBPlayback.Loop", "mnuLoop"},
                                                   {"TBPlayback.ZoomIn", "mnuZoomIn"},
                                                   {"TBPlayback.ZoomOut", "mnuZoomOut"},
                                                   {"TBPlayback.Zoom1", "mnuZoom11"},
                                                   {"TBPlayback.ZoomSel", "mnuZoomSel"},
                                                   {"TBPlayback.ZoomFull", "mnuZoomFull"},
                                                   {"TBPlayback.SelAll", "mnuSelAll"},
                                                   {"TBPlayback.SelView", "mnuSelView"},
                                                   {"TB.Display", "mnuDisplay(1)"}};
    for (QToolBar *bar :
         {frame->findChild<QToolBar *>("TB"), frame->findChild<QToolBar *>("TBVolume"),
          frame->findChild<QToolBar *>("TBPlayback")}) {
        for (QAction *button : bar->actions()) {
            QString key = button->objectName();
            if (button->isSeparator() || key.isEmpty() || key == "TB.Play") continue;
            QString entry = entries.value(key);
            if (bar == frame->findChild<QToolBar *>("TBVolume"))
                entry = button->property("command").toString();
            int position = button->property("position").toInt();
            if (bar == frame->findChild<QToolBar *>("TBPlayback") && position >= 1 &&
                position <= 12)
                entry = QString("mnuPlayback(%1)").arg(position - 1);
            if (key.startsWith("TB.V")) entry = QString("mnuLView(%1)").arg(key.mid(4).toInt() - 1);
            EXPECT_TRUE(document->isWired(document->findChild<QAction *>(entry)))
                << key.toStdString() << " " << entry.toStdString();
        }
    }
}

/* ---- Twice the pixel density ---- */

namespace {

/* True when the 2 x 2 block of device pixels at (x, y) is one colour. */
bool wholeBlock(const QImage &image, int x, int y) {
    QRgb first = image.pixel(x, y);
    return image.pixel(x + 1, y) == first && image.pixel(x, y + 1) == first &&
           image.pixel(x + 1, y + 1) == first;
}

} // namespace

class DoubleDensity : public ShellTest {};

/* QT_SCALE_FACTOR is read when the application starts, so the check runs
 * in a copy of this program started at twice the density. */
TEST_F(DoubleDensity, WaveformIsWholeDevicePixelsAndRulerLabelsUseEveryPixel) {
    if (qEnvironmentVariableIsEmpty("KV_TEST_DOUBLE_DENSITY")) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KV_TEST_DOUBLE_DENSITY", "1");
        environment.insert("QT_SCALE_FACTOR", "2");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=DoubleDensity."
                     "WaveformIsWholeDevicePixelsAndRulerLabelsUseEveryPixel"});
        ASSERT_TRUE(child.waitForFinished(120000));
        std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
        return;
    }
    startFrame();
    frmMain *document = openDocument(writeWave("sharp.wav", 2, 8000, ramp(16000), false));
    ASSERT_NE(document, nullptr);
    ASSERT_EQ(document->devicePixelRatio(), 2.0);
    kvSetSelection(document->ID, 2000, 6000, -1);
    QImage shot = document->grab().toImage();
    ASSERT_EQ(shot.width(), document->width() * 2);

    auto *bar = document->findChild<QScrollBar *>();
    ASSERT_NE(bar, nullptr);
    int height = document->height() - bar->height();
    int u = (height - 43) / 8;
    int rulerTop = 28 + 8 * u;
    int lanes = 0, labelBlocks = 0;
    for (int y = 12; y < rulerTop; y++)
        for (int x = 0; x < document->width(); x++)
            lanes += wholeBlock(shot, 2 * x, 2 * y) ? 0 : 1;
    for (int y = rulerTop; y < rulerTop + 14; y++)
        for (int x = 0; x < document->width(); x++)
            labelBlocks += wholeBlock(shot, 2 * x, 2 * y) ? 0 : 1;
    EXPECT_EQ(lanes, 0) << "lanes, grid and markers fill whole device-pixel blocks";
    EXPECT_GT(labelBlocks, 50) << "ruler labels are drawn at the screen's resolution";

    kvZoomSpecial(document->ID, KV_ZOOM_ONE_TO_ONE);
    QTest::keyClick(document, Qt::Key_Right);
    QImage scrolled = document->grab().toImage();
    kvRefresh(document->ID);
    EXPECT_EQ(document->grab().toImage(), scrolled) << "a scroll leaves what a full redraw draws";
}
