/*
 * frm_simple_echo.h - the Simple Echo dialog: delay, "Feedback", "Wet Out"
 * and the "Lo-Pass" filter of the feedback loop.
 *
 * The record holds the low-pass as a coefficient in hundredths; the dialog
 * shows it as the frequency it gives at the document's rate.
 */
#ifndef KV_APP_FRM_SIMPLE_ECHO_H
#define KV_APP_FRM_SIMPLE_ECHO_H

#include "app/dialogs/effect_dialog.h"

class ctlPresets;

class frmSimpleEcho : public EffectDialog {
    Q_OBJECT
  public:
    frmSimpleEcho(QWidget *owner, KV_Params *params);

    QSlider *sldDelay;
    QSlider *sldFeedback;
    QSlider *sldWetOut;
    QSlider *sldLowPass;
    QLabel *lblDelay;
    QLabel *lblFeedback;
    QLabel *lblWetOut;
    QLabel *lblLowPass;
    ctlPresets *presets;

  private:
    void readParams();
    void writeParams();

    int32_t rate;
};

/* A filter coefficient in 1/`scale` steps as the frequency it shows at
 * `rate`: value × rate ÷ (2 × scale) Hz, e.g. "11025 Hz". */
QString mdlFilterHzText(int32_t value, int32_t scale, int32_t rate);

#endif
