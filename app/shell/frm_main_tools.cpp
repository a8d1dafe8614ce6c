/*
 * frm_main_tools.cpp - the document window's dynamics and tool commands:
 * compressor, distortion, tone generator, pitch/time, loudness normalize
 * and noise reduction, each through its dialog and one engine edit; and the
 * loudness analysis window.
 *
 * The pitch dialog is shown without an owner, as its own top-level window;
 * the others are owned by the frame like every other effect dialog.
 */
#include "app/dialogs/frm_compressor.h"
#include "app/dialogs/frm_distortion.h"
#include "app/dialogs/frm_generate.h"
#include "app/dialogs/frm_loudness.h"
#include "app/dialogs/frm_noise.h"
#include "app/dialogs/frm_pitch.h"
#include "app/dialogs/repair_store.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"

#include <utility>

namespace {

/* Shows a modal Dialog built from `args`; true when the user chose OK. */
template <typename Dialog, typename... Args> bool confirmed(Args &&...args) {
    Dialog dialog(std::forward<Args>(args)...);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace

void frmMain::wireToolEffects() {
    auto effect = [this](QAction *entry, int32_t edit, std::function<bool()> dialog) {
        wire(entry, [this, edit, dialog] {
            dialogCommand(dialog, [this, edit] { return kvDoEdit(ID, edit); });
        });
    };
    effect(ui_.mnuComp, KV_EDIT_COMPRESSOR,
           [this] { return confirmed<frmCompressor>(frame, frame->params()); });
    effect(ui_.mnuDistortion, KV_EDIT_DISTORTION,
           [this] { return confirmed<frmDistortion>(frame, frame->params(), frame->options()); });
    effect(ui_.mnuToneGenerator, KV_EDIT_TONE,
           [this] { return confirmed<frmGenerate>(frame, frame->params()); });
    effect(ui_.mnuTnP, KV_EDIT_PITCH,
           [this] { return confirmed<frmPitch>(nullptr, frame->params()); });
    effect(ui_.mnuLoudnessNormalize, KV_EDIT_LOUDNESS_NORMALIZE, [this] {
        return confirmed<frmLoudnessNormalize>(frame, frame->params(), mdlRepairParams());
    });
    effect(ui_.mnuNoiseReduction, KV_EDIT_NOISE_REDUCTION, [this] {
        return confirmed<frmNoiseReduction>(frame, frame->params(), mdlRepairParams());
    });
    wire(ui_.mnuLoudnessMeter, [this] {
        kvStop();
        frmLoudnessMeter meter(frame, ID);
        meter.exec();
    });
}
