/*
 * frm_silence.h - the length of silence to insert: an amount and its unit
 * (milliseconds, seconds or minutes), written into KV_Params on OK.
 *
 * The engine reads both fields when the document window inserts.
 */
#ifndef KV_APP_FRM_SILENCE_H
#define KV_APP_FRM_SILENCE_H

#include "korvel.h"

#include <QDialog>

class QComboBox;
class QSpinBox;

class frmSilence : public QDialog {
    Q_OBJECT
  public:
    frmSilence(QWidget *owner, KV_Params *params);

    QSpinBox *txtAmount;
    QComboBox *cmbUnit;

    void done(int result) override;

  private:
    KV_Params *params;
};

#endif
