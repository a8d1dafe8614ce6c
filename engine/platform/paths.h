/*
 * paths.h - where Korvel keeps things on this system, and folder handling.
 *
 * Settings go to the user's config folder, temporary storage to a private
 * on-disk cache folder (not /tmp, which is often memory-backed and would defeat
 * editing files larger than memory), and "drives" are the mounted local disk
 * file systems lettered C, D, E... in mount order.
 */
#ifndef KV_PLATFORM_PATHS_H
#define KV_PLATFORM_PATHS_H

#include <cstdint>
#include <string>
#include <vector>

/* $KORVEL_CONFIG_HOME, else $XDG_CONFIG_HOME/korvel, else ~/.config/korvel. */
std::string kvConfigFolder();

/* $KORVEL_TMPDIR, else $XDG_CACHE_HOME, else ~/.cache. */
std::string kvSystemTempFolder();

/* $XDG_RUNTIME_DIR, else the system temporary folder. */
std::string kvUserTempFolder();

struct KvDrive {
    char letter;
    std::string mountPoint;
    std::string label;
};

/* The mounted block-device file systems, lettered from C in mount order. */
std::vector<KvDrive> kvListDrives();

/* The mount point of drive `letter` (either case); false when there is none. */
bool kvDriveRoot(int32_t letter, std::string *root);

/* Creates one folder with mode 0700; true when it exists afterwards. */
bool kvMakeFolder(const std::string &path);
bool kvFolderExists(const std::string &path);

/* Creates the folder and every missing folder above it. On failure returns
 * false and, when failedPrefix is given, stores the prefix that could not be made. */
bool kvMakeFolderPath(const std::string &path, std::string *failedPrefix);

/* Creates a new folder "<parent>/<stem>XXXXXX" (mode 0700) with a name no
 * other process has: its path, or "" when it cannot be made. */
std::string kvMakeUniqueFolder(const std::string &parent, const char *stem);

/* Removes an empty folder: false when it is still there. */
bool kvRemoveFolder(const std::string &path);

/* True when `path` is a folder only we can use: ours, with no access for
 * group or others, and not reached through someone else's link. */
bool kvFolderIsPrivate(const std::string &path);

/* Makes (or finds) the folder `name` inside `parent` as ours with mode 0700.
 * Only where no one else can remove or replace it: `parent` must be ours or
 * the system's, and sticky if others may write to it. A name that holds
 * anything not ours is left alone. False when there is no such folder;
 * *chosen is then untouched. */
bool kvMakeOwnFolder(const std::string &parent, const std::string &name, std::string *chosen);

/* `folder` itself when it is private, otherwise our own folder
 * "korvel-<uid>" inside it (kvMakeOwnFolder). */
bool kvMakePrivateFolder(const std::string &folder, std::string *chosen);

/* Where the single-instance lock and socket live: $XDG_RUNTIME_DIR when it
 * is private, else the private folder of $TMPDIR (or /tmp), else that of
 * the system temporary folder. Empty when none can be had. */
std::string kvInstanceFolder();

/* Names of the plain files directly inside a folder. */
std::vector<std::string> kvListFiles(const std::string &folder);

/* Names of the folders (not links to them) directly inside `folder` whose
 * names begin with `prefix`. */
std::vector<std::string> kvListFolders(const std::string &folder, const std::string &prefix);

/* Takes an exclusive lock on a folder without waiting: a handle that holds
 * it until kvUnlockFolder, or -1 when another handle holds it or the folder
 * is not ours. The kernel drops the lock with the holder, so a folder whose
 * owner died is free again at once. */
int32_t kvLockFolder(const std::string &path);
void kvUnlockFolder(int32_t handle);

/* Removes the plain files directly inside a folder, then the folder itself:
 * false when something is left. */
bool kvRemoveFolderFiles(const std::string &path);

#endif
