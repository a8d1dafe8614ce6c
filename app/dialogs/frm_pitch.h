/*
 * frm_pitch.h - the Time and Pitch dialog: start and end factor in percent,
 * the glide switch, the three methods, and the input and result durations.
 *
 * The result duration is asked of the engine (kvGetPitchSize) after every
 * change, since it depends on the method, both factors and the glide.
 */
#ifndef KV_APP_FRM_PITCH_H
#define KV_APP_FRM_PITCH_H

#include "app/dialogs/effect_dialog.h"

class QCheckBox;
class QRadioButton;
class ctlPresets;

class frmPitch : public EffectDialog {
    Q_OBJECT
  public:
    frmPitch(QWidget *owner, KV_Params *params);

    QSlider *sldStart;
    QSlider *sldEnd;
    QLabel *lblStart;
    QLabel *lblEnd;
    QCheckBox *chkDynamic;
    QRadioButton *optMode[3];
    QLabel *lblInputSize;
    QLabel *lblResultSize;
    ctlPresets *presets;

  private:
    void readParams();
    void writeParams();
    void modeChosen(int mode);
    void showSizes();
};

/* A duration in milliseconds as the dialog shows it: "1.500 s". */
QString mdlSecondsText(int32_t ms);

#endif
