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

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QWidget>
#include <functional>

class QMenu;
class frmMDI;

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

    void UpdateToolbar();
    void InitMenu();
    void DoTitle();
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

    /* Runs the named menu command when it is wired and enabled; false otherwise. */
    bool runCommand(const QString &name);

    QSize sizeHint() const override { return QSize(640, 300); }
    /* True when the named entry has a command behind it. */
    bool isWired(const QString &name) const;

    QList<QMenu *> menus() const { return topMenus; }
    QAction *action(const QString &name) const { return actions.value(name); }
    QMenu *menu(const QString &name) const { return submenus.value(name); }

    int32_t ID = -1;
    QString FileName = "Untitled";
    bool savedViews[8] = {};

  protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    QMenu *addMenu(QMenu *parent, const QString &name, const QString &caption);
    QAction *addAction(QMenu *menu, const QString &name, const QString &caption,
                       const QKeySequence &shortcut = {});
    void createMenus();
    void createFileMenu();
    void createEditMenu();
    void createViewMenu();
    void createControlsMenu();
    void createProcessMenu();
    void createOtherMenus();
    void wireCommands();
    void wireFilterEffects();
    void wireToolEffects();
    void wire(const QString &name, std::function<void()> handler);
    void setEnabledIfWired(const QString &name, bool enabled);
    void plainCommand(const std::function<int32_t()> &call, bool stop = true,
                      bool updateToolbar = true);
    void dialogCommand(const std::function<bool()> &dialog, const std::function<int32_t()> &call);
    void showHistoryStep(const QString &entryName, const QString &buttonName, bool possible,
                         const QString &verb, const QString &text);
    void clipWarning();
    bool hasSound() const;
    bool hasSelection() const;
    bool Form_QueryUnload();
    void Form_Unload();
    bool handleKey(QKeyEvent *event);

    frmMDI *frame;
    QList<QMenu *> topMenus;
    QHash<QString, QMenu *> submenus;
    QHash<QString, QAction *> actions;
    QSet<QAction *> wired;
    QList<QAction *> mnuMRU;
    bool dragFlag = false;
    QString lengthText;
};

#endif
