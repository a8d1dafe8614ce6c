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
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

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
        ui_.mnuSM[i]->setText(scrollModes[i]);
    show();
    QCoreApplication::processEvents();
    ID = kvCreate(this);
    if (ID < 0) return false;
    installEventFilter(this);
    parentWidget()->showMaximized();
    for (int n = 1; n <= 8; n++) {
        ui_.mnuSView[n - 1]->setText(QString("View &%1\tShift+%1").arg(n));
        ui_.mnuLView[n - 1]->setText(QString("View &%1\t%1").arg(n));
    }
    DoTitle();
    return true;
}

/* ---- Menu tree ---- */

QMenu *frmMain::addMenu(QMenu *parent, QAction **entry, const QString &name,
                        const QString &caption) {
    QMenu *menu = parent ? parent->addMenu(caption) : new QMenu(caption, this);
    menu->menuAction()->setObjectName(name);
    *entry = menu->menuAction();
    if (!parent) topMenus.append(menu);
    return menu;
}

QAction *frmMain::addAction(QMenu *menu, const QString &name, const QString &caption,
                            const QKeySequence &shortcut) {
    return mdlAddMenuEntry(menu, name, caption, shortcut);
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
    frmMainUi &u = ui_;
    QMenu *file = u.fileMenu = addMenu(nullptr, &u.mnuFile, "mnuFile", "&File");
    u.mnuNew = addAction(file, "mnuNew", "&New", QKeySequence("Ctrl+N"));
    u.mnuOpen = addAction(file, "mnuOpen", "&Open...", QKeySequence("Ctrl+O"));
    u.mnuSave = addAction(file, "mnuSave", "&Save", QKeySequence("Ctrl+S"));
    /* Ctrl+Shift+S and Ctrl+Shift+Z (Redo, below) are the keys desktop
     * programs use, so a newcomer's hands find them too. */
    u.mnuSaveAs = addAction(file, "mnuSaveAs", "Save &As...", QKeySequence("Ctrl+Shift+S"));
    file->addSeparator();
    u.mnuInfo = addAction(file, "mnuInfo", "&Information");
    file->addSeparator();
    u.mnuClose = addAction(file, "mnuClose", "&Close", QKeySequence("Ctrl+W"));
    u.mnuExit = addAction(file, "mnuExit", "E&xit", QKeySequence("Ctrl+Q"));
    u.mnuSepMRU = file->addSeparator();
    u.mnuSepMRU->setObjectName("mnuSepMRU");
}

void frmMain::createEditMenu() {
    frmMainUi &u = ui_;
    QMenu *edit = u.editMenu = addMenu(nullptr, &u.mnuEdit, "mnuEdit", "&Edit");
    u.mnuUndo = addAction(edit, "mnuUndo", "&Undo", QKeySequence("Ctrl+Z"));
    u.mnuRedo = addAction(edit, "mnuRedo", "&Redo", QKeySequence("Ctrl+Y"));
    u.mnuRedo->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
    u.mnuUndoHist = addAction(edit, "mnuUndoHist", "Undo &History...", QKeySequence("Ctrl+H"));
    edit->addSeparator();
    /* "Cu&t": with "C&ut" the letter U would be Undo's too, and a menu never
     * moves past a disabled entry sharing the letter, so while nothing can
     * be undone the letter could not reach Cut at all. */
    u.mnuCut = addAction(edit, "mnuCut", "Cu&t", QKeySequence("Ctrl+X"));
    u.mnuCopy = addAction(edit, "mnuCopy", "&Copy", QKeySequence("Ctrl+C"));
    QMenu *paste = addMenu(edit, &u.mnuPaste, "mnuPaste", "&Paste");
    u.mnuPasteInsert = addAction(paste, "mnuPasteInsert", "&Insert", QKeySequence("Ctrl+V"));
    u.mnuPasteReplace = addAction(paste, "mnuPasteReplace", "&Replace", QKeySequence("Ctrl+R"));
    u.mnuPasteMix = addAction(paste, "mnuPasteMix", "&Mix...", QKeySequence("Ctrl+M"));
    paste->addSeparator();
    u.mnuPasteNew = addAction(paste, "mnuPasteNew", "To &New File", QKeySequence("Ctrl+F"));
    u.mnuDelete = addAction(edit, "mnuDelete", "&Delete", QKeySequence(Qt::Key_Delete));
    edit->addSeparator();
    QMenu *generate = addMenu(edit, &u.mnuGenerate, "mnuGenerate", "&Generate");
    u.mnuInsertSilence = addAction(generate, "mnuInsertSilence", "&Silence...");
    u.mnuToneGenerator = addAction(generate, "mnuToneGenerator", "&Tone Generator...");
    edit->addSeparator();
    QMenu *conversions = addMenu(edit, &u.mnuConversions, "mnuConversions", "C&onversions");
    u.mnuConvertChannels = addAction(conversions, "mnuConvertChannels", "Convert to &Stereo");
    u.mnuConvertSampleRate =
        addAction(conversions, "mnuConvertSampleRate", "Change &Sample Rate...");
    edit->addSeparator();
    u.mnuSelAll = addAction(edit, "mnuSelAll", "&Select All", QKeySequence("Ctrl+A"));
    u.mnuSelView = addAction(edit, "mnuSelView", "Select &View");
}

/* Entries name(0) ... name(count - 1), checkable when asked. */
static void mdlAddIndexed(QMenu *menu, QAction **entries, int count, const QString &name,
                          const char *const *captions, bool checkable) {
    for (int i = 0; i < count; i++) {
        entries[i] = mdlAddMenuEntry(menu, QString("%1(%2)").arg(name).arg(i),
                                     captions ? captions[i] : "", {});
        entries[i]->setCheckable(checkable);
    }
}

void frmMain::createViewMenu() {
    frmMainUi &u = ui_;
    QMenu *view = addMenu(nullptr, &u.mnuView, "mnuView", "&View");
    QMenu *zooming = addMenu(view, &u.mnuZooming, "mnuZooming", "&Zooming");
    u.mnuZoomIn = addAction(zooming, "mnuZoomIn", "Zoom In");
    u.mnuZoomOut = addAction(zooming, "mnuZoomOut", "Zoom Out");
    zooming->addSeparator();
    u.mnuZoom11 = addAction(zooming, "mnuZoom11", "Zoom &In Full", QKeySequence("Ctrl+J"));
    u.mnuZoomSel = addAction(zooming, "mnuZoomSel", "Zoom to &Selection", QKeySequence("Ctrl+K"));
    u.mnuZoomFull = addAction(zooming, "mnuZoomFull", "Zoom Out &Full", QKeySequence("Ctrl+L"));
    u.timeFormatMenu = addMenu(view, &u.mnuTimeFormat, "mnuTimeFormat", "&Time Format");
    static const char *const formats[4] = {"&Formatted Time (00:01.714)", "&Seconds (1.714 s)",
                                           "&Milliseconds (1714 ms)", "Sam&ples (75456 smp)"};
    mdlAddIndexed(u.timeFormatMenu, u.mnuTF, 4, "mnuTF", formats, true);
    view->addSeparator();
    QMenu *load = addMenu(view, &u.mnuLoadView, "mnuLoadView", "Load Saved &View");
    QMenu *save = addMenu(view, &u.mnuSaveView, "mnuSaveView", "&Save Current View");
    static const char *const views[8] = {"View &1", "View &2", "View &3", "View &4",
                                         "View &5", "View &6", "View &7", "View &8"};
    mdlAddIndexed(load, u.mnuLView, 8, "mnuLView", views, false);
    mdlAddIndexed(save, u.mnuSView, 8, "mnuSView", views, false);
    view->addSeparator();
    u.mnuForceStereo = addAction(view, "mnuForceStereo", "Lock &Channels");
    u.mnuForceStereo->setCheckable(true);
    QMenu *scrollMode = addMenu(view, &u.mnuSMode, "mnuSMode", "Playback Scroll &Mode");
    mdlAddIndexed(scrollMode, u.mnuSM, 3, "mnuSM", nullptr, true);
    view->addSeparator();
    QMenu *display = addMenu(view, &u.mnuDisplay, "mnuDisplay", "&Display");
    static const char *const modes[3] = {"&Waveform", "&Spectrogram", "Waveform &and Spectrogram"};
    mdlAddIndexed(display, u.mnuDisplayMode, KV_DISPLAY_BOTH + 1, "mnuDisplay", modes, true);
    u.mnuVZoomIn = addAction(view, "mnuVZoomIn", "Zoom &In Vertically");
    u.mnuVZoomOut = addAction(view, "mnuVZoomOut", "Zoom &Out Vertically");
    u.mnuVZoomReset = addAction(view, "mnuVZoomReset", "&Reset Vertical Zoom");
}

void frmMain::createControlsMenu() {
    QMenu *controls = addMenu(nullptr, &ui_.mnuControls, "mnuControls", "&Controls");
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
            ui_.mnuPlayback[entry.index] =
                addAction(controls, QString("mnuPlayback(%1)").arg(entry.index), entry.caption,
                          QKeySequence(entry.key));
    }
    ui_.mnuLoop = addAction(controls, "mnuLoop", "&Loop Playback");
    ui_.mnuLoop->setCheckable(true);
}

void frmMain::createProcessMenu() {
    frmMainUi &u = ui_;
    QMenu *process = addMenu(nullptr, &u.mnuProcess, "mnuProcess", "&Process");
    QMenu *volume = addMenu(process, &u.mnuVol, "mnuVol", "&Volume");
    u.mnuMute = addAction(volume, "mnuMute", "&Mute...");
    u.mnuVolume = addAction(volume, "mnuVolume", "&Change...");
    u.mnuMaximize = addAction(volume, "mnuMaximize", "&Normalize...");
    volume->addSeparator();
    u.mnuFadeIn = addAction(volume, "mnuFadeIn", "Fade &In");
    u.mnuFadeOut = addAction(volume, "mnuFadeOut", "Fade &Out");
    QMenu *filters = addMenu(process, &u.mnuEQualization, "mnuEQualization", "&Filters");
    u.mnuEQ = addAction(filters, "mnuEQ", "10 Band Graphic &Equalizer...");
    u.mnuFFTFilter = addAction(filters, "mnuFFTFilter", "&FFT Filtering...");
    QMenu *echoes = addMenu(process, &u.mnuEchoS, "mnuEchoS", "E&chos");
    u.mnuEchoSimple = addAction(echoes, "mnuEchoSimple", "&Simple Echo...");
    u.mnuEcho = addAction(echoes, "mnuEcho", "&Echo Processor...");
    u.mnuReverb = addAction(echoes, "mnuReverb", "&Reverb Processor...");
    QMenu *dynamics = addMenu(process, &u.mnuDynamics, "mnuDynamics", "&Dynamics");
    u.mnuComp = addAction(dynamics, "mnuComp", "&Compressor/Limiter...");
    u.mnuDistortion = addAction(dynamics, "mnuDistortion", "&Distortion...");
    u.mnuTnP = addAction(process, "mnuTnP", "&Time and Pitch...");
    process->addSeparator();
    u.mnuReverse = addAction(process, "mnuReverse", "&Reverse...");
    u.mnuLoudnessNormalize = addAction(volume, "mnuLoudnessNormalize", "&Loudness Normalize...");
    u.mnuNoiseReduction = addAction(process, "mnuNoiseReduction", "&Noise Reduction...");
}

void frmMain::createOtherMenus() {
    frmMainUi &u = ui_;
    QMenu *tools = addMenu(nullptr, &u.mnuTools, "mnuTools", "&Tools");
    u.mnuOptions = addAction(tools, "mnuOptions", "&Options...");
    u.mnuLoudnessMeter = addAction(tools, "mnuLoudnessMeter", "&Loudness Analysis...");
    createWindowMenu();
    QMenu *help = addMenu(nullptr, &u.mnuHelp, "mnuHelp", "&Help");
    u.mnuHelpTopics = addAction(help, "mnuHelpTopics", "Help &Topics");
    u.mnuHelpGettingStarted = addAction(help, "mnuHelpGettingStarted", "&Getting Started");
    QMenu *web = addMenu(help, &u.mnuWeb, "mnuWeb", "Korvel on the &Web");
    u.mnuWebMain = addAction(web, "mnuWebMain", "Korvel &Main Web Site");
    u.mnuWebSupport = addAction(web, "mnuWebSupport", "Korvel &Support Center");
    help->addSeparator();
    u.mnuAbout = addAction(help, "mnuAbout", "&About Korvel...");
}

void frmMain::createWindowMenu() {
    QMenu *window = addMenu(nullptr, &ui_.mnuWindow, "mnuWindow", "&Window");
    ui_.mnuCascade = addAction(window, "mnuCascade", "&Cascade");
    ui_.mnuTileH = addAction(window, "mnuTileH", "Tile &Horizontally");
    ui_.mnuTileV = addAction(window, "mnuTileV", "&Tile Vertically");
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
            connect(entry, &QAction::triggered, document,
                    [this, document] { frame->activate(document); });
        }
        list->setVisible(n > 0);
    });
}

QList<QKeySequence> frmMain::shortcuts() const {
    QList<QKeySequence> keys;
    for (const QAction *entry : findChildren<QAction *>())
        keys += entry->shortcuts();
    return keys;
}

void frmMain::popUpFileMenu(const QPoint &where) {
    ui_.fileMenu->popup(where);
}

void frmMain::popUpTimeFormatMenu(const QPoint &where) {
    ui_.timeFormatMenu->popup(where);
}

/* ---- Enabling, captions and title ---- */

bool frmMain::isWired(const QAction *entry) const {
    return entry && wired.contains(entry);
}

void frmMain::setEnabledIfWired(QAction *entry, bool enabled) {
    entry->setEnabled(enabled && wired.contains(entry));
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

frmMainState frmMain::state() const {
    frmMainState now;
    now.sound = hasSound();
    now.selection = hasSelection();
    now.unsaved = kvIsSaved(ID) == 0;
    now.zoomIn = now.sound && kvCanZoomIn(ID) > 0;
    now.zoomOut = now.sound && kvCanZoomOut(ID) > 0;
    int32_t levels = kvGetNumUndo(ID), level = kvGetUndoLevel(ID);
    now.undo = level >= 1;
    now.redo = level < levels - 1;
    if (now.undo) now.undoText = mdlUndoText(ID, level);
    if (now.redo) now.redoText = mdlUndoText(ID, level + 1);
    now.displayMode = kvGetDisplayMode(ID);
    std::copy(std::begin(savedViews), std::end(savedViews), now.savedViews);
    return now;
}

/* The Undo or Redo entry: "&Undo Cut" when there is a step, "Can't &Undo"
 * otherwise (the frame's button says the same without the "&"). */
void frmMain::showHistoryStep(QAction *entry, bool possible, const QString &verb,
                              const QString &text) {
    entry->setText(possible ? "&" + verb + " " + text : "Can't &" + verb);
    setEnabledIfWired(entry, possible);
}

void frmMain::InitMenu() {
    KV_Options *options = frame->options();
    frmMainState now = state();
    bool sound = now.sound;
    bool clips = frame->clipCount() > 0;
    int32_t channels = 0, rate = 0, bits = 0;
    kvGetProperties(ID, &channels, &rate, &bits);
    frmMainUi &u = ui_;

    u.mnuConvertChannels->setText(channels == 1 ? "Convert to &Stereo" : "Convert to &Mono");
    for (int i : {0, 2, 3, 4, 5, 6, 7, 9})
        setEnabledIfWired(u.mnuPlayback[i], sound);
    setEnabledIfWired(u.mnuPlayback[11], true);

    showHistoryStep(u.mnuUndo, now.undo, "Undo", now.undoText);
    showHistoryStep(u.mnuRedo, now.redo, "Redo", now.redoText);

    for (int i = 0; i < 3; i++)
        u.mnuSM[i]->setChecked(options->scrollMode == i);
    u.mnuForceStereo->setChecked(options->lockChannels == 1);
    setEnabledIfWired(u.mnuForceStereo, channels == 2);
    u.mnuLoop->setChecked(options->loopPlayback == 1);

    for (QAction *entry :
         {u.mnuMute, u.mnuVolume, u.mnuMaximize, u.mnuEQ, u.mnuComp, u.mnuFadeIn, u.mnuFadeOut,
          u.mnuEchoSimple, u.mnuEcho, u.mnuReverb, u.mnuFFTFilter, u.mnuDistortion, u.mnuTnP,
          u.mnuLoudnessNormalize, u.mnuNoiseReduction, u.mnuLoudnessMeter})
        setEnabledIfWired(entry, sound);
    for (QAction *submenu : {u.mnuVol, u.mnuEchoS, u.mnuEQualization, u.mnuDynamics})
        submenu->setEnabled(sound);

    setEnabledIfWired(u.mnuPasteInsert, clips);
    setEnabledIfWired(u.mnuPasteNew, clips);
    setEnabledIfWired(u.mnuPasteMix, clips && sound);
    setEnabledIfWired(u.mnuPasteReplace, clips && sound);
    bool anyPaste = false;
    for (QAction *entry : {u.mnuPasteInsert, u.mnuPasteNew, u.mnuPasteMix, u.mnuPasteReplace})
        anyPaste = anyPaste || entry->isEnabled();
    u.mnuPaste->setEnabled(anyPaste);

    for (int i = 0; i < 4; i++)
        u.mnuTF[i]->setChecked(options->timeFormat == i);

    bool viewSet = frame->isViewSetPressed();
    for (int i = 0; i < 8; i++) {
        setEnabledIfWired(u.mnuSView[i], sound);
        setEnabledIfWired(u.mnuLView[i], sound && (savedViews[i] || viewSet));
    }
    int32_t verticalZoom = kvGetVerticalZoom(ID);
    for (int i = KV_DISPLAY_WAVEFORM; i <= KV_DISPLAY_BOTH; i++)
        u.mnuDisplayMode[i]->setChecked(now.displayMode == i);
    setEnabledIfWired(u.mnuVZoomIn, sound && verticalZoom < KV_MOST_VERTICAL_ZOOM);
    setEnabledIfWired(u.mnuVZoomOut, sound && verticalZoom > 1);
    setEnabledIfWired(u.mnuVZoomReset, sound && verticalZoom > 1);

    bool cutCopy = sound && now.selection;
    for (QAction *entry : {u.mnuCut, u.mnuCopy, u.mnuDelete})
        setEnabledIfWired(entry, cutCopy);
    setEnabledIfWired(u.mnuSave, now.unsaved);
    setEnabledIfWired(u.mnuZoomIn, now.zoomIn);
    setEnabledIfWired(u.mnuZoomOut, now.zoomOut);
    setEnabledIfWired(u.mnuZoomSel, now.selection);
    for (QAction *entry : {u.mnuZoomFull, u.mnuZoom11, u.mnuReverse})
        setEnabledIfWired(entry, sound);
    u.mnuSaveAs->setEnabled(true);
    mdlRebuildRecentFiles(u.fileMenu, u.mnuSepMRU, &mnuMRU, frame);
}

void frmMain::UpdateToolbar() {
    InitMenu();
    DoTitle();
    emit stateChanged(this);
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
        runCommand(ui_.mnuSView[digit - 1]);
    else
        runCommand(ui_.mnuLView[digit - 1]);
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
            ui_.editMenu->popup(release->globalPosition().toPoint());
        break;
    }
    default:
        break;
    }
    return false;
}
