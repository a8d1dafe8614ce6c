/*
 * frm_filter.h - the FFT Filtering dialog: the band's lower and upper edges
 * at the start and at the end of the range, band-pass or band-reject, static
 * or dynamic, and the "&FFT Settings..." button to the options' FFT page.
 *
 * The sliders choose FFT bins while the record holds the edges in Hz, so
 * each move stores the bin's frequency for the current FFT size and the
 * document's rate; the labels show the stored frequency in kHz.
 */
#ifndef KV_APP_FRM_FILTER_H
#define KV_APP_FRM_FILTER_H

#include "app/dialogs/effect_dialog.h"

class QPushButton;
class QRadioButton;
class ctlPresets;

class frmFilter : public EffectDialog {
    Q_OBJECT
  public:
    frmFilter(QWidget *owner, KV_Params *params, KV_Options *options);

    QSlider *sldStartHighPass;
    QSlider *sldStartLowPass;
    QSlider *sldEndHighPass;
    QSlider *sldEndLowPass;
    QLabel *lblStartHighPass;
    QLabel *lblStartLowPass;
    QLabel *lblEndHighPass;
    QLabel *lblEndLowPass;
    QRadioButton *optBandPass;
    QRadioButton *optBandReject;
    QRadioButton *optStatic;
    QRadioButton *optDynamic;
    QPushButton *cmdFFTSettings;
    ctlPresets *presets;

  private:
    QSlider *makeEdgeSlider(const QString &name, int32_t *field);
    void setRanges();
    void readParams();
    void showParams();
    void showFFTSettings();

    KV_Options *options;
    int32_t rate;
};

/* The FFT size the filter will use: fftSize when it is a power of two from
 * 256 to 8192, otherwise the default 2048. */
int32_t mdlFftSize(const KV_Options *options);
/* The frequency in Hz of FFT bin `bin` for FFT size `fftSize` at `rate`. */
int32_t mdlFftBinToHz(int32_t bin, int32_t fftSize, int32_t rate);
/* The lowest bin whose frequency is at least `hz` (so a frequency that came
 * from a bin finds that bin again). */
int32_t mdlFftHzToBin(int32_t hz, int32_t fftSize, int32_t rate);
/* A frequency as the filter dialog shows it: "0.2 kHz". */
QString mdlKhzText(int32_t hz);

#endif
