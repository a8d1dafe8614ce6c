/*
 * frm_mute.h - the "Fade Edges" dialog of Mute and Reverse: nothing to set
 * but whether and how long the edges of the edited range cross-fade.
 */
#ifndef KV_APP_FRM_MUTE_H
#define KV_APP_FRM_MUTE_H

#include "app/dialogs/effect_dialog.h"

class frmMute : public EffectDialog {
    Q_OBJECT
  public:
    frmMute(QWidget *owner, KV_Params *params);
};

#endif
