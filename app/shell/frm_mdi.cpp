/*
 * frm_mdi.cpp - the frame window's widget tree: menus, the three toolbars,
 * the clip selector and the status area.
 *
 * Toolbar pictures come from the desktop's icon theme when it has one, and
 * from the program's own SVG pictures otherwise. Every button and entry gets
 * an object name (the toolbar's name and the button key, or the menu name) so
 * that handlers and tests find them by the names the design uses.
 */
#include "app/shell/frm_mdi.h"
#include "app/dialogs/accessible.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_progress.h"
#include "app/shell/mdl_main.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSizeGrip>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

/* Resources of a static library must be registered by hand. */
static void mdlInitResources() {
    Q_INIT_RESOURCE(shell);
}

frmMDI::frmMDI(KV_Options *options, KV_Params *params) : kvOptions(options), kvParams(params) {
    mdlInitResources();
    setObjectName("frmMDI");
    setWindowTitle(mdlProductName);
    setWindowIcon(QIcon(":/icons/korvel.svg"));
    setAcceptDrops(true);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size() * 0.85);
    mdlMain.frame = this;
    createCentralArea();
    createMenus();
    createMainToolbar();
    createEffectsToolbar();
    createPlaybackToolbar();
    placeToolbars();
    createStatusArea();
    progress = new frmProgress(this, params);
    showMenusOf(nullptr);
    mdlNameControls(this);
    UpdateToolbar();
}

frmMDI::~frmMDI() {
    mdiArea->disconnect(this);
    qDeleteAll(mdiArea->subWindowList());
    stopEngine();
    if (mdlMain.frame == this) mdlMain.frame = nullptr;
}

void frmMDI::createCentralArea() {
    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName("mdiArea");
    mdiArea->setAccessibleName("Sound Files");
    mdiArea->viewport()->installEventFilter(this);
    setCentralWidget(mdiArea);
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &frmMDI::subWindowActivated);
}

QAction *frmMDI::addAction(QMenu *menu, const QString &name, const QString &caption,
                           const QKeySequence &shortcut) {
    return mdlAddMenuEntry(menu, &actions, name, caption, shortcut);
}

void frmMDI::wire(QAction *action, void (frmMDI::*handler)()) {
    wired.insert(action);
    connect(action, &QAction::triggered, this, [this, handler] {
        if (!disabled) (this->*handler)();
    });
}

void frmMDI::setWiredEnabled(QAction *action, bool enabled) {
    action->setEnabled(enabled && wired.contains(action));
}

void frmMDI::createMenus() {
    mnuFile = new QMenu("&File", this);
    mnuFile->menuAction()->setObjectName("mnuFile");
    wire(addAction(mnuFile, "mnuNew", "&New", QKeySequence("Ctrl+N")), &frmMDI::mnuNew_Click);
    wire(addAction(mnuFile, "mnuOpen", "&Open", QKeySequence("Ctrl+O")), &frmMDI::mnuOpen_Click);
    mnuFile->addSeparator();
    wire(addAction(mnuFile, "mnuExit", "E&xit", QKeySequence("Ctrl+Q")), &frmMDI::mnuExit_Click);
    mnuSepMRU = mnuFile->addSeparator();
    mnuSepMRU->setObjectName("mnuSepMRU");
    connect(mnuFile, &QMenu::aboutToShow, this, &frmMDI::InitMenu);

    auto *mnuTools = new QMenu("&Tools", this);
    mnuTools->menuAction()->setObjectName("mnuTools");
    wire(addAction(mnuTools, "mnuOptions", "&Options"), &frmMDI::mnuOptions_Click);

    auto *mnuHelp = new QMenu("&Help", this);
    mnuHelp->menuAction()->setObjectName("mnuHelp");
    wire(addAction(mnuHelp, "mnuHelpTopics", "Help &Topics"), &frmMDI::mnuHelpTopics_Click);
    wire(addAction(mnuHelp, "mnuHelpGettingStarted", "&Getting Started"),
         &frmMDI::mnuHelpGettingStarted_Click);
    QMenu *mnuWeb = mnuHelp->addMenu("Korvel on the &Web");
    mnuWeb->menuAction()->setObjectName("mnuWeb");
    wire(addAction(mnuWeb, "mnuWebMain", "Korvel &Main Web Site"), &frmMDI::mnuWebMain_Click);
    wire(addAction(mnuWeb, "mnuWebSupport", "Korvel &Support Center"),
         &frmMDI::mnuWebSupport_Click);
    mnuHelp->addSeparator();
    wire(addAction(mnuHelp, "mnuAbout", "&About Korvel"), &frmMDI::mnuAbout_Click);

    frameMenus = {mnuFile, mnuTools, mnuHelp};
}

static QIcon mdlIcon(const QString &themeName, const QString &picture) {
    QIcon own(":/icons/" + picture + ".svg");
    return themeName.isEmpty() ? own : QIcon::fromTheme(themeName, own);
}

QAction *frmMDI::addButton(QToolBar *bar, const QString &key, const QString &themeIcon,
                           const QString &tip) {
    QString picture = key.toLower().replace(' ', '-');
    QAction *button = bar->addAction(mdlIcon(themeIcon, picture), key);
    button->setObjectName(bar->objectName() + "." + key);
    button->setData(tip);
    actions.insert(button->objectName(), button);
    /* The keys are short codes ("Ffw", "AGC"); a screen reader says the tip. */
    bar->widgetForAction(button)->setAccessibleName(tip);
    return button;
}

QToolButton *frmMDI::toolButton(const QString &name) const {
    QAction *button = actions.value(name);
    if (!button) return nullptr;
    for (QToolBar *bar : {TB, TBVolume, TBPlayback})
        if (auto *widget = qobject_cast<QToolButton *>(bar->widgetForAction(button))) return widget;
    return nullptr;
}

void frmMDI::createMainToolbar() {
    TB = addToolBar("Standard");
    TB->setObjectName("TB");
    struct Button {
        const char *key, *theme, *tip;
    };
    static const Button buttons[] = {
        {"New", "document-new", "Create a New Sound File"},
        {"Open", "document-open", "Opens a Sound File"},
        {"Save", "document-save", "Saves the Current File"},
        {nullptr, nullptr, nullptr},
        {"Cut", "edit-cut", "Deletes the Selection and Places it on the ClipBoard"},
        {"Copy", "edit-copy", "Copies the Selection to the Clipboard"},
        {"Paste", "edit-paste", "Pastes the Clipboard into the Current File"},
    };
    for (const Button &b : buttons) {
        if (!b.key) {
            TB->addSeparator();
            continue;
        }
        QAction *button = addButton(TB, b.key, b.theme, b.tip);
        connect(button, &QAction::triggered, this, [this, key = QString(b.key)] {
            if (!disabled) TB_ButtonClick(key);
        });
        wired.insert(button);
    }
    pasteMenu = new QMenu(this);
    pasteMenu->setObjectName("pasteMenu");
    static const char *const items[][2] = {{"pIns", "Paste Insert"},
                                           {"pRep", "Paste Replace"},
                                           {"pMix", "Paste Mix"},
                                           {"pNew", "To New File"}};
    for (const auto &item : items) {
        QAction *entry = addAction(pasteMenu, item[0], item[1]);
        connect(entry, &QAction::triggered, this, [this, key = QString(item[0])] {
            if (!disabled) TB_ButtonClick(key);
        });
    }
    connect(pasteMenu, &QMenu::aboutToShow, this, &frmMDI::pasteDropDownShowing);
    QToolButton *paste = toolButton("TB.Paste");
    paste->setMenu(pasteMenu);
    paste->setPopupMode(QToolButton::MenuButtonPopup);

    cmbClip = new QComboBox(TB);
    cmbClip->setObjectName("cmbClip");
    cmbClip->setAccessibleName("Clipboard Clip");
    cmbClip->setMinimumContentsLength(6);
    TB->addWidget(cmbClip);
    connect(cmbClip, &QComboBox::activated, this, &frmMDI::cmbClip_Click);

    QAction *play = addButton(TB, "Play", "media-playback-start",
                              "Plays the currently selected Clipboard Clip");
    play->setCheckable(true);
    wired.insert(play);
    connect(play, &QAction::triggered, this, [this](bool stopShown) {
        if (!disabled) TB_PlayClick(stopShown);
    });
    connect(play, &QAction::toggled, play,
            [play, playIcon = play->icon(), stopIcon = mdlIcon("media-playback-stop", "stop")](
                bool stopShown) { play->setIcon(stopShown ? stopIcon : playIcon); });
    TB->addSeparator();
    QAction *undo = addButton(TB, "Undo", "edit-undo", "Undoes the Last Action");
    QAction *redo = addButton(TB, "Redo", "edit-redo", "Redoes the last Undone Action");
    for (QAction *button : {undo, redo}) {
        connect(button, &QAction::triggered, this, [this, key = button->text()] {
            if (!disabled) TB_ButtonClick(key);
        });
        wired.insert(button);
    }
    TB->addSeparator();
    QAction *vSet = addButton(TB, "vSet", "", "Save Current View");
    vSet->setCheckable(true);
    wired.insert(vSet);
    connect(vSet, &QAction::triggered, this, [this] {
        if (frmMain *document = activeDocument()) document->UpdateToolbar();
    });
    for (int n = 1; n <= 8; n++) {
        QAction *view = TB->addAction(QString::number(n));
        view->setObjectName(QString("TB.V%1").arg(n));
        view->setData(QString("Load Saved View"));
        TB->widgetForAction(view)->setAccessibleName(QString("Load Saved View %1").arg(n));
        actions.insert(view->objectName(), view);
        wired.insert(view);
        connect(view, &QAction::triggered, this, [this, n] {
            if (!disabled) TB_ViewClick(n);
        });
    }
    createDisplayButton();
}

/* One button shows or hides the spectrogram; its arrow offers every mode.
 * The button brings back the last mode that showed a spectrogram, however
 * it was chosen (the spectrogram alone at first). */
void frmMDI::createDisplayButton() {
    TB->addSeparator();
    QAction *display = addButton(TB, "Display", "", "Shows or Hides the Spectrogram");
    display->setCheckable(true);
    wired.insert(display);
    auto run = [this](int mode) {
        frmMain *document = activeDocument();
        if (disabled || !document) return;
        document->runCommand(QString("mnuDisplay(%1)").arg(mode));
    };
    connect(display, &QAction::triggered, this,
            [run, this](bool shown) { run(shown ? spectrumMode : KV_DISPLAY_WAVEFORM); });
    auto *modes = new QMenu(this);
    modes->setObjectName("displayMenu");
    static const char *const captions[3] = {"Waveform", "Spectrogram", "Waveform and Spectrogram"};
    for (int mode = KV_DISPLAY_WAVEFORM; mode <= KV_DISPLAY_BOTH; mode++)
        connect(addAction(modes, QString("disp%1").arg(mode), captions[mode]), &QAction::triggered,
                this, [run, mode] { run(mode); });
    QToolButton *button = toolButton("TB.Display");
    button->setMenu(modes);
    button->setPopupMode(QToolButton::MenuButtonPopup);
}

void frmMDI::createEffectsToolbar() {
    TBVolume = new QToolBar("Effects", this);
    TBVolume->setObjectName("TBVolume");
    static const char *const buttons[][4] = {
        {"Mute", "audio-volume-muted", "Mutes the Selected Audio", "mnuMute"},
        {"Volume", "audio-volume-high", "Changes the Volume", "mnuVolume"},
        {"Maximize", "", "Normalizes (Maximizes) the Selected Audio", "mnuMaximize"},
        {"Fade In", "", "Fades the selection In from Zero", "mnuFadeIn"},
        {"Fade Out", "", "Fades the Selection Out to Zero", "mnuFadeOut"},
        {"EQ", "", "10 Band Graphic Equalizer", "mnuEQ"},
        {"FFT", "", "FFT Filtering", "mnuFFTFilter"},
        {"Simple", "", "Simple Echo", "mnuEchoSimple"},
        {"Echo", "", "Echo Processor", "mnuEcho"},
        {"Reverb", "", "Reverb Processor", "mnuReverb"},
        {"AGC", "", "Compressor/Limiter", "mnuComp"},
        {"Dist", "", "Distortion", "mnuDistortion"},
        {"Pitch", "", "Pitch and Time", "mnuTnP"},
        {"Reverse", "", "Reverse the Selection", "mnuReverse"},
        {"Silence", "", "Insert Silence", "mnuInsertSilence"},
        {"Tone", "", "Tone Generator", "mnuToneGenerator"},
    };
    for (const auto &b : buttons) {
        QAction *button = addButton(TBVolume, b[0], b[1], b[2]);
        button->setProperty("command", QString(b[3]));
        connect(button, &QAction::triggered, this, [this, button] {
            if (!disabled) TBVolume_ButtonClick(button->property("command").toString());
        });
    }
}

void frmMDI::createPlaybackToolbar() {
    TBPlayback = new QToolBar("Playback", this);
    TBPlayback->setObjectName("TBPlayback");
    static const char *const buttons[][3] = {
        {"Start", "media-skip-backward", "Jump to Beginning of File"},
        {nullptr, nullptr, nullptr},
        {"Rev", "media-seek-backward", "Play Fast Reverse"},
        {"PlayRev", "", "Play Reverse"},
        {"Stop", "media-playback-stop", "Stop Playback"},
        {"Pause", "media-playback-pause", "Pause Playback"},
        {"Play", "media-playback-start", "Play Normal"},
        {"Ffw", "media-seek-forward", "Play Fast Forward"},
        {nullptr, nullptr, nullptr},
        {"End", "media-skip-forward", "Jump to End of File"},
        {nullptr, nullptr, nullptr},
        {"Rec", "media-record", "Start Recording Audio"},
        {nullptr, nullptr, nullptr},
        {"Loop", "media-playlist-repeat", "Loop Playback"},
        {nullptr, nullptr, nullptr},
        {"ZoomIn", "zoom-in", "Zoom In by 10%"},
        {"ZoomOut", "zoom-out", "Zoom Out by 10%"},
        {"Zoom1", "zoom-original", "Zoom 1:1"},
        {"ZoomSel", "", "Zoom to Fit Selection"},
        {"ZoomFull", "zoom-fit-best", "Zoom Out Full"},
        {"SelAll", "edit-select-all", "Select Entire File"},
        {"SelView", "", "Select Current View"},
    };
    int position = 0;
    for (const auto &b : buttons) {
        position++;
        if (!b[0]) {
            TBPlayback->addSeparator();
            continue;
        }
        QAction *button = addButton(TBPlayback, b[0], b[1], b[2]);
        button->setProperty("position", position);
        connect(button, &QAction::triggered, this, [this, key = QString(b[0])] {
            if (!disabled) TBPlayback_ButtonClick(key);
        });
    }
    action("TBPlayback.Loop")->setCheckable(true);
    for (QAction *button : TBPlayback->actions())
        if (!button->isSeparator()) wired.insert(button);
}

/* The main toolbar has a row of its own; playback and effects share the
 * second, which is why the pictures are a little smaller than usual. */
void frmMDI::placeToolbars() {
    addToolBarBreak();
    addToolBar(TBPlayback);
    addToolBar(TBVolume);
    for (QToolBar *bar : {TB, TBVolume, TBPlayback})
        bar->setIconSize(QSize(20, 20));
}

void frmMDI::createStatusArea() {
    QStatusBar *bar = statusBar();
    bar->setSizeGripEnabled(false);
    static const char *const timeTips[4] = {"Selection Start", "Selection End", "Selection Length",
                                            "Position"};
    for (int i = 0; i < 4; i++) {
        lTime[i] = new QLabel(bar);
        lTime[i]->setObjectName(QString("lTime%1").arg(i + 1));
        lTime[i]->setFrameShape(QFrame::Panel);
        lTime[i]->setFrameShadow(QFrame::Sunken);
        lTime[i]->setMinimumWidth(fontMetrics().horizontalAdvance("00:00:00.000") + 8);
        lTime[i]->setToolTip(timeTips[i]);
        /* Marked before its name is set: naming already asks for the field's
         * accessible interface, which is made once. */
        mdlMarkStatusField(lTime[i]);
        lTime[i]->setAccessibleName(timeTips[i]);
        lTime[i]->installEventFilter(this);
        bar->addWidget(lTime[i]);
    }
    static const char *const statusNames[6] = {"Edits",    "Zoom",        "Sample Format",
                                               "Channels", "Sample Rate", "Status"};
    static const char *const statusTips[6] = {"Number of Edits", "Zoom (Samples per Screen Column)",
                                              "Sample Format",   "Channels",
                                              "Sample Rate",     "Status"};
    for (int i = 0; i < 6; i++) {
        lblStatus[i] = new QLabel(bar);
        lblStatus[i]->setObjectName(QString("lblStatus%1").arg(i + 1));
        mdlMarkStatusField(lblStatus[i]);
        lblStatus[i]->setAccessibleName(statusNames[i]);
        lblStatus[i]->setToolTip(statusTips[i]);
        lblStatus[i]->setFrameShape(QFrame::Panel);
        lblStatus[i]->setFrameShadow(QFrame::Sunken);
        lblStatus[i]->setMinimumWidth(fontMetrics().horizontalAdvance("00000 Hz") + 8);
        bar->addWidget(lblStatus[i]);
    }
    lblStatus[5]->hide();
    pVU = new QWidget(bar);
    pVU->setObjectName("pVU");
    pVU->setAccessibleName("Level Meter");
    pVU->setFixedSize(160, fontMetrics().height() + 4);
    bar->addPermanentWidget(pVU);
    pSizer = new QSizeGrip(bar);
    pSizer->setObjectName("pSizer");
    pSizer->setAccessibleName("Size Grip");
    bar->addPermanentWidget(pSizer);
}
