/*
 * frm_mdi.cpp - the frame window's widget tree: menus, the three toolbars,
 * the clip selector and the status area.
 *
 * Toolbar pictures come from the desktop's icon theme when it has one, and
 * from the program's own SVG pictures otherwise. Every button and entry gets
 * an object name (the toolbar's name and the button key, or the menu name)
 * for screen readers and tests; the program itself holds each as a member of
 * frmMDIUi.
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
    return mdlAddMenuEntry(menu, name, caption, shortcut);
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
    frmMDIUi &u = ui_;
    mnuFile = new QMenu("&File", this);
    mnuFile->menuAction()->setObjectName("mnuFile");
    u.mnuNew = addAction(mnuFile, "mnuNew", "&New", QKeySequence("Ctrl+N"));
    u.mnuOpen = addAction(mnuFile, "mnuOpen", "&Open", QKeySequence("Ctrl+O"));
    mnuFile->addSeparator();
    u.mnuExit = addAction(mnuFile, "mnuExit", "E&xit", QKeySequence("Ctrl+Q"));
    mnuSepMRU = mnuFile->addSeparator();
    mnuSepMRU->setObjectName("mnuSepMRU");
    connect(mnuFile, &QMenu::aboutToShow, this, &frmMDI::InitMenu);

    auto *mnuTools = new QMenu("&Tools", this);
    mnuTools->menuAction()->setObjectName("mnuTools");
    u.mnuOptions = addAction(mnuTools, "mnuOptions", "&Options");

    auto *mnuHelp = new QMenu("&Help", this);
    mnuHelp->menuAction()->setObjectName("mnuHelp");
    u.mnuHelpTopics = addAction(mnuHelp, "mnuHelpTopics", "Help &Topics");
    u.mnuHelpGettingStarted = addAction(mnuHelp, "mnuHelpGettingStarted", "&Getting Started");
    QMenu *mnuWeb = mnuHelp->addMenu("Korvel on the &Web");
    mnuWeb->menuAction()->setObjectName("mnuWeb");
    u.mnuWebMain = addAction(mnuWeb, "mnuWebMain", "Korvel &Main Web Site");
    u.mnuWebSupport = addAction(mnuWeb, "mnuWebSupport", "Korvel &Support Center");
    mnuHelp->addSeparator();
    u.mnuAbout = addAction(mnuHelp, "mnuAbout", "&About Korvel");

    wire(u.mnuNew, &frmMDI::mnuNew_Click);
    wire(u.mnuOpen, &frmMDI::mnuOpen_Click);
    wire(u.mnuExit, &frmMDI::mnuExit_Click);
    wire(u.mnuOptions, &frmMDI::mnuOptions_Click);
    wire(u.mnuHelpTopics, &frmMDI::mnuHelpTopics_Click);
    wire(u.mnuHelpGettingStarted, &frmMDI::mnuHelpGettingStarted_Click);
    wire(u.mnuWebMain, &frmMDI::mnuWebMain_Click);
    wire(u.mnuWebSupport, &frmMDI::mnuWebSupport_Click);
    wire(u.mnuAbout, &frmMDI::mnuAbout_Click);
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
    /* The keys are short codes ("Ffw", "AGC"); a screen reader says the tip. */
    bar->widgetForAction(button)->setAccessibleName(tip);
    return button;
}

QToolButton *frmMDI::toolButton(QAction *button) const {
    for (QToolBar *bar : {TB, TBVolume, TBPlayback})
        if (auto *widget = qobject_cast<QToolButton *>(bar->widgetForAction(button))) return widget;
    return nullptr;
}

void frmMDI::createMainToolbar() {
    TB = addToolBar("Standard");
    TB->setObjectName("TB");
    struct Button {
        QAction **slot;
        const char *key, *theme, *tip;
    };
    auto &b = ui_.TB;
    const Button buttons[] = {
        {&b.New, "New", "document-new", "Create a New Sound File"},
        {&b.Open, "Open", "document-open", "Opens a Sound File"},
        {&b.Save, "Save", "document-save", "Saves the Current File"},
        {nullptr, nullptr, nullptr, nullptr},
        {&b.Cut, "Cut", "edit-cut", "Deletes the Selection and Places it on the ClipBoard"},
        {&b.Copy, "Copy", "edit-copy", "Copies the Selection to the Clipboard"},
        {&b.Paste, "Paste", "edit-paste", "Pastes the Clipboard into the Current File"},
    };
    for (const Button &button : buttons) {
        if (!button.slot) {
            TB->addSeparator();
            continue;
        }
        QAction *made = *button.slot = addButton(TB, button.key, button.theme, button.tip);
        connect(made, &QAction::triggered, this, [this, made] {
            if (!disabled) TB_ButtonClick(made);
        });
        wired.insert(made);
    }
    createPasteMenu();

    cmbClip = new QComboBox(TB);
    cmbClip->setObjectName("cmbClip");
    cmbClip->setAccessibleName("Clipboard Clip");
    cmbClip->setMinimumContentsLength(6);
    TB->addWidget(cmbClip);
    connect(cmbClip, &QComboBox::activated, this, &frmMDI::cmbClip_Click);

    QAction *play = b.Play = addButton(TB, "Play", "media-playback-start",
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
    b.Undo = addButton(TB, "Undo", "edit-undo", "Undoes the Last Action");
    b.Redo = addButton(TB, "Redo", "edit-redo", "Redoes the last Undone Action");
    for (QAction *button : {b.Undo, b.Redo}) {
        connect(button, &QAction::triggered, this, [this, button] {
            if (!disabled) TB_ButtonClick(button);
        });
        wired.insert(button);
    }
    createViewButtons();
    createDisplayButton();
}

void frmMDI::createPasteMenu() {
    pasteMenu = new QMenu(this);
    pasteMenu->setObjectName("pasteMenu");
    auto &b = ui_.TB;
    b.pIns = addAction(pasteMenu, "pIns", "Paste Insert");
    b.pRep = addAction(pasteMenu, "pRep", "Paste Replace");
    b.pMix = addAction(pasteMenu, "pMix", "Paste Mix");
    b.pNew = addAction(pasteMenu, "pNew", "To New File");
    for (QAction *entry : {b.pIns, b.pRep, b.pMix, b.pNew})
        connect(entry, &QAction::triggered, this, [this, entry] {
            if (!disabled) TB_ButtonClick(entry);
        });
    connect(pasteMenu, &QMenu::aboutToShow, this, &frmMDI::pasteDropDownShowing);
    QToolButton *paste = toolButton(b.Paste);
    paste->setMenu(pasteMenu);
    paste->setPopupMode(QToolButton::MenuButtonPopup);
}

void frmMDI::createViewButtons() {
    TB->addSeparator();
    QAction *vSet = ui_.TB.vSet = addButton(TB, "vSet", "", "Save Current View");
    vSet->setCheckable(true);
    wired.insert(vSet);
    connect(vSet, &QAction::triggered, this, [this] {
        if (frmMain *document = activeDocument()) document->UpdateToolbar();
    });
    for (int n = 1; n <= 8; n++) {
        QAction *view = ui_.TB.V[n - 1] = TB->addAction(QString::number(n));
        view->setObjectName(QString("TB.V%1").arg(n));
        view->setData(QString("Load Saved View"));
        TB->widgetForAction(view)->setAccessibleName(QString("Load Saved View %1").arg(n));
        wired.insert(view);
        connect(view, &QAction::triggered, this, [this, n] {
            if (!disabled) TB_ViewClick(n);
        });
    }
}

/* One button shows or hides the spectrogram; its arrow offers every mode.
 * The button brings back the last mode that showed a spectrogram, however
 * it was chosen (the spectrogram alone at first). */
void frmMDI::createDisplayButton() {
    TB->addSeparator();
    QAction *display = ui_.TB.Display =
        addButton(TB, "Display", "", "Shows or Hides the Spectrogram");
    display->setCheckable(true);
    wired.insert(display);
    auto run = [this](int mode) {
        frmMain *document = activeDocument();
        if (disabled || !document) return;
        document->runDisplayMode(mode);
    };
    connect(display, &QAction::triggered, this,
            [run, this](bool shown) { run(shown ? spectrumMode : KV_DISPLAY_WAVEFORM); });
    auto *modes = new QMenu(this);
    modes->setObjectName("displayMenu");
    static const char *const captions[3] = {"Waveform", "Spectrogram", "Waveform and Spectrogram"};
    for (int mode = KV_DISPLAY_WAVEFORM; mode <= KV_DISPLAY_BOTH; mode++)
        connect(addAction(modes, QString("disp%1").arg(mode), captions[mode]), &QAction::triggered,
                this, [run, mode] { run(mode); });
    QToolButton *button = toolButton(display);
    button->setMenu(modes);
    button->setPopupMode(QToolButton::MenuButtonPopup);
}

void frmMDI::createEffectsToolbar() {
    TBVolume = new QToolBar("Effects", this);
    TBVolume->setObjectName("TBVolume");
    struct Button {
        QAction **slot;
        const char *key, *theme, *tip, *command;
        frmMainCommand entry;
    };
    auto &b = ui_.TBVolume;
    using U = frmMainUi;
    const Button buttons[] = {
        {&b.Mute, "Mute", "audio-volume-muted", "Mutes the Selected Audio", "mnuMute", &U::mnuMute},
        {&b.Volume, "Volume", "audio-volume-high", "Changes the Volume", "mnuVolume",
         &U::mnuVolume},
        {&b.Maximize, "Maximize", "", "Normalizes (Maximizes) the Selected Audio", "mnuMaximize",
         &U::mnuMaximize},
        {&b.FadeIn, "Fade In", "", "Fades the selection In from Zero", "mnuFadeIn", &U::mnuFadeIn},
        {&b.FadeOut, "Fade Out", "", "Fades the Selection Out to Zero", "mnuFadeOut",
         &U::mnuFadeOut},
        {&b.EQ, "EQ", "", "10 Band Graphic Equalizer", "mnuEQ", &U::mnuEQ},
        {&b.FFT, "FFT", "", "FFT Filtering", "mnuFFTFilter", &U::mnuFFTFilter},
        {&b.Simple, "Simple", "", "Simple Echo", "mnuEchoSimple", &U::mnuEchoSimple},
        {&b.Echo, "Echo", "", "Echo Processor", "mnuEcho", &U::mnuEcho},
        {&b.Reverb, "Reverb", "", "Reverb Processor", "mnuReverb", &U::mnuReverb},
        {&b.AGC, "AGC", "", "Compressor/Limiter", "mnuComp", &U::mnuComp},
        {&b.Dist, "Dist", "", "Distortion", "mnuDistortion", &U::mnuDistortion},
        {&b.Pitch, "Pitch", "", "Pitch and Time", "mnuTnP", &U::mnuTnP},
        {&b.Reverse, "Reverse", "", "Reverse the Selection", "mnuReverse", &U::mnuReverse},
        {&b.Silence, "Silence", "", "Insert Silence", "mnuInsertSilence", &U::mnuInsertSilence},
        {&b.Tone, "Tone", "", "Tone Generator", "mnuToneGenerator", &U::mnuToneGenerator},
    };
    for (const Button &button : buttons) {
        QAction *made = *button.slot = addButton(TBVolume, button.key, button.theme, button.tip);
        /* The entry's name, for whoever pairs buttons with menu entries. */
        made->setProperty("command", QString(button.command));
        effectCommands.append({made, button.entry});
        connect(made, &QAction::triggered, this, [this, entry = button.entry] {
            if (!disabled) TBVolume_ButtonClick(entry);
        });
    }
}

void frmMDI::createPlaybackToolbar() {
    TBPlayback = new QToolBar("Playback", this);
    TBPlayback->setObjectName("TBPlayback");
    struct Button {
        QAction **slot;
        const char *key, *theme, *tip;
    };
    auto &b = ui_.TBPlayback;
    const Button buttons[] = {
        {&b.Start, "Start", "media-skip-backward", "Jump to Beginning of File"},
        {nullptr, nullptr, nullptr, nullptr},
        {&b.Rev, "Rev", "media-seek-backward", "Play Fast Reverse"},
        {&b.PlayRev, "PlayRev", "", "Play Reverse"},
        {&b.Stop, "Stop", "media-playback-stop", "Stop Playback"},
        {&b.Pause, "Pause", "media-playback-pause", "Pause Playback"},
        {&b.Play, "Play", "media-playback-start", "Play Normal"},
        {&b.Ffw, "Ffw", "media-seek-forward", "Play Fast Forward"},
        {nullptr, nullptr, nullptr, nullptr},
        {&b.End, "End", "media-skip-forward", "Jump to End of File"},
        {nullptr, nullptr, nullptr, nullptr},
        {&b.Rec, "Rec", "media-record", "Start Recording Audio"},
        {nullptr, nullptr, nullptr, nullptr},
        {&b.Loop, "Loop", "media-playlist-repeat", "Loop Playback"},
        {nullptr, nullptr, nullptr, nullptr},
        {&b.ZoomIn, "ZoomIn", "zoom-in", "Zoom In by 10%"},
        {&b.ZoomOut, "ZoomOut", "zoom-out", "Zoom Out by 10%"},
        {&b.Zoom1, "Zoom1", "zoom-original", "Zoom 1:1"},
        {&b.ZoomSel, "ZoomSel", "", "Zoom to Fit Selection"},
        {&b.ZoomFull, "ZoomFull", "zoom-fit-best", "Zoom Out Full"},
        {&b.SelAll, "SelAll", "edit-select-all", "Select Entire File"},
        {&b.SelView, "SelView", "", "Select Current View"},
    };
    int position = 0;
    for (const Button &button : buttons) {
        position++;
        if (!button.slot) {
            TBPlayback->addSeparator();
            continue;
        }
        QAction *made = *button.slot = addButton(TBPlayback, button.key, button.theme, button.tip);
        made->setProperty("position", position);
        wired.insert(made);
        connect(made, &QAction::triggered, this, [this, made] {
            if (!disabled) TBPlayback_ButtonClick(made);
        });
    }
    b.Loop->setCheckable(true);
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
