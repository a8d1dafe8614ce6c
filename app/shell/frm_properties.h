/*
 * frm_properties.h - the new-file properties: sample rate, sample format and
 * channels of the next new document.
 *
 * The dialog edits a working copy of the four new-file fields of KV_Params
 * and writes it back only on OK, so Cancel leaves the record untouched.
 */
#ifndef KV_APP_FRM_PROPERTIES_H
#define KV_APP_FRM_PROPERTIES_H

#include "engine/core/korvel.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;

class frmProperties : public QDialog {
    Q_OBJECT
  public:
    /* showDontPrompt: false when opened from the options dialog. */
    frmProperties(QWidget *owner, KV_Options *options, KV_Params *params, bool showDontPrompt);

    QComboBox *cmbRate;
    QButtonGroup *optFormat;
    QButtonGroup *optChannels;
    QCheckBox *chkDontAsk;

    void done(int result) override;

  private:
    KV_Options *options;
    KV_Params *params;
};

#endif
