/*
 * repair_store.cpp - the one KV_RepairParams record of the program.
 */
#include "app/dialogs/repair_store.h"

KV_RepairParams *mdlRepairParams() {
    static KV_RepairParams record{};
    return &record;
}
