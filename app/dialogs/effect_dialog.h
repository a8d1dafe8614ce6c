/*
 * effect_dialog.h - what every effect dialog shares: the parameter record it
 * writes, its preview strip, and closing when the strip reports done.
 *
 * The dialog's result is exec()'s: Accepted when the strip's OK closed it;
 * a preview still running when the dialog closes is stopped, so the edit
 * that follows never races the playback thread. Controls left without a name for
 * screen readers get one when the dialog is first shown.
 */
#ifndef KV_APP_EFFECT_DIALOG_H
#define KV_APP_EFFECT_DIALOG_H

#include "app/dialogs/ctl_preview.h"
#include "app/dialogs/param_bindings.h"
#include "korvel.h"

#include <QDialog>

class QLabel;
class QSlider;

class EffectDialog : public QDialog {
    Q_OBJECT
  public:
    EffectDialog(QWidget *owner, KV_Params *params, const QString &name);

    ctlPreview *preview;

    void done(int result) override;

  protected:
    /* Names every control still unnamed for screen readers (see accessible.h),
     * after the dialog's own constructor has built all of them. */
    void showEvent(QShowEvent *event) override;

    /* A vertical slider over `minimum` ... `maximum` whose every move calls
     * `changed` with the new value. */
    QSlider *makeSlider(const QString &name, int minimum, int maximum, int value,
                        const std::function<void(int)> &changed);
    /* A vertical slider bound to `field` in the dialog's table: its range is
     * the field's, and every move calls `changed`. */
    QSlider *makeBoundSlider(const QString &name, int32_t &field,
                             const std::function<void(int)> &changed);

    KV_Params *params;
    /* Each control of the dialog and the field it shows. */
    MdlParamBindings bindings;
};

#endif
