/*
 * history.h - the edit protocol and the undo history.
 *
 * Every change of samples opens a new state with kvBeginEdit (which cuts the
 * edited range out of the new state's tables at once), queues the new samples,
 * and finishes with kvFinishInsert, kvRebuildIndex and kvSaveState, or
 * withdraws with kvCancelEdit. Undo, redo and history jumps only switch the
 * current state, reloading it from its state file unless it is long and its
 * tables are still in memory.
 */
#ifndef KV_HISTORY_HISTORY_H
#define KV_HISTORY_HISTORY_H

#include <cstdint>
#include <functional>
#include <string>

struct KV_Block;
struct KV_State;

/* Checks (and may renumber) one descriptor read from a state file: false
 * when it cannot be used. */
using KV_BlockCheck = std::function<bool(KV_Block *)>;

/* Opens a new state labelled `label` and cuts the selection of the edited
 * channels out of it. */
void kvBeginEdit(int32_t doc, const char *label);

/* Withdraws the state kvBeginEdit opened; returns -1. */
int32_t kvCancelEdit(int32_t doc);

/* Writes the current state's file: 0, or -1 after an error message when the
 * file cannot be written (the documents stay usable). */
int32_t kvSaveState(int32_t doc);

/* Makes state n current, reloading it from its file unless it is long and
 * its tables are in memory with its file landed whole or on its way: 0, or
 * -1 after the message when the file is missing or damaged. */
int32_t kvRestoreState(int32_t doc, int32_t n);

/* Reads a state file of another session into `state` (overwritten; it
 * holds no data files), every descriptor passed through `check`: false,
 * with nothing allocated, when the file is missing or damaged. */
bool kvReadForeignState(const std::string &path, KV_State *state, const KV_BlockCheck &check);

/* Drops every state after the current level (their state files stay: an
 * edit under way may bring those levels back). */
void kvTruncateHistory(int32_t doc);

/* Removes every state file of the document and gives up its states' tables
 * and data files, leaving one empty state 0 (closing, or a new sound). */
void kvDiscardHistory(int32_t doc);

/* Ends an edit whose samples were queued: splices them, rebuilds the index,
 * stores the state, seals the data file when asked, redraws. Withdraws the
 * edit instead (returning -1) when a data-file write failed on the way. */
int32_t kvCompleteEdit(int32_t doc, bool seal);

/* ---- Recovery (recovery.cpp) ---- */

/* Session folders inside the working folder are named this, plus six
 * letters or digits. */
#define KV_SESSION_PREFIX "SESSION-"

/* Locks the session folders in `root` (other than `own`) whose run is gone,
 * lists their documents with unsaved changes for kvListRecoverable and
 * deletes the sessions that hold none. */
void kvFindRecoverable(const std::string &root, const std::string &own);
/* Lets go of the dead sessions still offered, leaving them for the next
 * start (a run that asked nobody), and empties the list (clean-up). */
void kvForgetRecoverable();

#endif
