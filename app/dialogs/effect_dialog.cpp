/*
 * effect_dialog.cpp - the common frame of the effect dialogs.
 */
#include "app/dialogs/effect_dialog.h"
#include "app/dialogs/accessible.h"

#include <QSlider>

EffectDialog::EffectDialog(QWidget *owner, KV_Params *params, const QString &name)
    : QDialog(owner), params(params), bindings(params) {
    setObjectName(name);
    preview = new ctlPreview(this, params);
    connect(preview, &ctlPreview::done, this,
            [this](bool confirmed) { QDialog::done(confirmed ? Accepted : Rejected); });
}

void EffectDialog::done(int result) {
    preview->StopPreview();
    QDialog::done(result);
}

void EffectDialog::showEvent(QShowEvent *event) {
    mdlNameControls(this);
    QDialog::showEvent(event);
}

QSlider *EffectDialog::makeSlider(const QString &name, int minimum, int maximum, int value,
                                  const std::function<void(int)> &changed) {
    auto *slider = new QSlider(Qt::Vertical, this);
    slider->setObjectName(name);
    slider->setRange(minimum, maximum);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setValue(value);
    connect(slider, &QSlider::valueChanged, this, changed);
    return slider;
}

QSlider *EffectDialog::makeBoundSlider(const QString &name, int32_t &field,
                                       const std::function<void(int)> &changed) {
    KV_ParamRange range = mdlParamRange(params, field);
    QSlider *slider = makeSlider(name, range.lowest, range.highest, range.lowest, changed);
    bindings.bind(slider, field);
    return slider;
}
