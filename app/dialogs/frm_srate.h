/*
 * frm_srate.h - the choice of a new sample rate for a whole document.
 *
 * The dialog only chooses: the rate comes back through the caller's
 * variable and the dialog result, and the caller runs the conversion.
 */
#ifndef KV_APP_FRM_SRATE_H
#define KV_APP_FRM_SRATE_H

#include <QDialog>
#include <cstdint>

class QComboBox;

class frmSRate : public QDialog {
    Q_OBJECT
  public:
    /* *rate is the document's rate on entry and the chosen one after OK. */
    frmSRate(QWidget *owner, int32_t *rate);

    QComboBox *cmbRate;

    void done(int result) override;

  private:
    int32_t *rate;
};

#endif
