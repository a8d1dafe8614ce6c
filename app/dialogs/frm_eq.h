/*
 * frm_eq.h - the 10 Band Graphic Equalizer dialog: one slider per band gain
 * (eqBandDb, -24 ... 24 dB), each labelled with its nominal centre frequency.
 *
 * The band coefficients are fixed, so a band's centre follows the document's
 * sample rate; the labels are derived from that rate when the dialog opens.
 */
#ifndef KV_APP_FRM_EQ_H
#define KV_APP_FRM_EQ_H

#include "app/dialogs/effect_dialog.h"

class ctlPresets;

class frmEQ : public EffectDialog {
    Q_OBJECT
  public:
    frmEQ(QWidget *owner, KV_Params *params);

    QSlider *sldBand[10];
    QLabel *lblDb[10];
    QLabel *lblFrequency[10];
    ctlPresets *presets;

  private:
    void readParams();
    void writeParams();
};

/* The nominal centre of equalizer band 0 ... 9 at `rate` Hz, as the band's
 * label shows it: "31 Hz" ... "16 kHz" at 44100 Hz. */
QString mdlEqBandLabel(int32_t rate, int band);

#endif
