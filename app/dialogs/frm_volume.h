/*
 * frm_volume.h - the volume dialog in its two forms: "Change Volume" edits
 * volumeDb, "Normalize Volume" edits normalizeDb and shows the peak found.
 *
 * One slider in whole dB with a number box beside it and the gain as a
 * percentage; a double-click puts the slider back to 0 dB. The normalize
 * form also chooses the peak level to reach.
 */
#ifndef KV_APP_FRM_VOLUME_H
#define KV_APP_FRM_VOLUME_H

#include "app/dialogs/effect_dialog.h"

class QSpinBox;

class frmVolume : public EffectDialog {
    Q_OBJECT
  public:
    /* The normalize form when `normalize`, showing `peakDb` as the peak. */
    frmVolume(QWidget *owner, KV_Params *params, bool normalize = false, int32_t peakDb = 0);

    QSlider *sldVolume;
    QSpinBox *spnVolume;
    QSpinBox *spnTarget; /* Normalize only: the peak level to reach */
    QLabel *lblPercent;
    QLabel *lblPeak;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void setLevel(int db);
    int32_t *field;
    int32_t fullScaleGain; /* Normalize: the gain that brings the peak to 0 dBFS */
};

/* The percentage a gain in dB gives, one decimal, as the volume dialogs show it. */
QString mdlPercentText(int32_t db);

#endif
