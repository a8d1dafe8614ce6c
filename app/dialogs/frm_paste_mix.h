/*
 * frm_paste_mix.h - the level at which Paste Mix adds the clipboard to the
 * sound, in whole dB (pasteMixDb).
 */
#ifndef KV_APP_FRM_PASTE_MIX_H
#define KV_APP_FRM_PASTE_MIX_H

#include "app/dialogs/effect_dialog.h"

class frmPasteMix : public EffectDialog {
    Q_OBJECT
  public:
    frmPasteMix(QWidget *owner, KV_Params *params);

    QSlider *sldLevel;
    QLabel *lblDb;
    QLabel *lblPercent;
};

#endif
