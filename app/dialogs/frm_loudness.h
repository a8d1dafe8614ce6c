/*
 * frm_loudness.h - the loudness dialogs: Loudness Normalize (an effect
 * dialog over the target and the true-peak ceiling) and the Loudness
 * Analysis window of the Tools menu.
 *
 * Both show what the engine's meter reads for the selection (the whole
 * sound without one), so the user sees the gain the edit is about to apply.
 */
#ifndef KV_APP_FRM_LOUDNESS_H
#define KV_APP_FRM_LOUDNESS_H

#include "app/dialogs/effect_dialog.h"

class QDoubleSpinBox;
class ctlPresets;

/* A loudness figure as the dialogs show it: one decimal and its unit, or
 * "-inf" and the unit for one too quiet to measure. */
QString mdlLoudnessText(double value, const char *unit);

class frmLoudnessNormalize : public EffectDialog {
    Q_OBJECT
  public:
    frmLoudnessNormalize(QWidget *owner, KV_Params *params, KV_RepairParams *repair);

    QDoubleSpinBox *spnTarget;
    QDoubleSpinBox *spnCeiling;
    QLabel *lblMeasured;
    QLabel *lblGain;
    ctlPresets *presets;

  private:
    void readParams();
    void showGain();

    KV_RepairParams *repair;
    KV_Loudness measured{};
    bool hasMeasure = false;
};

class frmLoudnessMeter : public QDialog {
    Q_OBJECT
  public:
    frmLoudnessMeter(QWidget *owner, int32_t doc);

    /* Measures again and shows the figures. */
    void measure();

    QLabel *lblIntegrated;
    QLabel *lblRange;
    QLabel *lblShortTerm;
    QLabel *lblMomentary;
    QLabel *lblTruePeak;
    QLabel *lblSamplePeak;
    QLabel *lblScope;

  private:
    int32_t doc;
};

#endif
