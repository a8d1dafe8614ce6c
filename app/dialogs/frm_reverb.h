/*
 * frm_reverb.h - the Reverb Processor dialog: "Input Level", "Processed Out"
 * and "Dry Out" as left/right slider pairs, the room size and wall material
 * lists, and the gang switch for the pairs.
 *
 * The six levels sit in the record in left/right order, so slider k edits
 * reverbLevelDb[k] and its partner is the other slider of the same pair.
 */
#ifndef KV_APP_FRM_REVERB_H
#define KV_APP_FRM_REVERB_H

#include "app/dialogs/effect_dialog.h"

class QCheckBox;
class QComboBox;
class ctlPresets;

class frmReverb : public EffectDialog {
    Q_OBJECT
  public:
    frmReverb(QWidget *owner, KV_Params *params);

    QSlider *sldLevel[6];
    QLabel *lblLevel[6];
    QComboBox *cmbRoomSize;
    QComboBox *cmbWall;
    QCheckBox *chkGang;
    ctlPresets *presets;

  private:
    void readParams();
    void writeParams();
};

#endif
