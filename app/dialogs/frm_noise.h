/*
 * frm_noise.h - the Noise Reduction dialog: the noise profile, the gate's
 * five settings, and a residue switch for the preview.
 *
 * The profile is taken from the selection when the dialog's button is
 * pressed, so the usual way is: select noise alone, open the dialog, Get
 * Noise Profile, close; select what to clean, open it again and press OK.
 * OK stays off while the document has no profile.
 */
#ifndef KV_APP_FRM_NOISE_H
#define KV_APP_FRM_NOISE_H

#include "app/dialogs/effect_dialog.h"

class QCheckBox;
class QPushButton;
class ctlPresets;

class frmNoiseReduction : public EffectDialog {
    Q_OBJECT
  public:
    frmNoiseReduction(QWidget *owner, KV_Params *params, KV_RepairParams *repair);

    QPushButton *cmdGetProfile;
    QLabel *lblProfile;
    QSlider *sldReduction;
    QSlider *sldSensitivity;
    QSlider *sldSmoothing;
    QSlider *sldAttack;
    QSlider *sldRelease;
    QLabel *lblReduction;
    QLabel *lblSensitivity;
    QLabel *lblSmoothing;
    QLabel *lblAttack;
    QLabel *lblRelease;
    QCheckBox *chkResidue;
    ctlPresets *presets;

  private:
    void readParams();
    void showValues();
    void showProfile();
    void takeProfile();

    KV_RepairParams *repair;
};

#endif
