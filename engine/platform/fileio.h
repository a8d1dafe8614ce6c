/*
 * fileio.h - the one module through which the engine reads and writes files.
 *
 * Data files, state files, the clipboard file, sound files and the command
 * file all go through these calls, so that disk failures can be injected in
 * tests (fail the Nth read or write, or every one after it) and every path
 * handles short reads and writes the same way. Handles are plain descriptors.
 */
#ifndef KV_PLATFORM_FILEIO_H
#define KV_PLATFORM_FILEIO_H

#include <cerrno>
#include <cstdint>
#include <string>

enum : int32_t {
    KV_FILE_READ = 0,      /* existing file, read-only */
    KV_FILE_READWRITE = 1, /* existing file, read and write */
    KV_FILE_CREATE = 2,    /* created or truncated, read and write */
    /* Created, or truncated when it is a plain file of ours with one name;
     * anything else under the name (a link, someone else's file, a pipe) is
     * removed first and the file made anew, so no link is ever followed.
     * For files in our own folders only. */
    KV_FILE_CREATE_PRIVATE = 3,
};

/* errno after an open that found a folder, a pipe, a device or a socket. */
enum : int { KV_FILE_NOT_REGULAR = EMEDIUMTYPE };

/* Opens a file: a handle >= 0, or -1. Existing files are opened only when
 * they are plain files (KV_FILE_NOT_REGULAR otherwise), without waiting on
 * a pipe that no one writes to. The path form without a string serves
 * threads that must not allocate (the playback thread opening a data file). */
int32_t kvFileOpen(const std::string &path, int32_t mode);
int32_t kvFileOpen(const char *path, int32_t mode);
void kvFileClose(int32_t handle);

/* True when this thread's last failed open failed because the process or the
 * system has no descriptor left: the user is then told that, not that the
 * disk is full or the folder read-only. */
bool kvFileLimitHit();

/* Creates a new file named `prefix` plus six random letters or digits,
 * never through an existing name or link: a handle, or -1. *path gets the
 * name. Counted as a change. */
int32_t kvFileCreateUnique(const std::string &prefix, std::string *path);

/* Takes an exclusive lock on an open file without waiting: false when
 * another open of it holds one. The kernel drops the lock with the last
 * handle, so a crashed holder never leaves it behind. */
bool kvFileTryLock(int32_t handle);

/* Follows `path` while it is a symbolic link (relative links from their own
 * folder): the path of what it finally names, or `path` itself. False for a
 * loop or too long a chain. */
bool kvFileResolveLinks(const std::string &path, std::string *resolved);

/* Whether `path` names a plain file: 1, 0 for anything else that exists,
 * -1 when nothing does. Links are followed. */
int32_t kvFileIsRegular(const std::string &path);
/* What `path` is, as a word for messages: "folder", "pipe", "device",
 * "socket" or "file". */
const char *kvFileKind(const std::string &path);

/* Whole-count transfers: true only when every byte moved. */
bool kvFileRead(int32_t handle, void *buffer, int64_t bytes);
bool kvFileWrite(int32_t handle, const void *buffer, int64_t bytes);
bool kvFileReadAt(int32_t handle, void *buffer, int64_t bytes, int64_t offset);
bool kvFileWriteAt(int32_t handle, const void *buffer, int64_t bytes, int64_t offset);

/* Reads up to `bytes`; the count read (0 at the end), or -1 on error. */
int64_t kvFileReadSome(int32_t handle, void *buffer, int64_t bytes);

bool kvFileSeek(int32_t handle, int64_t offset);
int64_t kvFileTell(int32_t handle);
int64_t kvFileSize(int32_t handle); /* -1 on error */
bool kvFileSync(int32_t handle);
/* Starts writing `bytes` from `offset` to disk without waiting for it, so
 * that a later kvFileSync has less left to wait for. Only a hint: it changes
 * nothing a reader sees and cannot fail. */
void kvFileStartWriteback(int32_t handle, int64_t offset, int64_t bytes);
/* Cuts the file at `path` back to `bytes`: false on failure. */
bool kvFileTruncate(const char *path, int64_t bytes);

bool kvFileExists(const std::string &path);
int64_t kvFileSizeOf(const std::string &path); /* -1 when missing */
bool kvFileRemove(const std::string &path);
bool kvFileRename(const std::string &from, const std::string &to);
/* Renames only when nothing is named `to` yet. */
bool kvFileRenameNew(const std::string &from, const std::string &to);
/* A second name for an existing file (a hard link): false where the file
 * system has none, or when `to` exists. */
bool kvFileLink(const std::string &from, const std::string &to);
/* Copies a plain file to a new private file `to` (KV_FILE_CREATE_PRIVATE):
 * false when any of it could not be copied. */
bool kvFileCopy(const std::string &from, const std::string &to);
/* Flushes the folder holding `path`, so that a rename or a new name in it
 * survives a crash. */
bool kvFileSyncFolder(const std::string &path);
/* Gives the open file `handle`, written to take the place of `like`, the
 * access of that file: its permission bits and its group (where we may not
 * give that group, the file keeps ours, allowed what others are); when
 * `like` does not exist, what a newly created file gets (0666 less the
 * umask). Then flushes it, so that the access is on disk before a rename
 * shows the file. False when that failed; counted as a write. */
bool kvFileTakeAccess(int32_t handle, const std::string &like);

/* Raises the soft limit on open files to the hard one. The engine keeps few
 * descriptors of its own; the headroom is for the toolkit, the sound system
 * and the codecs, which open files the engine cannot bound. */
void kvRaiseOpenFileLimit();

/* Descriptors this process has open, all kinds (-1 when that cannot be
 * counted): for the benchmarks and the tests of the bound. */
int32_t kvOpenDescriptorCount();

/* Test hook: from the Nth operation of that kind on (1-based) fail `count`
 * operations (count < 0: all of them). kind 0 = reads, 1 = writes. A call
 * with n = 0 clears the fault. */
enum : int32_t { KV_FAULT_READ = 0, KV_FAULT_WRITE = 1 };
void kvTestFileFault(int32_t kind, int64_t n, int64_t count);
/* Test hook: operations of that kind since the last kvTestFileFault call for
 * it, failed ones included. */
int64_t kvTestFileOperations(int32_t kind);
/* Test hook: the process kills itself (SIGKILL) just before its Nth
 * operation from now on that changes or flushes a file (creating, writing,
 * syncing, setting access, linking, renaming or removing); n = 0: never. So
 * a test can end a save between any two of its steps, whatever the load. */
void kvTestFileKillAt(int64_t n);
/* Test hook: such operations since the last kvTestFileKillAt call. */
int64_t kvTestFileChanges();

#endif
