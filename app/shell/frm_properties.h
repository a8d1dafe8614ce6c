/*
 * frm_properties.h - the new-file properties: sample rate, sample format and
 * channels of the next new document.
 *
 * The dialog edits a working copy of the four new-file fields of KV_Params
 * and writes it back only on OK, so Cancel leaves the record untouched. The
 * "New File" presets save and load that working copy, in the record's own
 * field order, so a preset is the same 16 bytes the record holds.
 */
#ifndef KV_APP_FRM_PROPERTIES_H
#define KV_APP_FRM_PROPERTIES_H

#include "korvel.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class ctlPresets;

class frmProperties : public QDialog {
    Q_OBJECT
  public:
    /* showDontPrompt: false when opened from the options dialog. */
    frmProperties(QWidget *owner, KV_Options *options, KV_Params *params, bool showDontPrompt);

    QComboBox *cmbRate;
    QButtonGroup *optFormat;
    QButtonGroup *optChannels;
    QCheckBox *chkDontAsk;
    ctlPresets *presets;

    void done(int result) override;

  private:
    /* Shows the working copy in the controls, and takes it back from them. */
    void showWorkingCopy();
    void takeWorkingCopy();

    /* newBitsPerSample, newFormat, newSampleRate, newChannels */
    int32_t working[4];
    KV_Options *options;
    KV_Params *params;
};

#endif
