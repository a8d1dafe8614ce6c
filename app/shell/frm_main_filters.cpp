/*
 * frm_main_filters.cpp - the document window's filter and echo commands:
 * equalizer, FFT filter, simple echo, echo and reverb, each through its
 * dialog and one engine edit.
 *
 * Echo and Reverb work on two channels, so a mono sound is first offered a
 * conversion to stereo; the command goes on only when the sound really has
 * two channels afterwards.
 */
#include "app/dialogs/frm_echo.h"
#include "app/dialogs/frm_eq.h"
#include "app/dialogs/frm_filter.h"
#include "app/dialogs/frm_reverb.h"
#include "app/dialogs/frm_simple_echo.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/prompts.h"

namespace {

/* Stops playback and makes sure `doc` is stereo, converting it when the user
 * agrees. False when the command is to end (the user said No, or the sound
 * is still not stereo). */
bool offerStereo(frmMDI *frame, int32_t doc) {
    kvStop();
    if (kvGetChannels(doc) != 1) return true;
    QMessageBox::StandardButton answer = mdlMessageBox(
        frame, "Incompatible Format",
        "This function requires a stereo sound file.\n\nWould you like to convert the current "
        "sound to stereo?",
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) return false;
    frame->DoDisable();
    kvConvertChannels(doc, 2);
    frame->DoEnable();
    return kvGetChannels(doc) == 2;
}

} // namespace

void frmMain::wireFilterEffects() {
    wire(ui_.mnuEQ, [this] {
        dialogCommand(
            [this] {
                frmEQ equalizer(frame, frame->params());
                return equalizer.exec() == QDialog::Accepted;
            },
            [this] { return kvDoEdit(ID, KV_EDIT_EQUALIZER); });
    });
    wire(ui_.mnuFFTFilter, [this] {
        dialogCommand(
            [this] {
                frmFilter filter(frame, frame->params(), frame->options());
                return filter.exec() == QDialog::Accepted;
            },
            [this] { return kvDoEdit(ID, KV_EDIT_FFT_FILTER); });
    });
    wire(ui_.mnuEchoSimple, [this] {
        dialogCommand(
            [this] {
                frmSimpleEcho echo(frame, frame->params());
                return echo.exec() == QDialog::Accepted;
            },
            [this] { return kvDoEdit(ID, KV_EDIT_SIMPLE_ECHO); });
    });
    wire(ui_.mnuEcho, [this] {
        if (!offerStereo(frame, ID)) {
            UpdateToolbar();
            return;
        }
        dialogCommand(
            [this] {
                frmEcho echo(frame, frame->params());
                return echo.exec() == QDialog::Accepted;
            },
            [this] { return kvDoEdit(ID, KV_EDIT_ECHO); });
    });
    wire(ui_.mnuReverb, [this] {
        if (!offerStereo(frame, ID)) {
            UpdateToolbar();
            return;
        }
        dialogCommand(
            [this] {
                frmReverb reverb(frame, frame->params());
                return reverb.exec() == QDialog::Accepted;
            },
            [this] { return kvDoEdit(ID, KV_EDIT_REVERB); });
    });
}
