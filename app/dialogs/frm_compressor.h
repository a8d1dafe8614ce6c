/*
 * frm_compressor.h - the Compressor/Limiter dialog: threshold, hard clip,
 * ratio, attack, release, output gain and enhance sliders with the three
 * envelope switches, all in the compressor's slice of KV_Params.
 *
 * Each slider moves in the record's own unit (attack in tenths and release in
 * tens of a millisecond), so one wheel notch is one stored step; the labels
 * show the value converted to plain milliseconds and "n:1".
 */
#ifndef KV_APP_FRM_COMPRESSOR_H
#define KV_APP_FRM_COMPRESSOR_H

#include "app/dialogs/effect_dialog.h"

class QCheckBox;
class ctlPresets;

class frmCompressor : public EffectDialog {
    Q_OBJECT
  public:
    frmCompressor(QWidget *owner, KV_Params *params);

    QSlider *sldThreshold;
    QSlider *sldHardClip;
    QSlider *sldRatio;
    QSlider *sldAttack;
    QSlider *sldRelease;
    QSlider *sldGain;
    QSlider *sldEnhance;
    QLabel *lblThreshold;
    QLabel *lblHardClip;
    QLabel *lblRatio;
    QLabel *lblAttack;
    QLabel *lblRelease;
    QLabel *lblGain;
    QLabel *lblEnhance;
    QCheckBox *chkSoftKnee;
    QCheckBox *chkSideChain;
    QCheckBox *chkOversample;
    ctlPresets *presets;

  private:
    void readParams();
    void writeParams();
};

/* The ratio as the dialog shows it: "n:1", and "inf:1" at 100. */
QString mdlRatioText(int ratio);

#endif
