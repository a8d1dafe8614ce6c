/*
 * frm_mdi.h - the frame window: owner of every document window, of the menu
 * bar, the three toolbars, the clip selector and the status area, and the
 * window the engine sends its notifications and message boxes to.
 *
 * The menu bar shows the frame's own short menus while no document is open
 * and the active document's menus otherwise; the menus themselves belong to
 * their window and are only attached to the bar. Toolbar buttons act on the
 * active document by calling that window's command handlers.
 */
#ifndef KV_APP_FRM_MDI_H
#define KV_APP_FRM_MDI_H

#include "app/shell/frm_main.h"
#include "korvel.h"

#include <QList>
#include <QMainWindow>
#include <QSet>
#include <QString>

class QComboBox;
class QFontMetrics;
class QLabel;
class QMdiArea;
class QMenu;
class QSizeGrip;
class QToolBar;
class QToolButton;
class frmMain;
class frmProgress;
struct frmMainState;

/* The frame's menu entries and toolbar buttons, made once when the frame is
 * built. Button members carry the design's keys ("TB.Save" is TB.Save). */
struct frmMDIUi {
    QAction *mnuNew, *mnuOpen, *mnuExit, *mnuOptions, *mnuHelpTopics, *mnuHelpGettingStarted,
        *mnuWebMain, *mnuWebSupport, *mnuAbout;
    struct {
        QAction *New, *Open, *Save, *Cut, *Copy, *Paste, *Play, *Undo, *Redo, *vSet, *V[8],
            *Display;
        QAction *pIns, *pRep, *pMix, *pNew; /* the Paste button's drop-down */
    } TB;
    struct {
        QAction *Mute, *Volume, *Maximize, *FadeIn, *FadeOut, *EQ, *FFT, *Simple, *Echo, *Reverb,
            *AGC, *Dist, *Pitch, *Reverse, *Silence, *Tone;
    } TBVolume;
    struct {
        QAction *Start, *Rev, *PlayRev, *Stop, *Pause, *Play, *Ffw, *End, *Rec, *Loop, *ZoomIn,
            *ZoomOut, *Zoom1, *ZoomSel, *ZoomFull, *SelAll, *SelView;
    } TBPlayback;
};

class frmMDI : public QMainWindow {
    Q_OBJECT
  public:
    frmMDI(KV_Options *options, KV_Params *params);
    ~frmMDI() override;

    /* Starts the engine with this window as its message window. */
    bool startEngine();

    /* The frame's load steps after the engine start: position, show state,
     * showing, tool tips, the command line's files and the first run. */
    void Form_Load(const QString &commandLine);

    /* ---- Operations other windows call ---- */
    frmMain *OpenNewFile(const QString &path);
    frmMain *PasteNew();
    void DoDisable();
    void DoEnable();
    void UpdateCopy(int32_t count);
    /* Recomputes every toolbar button from the active document's state. */
    void UpdateToolbar();
    void InitMenu();
    void UpdateTips();
    void mnuNew_Click();
    /* Opens the recording window on the active document, or on a new one
     * when none is open. */
    void openRecord();
    void mnuOpen_Click();
    void mnuExit_Click();
    void mnuHelpTopics_Click();
    void mnuHelpGettingStarted_Click();
    void mnuWebMain_Click();
    void mnuWebSupport_Click();
    void mnuAbout_Click();
    /* Tools, Options: stops playback and shows the options dialog. */
    void mnuOptions_Click();
    /* Presses playback toolbar button `position` (1..14). */
    void pressPlayback(int position);
    /* True when the playback button at `position` has an action behind it. */
    bool playbackWired(int position) const;
    /* Arranges the document windows one above the other (horizontal) or
     * side by side, each as large as the area allows. */
    void tileDocuments(bool horizontal);
    void cascadeDocuments();
    /* Makes `document` the active window. */
    void activate(frmMain *document);
    /* Raises the frame over other windows (a second copy asked for it). */
    void comeToFront();
    /* A document window has released its engine document. */
    void documentClosed(frmMain *document);
    /* Attaches the active document's menus to the menu bar (or the frame's). */
    void showMenusOf(frmMain *document);
    /* Creates, shows and binds a new document window; null when the engine
     * refused (the window is closed again). */
    frmMain *createDocumentWindow();

    frmMain *activeDocument() const;
    QList<frmMain *> documents() const;
    frmProgress *progressWindow() const { return progress; }
    /* True between DoDisable and DoEnable: commands are not taken then. */
    bool isBusy() const { return disabled; }
    KV_Options *options() const { return kvOptions; }
    KV_Params *params() const { return kvParams; }
    /* The number of clips the clip selector lists. */
    int clipCount() const;
    /* True while "Save Current View" is pressed: a view button then saves. */
    bool isViewSetPressed() const;
    const frmMDIUi &ui() const { return ui_; }
    QToolButton *toolButton(QAction *button) const;
    /* The four time fields and six status fields of the status line. */
    QLabel *timeField(int i) const { return lTime[i]; }
    QLabel *statusField(int i) const { return lblStatus[i]; }
    /* Runs every document's own close check (the save prompts), closing
     * each that agrees and stopping at the first refusal: false then. */
    bool closeDocuments();

  signals:
    /* Playback or a preview could not open the output device and has ended. */
    void outputDeviceFailed();

  protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    QAction *addAction(QMenu *menu, const QString &name, const QString &caption,
                       const QKeySequence &shortcut = {});
    QAction *addButton(QToolBar *bar, const QString &key, const QString &themeIcon,
                       const QString &tip);
    void createCentralArea();
    void createMenus();
    void createMainToolbar();
    void createPasteMenu();
    void createViewButtons();
    void createDisplayButton();
    void createEffectsToolbar();
    void createPlaybackToolbar();
    void placeToolbars();
    void createStatusArea();
    void wire(QAction *action, void (frmMDI::*handler)());
    void setWiredEnabled(QAction *action, bool enabled);
    void subWindowActivated();
    void watchDocument(frmMain *document);
    /* The one place the toolbars' enabling is decided: from the state of
     * `document` (the one that changed), or with none open. */
    void updateActions(const frmMain *document);
    void showDocumentState(const frmMain *document, const frmMainState &state);
    void showClipState();
    void showHistoryButton(QAction *button, bool possible, const QString &verb,
                           const QString &text);
    void restorePosition();
    void storePosition();
    void firstRun();
    void openCommandLine(const QString &commandLine);
    void stopEngine();
    void handleNotification(int32_t message, intptr_t wParam, intptr_t lParam);
    void noOutputDevice();
    void showStatusText(int32_t message, const char *text, intptr_t length);
    void clearStatusFields();
    void TB_ButtonClick(QAction *button);
    void TB_PlayClick(bool stopShown);
    void TB_ViewClick(int n);
    void TBVolume_ButtonClick(frmMainCommand command);
    void TBPlayback_ButtonClick(QAction *button);
    void pasteDropDownShowing();
    void cmbClip_Click(int index);
    void releaseViewSet();

    KV_Options *kvOptions;
    KV_Params *kvParams;
    frmProgress *progress = nullptr;
    bool engineRunning = false;
    bool disabled = false;
    int spectrumMode = KV_DISPLAY_SPECTROGRAM; /* what the Display button brings back */
    KV_WinPos position{};
    frmMDIUi ui_{};
    QSet<QAction *> wired;
    /* The document command behind each effects button. */
    QList<std::pair<QAction *, frmMainCommand>> effectCommands;
    QList<QMenu *> frameMenus;
    QMenu *mnuFile = nullptr;
    QMenu *pasteMenu = nullptr;
    QAction *mnuSepMRU = nullptr;
    QList<QAction *> mnuMRU;
    frmMain *menusShown = nullptr;
    QMdiArea *mdiArea = nullptr;
    QToolBar *TB = nullptr;
    QToolBar *TBVolume = nullptr;
    QToolBar *TBPlayback = nullptr;
    QComboBox *cmbClip = nullptr;
    QLabel *lTime[4] = {};
    QLabel *lblStatus[6] = {};
    QWidget *pVU = nullptr;
    QSizeGrip *pSizer = nullptr;
};

/* The recently-used display form: a path wider than `width` pixels in
 * `metrics` loses the middle of its folders, keeping the file name whole
 * unless that alone is too wide. */
QString mdlRecentDisplayName(const QString &path, const QFontMetrics &metrics, int width);

/* Rebuilds the recently used entries after `separator` in a File menu. */
void mdlRebuildRecentFiles(QMenu *fileMenu, QAction *separator, QList<QAction *> *entries,
                           frmMDI *frame);

/* Dropped files are taken when ".wav" or ".mp3" appears anywhere in the
 * name, in any letter case. */
bool mdlIsSoundFileName(const QString &name);

#endif
