/*
 * defaults.h - the program's built-in settings, written into the shared
 * records before kvInit replaces them with the user's stored copies.
 */
#ifndef KV_APP_DEFAULTS_H
#define KV_APP_DEFAULTS_H

#include "korvel.h"

void mdlDefaultOptions(KV_Options *options);
void mdlDefaultParams(KV_Params *params);

#endif
