/*
 * frm_mdi_toolbars.cpp - the frame's toolbars: their enabling, decided in one
 * place from the state a document reports, the clip selector, and what each
 * button click does.
 */
#include "app/dialogs/frm_options.h"
#include "app/dialogs/frm_record.h"
#include "app/dialogs/repair_store.h"
#include "app/shell/frm_about.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/frm_progress.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"
#include "message_event.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

/* ---- Enabling ---- */

void frmMDI::DoDisable() {
    if (!disabled) QApplication::setOverrideCursor(Qt::WaitCursor);
    disabled = true;
    for (QWidget *part : std::initializer_list<QWidget *>{menuBar(), TB, TBVolume, TBPlayback,
                                                          mdiArea, statusBar()})
        part->setEnabled(false);
}

void frmMDI::DoEnable() {
    for (QWidget *part : std::initializer_list<QWidget *>{menuBar(), TB, TBVolume, TBPlayback,
                                                          mdiArea, statusBar()})
        part->setEnabled(true);
    if (frmMain *document = activeDocument()) document->setFocus();
    if (disabled) QApplication::restoreOverrideCursor();
    disabled = false;
}

void frmMDI::UpdateTips() {
    for (QToolBar *bar : {TB, TBVolume, TBPlayback}) {
        for (QAction *button : bar->actions()) {
            QString tip = kvOptions->showTips == 1 ? button->data().toString() : QString();
            if (QWidget *widget = bar->widgetForAction(button)) widget->setToolTip(tip);
        }
    }
}

void frmMDI::UpdateToolbar() {
    updateActions(activeDocument());
}

void frmMDI::updateActions(const frmMain *document) {
    ui_.TBPlayback.Loop->setChecked(kvOptions->loopPlayback == 1);
    bool anyDocument = false;
    for (frmMain *open : documents())
        anyDocument = anyDocument || open->ID >= 0;
    const auto &b = ui_.TB;
    for (QAction *button : {b.Save, b.Cut, b.Copy, b.Play, b.Undo, b.Redo, b.vSet, b.Display})
        setWiredEnabled(button, anyDocument);
    for (QAction *view : b.V)
        setWiredEnabled(view, anyDocument);
    for (QToolBar *bar : {TBVolume, TBPlayback})
        for (QAction *button : bar->actions())
            if (!button->isSeparator()) setWiredEnabled(button, anyDocument);
    /* Recording makes a document of its own when none is open. */
    setWiredEnabled(ui_.TBPlayback.Rec, true);
    showClipState();
    if (!anyDocument) {
        clearStatusFields();
        for (QAction *item : {b.pIns, b.pRep, b.pMix, b.pNew})
            item->setEnabled(false);
    }
    if (document) showDocumentState(document, document->state());
}

/* The Undo or Redo button: "Undo Cut" when there is a step, "Can't Undo"
 * otherwise, as its tool tip and its spoken name. */
void frmMDI::showHistoryButton(QAction *button, bool possible, const QString &verb,
                               const QString &text) {
    button->setData(possible ? verb + " " + text : "Can't " + verb);
    button->setEnabled(possible);
    QWidget *widget = TB->widgetForAction(button);
    widget->setToolTip(kvOptions->showTips == 1 ? button->data().toString() : QString());
    widget->setAccessibleName(button->data().toString());
}

void frmMDI::showDocumentState(const frmMain *document, const frmMainState &state) {
    const auto &b = ui_.TB;
    const auto &p = ui_.TBPlayback;
    for (const auto &[button, command] : effectCommands)
        button->setEnabled(state.sound && document->isWired(command));
    showHistoryButton(b.Undo, state.undo, "Undo", state.undoText);
    showHistoryButton(b.Redo, state.redo, "Redo", state.redoText);
    bool cutCopy = state.sound && state.selection;
    b.Cut->setEnabled(cutCopy);
    b.Copy->setEnabled(cutCopy);
    b.Save->setEnabled(state.unsaved);
    setWiredEnabled(p.ZoomIn, state.zoomIn);
    setWiredEnabled(p.ZoomOut, state.zoomOut);
    setWiredEnabled(p.ZoomSel, state.selection);
    for (QAction *button : {p.Start, p.Rev, p.PlayRev, p.Stop, p.Pause, p.Play, p.Ffw, p.End})
        setWiredEnabled(button, state.sound);
    setWiredEnabled(p.Rec, true);
    setWiredEnabled(b.Display, state.sound);
    b.Display->setChecked(state.displayMode > KV_DISPLAY_WAVEFORM);
    if (state.displayMode > KV_DISPLAY_WAVEFORM) spectrumMode = state.displayMode;
    bool viewSet = isViewSetPressed();
    for (int n = 1; n <= 8; n++)
        setWiredEnabled(b.V[n - 1], state.sound && (state.savedViews[n - 1] || viewSet));
}

/* The clip selector, Paste and Play follow the clip list alone. */
void frmMDI::showClipState() {
    bool clips = cmbClip->count() > 0;
    cmbClip->setEnabled(clips);
    setWiredEnabled(ui_.TB.Paste, clips);
    setWiredEnabled(ui_.TB.Play, clips);
}

int frmMDI::clipCount() const {
    return cmbClip->count();
}

bool frmMDI::isViewSetPressed() const {
    return ui_.TB.vSet->isChecked();
}

void frmMDI::InitMenu() {
    if (!menusShown) mdlRebuildRecentFiles(mnuFile, mnuSepMRU, &mnuMRU, this);
}

void frmMDI::clearStatusFields() {
    for (QLabel *field : lTime)
        field->clear();
    for (QLabel *field : lblStatus)
        field->clear();
}

void frmMDI::UpdateCopy(int32_t count) {
    if (count != cmbClip->count()) {
        cmbClip->clear();
        for (int32_t n = 1; n <= count; n++)
            cmbClip->addItem(QString("Clip %1").arg(n));
    }
    if (count > 0) cmbClip->setCurrentIndex(cmbClip->count() - 1);
    showClipState();
}

void frmMDI::cmbClip_Click(int index) {
    DoDisable();
    if (ui_.TB.Play->isChecked()) kvStop();
    kvLoadClip(index);
    releaseViewSet();
    DoEnable();
}

void frmMDI::releaseViewSet() {
    ui_.TB.vSet->setChecked(false);
}

/* ---- Toolbars ---- */

void frmMDI::TB_ButtonClick(QAction *button) {
    frmMain *document = activeDocument();
    const auto &b = ui_.TB;
    if (button == b.New) return mnuNew_Click();
    if (button == b.Open) return mnuOpen_Click();
    if (button == b.pNew || (button == b.Paste && !document)) {
        PasteNew();
        return;
    }
    if (!document) return;
    using U = frmMainUi;
    const std::pair<QAction *, frmMainCommand> commands[] = {
        {b.Save, &U::mnuSave},        {b.Cut, &U::mnuCut},           {b.Copy, &U::mnuCopy},
        {b.Undo, &U::mnuUndo},        {b.Redo, &U::mnuRedo},         {b.Paste, &U::mnuPasteInsert},
        {b.pIns, &U::mnuPasteInsert}, {b.pRep, &U::mnuPasteReplace}, {b.pMix, &U::mnuPasteMix},
    };
    for (const auto &[key, command] : commands)
        if (key == button) document->runCommand(command);
}

void frmMDI::pasteDropDownShowing() {
    frmMain *document = activeDocument();
    const auto &b = ui_.TB;
    using U = frmMainUi;
    const std::pair<QAction *, frmMainCommand> items[] = {{b.pIns, &U::mnuPasteInsert},
                                                          {b.pRep, &U::mnuPasteReplace},
                                                          {b.pMix, &U::mnuPasteMix},
                                                          {b.pNew, &U::mnuPasteNew}};
    for (const auto &[item, command] : items) {
        bool enabled =
            document ? document->canRun(command) : item == b.pNew && cmbClip->count() > 0;
        item->setEnabled(enabled);
    }
}

void frmMDI::TBVolume_ButtonClick(frmMainCommand command) {
    if (frmMain *document = activeDocument()) document->runCommand(command);
    releaseViewSet();
}

/* The button just turned to Stop: start the clip; it turned back: stop. */
void frmMDI::TB_PlayClick(bool stopShown) {
    if (stopShown)
        kvPreviewClip();
    else
        kvStop();
}

void frmMDI::TB_ViewClick(int n) {
    frmMain *document = activeDocument();
    if (!document) return;
    if (isViewSetPressed()) {
        document->mnuSView_Click(n - 1);
        releaseViewSet();
        document->UpdateToolbar();
    } else {
        document->mnuLView_Click(n - 1);
    }
}

void frmMDI::TBPlayback_ButtonClick(QAction *button) {
    frmMain *document = activeDocument();
    const auto &b = ui_.TBPlayback;
    if (button == b.Loop) kvOptions->loopPlayback = b.Loop->isChecked() ? 1 : 0;
    if (button == b.Rec) return openRecord();
    if (!document) return;
    int32_t ID = document->ID;
    const std::pair<QAction *, int32_t> speeds[] = {{b.Rev, KV_PLAY_FAST_REVERSE},
                                                    {b.PlayRev, KV_PLAY_REVERSE},
                                                    {b.Play, KV_PLAY_NORMAL},
                                                    {b.Ffw, KV_PLAY_FAST_FORWARD}};
    const std::pair<QAction *, int32_t> zooms[] = {{b.Zoom1, KV_ZOOM_ONE_TO_ONE},
                                                   {b.ZoomSel, KV_ZOOM_SELECTION},
                                                   {b.ZoomFull, KV_ZOOM_WHOLE},
                                                   {b.ZoomIn, KV_ZOOM_IN},
                                                   {b.ZoomOut, KV_ZOOM_OUT}};
    for (const auto &[key, speed] : speeds)
        if (button == key) kvPlay(ID, speed);
    for (const auto &[key, mode] : zooms)
        if (button == key) kvZoomSpecial(ID, mode);
    if (button == b.Start)
        kvToStart(ID);
    else if (button == b.Stop)
        kvStop();
    else if (button == b.Pause)
        kvPause(ID);
    else if (button == b.End)
        kvToEnd(ID);
    else if (button == b.SelAll)
        kvSelectAll(ID);
    else if (button == b.SelView)
        kvSelectView(ID);
    document->UpdateToolbar();
    releaseViewSet();
}

void frmMDI::pressPlayback(int position) {
    for (QAction *button : TBPlayback->actions()) {
        if (button->property("position").toInt() != position) continue;
        if (button->isEnabled()) button->trigger();
        return;
    }
}

bool frmMDI::playbackWired(int position) const {
    for (QAction *button : TBPlayback->actions())
        if (button->property("position").toInt() == position) return wired.contains(button);
    return false;
}
