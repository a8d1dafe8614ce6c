/*
 * frm_main.cpp - the document window: creation, its menu tree, the enabling
 * of commands, the title, and the keys and mouse clicks it keeps for itself.
 *
 * The engine installs its own event filter on this window in kvCreate; the
 * window's filter is installed afterwards, so it sees input first and takes
 * only the view-slot digit keys, while it merely watches the mouse buttons
 * for its context menu and passes them on to the engine.
 */
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/mdl_main.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QToolBar>

frmMain::frmMain(frmMDI *frame) : QWidget(nullptr), frame(frame) {
    setObjectName("frmMain");
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 120);
    createMenus();
    wireCommands();
}

/* A window destroyed with its frame (the frame is going away, so it is not
 * told) still gives its document back. */
frmMain::~frmMain() {
    if (ID >= 0) kvClose(ID);
}

bool frmMain::Form_Load() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    QApplication::restoreOverrideCursor();
    FileName = "Untitled";
    static const char *const scrollModes[3] = {"&Smooth Scrolling\tS", "&Page Mode\tP",
                                               "&No Scrolling\tN"};
    for (int i = 0; i < 3; i++)
        action(QString("mnuSM(%1)").arg(i))->setText(scrollModes[i]);
    show();
    QCoreApplication::processEvents();
    ID = kvCreate(this);
    if (ID < 0) return false;
    installEventFilter(this);
    parentWidget()->showMaximized();
    for (int n = 1; n <= 8; n++) {
        action(QString("mnuSView(%1)").arg(n - 1))->setText(QString("View &%1\tShift+%1").arg(n));
        action(QString("mnuLView(%1)").arg(n - 1))->setText(QString("View &%1\t%1").arg(n));
    }
    DoTitle();
    return true;
}

/* ---- Menu tree ---- */

QMenu *frmMain::addMenu(QMenu *parent, const QString &name, const QString &caption) {
    QMenu *menu = parent ? parent->addMenu(caption) : new QMenu(caption, this);
    menu->menuAction()->setObjectName(name);
    submenus.insert(name, menu);
    actions.insert(name, menu->menuAction());
    if (!parent) topMenus.append(menu);
    return menu;
}

QAction *frmMain::addAction(QMenu *menu, const QString &name, const QString &caption,
                            const QKeySequence &shortcut) {
    return mdlAddMenuEntry(menu, &actions, name, caption, shortcut);
}

void frmMain::createMenus() {
    createFileMenu();
    createEditMenu();
    createViewMenu();
    createControlsMenu();
    createProcessMenu();
    createOtherMenus();
    for (QMenu *menu : topMenus)
        connect(menu, &QMenu::aboutToShow, this, &frmMain::InitMenu);
}

void frmMain::createFileMenu() {
    QMenu *file = addMenu(nullptr, "mnuFile", "&File");
    addAction(file, "mnuNew", "&New", QKeySequence("Ctrl+N"));
    addAction(file, "mnuOpen", "&Open...", QKeySequence("Ctrl+O"));
    addAction(file, "mnuSave", "&Save", QKeySequence("Ctrl+S"));
    /* Ctrl+Shift+S and Ctrl+Shift+Z (Redo, below) are the keys desktop
     * programs use, so a newcomer's hands find them too. */
    addAction(file, "mnuSaveAs", "Save &As...", QKeySequence("Ctrl+Shift+S"));
    file->addSeparator();
    addAction(file, "mnuInfo", "&Information");
    file->addSeparator();
    addAction(file, "mnuClose", "&Close", QKeySequence("Ctrl+W"));
    addAction(file, "mnuExit", "E&xit", QKeySequence("Ctrl+Q"));
    QAction *separator = file->addSeparator();
    separator->setObjectName("mnuSepMRU");
    actions.insert("mnuSepMRU", separator);
}

void frmMain::createEditMenu() {
    QMenu *edit = addMenu(nullptr, "mnuEdit", "&Edit");
    addAction(edit, "mnuUndo", "&Undo", QKeySequence("Ctrl+Z"));
    addAction(edit, "mnuRedo", "&Redo", QKeySequence("Ctrl+Y"))
        ->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
    addAction(edit, "mnuUndoHist", "Undo &History...", QKeySequence("Ctrl+H"));
    edit->addSeparator();
    /* "Cu&t": with "C&ut" the letter U would be Undo's too, and a menu never
     * moves past a disabled entry sharing the letter, so while nothing can
     * be undone the letter could not reach Cut at all. */
    addAction(edit, "mnuCut", "Cu&t", QKeySequence("Ctrl+X"));
    addAction(edit, "mnuCopy", "&Copy", QKeySequence("Ctrl+C"));
    QMenu *paste = addMenu(edit, "mnuPaste", "&Paste");
    addAction(paste, "mnuPasteInsert", "&Insert", QKeySequence("Ctrl+V"));
    addAction(paste, "mnuPasteReplace", "&Replace", QKeySequence("Ctrl+R"));
    addAction(paste, "mnuPasteMix", "&Mix...", QKeySequence("Ctrl+M"));
    paste->addSeparator();
    addAction(paste, "mnuPasteNew", "To &New File", QKeySequence("Ctrl+F"));
    addAction(edit, "mnuDelete", "&Delete", QKeySequence(Qt::Key_Delete));
    edit->addSeparator();
    QMenu *generate = addMenu(edit, "mnuGenerate", "&Generate");
    addAction(generate, "mnuInsertSilence", "&Silence...");
    addAction(generate, "mnuToneGenerator", "&Tone Generator...");
    edit->addSeparator();
    QMenu *conversions = addMenu(edit, "mnuConversions", "C&onversions");
    addAction(conversions, "mnuConvertChannels", "Convert to &Stereo");
    addAction(conversions, "mnuConvertSampleRate", "Change &Sample Rate...");
    edit->addSeparator();
    addAction(edit, "mnuSelAll", "&Select All", QKeySequence("Ctrl+A"));
    addAction(edit, "mnuSelView", "Select &View");
}

void frmMain::createViewMenu() {
    QMenu *view = addMenu(nullptr, "mnuView", "&View");
    QMenu *zooming = addMenu(view, "mnuZooming", "&Zooming");
    addAction(zooming, "mnuZoomIn", "Zoom In");
    addAction(zooming, "mnuZoomOut", "Zoom Out");
    zooming->addSeparator();
    addAction(zooming, "mnuZoom11", "Zoom &In Full", QKeySequence("Ctrl+J"));
    addAction(zooming, "mnuZoomSel", "Zoom to &Selection", QKeySequence("Ctrl+K"));
    addAction(zooming, "mnuZoomFull", "Zoom Out &Full", QKeySequence("Ctrl+L"));
    QMenu *timeFormat = addMenu(view, "mnuTimeFormat", "&Time Format");
    static const char *const formats[4] = {"&Formatted Time (00:01.714)", "&Seconds (1.714 s)",
                                           "&Milliseconds (1714 ms)", "Sam&ples (75456 smp)"};
    for (int i = 0; i < 4; i++)
        addAction(timeFormat, QString("mnuTF(%1)").arg(i), formats[i])->setCheckable(true);
    view->addSeparator();
    QMenu *load = addMenu(view, "mnuLoadView", "Load Saved &View");
    QMenu *save = addMenu(view, "mnuSaveView", "&Save Current View");
    for (int i = 0; i < 8; i++) {
        addAction(load, QString("mnuLView(%1)").arg(i), QString("View &%1").arg(i + 1));
        addAction(save, QString("mnuSView(%1)").arg(i), QString("View &%1").arg(i + 1));
    }
    view->addSeparator();
    addAction(view, "mnuForceStereo", "Lock &Channels")->setCheckable(true);
    QMenu *scrollMode = addMenu(view, "mnuSMode", "Playback Scroll &Mode");
    for (int i = 0; i < 3; i++)
        addAction(scrollMode, QString("mnuSM(%1)").arg(i), QString())->setCheckable(true);
    view->addSeparator();
    QMenu *display = addMenu(view, "mnuDisplay", "&Display");
    static const char *const modes[3] = {"&Waveform", "&Spectrogram", "Waveform &and Spectrogram"};
    for (int i = KV_DISPLAY_WAVEFORM; i <= KV_DISPLAY_BOTH; i++)
        addAction(display, QString("mnuDisplay(%1)").arg(i), modes[i])->setCheckable(true);
    addAction(view, "mnuVZoomIn", "Zoom &In Vertically");
    addAction(view, "mnuVZoomOut", "Zoom &Out Vertically");
    addAction(view, "mnuVZoomReset", "&Reset Vertical Zoom");
}

void frmMain::createControlsMenu() {
    QMenu *controls = addMenu(nullptr, "mnuControls", "&Controls");
    struct Entry {
        int index;
        const char *caption;
        const char *key;
    };
    static const Entry entries[] = {
        {0, "&Jump to Beginning of File", "F2"},
        {-1, nullptr, nullptr},
        {2, "Play &Fast Reverse", "F3"},
        {3, "Play &Reverse", "F4"},
        {4, "&Stop", "F5"},
        {5, "Pa&use", "F6"},
        {6, "&Play Normal", "F7"},
        {7, "Play F&ast Forward", "F8"},
        {-1, nullptr, nullptr},
        {9, "Jump to &End of File", "F9"},
        {-1, nullptr, nullptr},
        {11, "Re&cord", "Ctrl+F1"},
        {-1, nullptr, nullptr},
    };
    for (const Entry &entry : entries) {
        if (entry.index < 0)
            controls->addSeparator();
        else
            addAction(controls, QString("mnuPlayback(%1)").arg(entry.index), entry.caption,
                      QKeySequence(entry.key));
    }
    addAction(controls, "mnuLoop", "&Loop Playback")->setCheckable(true);
}

void frmMain::createProcessMenu() {
    QMenu *process = addMenu(nullptr, "mnuProcess", "&Process");
    QMenu *volume = addMenu(process, "mnuVol", "&Volume");
    addAction(volume, "mnuMute", "&Mute...");
    addAction(volume, "mnuVolume", "&Change...");
    addAction(volume, "mnuMaximize", "&Normalize...");
    volume->addSeparator();
    addAction(volume, "mnuFadeIn", "Fade &In");
    addAction(volume, "mnuFadeOut", "Fade &Out");
    QMenu *filters = addMenu(process, "mnuEQualization", "&Filters");
    addAction(filters, "mnuEQ", "10 Band Graphic &Equalizer...");
    addAction(filters, "mnuFFTFilter", "&FFT Filtering...");
    QMenu *echoes = addMenu(process, "mnuEchoS", "E&chos");
    addAction(echoes, "mnuEchoSimple", "&Simple Echo...");
    addAction(echoes, "mnuEcho", "&Echo Processor...");
    addAction(echoes, "mnuReverb", "&Reverb Processor...");
    QMenu *dynamics = addMenu(process, "mnuDynamics", "&Dynamics");
    addAction(dynamics, "mnuComp", "&Compressor/Limiter...");
    addAction(dynamics, "mnuDistortion", "&Distortion...");
    addAction(process, "mnuTnP", "&Time and Pitch...");
    process->addSeparator();
    addAction(process, "mnuReverse", "&Reverse...");
    addAction(volume, "mnuLoudnessNormalize", "&Loudness Normalize...");
    addAction(process, "mnuNoiseReduction", "&Noise Reduction...");
}

void frmMain::createOtherMenus() {
    QMenu *tools = addMenu(nullptr, "mnuTools", "&Tools");
    addAction(tools, "mnuOptions", "&Options...");
    addAction(tools, "mnuLoudnessMeter", "&Loudness Analysis...");
    QMenu *window = addMenu(nullptr, "mnuWindow", "&Window");
    addAction(window, "mnuCascade", "&Cascade");
    addAction(window, "mnuTileH", "Tile &Horizontally");
    addAction(window, "mnuTileV", "&Tile Vertically");
    QAction *list = window->addSeparator();
    connect(window, &QMenu::aboutToShow, this, [this, window, list] {
        for (QAction *entry : window->actions())
            if (entry->property("window").isValid()) delete entry;
        int n = 0;
        for (frmMain *document : frame->documents()) {
            /* Only the first nine get a digit to press, so no two share one. */
            QString number = ++n <= 9 ? QString("&%1").arg(n) : QString::number(n);
            QAction *entry = window->addAction(number + " " + document->windowTitle());
            entry->setProperty("window", n);
            entry->setCheckable(true);
            entry->setChecked(document == frame->activeDocument());
            connect(entry, &QAction::triggered, document, [this, document] {
                frame->mdiArea->setActiveSubWindow(
                    qobject_cast<QMdiSubWindow *>(document->parentWidget()));
            });
        }
        list->setVisible(n > 0);
    });
    QMenu *help = addMenu(nullptr, "mnuHelp", "&Help");
    addAction(help, "mnuHelpTopics", "Help &Topics");
    addAction(help, "mnuHelpGettingStarted", "&Getting Started");
    QMenu *web = addMenu(help, "mnuWeb", "Korvel on the &Web");
    addAction(web, "mnuWebMain", "Korvel &Main Web Site");
    addAction(web, "mnuWebSupport", "Korvel &Support Center");
    help->addSeparator();
    addAction(help, "mnuAbout", "&About Korvel...");
}

/* ---- Enabling, captions and title ---- */

bool frmMain::isWired(const QString &name) const {
    QAction *entry = actions.value(name);
    return entry && wired.contains(entry);
}

void frmMain::setEnabledIfWired(const QString &name, bool enabled) {
    if (QAction *entry = actions.value(name)) entry->setEnabled(enabled && wired.contains(entry));
}

bool frmMain::hasSound() const {
    return kvIsZero(ID) == 0;
}

bool frmMain::hasSelection() const {
    return kvIsSel(ID) > 0;
}

static QString mdlUndoText(int32_t doc, int32_t level) {
    char buffer[40] = {};
    kvGetUndoText(doc, level, buffer);
    return QString::fromLocal8Bit(buffer, static_cast<int>(strnlen(buffer, sizeof buffer)));
}

/* The Undo or Redo entry and button: "&Undo Cut" and "Undo Cut" when there
 * is a step, "Can't &Undo" and "Can't Undo" otherwise. */
void frmMain::showHistoryStep(const QString &entryName, const QString &buttonName, bool possible,
                              const QString &verb, const QString &text) {
    QAction *button = frame->action(buttonName);
    button->setData(possible ? verb + " " + text : "Can't " + verb);
    button->setEnabled(possible);
    action(entryName)->setText(possible ? "&" + verb + " " + text : "Can't &" + verb);
    bool tips = frame->options()->showTips == 1;
    QWidget *widget = frame->TB->widgetForAction(button);
    widget->setToolTip(tips ? button->data().toString() : QString());
    widget->setAccessibleName(button->data().toString());
}

void frmMain::InitMenu() {
    KV_Options *options = frame->options();
    bool sound = hasSound();
    bool clips = frame->cmbClip->count() > 0;
    int32_t levels = kvGetNumUndo(ID), level = kvGetUndoLevel(ID);
    int32_t channels = 0, rate = 0, bits = 0;
    kvGetProperties(ID, &channels, &rate, &bits);

    action("mnuConvertChannels")
        ->setText(channels == 1 ? "Convert to &Stereo" : "Convert to &Mono");
    for (int i : {0, 2, 3, 4, 5, 6, 7, 9})
        setEnabledIfWired(QString("mnuPlayback(%1)").arg(i), sound);
    setEnabledIfWired("mnuPlayback(11)", true);

    bool undo = level >= 1, redo = level < levels - 1;
    showHistoryStep("mnuUndo", "TB.Undo", undo, "Undo", undo ? mdlUndoText(ID, level) : "");
    showHistoryStep("mnuRedo", "TB.Redo", redo, "Redo", redo ? mdlUndoText(ID, level + 1) : "");

    for (int i = 0; i < 3; i++)
        action(QString("mnuSM(%1)").arg(i))->setChecked(options->scrollMode == i);
    action("mnuForceStereo")->setChecked(options->lockChannels == 1);
    setEnabledIfWired("mnuForceStereo", channels == 2);
    action("mnuLoop")->setChecked(options->loopPlayback == 1);

    for (const char *name :
         {"mnuMute", "mnuVolume", "mnuMaximize", "mnuEQ", "mnuComp", "mnuFadeIn", "mnuFadeOut",
          "mnuEchoSimple", "mnuEcho", "mnuReverb", "mnuFFTFilter", "mnuDistortion", "mnuTnP",
          "mnuLoudnessNormalize", "mnuNoiseReduction", "mnuLoudnessMeter"})
        setEnabledIfWired(name, sound);
    for (const char *name : {"mnuVol", "mnuEchoS", "mnuEQualization", "mnuDynamics"})
        action(name)->setEnabled(sound);

    setEnabledIfWired("mnuPasteInsert", clips);
    setEnabledIfWired("mnuPasteNew", clips);
    setEnabledIfWired("mnuPasteMix", clips && sound);
    setEnabledIfWired("mnuPasteReplace", clips && sound);
    bool anyPaste = false;
    for (const char *name : {"mnuPasteInsert", "mnuPasteNew", "mnuPasteMix", "mnuPasteReplace"})
        anyPaste = anyPaste || action(name)->isEnabled();
    action("mnuPaste")->setEnabled(anyPaste);

    for (int i = 0; i < 4; i++)
        action(QString("mnuTF(%1)").arg(i))->setChecked(options->timeFormat == i);

    bool viewSet = frame->action("TB.vSet")->isChecked();
    for (int i = 0; i < 8; i++) {
        setEnabledIfWired(QString("mnuSView(%1)").arg(i), sound);
        setEnabledIfWired(QString("mnuLView(%1)").arg(i), sound && (savedViews[i] || viewSet));
    }
    int32_t mode = kvGetDisplayMode(ID), verticalZoom = kvGetVerticalZoom(ID);
    for (int i = KV_DISPLAY_WAVEFORM; i <= KV_DISPLAY_BOTH; i++)
        action(QString("mnuDisplay(%1)").arg(i))->setChecked(mode == i);
    setEnabledIfWired("mnuVZoomIn", sound && verticalZoom < KV_MOST_VERTICAL_ZOOM);
    setEnabledIfWired("mnuVZoomOut", sound && verticalZoom > 1);
    setEnabledIfWired("mnuVZoomReset", sound && verticalZoom > 1);
    mdlRebuildRecentFiles(menu("mnuFile"), action("mnuSepMRU"), &mnuMRU, frame);
}

void frmMain::UpdateToolbar() {
    frame->UpdateToolbar();
    InitMenu();
    bool sound = hasSound();
    bool selection = hasSelection();
    for (QAction *button : frame->TBVolume->actions())
        button->setEnabled(sound && isWired(button->property("command").toString()));

    bool cutCopy = sound && selection;
    frame->action("TB.Cut")->setEnabled(cutCopy);
    frame->action("TB.Copy")->setEnabled(cutCopy);
    for (const char *name : {"mnuCut", "mnuCopy", "mnuDelete"})
        setEnabledIfWired(name, cutCopy);

    bool unsaved = kvIsSaved(ID) == 0;
    frame->action("TB.Save")->setEnabled(unsaved);
    setEnabledIfWired("mnuSave", unsaved);

    bool zoomIn = sound && kvCanZoomIn(ID) > 0;
    bool zoomOut = sound && kvCanZoomOut(ID) > 0;
    setEnabledIfWired("mnuZoomIn", zoomIn);
    setEnabledIfWired("mnuZoomOut", zoomOut);
    frame->setWiredEnabled(frame->action("TBPlayback.ZoomIn"), zoomIn);
    frame->setWiredEnabled(frame->action("TBPlayback.ZoomOut"), zoomOut);
    frame->setWiredEnabled(frame->action("TBPlayback.ZoomSel"), selection);
    setEnabledIfWired("mnuZoomSel", selection);
    for (const char *name : {"mnuZoomFull", "mnuZoom11", "mnuReverse"})
        setEnabledIfWired(name, sound);

    int buttons = 0;
    for (QAction *button : frame->TBPlayback->actions()) {
        if (button->isSeparator() || buttons++ >= 10) continue;
        frame->setWiredEnabled(button, sound || button->objectName() == "TBPlayback.Rec");
    }

    action("mnuUndo")->setEnabled(frame->action("TB.Undo")->isEnabled());
    action("mnuRedo")->setEnabled(frame->action("TB.Redo")->isEnabled());
    action("mnuSaveAs")->setEnabled(true);

    QAction *display = frame->action("TB.Display");
    frame->setWiredEnabled(display, sound);
    int32_t mode = kvGetDisplayMode(ID);
    display->setChecked(mode > KV_DISPLAY_WAVEFORM);
    if (mode > KV_DISPLAY_WAVEFORM) frame->spectrumMode = mode;

    bool viewSet = frame->action("TB.vSet")->isChecked();
    for (int n = 1; n <= 8; n++)
        frame->setWiredEnabled(frame->action(QString("TB.V%1").arg(n)),
                               sound && (savedViews[n - 1] || viewSet));
    DoTitle();
}

void frmMain::DoTitle() {
    QString fileTitle = FileName.mid(FileName.lastIndexOf('/') + 1);
    QString title = kvIsSaved(ID) != 0 ? fileTitle : fileTitle + " *";
    if (title != windowTitle()) setWindowTitle(title);
    static const char *const shown[3] = {"Waveform of ", "Spectrogram of ",
                                         "Waveform and spectrogram of "};
    int32_t mode = std::clamp<int32_t>(kvGetDisplayMode(ID), KV_DISPLAY_WAVEFORM, KV_DISPLAY_BOTH);
    QString name = shown[mode] + fileTitle;
    if (name != accessibleName()) setAccessibleName(name);
}

/* While sound plays the fourth text is the play position, so the length
 * told is the last one shown before; the description changes only when its
 * words do, which keeps screen readers quiet during playback. */
void frmMain::describeView(const QString (&times)[4]) {
    if (kvIsPlaying() == 0) lengthText = times[3];
    QString selection =
        kvIsSel(ID) > 0
            ? QString("Selection from %1 to %2, length %3").arg(times[0], times[1], times[2])
            : QString("Cursor at %1").arg(times[0]);
    QString description = selection + ". File length " + lengthText + ".";
    if (description != accessibleDescription()) setAccessibleDescription(description);
}

/* The engine redraws its picture on every resize, but a window that grows
 * while the document area rearranges its windows (tiling, restoring) can be
 * left with the newly exposed part unpainted; one more whole repaint from
 * the engine's picture settles it. */
void frmMain::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    update();
}

/* ---- Keys and mouse ---- */

/* Digit keys 1 to 8 of the main keyboard; with Shift held (or on layouts
 * whose top row gives symbols) the key's position, its X key code, names the
 * digit. */
static int mdlViewDigit(const QKeyEvent *event) {
    if (event->modifiers() & Qt::KeypadModifier) return 0;
    if (event->key() >= Qt::Key_1 && event->key() <= Qt::Key_8) return event->key() - Qt::Key_0;
    quint32 scanCode = event->nativeScanCode();
    if (scanCode >= 10 && scanCode <= 17) return static_cast<int>(scanCode) - 9;
    return 0;
}

bool frmMain::handleKey(QKeyEvent *event) {
    int digit = mdlViewDigit(event);
    if (digit == 0) return false;
    if (event->modifiers() & Qt::ShiftModifier)
        runCommand(QString("mnuSView(%1)").arg(digit - 1));
    else
        runCommand(QString("mnuLView(%1)").arg(digit - 1));
    return true;
}

bool frmMain::eventFilter(QObject *watched, QEvent *event) {
    if (watched != this) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return handleKey(static_cast<QKeyEvent *>(event));
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) dragFlag = true;
        break;
    case QEvent::MouseButtonRelease: {
        auto *release = static_cast<QMouseEvent *>(event);
        if (release->button() == Qt::LeftButton) dragFlag = false;
        if (release->button() == Qt::RightButton && !dragFlag)
            menu("mnuEdit")->popup(release->globalPosition().toPoint());
        break;
    }
    default:
        break;
    }
    return false;
}
