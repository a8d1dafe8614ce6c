/*
 * frm_main.h - a document window: one open sound, its menus and the wiring
 * of every command to the engine.
 *
 * The window keeps only the engine's document handle and the file name; the
 * engine draws the waveform into it and handles its mouse and keys. Each menu
 * entry that has an engine command behind it is wired to a handler; entries
 * whose engine operation or dialog does not exist yet stay in the menus,
 * disabled, so the menus always show the whole editor.
 */
#ifndef KV_APP_FRM_MAIN_H
#define KV_APP_FRM_MAIN_H

#include "korvel.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QWidget>
#include <functional>

class QMenu;
class frmMDI;

/* Every menu entry of a document window, made once when the window is built.
 * Submenus are here by their menu action; the menus the frame pops up are
 * here as menus too. */
struct frmMainUi {
    QMenu *fileMenu, *editMenu, *timeFormatMenu;
    QAction *mnuFile, *mnuNew, *mnuOpen, *mnuSave, *mnuSaveAs, *mnuInfo, *mnuClose, *mnuExit,
        *mnuSepMRU;
    QAction *mnuEdit, *mnuUndo, *mnuRedo, *mnuUndoHist, *mnuCut, *mnuCopy, *mnuPaste,
        *mnuPasteInsert, *mnuPasteReplace, *mnuPasteMix, *mnuPasteNew, *mnuDelete, *mnuGenerate,
        *mnuInsertSilence, *mnuToneGenerator, *mnuConversions, *mnuConvertChannels,
        *mnuConvertSampleRate, *mnuSelAll, *mnuSelView;
    QAction *mnuView, *mnuZooming, *mnuZoomIn, *mnuZoomOut, *mnuZoom11, *mnuZoomSel, *mnuZoomFull,
        *mnuTimeFormat, *mnuTF[4], *mnuLoadView, *mnuSaveView, *mnuLView[8], *mnuSView[8],
        *mnuForceStereo, *mnuSMode, *mnuSM[3], *mnuDisplay, *mnuDisplayMode[KV_DISPLAY_BOTH + 1],
        *mnuVZoomIn, *mnuVZoomOut, *mnuVZoomReset;
    /* Indexed like the playback toolbar's positions less one; the
     * positions of its separators stay null. */
    QAction *mnuControls, *mnuPlayback[12], *mnuLoop;
    QAction *mnuProcess, *mnuVol, *mnuMute, *mnuVolume, *mnuMaximize, *mnuFadeIn, *mnuFadeOut,
        *mnuLoudnessNormalize, *mnuEQualization, *mnuEQ, *mnuFFTFilter, *mnuEchoS, *mnuEchoSimple,
        *mnuEcho, *mnuReverb, *mnuDynamics, *mnuComp, *mnuDistortion, *mnuTnP, *mnuReverse,
        *mnuNoiseReduction;
    QAction *mnuTools, *mnuOptions, *mnuLoudnessMeter, *mnuWindow, *mnuCascade, *mnuTileH,
        *mnuTileV, *mnuHelp, *mnuHelpTopics, *mnuHelpGettingStarted, *mnuWeb, *mnuWebMain,
        *mnuWebSupport, *mnuAbout;
};

/* One menu command of a document window, as the frame's buttons name it. */
using frmMainCommand = QAction *frmMainUi::*;

/* What the frame's toolbars show of a document: read from the engine in
 * one place whenever the document reports a change. */
struct frmMainState {
    bool sound = false;     /* the document holds samples */
    bool selection = false; /* something is selected */
    bool unsaved = false;
    bool zoomIn = false, zoomOut = false;
    bool undo = false, redo = false;
    QString undoText, redoText; /* the step's name, when there is one */
    int32_t displayMode = KV_DISPLAY_WAVEFORM;
    bool savedViews[8] = {};
};

class frmMain : public QWidget {
    Q_OBJECT
  public:
    explicit frmMain(frmMDI *frame);
    ~frmMain() override;

    /* Window creation: binds the window to a new engine document. False when
     * the engine refused (the caller closes the window). */
    bool Form_Load();

    /* Opens a file into this window: false (window to be closed) on failure. */
    bool OpenFile(const QString &path);
    /* Makes this window an empty new document: false when the user cancelled
     * the properties or the engine refused. */
    bool NewFile();

    /* Recomputes this window's menus and title and tells the frame
     * (stateChanged) so that its toolbars follow. */
    void UpdateToolbar();
    void InitMenu();
    void DoTitle();
    /* The document's state as the toolbars show it. */
    frmMainState state() const;
    /* Tells screen readers the selection and the length from the status
     * line's four time texts (start, end, length, length or position). */
    void describeView(const QString (&times)[4]);

    void mnuSave_Click();
    void mnuSaveAs_Click();
    void mnuUndo_Click();
    void mnuRedo_Click();
    void mnuUndoHist_Click();
    void mnuCut_Click();
    void mnuCopy_Click();
    void mnuPasteInsert_Click();
    void mnuPasteReplace_Click();
    void mnuDelete_Click();
    void mnuInsertSilence_Click();
    void mnuFadeIn_Click();
    void mnuPasteMix_Click();
    /* Mute (4) or Reverse (7) through the "Fade Edges" dialog. */
    void mnuFadeEdges_Click(int32_t edit);
    void mnuVolume_Click();
    void mnuMaximize_Click();
    void mnuFadeOut_Click();
    void mnuInfo_Click();
    void mnuConvertChannels_Click();
    void mnuConvertSampleRate_Click();
    void mnuForceStereo_Click();
    void mnuLoop_Click();
    void mnuTF_Click(int format);
    void mnuSView_Click(int slot);
    void mnuLView_Click(int slot);
    void mnuSM_Click(int mode);

    /* Runs the menu command when it is wired and enabled; false otherwise. */
    bool runCommand(QAction *entry);
    bool runCommand(frmMainCommand command) { return runCommand(ui_.*command); }
    /* True when the command's entry is enabled now (menus recomputed). */
    bool canRun(frmMainCommand command);

    QSize sizeHint() const override { return QSize(640, 300); }
    /* True when the entry has a command behind it. */
    bool isWired(const QAction *entry) const;
    bool isWired(frmMainCommand command) const { return isWired(ui_.*command); }

    QList<QMenu *> menus() const { return topMenus; }
    /* Every key the window's menus answer. */
    QList<QKeySequence> shortcuts() const;
    /* Pops up the File or the Time Format menu at `where` (screen position). */
    void popUpFileMenu(const QPoint &where);
    void popUpTimeFormatMenu(const QPoint &where);
    /* Shows the document as KV_DISPLAY_ `mode` through its View entry. */
    bool runDisplayMode(int mode) { return runCommand(ui_.mnuDisplayMode[mode]); }
    const frmMainUi &ui() const { return ui_; }

    int32_t ID = -1;
    QString FileName = "Untitled";
    bool savedViews[8] = {};

  signals:
    /* The document's state may have changed: history, selection, zoom,
     * saved state, playback or display. */
    void stateChanged(frmMain *document);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    QMenu *addMenu(QMenu *parent, QAction **entry, const QString &name, const QString &caption);
    QAction *addAction(QMenu *menu, const QString &name, const QString &caption,
                       const QKeySequence &shortcut = {});
    void createMenus();
    void createFileMenu();
    void createEditMenu();
    void createViewMenu();
    void createControlsMenu();
    void createProcessMenu();
    void createOtherMenus();
    void createWindowMenu();
    void wireCommands();
    void wireViewCommands();
    void wireFrameCommands();
    void wireFilterEffects();
    void wireToolEffects();
    void wire(QAction *entry, std::function<void()> handler);
    void setEnabledIfWired(QAction *entry, bool enabled);
    void plainCommand(const std::function<int32_t()> &call, bool stop = true,
                      bool updateToolbar = true);
    void dialogCommand(const std::function<bool()> &dialog, const std::function<int32_t()> &call);
    void showHistoryStep(QAction *entry, bool possible, const QString &verb, const QString &text);
    void clipWarning();
    bool hasSound() const;
    bool hasSelection() const;
    bool Form_QueryUnload();
    void Form_Unload();
    bool handleKey(QKeyEvent *event);

    frmMDI *frame;
    frmMainUi ui_{};
    QList<QMenu *> topMenus;
    QSet<const QAction *> wired;
    QList<QAction *> mnuMRU;
    bool dragFlag = false;
    QString lengthText;
};

#endif
