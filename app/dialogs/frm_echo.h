/*
 * frm_echo.h - the Echo Processor dialog: the two delays, the input mixing
 * matrix, the two feedback levels, the dry and wet outputs, the band limits
 * of the delay lines, bounce, and the gang switch that moves the left and
 * right controls of each pair together.
 *
 * Ganged controls keep their difference: moving one moves its partner by the
 * same number of steps, so the default 100/150 ms delays stay 50 ms apart.
 */
#ifndef KV_APP_FRM_ECHO_H
#define KV_APP_FRM_ECHO_H

#include "app/dialogs/effect_dialog.h"

class QCheckBox;
class ctlPresets;

class frmEcho : public EffectDialog {
    Q_OBJECT
  public:
    frmEcho(QWidget *owner, KV_Params *params);

    QSlider *sldLeftDelay;
    QSlider *sldRightDelay;
    QSlider *sldLeftFromLeft;
    QSlider *sldLeftFromRight;
    QSlider *sldRightFromLeft;
    QSlider *sldRightFromRight;
    QSlider *sldFeedbackRtoL;
    QSlider *sldFeedbackLtoR;
    QSlider *sldDryLeft;
    QSlider *sldWetLeft;
    QSlider *sldWetRight;
    QSlider *sldDryRight;
    QSlider *sldLowPass;
    QSlider *sldHighPass;
    QLabel *lblLeftDelay;
    QLabel *lblRightDelay;
    QLabel *lblLeftFromLeft;
    QLabel *lblLeftFromRight;
    QLabel *lblRightFromLeft;
    QLabel *lblRightFromRight;
    QLabel *lblFeedbackRtoL;
    QLabel *lblFeedbackLtoR;
    QLabel *lblDryLeft;
    QLabel *lblWetLeft;
    QLabel *lblWetRight;
    QLabel *lblDryRight;
    QLabel *lblLowPass;
    QLabel *lblHighPass;
    QCheckBox *chkBounce;
    QCheckBox *chkGang;
    ctlPresets *presets;

  private:
    QSlider *makeGanged(const QString &name, QSlider **partner, int32_t *field);
    void readParams();
    void writeParams();

    int32_t rate;
};

/* Moves the partner of a ganged slider that went from `before` to `after`
 * by the same number of steps, without emitting its change signal. */
void mdlMoveGanged(QSlider *partner, int before, int after);

#endif
