/*
 * engine_state.cpp - the process-wide record of engine.h. Every module reads
 * it; only start-up and clean-up (engine/api) fill and empty it.
 */
#include "engine/core/engine.h"

KV_Engine kvEngine;

std::string kvWorkPath(const char *name) {
    return kvEngine.workFolder + "/" + name;
}
