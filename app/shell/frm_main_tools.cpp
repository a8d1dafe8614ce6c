/*
 * frm_main_tools.cpp - the document window's dynamics and tool commands:
 * compressor, distortion, tone generator and pitch/time, each through its
 * dialog and one engine edit.
 */
#include "app/shell/frm_main.h"

void frmMain::wireToolEffects() {}
