/*
 * session_end.h - ending with the desktop session or a termination signal.
 *
 * Logging out and shutting down end programs with the session manager's
 * request and then SIGTERM. Where there is a display to ask on, both get the
 * prompts closing the frame gives, so unsaved work is saved or let go as the
 * user says. Without one (offscreen, no display) nobody can answer: the
 * program ends at once and leaves its working files, which the next start
 * offers for recovery.
 */
#ifndef KV_APP_SESSION_END_H
#define KV_APP_SESSION_END_H

class frmMDI;

/* Installs the SIGTERM handling and the session manager's hooks for `frame`. */
void mdlWatchSessionEnd(frmMDI *frame);

/* True when windows can be shown to a user (not offscreen or minimal). */
bool mdlHasDisplay();

#endif
