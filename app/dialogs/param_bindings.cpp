/*
 * param_bindings.cpp - reading and writing a dialog's controls by its table.
 */
#include "app/dialogs/param_bindings.h"
#include "app/dialogs/param_store.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QSignalBlocker>
#include <cassert>
#include <cstddef>

KV_ParamRange mdlParamRange(const KV_Params *params, const int32_t &field) {
    ptrdiff_t offset =
        reinterpret_cast<const char *>(&field) - reinterpret_cast<const char *>(params);
    assert(offset >= 0 && offset < static_cast<ptrdiff_t>(sizeof(KV_Params)));
    KV_ParamRange range{};
    [[maybe_unused]] int32_t found = kvGetParamRange(static_cast<int32_t>(offset), &range);
    assert(found == 0 && "the field has a range in the engine's table");
    return range;
}

void MdlParamBindings::bind(QAbstractSlider *slider, int32_t &field, int32_t scale) {
    KV_ParamRange range = mdlParamRange(params, field);
    assert(scale > 0);
    bind(slider, field, range.lowest / scale, range.highest / scale);
    bindings.back().scale = scale;
}

void MdlParamBindings::bind(QAbstractSlider *slider, int32_t &field, int32_t lowest,
                            int32_t highest) {
    QSignalBlocker quiet(slider);
    slider->setRange(lowest, highest);
    bindings.append({slider, nullptr, nullptr, &field, 1});
}

void MdlParamBindings::bind(QAbstractButton *box, int32_t &field) {
    bindings.append({nullptr, box, nullptr, &field, 1});
}

void MdlParamBindings::bind(QComboBox *list, int32_t &field) {
    bindings.append({nullptr, nullptr, list, &field, 1});
}

void MdlParamBindings::read() const {
    for (const Binding &binding : bindings) {
        int32_t value = *binding.field;
        if (binding.slider) {
            QSignalBlocker quiet(binding.slider);
            binding.slider->setValue(value / binding.scale);
        } else if (binding.box) {
            QSignalBlocker quiet(binding.box);
            binding.box->setChecked(value != 0);
        } else {
            QSignalBlocker quiet(binding.list);
            binding.list->setCurrentIndex(value >= 0 && value < binding.list->count() ? value : 0);
        }
    }
}

void MdlParamBindings::write() const {
    for (const Binding &binding : bindings) {
        int32_t value = binding.slider ? binding.slider->value() * binding.scale
                        : binding.box  ? (binding.box->isChecked() ? 1 : 0)
                                       : binding.list->currentIndex();
        mdlStoreParam(*binding.field, value);
    }
}
