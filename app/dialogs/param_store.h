/*
 * param_store.h - how the dialogs write KV_Params.
 *
 * The live preview copies the record once per buffer on its own thread, one
 * atomic load per field (every field is an aligned int32), so every field a
 * dialog writes is written with one atomic store: the preview takes the old
 * value or the new one, whole, and never a store the compiler split or
 * merged. The interface thread is the only writer, so its own reads of the
 * record stay plain.
 */
#ifndef KV_APP_PARAM_STORE_H
#define KV_APP_PARAM_STORE_H

#include <atomic>
#include <cstdint>

/* Stores one field of KV_Params (or of a slice of one). */
inline void mdlStoreParam(int32_t &field, int32_t value) {
    std::atomic_ref<int32_t>(field).store(value, std::memory_order_relaxed);
}

/* Stores count fields from values, field by field. */
inline void mdlStoreParams(int32_t *fields, const int32_t *values, int32_t count) {
    for (int32_t i = 0; i < count; i++)
        mdlStoreParam(fields[i], values[i]);
}

#endif
