/*
 * frm_volume.h - the volume dialog in its two forms: "Change Volume" edits
 * volumeDb, "Normalize Volume" edits normalizeDb and shows the peak found.
 *
 * One slider in whole dB with its value and the gain as a percentage; a
 * double-click puts the slider back to 0 dB.
 */
#ifndef KV_APP_FRM_VOLUME_H
#define KV_APP_FRM_VOLUME_H

#include "app/dialogs/effect_dialog.h"

class frmVolume : public EffectDialog {
    Q_OBJECT
  public:
    /* The normalize form when `normalize`, showing `peakDb` as the peak. */
    frmVolume(QWidget *owner, KV_Params *params, bool normalize = false, int32_t peakDb = 0);

    QSlider *sldVolume;
    QLabel *lblDb;
    QLabel *lblPercent;
    QLabel *lblPeak;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void setLevel(int db);
    int32_t *field;
};

/* The percentage a gain in dB gives, one decimal, as the volume dialogs show it. */
QString mdlPercentText(int32_t db);

#endif
