/*
 * frm_mute.cpp - the edge-fade dialog. Mute and Reverse play nothing worth
 * previewing, so the strip shows without its preview frame.
 */
#include "app/dialogs/frm_mute.h"
#include "app/dialogs/help_topics.h"

#include <QVBoxLayout>

frmMute::frmMute(QWidget *owner, KV_Params *params) : EffectDialog(owner, params, "frmMute") {
    setWindowTitle("Fade Edges");
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(preview);
    preview->Init(true, KV_EDIT_NONE, kvHelpFadeEdges);
}
