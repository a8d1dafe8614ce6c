/*
 * frm_main_commands.cpp - the document window's commands: opening and new
 * files, every wired menu entry, saving with its clip warning, and closing
 * with its save prompt.
 *
 * Commands follow two patterns. A plain command stops playback, brackets the
 * engine call with DoDisable/DoEnable and refreshes the toolbars; a dialog
 * command stops playback, names the dialog's document, and runs the engine
 * call only when the dialog was confirmed. A command is ignored while the
 * frame is busy, which keeps shortcuts from starting a second engine call.
 */
#include "app/dialogs/frm_mute.h"
#include "app/dialogs/frm_paste_mix.h"
#include "app/dialogs/frm_silence.h"
#include "app/dialogs/frm_srate.h"
#include "app/dialogs/frm_volume.h"
#include "app/shell/frm_info.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/frm_properties.h"
#include "app/shell/frm_undo_hist.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"

#include <QCloseEvent>
#include <QMenu>
#include <array>
#include <cstring>
#include <utility>

/* The WAVE format tag of floating-point samples. */
static const int32_t floatingPointFormat = 3;

void frmMain::wire(QAction *entry, std::function<void()> handler) {
    wired.insert(entry);
    connect(entry, &QAction::triggered, this, [this, handler] {
        if (!frame->isBusy()) handler();
    });
}

bool frmMain::runCommand(QAction *entry) {
    if (!entry || !wired.contains(entry)) return false;
    InitMenu();
    if (!entry->isEnabled()) return false;
    entry->trigger();
    return true;
}

bool frmMain::canRun(frmMainCommand command) {
    InitMenu();
    return (ui_.*command)->isEnabled();
}

void frmMain::wireCommands() {
    const frmMainUi &u = ui_;
    wire(u.mnuSave, [this] { mnuSave_Click(); });
    wire(u.mnuSaveAs, [this] { mnuSaveAs_Click(); });
    wire(u.mnuInfo, [this] { mnuInfo_Click(); });
    wire(u.mnuClose, [this] { parentWidget()->close(); });
    wire(u.mnuUndo, [this] { mnuUndo_Click(); });
    wire(u.mnuRedo, [this] { mnuRedo_Click(); });
    wire(u.mnuUndoHist, [this] { mnuUndoHist_Click(); });
    wire(u.mnuCut, [this] { mnuCut_Click(); });
    wire(u.mnuCopy, [this] { mnuCopy_Click(); });
    wire(u.mnuPasteInsert, [this] { mnuPasteInsert_Click(); });
    wire(u.mnuPasteReplace, [this] { mnuPasteReplace_Click(); });
    wire(u.mnuDelete, [this] { mnuDelete_Click(); });
    wire(u.mnuInsertSilence, [this] { mnuInsertSilence_Click(); });
    wire(u.mnuFadeIn, [this] { mnuFadeIn_Click(); });
    wire(u.mnuPasteMix, [this] { mnuPasteMix_Click(); });
    wire(u.mnuMute, [this] { mnuFadeEdges_Click(KV_EDIT_MUTE); });
    wire(u.mnuReverse, [this] { mnuFadeEdges_Click(KV_EDIT_REVERSE); });
    wire(u.mnuVolume, [this] { mnuVolume_Click(); });
    wire(u.mnuMaximize, [this] { mnuMaximize_Click(); });
    wire(u.mnuFadeOut, [this] { mnuFadeOut_Click(); });
    wire(u.mnuConvertChannels, [this] { mnuConvertChannels_Click(); });
    wire(u.mnuConvertSampleRate, [this] { mnuConvertSampleRate_Click(); });
    wire(u.mnuForceStereo, [this] { mnuForceStereo_Click(); });
    wire(u.mnuSelAll, [this] { kvSelectAll(ID); });
    wire(u.mnuSelView, [this] { kvSelectView(ID); });
    wire(u.mnuLoop, [this] { mnuLoop_Click(); });
    wireViewCommands();
    wireFrameCommands();
    wireFilterEffects();
    wireToolEffects();
    for (QAction *entry : findChildren<QAction *>())
        if (!entry->menu() && !entry->isSeparator() && !wired.contains(entry))
            entry->setEnabled(false);
}

void frmMain::wireViewCommands() {
    const frmMainUi &u = ui_;
    const std::pair<QAction *, int32_t> zooms[] = {{u.mnuZoom11, KV_ZOOM_ONE_TO_ONE},
                                                   {u.mnuZoomSel, KV_ZOOM_SELECTION},
                                                   {u.mnuZoomFull, KV_ZOOM_WHOLE},
                                                   {u.mnuZoomIn, KV_ZOOM_IN},
                                                   {u.mnuZoomOut, KV_ZOOM_OUT}};
    for (const auto &[entry, mode] : zooms)
        wire(entry, [this, mode] { kvZoomSpecial(ID, mode); });
    for (int i = 0; i < 4; i++)
        wire(u.mnuTF[i], [this, i] { mnuTF_Click(i); });
    for (int i = 0; i < 8; i++) {
        wire(u.mnuSView[i], [this, i] { mnuSView_Click(i); });
        wire(u.mnuLView[i], [this, i] { mnuLView_Click(i); });
    }
    for (int i = 0; i < 3; i++)
        wire(u.mnuSM[i], [this, i] { mnuSM_Click(i); });
    for (int i = KV_DISPLAY_WAVEFORM; i <= KV_DISPLAY_BOTH; i++)
        wire(u.mnuDisplayMode[i], [this, i] {
            kvSetDisplayMode(ID, i);
            UpdateToolbar();
        });
    QAction *verticalZooms[3] = {u.mnuVZoomIn, u.mnuVZoomOut, u.mnuVZoomReset};
    for (int step = KV_VZOOM_IN; step <= KV_VZOOM_RESET; step++)
        wire(verticalZooms[step], [this, step] {
            kvZoomVertical(ID, step);
            UpdateToolbar();
        });
}

/* Entries that the frame carries out: files, playback buttons, windows,
 * help and options. */
void frmMain::wireFrameCommands() {
    const frmMainUi &u = ui_;
    wire(u.mnuNew, [this] { frame->mnuNew_Click(); });
    wire(u.mnuOpen, [this] { frame->mnuOpen_Click(); });
    wire(u.mnuExit, [this] { frame->mnuExit_Click(); });
    wire(u.mnuPasteNew, [this] { frame->PasteNew(); });
    for (int i : {0, 2, 3, 4, 5, 6, 7, 9, 11})
        if (frame->playbackWired(i + 1))
            wire(u.mnuPlayback[i], [this, i] { frame->pressPlayback(i + 1); });
    wire(u.mnuCascade, [this] { frame->cascadeDocuments(); });
    wire(u.mnuTileH, [this] { frame->tileDocuments(true); });
    wire(u.mnuTileV, [this] { frame->tileDocuments(false); });
    wire(u.mnuHelpTopics, [this] { frame->mnuHelpTopics_Click(); });
    wire(u.mnuHelpGettingStarted, [this] { frame->mnuHelpGettingStarted_Click(); });
    wire(u.mnuWebMain, [this] { frame->mnuWebMain_Click(); });
    wire(u.mnuWebSupport, [this] { frame->mnuWebSupport_Click(); });
    wire(u.mnuAbout, [this] { frame->mnuAbout_Click(); });
    wire(u.mnuOptions, [this] {
        mdlMain.dialogDoc = ID;
        frame->mnuOptions_Click();
    });
}

/* ---- Opening and new files ---- */

bool frmMain::OpenFile(const QString &path) {
    frame->DoDisable();
    FileName = path;
    QByteArray name = path.toLocal8Bit();
    if (kvOpen(ID, name.constData()) != 0) {
        frame->DoEnable();
        return false;
    }
    frame->DoEnable();
    kvRefresh(ID);
    UpdateToolbar();
    kvSetMRU(name.constData());
    return true;
}

bool frmMain::NewFile() {
    FileName = "Untitled";
    KV_Params *params = frame->params();
    if (frame->options()->skipNewFileDialog == 0) {
        frmProperties properties(frame, frame->options(), params, true);
        if (properties.exec() != QDialog::Accepted) return false;
    }
    frame->DoDisable();
    int32_t result = kvNew(ID, params->newChannels, params->newBitsPerSample, params->newFormat,
                           params->newSampleRate);
    frame->DoEnable();
    if (result != 0) return false;
    kvRefresh(ID);
    UpdateToolbar();
    return true;
}

/* ---- Command patterns ---- */

void frmMain::plainCommand(const std::function<int32_t()> &call, bool stop, bool updateToolbar) {
    if (stop) kvStop();
    frame->DoDisable();
    call();
    frame->DoEnable();
    if (updateToolbar) UpdateToolbar();
}

void frmMain::dialogCommand(const std::function<bool()> &dialog,
                            const std::function<int32_t()> &call) {
    kvStop();
    mdlMain.dialogDoc = ID;
    if (dialog()) {
        frame->DoDisable();
        call();
        frame->DoEnable();
    }
    UpdateToolbar();
}

void frmMain::mnuUndo_Click() {
    plainCommand([this] { return kvUndo(ID); }, false);
}

void frmMain::mnuRedo_Click() {
    plainCommand([this] { return kvRedo(ID); }, false);
}

void frmMain::mnuUndoHist_Click() {
    kvStop();
    frmUndoHist history(frame, ID);
    history.exec();
    frame->DoEnable();
    UpdateToolbar();
}

void frmMain::mnuCut_Click() {
    plainCommand([this] { return kvCut(ID); }, true, false);
}

void frmMain::mnuCopy_Click() {
    plainCommand([this] { return kvCopy(ID); });
}

void frmMain::mnuPasteInsert_Click() {
    plainCommand([this] { return kvPaste(ID, 0); });
}

void frmMain::mnuPasteReplace_Click() {
    plainCommand([this] { return kvPaste(ID, 1); });
}

void frmMain::mnuDelete_Click() {
    plainCommand([this] { return kvDelete(ID); });
}

void frmMain::mnuInsertSilence_Click() {
    dialogCommand(
        [this] {
            frmSilence silence(frame, frame->params());
            return silence.exec() == QDialog::Accepted;
        },
        [this] { return kvInsertSilence(ID); });
}

void frmMain::mnuFadeIn_Click() {
    plainCommand([this] { return kvDoEdit(ID, KV_EDIT_FADE_IN); });
}

void frmMain::mnuFadeOut_Click() {
    plainCommand([this] { return kvDoEdit(ID, KV_EDIT_FADE_OUT); });
}

void frmMain::mnuPasteMix_Click() {
    dialogCommand(
        [this] {
            frmPasteMix mix(frame, frame->params());
            return mix.exec() == QDialog::Accepted;
        },
        [this] { return kvDoEdit(ID, KV_EDIT_PASTE_MIX); });
}

void frmMain::mnuFadeEdges_Click(int32_t edit) {
    dialogCommand(
        [this] {
            frmMute fadeEdges(frame, frame->params());
            return fadeEdges.exec() == QDialog::Accepted;
        },
        [this, edit] { return kvDoEdit(ID, edit); });
}

void frmMain::mnuVolume_Click() {
    dialogCommand(
        [this] {
            frmVolume volume(frame, frame->params());
            return volume.exec() == QDialog::Accepted;
        },
        [this] { return frame->params()->volumeDb != 0 ? kvDoEdit(ID, KV_EDIT_VOLUME) : 0; });
}

/* The dialog shows the peak in whole dB but offers the gain that brings it
 * to full scale without passing it: minus the peak can overshoot. */
void frmMain::mnuMaximize_Click() {
    kvStop();
    int32_t peak = kvScanMax(ID);
    frame->params()->normalizeDb = kvScanNormalizeDb(ID);
    dialogCommand(
        [this, peak] {
            frmVolume normalize(frame, frame->params(), true, peak);
            return normalize.exec() == QDialog::Accepted;
        },
        [this] { return frame->params()->normalizeDb != 0 ? kvDoEdit(ID, KV_EDIT_NORMALIZE) : 0; });
}

void frmMain::mnuInfo_Click() {
    kvStop();
    frmInfo information(frame, ID);
    information.exec();
    UpdateToolbar();
}

void frmMain::mnuConvertChannels_Click() {
    kvStop();
    int32_t channels = 0, rate = 0, bits = 0;
    kvGetProperties(ID, &channels, &rate, &bits);
    frame->DoDisable();
    kvConvertChannels(ID, channels == 1 ? 2 : 1);
    frame->DoEnable();
    UpdateToolbar();
}

void frmMain::mnuConvertSampleRate_Click() {
    int32_t rate = kvGetSampleRate(ID);
    dialogCommand(
        [this, &rate] {
            frmSRate sampleRate(frame, &rate);
            return sampleRate.exec() == QDialog::Accepted;
        },
        [this, &rate] { return kvConvertSampleRate(ID, rate); });
}

void frmMain::mnuForceStereo_Click() {
    KV_Options *options = frame->options();
    options->lockChannels = options->lockChannels == 1 ? 0 : 1;
    if (options->lockChannels == 1) kvForceStereo();
    UpdateToolbar();
}

void frmMain::mnuTF_Click(int format) {
    for (int i = 0; i < 4; i++)
        ui_.mnuTF[i]->setChecked(i == format);
    frame->options()->timeFormat = format;
    kvRefresh(ID);
}

void frmMain::mnuSView_Click(int slot) {
    kvSetView(ID, slot);
    for (int i = 0; i < 8; i++)
        savedViews[i] = kvIsView(ID, i) == 1;
    UpdateToolbar();
}

void frmMain::mnuLView_Click(int slot) {
    kvLoadView(ID, slot);
}

void frmMain::mnuSM_Click(int mode) {
    frame->options()->scrollMode = mode;
    kvUnTouched(ID);
}

void frmMain::mnuLoop_Click() {
    KV_Options *options = frame->options();
    options->loopPlayback = options->loopPlayback == 1 ? 0 : 1;
    UpdateToolbar();
}

/* ---- Saving ---- */

void frmMain::clipWarning() {
    KV_Options *options = frame->options();
    if (options->clipWarning == 0) return;
    int32_t peak = kvScanMax(ID);
    if (peak <= options->clipWarningDb) return;
    QString text = "The Peak Level in this sound exceeds your threshold and will result in "
                   "clipping (Peak Level: +" +
                   QString::number(peak) + " db)\n\n";
    /* A floating-point file could hold the peaks, but saving clamps them to
     * full scale as every other format does; a user who chose floating point
     * to keep them is told. */
    if (kvGetFormatTag(ID) == floatingPointFormat)
        text += "Floating-point files are saved limited to full scale (-1.0 to 1.0), so the "
                "peaks would be cut off too.\n\n";
    text += "Would you like me to Normalize before saving?";
    QMessageBox::StandardButton answer =
        mdlMessageBox(frame, "Clip Warning", text, QMessageBox::Yes | QMessageBox::No,
                      QMessageBox::Question, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) return;
    frame->params()->normalizeDb = kvScanNormalizeDb(ID);
    kvDoEdit(ID, KV_EDIT_NORMALIZE);
}

void frmMain::mnuSave_Click() {
    kvStop();
    if (FileName == "Untitled" || kvNeedsSaveAs(ID) == 1) {
        mnuSaveAs_Click();
        return;
    }
    frame->DoDisable();
    clipWarning();
    QByteArray name = FileName.toLocal8Bit();
    kvSave(ID, name.data());
    frame->DoEnable();
    UpdateToolbar();
}

void frmMain::mnuSaveAs_Click() {
    kvStop();
    QByteArray name = FileName.toLocal8Bit().left(254);
    std::array<char, 256> buffer{};
    std::memcpy(buffer.data(), name.constData(), name.size());
    int32_t result = kvGetSaveFile(ID, buffer.data());
    buffer[255] = 0;
    FileName = QString::fromLocal8Bit(buffer.data(), qstrnlen(buffer.data(), 255)).trimmed();
    if (result == 0) {
        frame->DoDisable();
        clipWarning();
        QByteArray chosen = FileName.toLocal8Bit();
        kvSave(ID, chosen.data());
        frame->DoEnable();
    }
    UpdateToolbar();
    /* A document that never had a file keeps the name "Untitled", which is
     * not a file to offer among the recently used ones. */
    if (FileName != "Untitled") kvSetMRU(FileName.toLocal8Bit().constData());
}

/* ---- Closing ---- */

bool frmMain::Form_QueryUnload() {
    kvStop();
    if (ID < 0 || kvIsSaved(ID) != 0) return true;
    QString text = FileName + " has been modified.\n\nDo you want to save your changes?";
    QMessageBox::StandardButton answer = mdlMessageBox(
        frame, "Confirm Exit", text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        QMessageBox::Question, QMessageBox::Yes);
    if (answer == QMessageBox::No) return true;
    if (answer != QMessageBox::Yes) return false;
    mnuSave_Click();
    return kvIsSaved(ID) != 0;
}

void frmMain::Form_Unload() {
    kvClose(ID);
    ID = -1;
    frame->documentClosed(this);
}

void frmMain::closeEvent(QCloseEvent *event) {
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    if (ID >= 0) Form_Unload();
    event->accept();
}
