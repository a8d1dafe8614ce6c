/*
 * param_bindings.h - one table per dialog that ties each control to its
 * KV_Params field: the control's range, its reading from the record and its
 * writing back all come from that one entry.
 *
 * A slider's range is the field's range as the engine keeps it (the same
 * one a restored record is held to), divided by the entry's scale, so a
 * range is written down once, in the engine. Writing goes through
 * mdlStoreParam, one atomic store per field, for the preview thread.
 */
#ifndef KV_APP_PARAM_BINDINGS_H
#define KV_APP_PARAM_BINDINGS_H

#include "korvel.h"

#include <QList>

class QAbstractButton;
class QAbstractSlider;
class QComboBox;

/* The engine's range of `field`, which lies inside `params`. A field the
 * engine keeps no plain range for is a program fault. */
KV_ParamRange mdlParamRange(const KV_Params *params, const int32_t &field);

class MdlParamBindings {
  public:
    explicit MdlParamBindings(KV_Params *params) : params(params) {}

    /* `slider` shows field / scale over the engine's range of the field. */
    void bind(QAbstractSlider *slider, int32_t &field, int32_t scale = 1);
    /* The same with the dialog's own range, for a field the engine holds
     * by a rule of its own rather than a range. */
    void bind(QAbstractSlider *slider, int32_t &field, int32_t lowest, int32_t highest);
    /* A ticked box is 1, a clear one 0. */
    void bind(QAbstractButton *box, int32_t &field);
    /* The list's index is the field. */
    void bind(QComboBox *list, int32_t &field);

    /* Sets every control from its field without emitting change signals. */
    void read() const;
    /* Stores every control's value into its field. */
    void write() const;

  private:
    struct Binding {
        QAbstractSlider *slider;
        QAbstractButton *box;
        QComboBox *list;
        int32_t *field;
        int32_t scale;
    };
    KV_Params *params;
    QList<Binding> bindings;
};

#endif
