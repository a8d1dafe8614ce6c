/*
 * frm_generate.h - the Tone Generator dialog: level, start and end frequency
 * with the sweep switch, waveform, and the tone's length with its unit.
 *
 * Frequencies and the length are editable lists: a choice from the list or
 * each keystroke stores the number at once (so the preview follows), limited
 * to what the edit can make; the text is rewritten to the stored number when
 * the user leaves the field.
 */
#ifndef KV_APP_FRM_GENERATE_H
#define KV_APP_FRM_GENERATE_H

#include "app/dialogs/effect_dialog.h"

class QCheckBox;
class QComboBox;
class ctlPresets;

class frmGenerate : public EffectDialog {
    Q_OBJECT
  public:
    frmGenerate(QWidget *owner, KV_Params *params);

    QSlider *sldVolume;
    QLabel *lblVolume;
    QComboBox *cmbStartHz;
    QComboBox *cmbEndHz;
    QCheckBox *chkSweep;
    QComboBox *cmbWaveform;
    QComboBox *cmbLength;
    QComboBox *cmbUnit;
    ctlPresets *presets;

  private:
    void readParams();
    QComboBox *makeNumberList(const QString &name, const QList<int> &values,
                              int32_t KV_Params::*field);
    void storeNumber(QComboBox *list, int32_t KV_Params::*field, bool rewrite);
    int32_t limited(int32_t KV_Params::*field, int32_t value) const;

    int32_t nyquist;
};

#endif
