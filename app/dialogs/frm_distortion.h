/*
 * frm_distortion.h - the Distortion dialog: the "High Clip" and "Low
 * Threshold" levels and the transfer curve they make.
 *
 * The curve is drawn from the record on every change, in the waveform's
 * colours from KV_Options, so it always shows exactly what the edit and the
 * live preview will do to a sample.
 */
#ifndef KV_APP_FRM_DISTORTION_H
#define KV_APP_FRM_DISTORTION_H

#include "app/dialogs/effect_dialog.h"

class ctlPresets;

/* Input level (x, -1 ... 1) against output level (y), with a centre cross
 * and quarter grid. */
class ctlDistortionCurve : public QWidget {
    Q_OBJECT
  public:
    ctlDistortionCurve(QWidget *owner, const KV_Params *params, const KV_Options *options);

    QSize sizeHint() const override { return QSize(161, 161); }
    /* The output of the edit for input x at the record's current levels. */
    double transfer(double x) const;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    const KV_Params *params;
    const KV_Options *options;
};

class frmDistortion : public EffectDialog {
    Q_OBJECT
  public:
    frmDistortion(QWidget *owner, KV_Params *params, const KV_Options *options);

    QSlider *sldHighClip;
    QSlider *sldLowThreshold;
    QLabel *lblHighClip;
    QLabel *lblLowThreshold;
    ctlDistortionCurve *picCurve;
    ctlPresets *presets;

  private:
    void readParams();
    void highClipMoved(int db);
    void lowThresholdMoved(int db);
    void showLevels();
};

#endif
