/*
 * repair_store.h - the program's copy of the loudness and noise parameters
 * (KV_RepairParams), which the engine reads in place once the frame hands it
 * over after starting the engine. The dialogs write it through
 * mdlStoreParam, as they write KV_Params, because a preview reads it too.
 */
#ifndef KV_APP_REPAIR_STORE_H
#define KV_APP_REPAIR_STORE_H

#include "korvel.h"

KV_RepairParams *mdlRepairParams();

#endif
