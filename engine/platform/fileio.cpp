/*
 * fileio.cpp - POSIX file access with retry on interruption and fault injection.
 *
 * Positioned calls (pread/pwrite) never move a shared file offset, so the
 * playback thread and the user-interface thread can use the same module safely.
 */
#include "engine/platform/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

struct KvFault {
    std::atomic<int64_t> seen{0};
    std::atomic<int64_t> first{0};
    std::atomic<int64_t> count{0};
};
static KvFault faults[2];

void kvTestFileFault(int32_t kind, int64_t n, int64_t count) {
    KvFault &fault = faults[kind == KV_FAULT_WRITE ? 1 : 0];
    fault.seen = 0;
    fault.first = n;
    fault.count = count;
}

int64_t kvTestFileOperations(int32_t kind) {
    return faults[kind == KV_FAULT_WRITE ? 1 : 0].seen.load();
}

static std::atomic<int64_t> changes{0};
static std::atomic<int64_t> killAt{0};

void kvTestFileKillAt(int64_t n) {
    changes = 0;
    killAt = n;
}

int64_t kvTestFileChanges() {
    return changes.load();
}

/* Counts an operation that changes or flushes a file, and ends the process
 * before it when a test asked to stop there. */
static void kvChangeStep() {
    if (++changes == killAt.load()) raise(SIGKILL);
}

/* True when the current operation of this kind is to fail. Every operation
 * is counted, so that tests can learn how many an action makes. */
static bool kvFaultHits(int32_t kind) {
    KvFault &fault = faults[kind];
    int64_t index = ++fault.seen;
    int64_t first = fault.first.load();
    if (first <= 0) return false;
    int64_t count = fault.count.load();
    if (index < first) return false;
    if (count >= 0 && index >= first + count) return false;
    errno = EIO;
    return true;
}

static thread_local int lastOpenError = 0;

bool kvFileLimitHit() {
    return lastOpenError == EMFILE || lastOpenError == ENFILE;
}

static int kvOpenRetrying(const char *path, int flags) {
    int handle;
    do {
        handle = open(path, flags | O_CLOEXEC | O_NOCTTY, 0600);
    } while (handle < 0 && errno == EINTR);
    lastOpenError = handle < 0 ? errno : 0;
    return handle;
}

/* Refuses, before and after the open, whatever is not a plain file: opening
 * a device can act on it, and a pipe with no writer would block the open
 * itself, so the open does not wait; reads wait again afterwards. */
static int kvOpenExisting(const char *path, int flags) {
    struct stat info;
    if (stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
        errno = KV_FILE_NOT_REGULAR;
        return -1;
    }
    int handle = kvOpenRetrying(path, flags | O_NONBLOCK);
    if (handle < 0) {
        if (errno == EISDIR) errno = KV_FILE_NOT_REGULAR;
        return -1;
    }
    if (fstat(handle, &info) != 0 || !S_ISREG(info.st_mode) || fcntl(handle, F_SETFL, 0) != 0) {
        close(handle);
        errno = KV_FILE_NOT_REGULAR;
        return -1;
    }
    return handle;
}

/* See KV_FILE_CREATE_PRIVATE. A plain file that is ours alone is kept and
 * emptied rather than replaced, as files whose numbers come back are. */
static int kvCreatePrivate(const char *path) {
    for (int attempt = 0; attempt < 2; attempt++) {
        int handle = kvOpenRetrying(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW);
        if (handle >= 0 || errno != EEXIST) return handle;
        handle = kvOpenRetrying(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK);
        struct stat info;
        if (handle >= 0 && fstat(handle, &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == geteuid() && info.st_nlink == 1 && fcntl(handle, F_SETFL, 0) == 0 &&
            ftruncate(handle, 0) == 0)
            return handle;
        if (handle >= 0) close(handle);
        if (unlink(path) != 0 && errno != ENOENT) return -1;
    }
    errno = EEXIST;
    return -1;
}

int32_t kvFileOpen(const std::string &path, int32_t mode) {
    return kvFileOpen(path.c_str(), mode);
}

int32_t kvFileOpen(const char *path, int32_t mode) {
    switch (mode) {
    case KV_FILE_READWRITE:
        return kvOpenExisting(path, O_RDWR | O_NOFOLLOW);
    case KV_FILE_CREATE:
        kvChangeStep();
        return kvOpenRetrying(path, O_RDWR | O_CREAT | O_TRUNC);
    case KV_FILE_CREATE_PRIVATE:
        kvChangeStep();
        return kvCreatePrivate(path);
    default:
        return kvOpenExisting(path, O_RDONLY);
    }
}

int32_t kvFileCreateUnique(const std::string &prefix, std::string *path) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 random(std::random_device{}() ^ static_cast<uint64_t>(getpid()));
    kvChangeStep();
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = prefix;
        for (int i = 0; i < 6; i++)
            name += letters[random() % (sizeof letters - 1)];
        int handle = kvOpenRetrying(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW);
        if (handle >= 0) {
            *path = name;
            return handle;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

bool kvFileTryLock(int32_t handle) {
    int result;
    do {
        result = flock(handle, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool kvFileResolveLinks(const std::string &path, std::string *resolved) {
    std::string current = path;
    for (int hops = 0; hops < 40; hops++) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            *resolved = current;
            return true;
        }
        char target[PATH_MAX];
        ssize_t length = readlink(current.c_str(), target, sizeof target);
        if (length <= 0 || length >= static_cast<ssize_t>(sizeof target)) return false;
        std::string next(target, static_cast<size_t>(length));
        size_t slash = current.rfind('/');
        if (next[0] != '/' && slash != std::string::npos)
            next = current.substr(0, slash + 1) + next;
        current = next;
    }
    return false;
}

int32_t kvFileIsRegular(const std::string &path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return S_ISREG(info.st_mode) ? 1 : 0;
}

const char *kvFileKind(const std::string &path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return "file";
    if (S_ISDIR(info.st_mode)) return "folder";
    if (S_ISFIFO(info.st_mode)) return "pipe";
    if (S_ISSOCK(info.st_mode)) return "socket";
    return "device";
}

void kvFileClose(int32_t handle) {
    if (handle >= 0) close(handle);
}

int64_t kvFileReadSome(int32_t handle, void *buffer, int64_t bytes) {
    if (kvFaultHits(KV_FAULT_READ)) return -1;
    ssize_t got;
    do {
        got = read(handle, buffer, static_cast<size_t>(bytes));
    } while (got < 0 && errno == EINTR);
    return got;
}

bool kvFileRead(int32_t handle, void *buffer, int64_t bytes) {
    if (kvFaultHits(KV_FAULT_READ)) return false;
    char *at = static_cast<char *>(buffer);
    while (bytes > 0) {
        ssize_t got = read(handle, at, static_cast<size_t>(bytes));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        bytes -= got;
    }
    return true;
}

bool kvFileWrite(int32_t handle, const void *buffer, int64_t bytes) {
    kvChangeStep();
    if (kvFaultHits(KV_FAULT_WRITE)) return false;
    const char *at = static_cast<const char *>(buffer);
    while (bytes > 0) {
        ssize_t put = write(handle, at, static_cast<size_t>(bytes));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        at += put;
        bytes -= put;
    }
    return true;
}

bool kvFileReadAt(int32_t handle, void *buffer, int64_t bytes, int64_t offset) {
    if (kvFaultHits(KV_FAULT_READ)) return false;
    char *at = static_cast<char *>(buffer);
    while (bytes > 0) {
        ssize_t got = pread(handle, at, static_cast<size_t>(bytes), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        bytes -= got;
        offset += got;
    }
    return true;
}

bool kvFileWriteAt(int32_t handle, const void *buffer, int64_t bytes, int64_t offset) {
    kvChangeStep();
    if (kvFaultHits(KV_FAULT_WRITE)) return false;
    const char *at = static_cast<const char *>(buffer);
    while (bytes > 0) {
        ssize_t put = pwrite(handle, at, static_cast<size_t>(bytes), offset);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        at += put;
        bytes -= put;
        offset += put;
    }
    return true;
}

bool kvFileSeek(int32_t handle, int64_t offset) {
    return lseek(handle, offset, SEEK_SET) == offset;
}

int64_t kvFileTell(int32_t handle) {
    return lseek(handle, 0, SEEK_CUR);
}

int64_t kvFileSize(int32_t handle) {
    struct stat info;
    return fstat(handle, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

bool kvFileSync(int32_t handle) {
    kvChangeStep();
    if (kvFaultHits(KV_FAULT_WRITE)) return false;
    return fsync(handle) == 0;
}

void kvFileStartWriteback(int32_t handle, int64_t offset, int64_t bytes) {
    sync_file_range(handle, static_cast<off_t>(offset), static_cast<off_t>(bytes),
                    SYNC_FILE_RANGE_WRITE);
}

bool kvFileTruncate(const char *path, int64_t bytes) {
    kvChangeStep();
    int result;
    do {
        result = truncate(path, static_cast<off_t>(bytes));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool kvFileExists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

int64_t kvFileSizeOf(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

bool kvFileRemove(const std::string &path) {
    kvChangeStep();
    return unlink(path.c_str()) == 0;
}

bool kvFileRename(const std::string &from, const std::string &to) {
    kvChangeStep();
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool kvFileRenameNew(const std::string &from, const std::string &to) {
    kvChangeStep();
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    /* File systems without the flag: a name that appears between the look
     * and the rename is the one case left to chance. */
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat info;
    return lstat(to.c_str(), &info) != 0 && std::rename(from.c_str(), to.c_str()) == 0;
}

bool kvFileLink(const std::string &from, const std::string &to) {
    kvChangeStep();
    return link(from.c_str(), to.c_str()) == 0;
}

bool kvFileCopy(const std::string &from, const std::string &to) {
    int32_t source = kvFileOpen(from, KV_FILE_READ);
    if (source < 0) return false;
    int32_t target = kvFileOpen(to, KV_FILE_CREATE_PRIVATE);
    bool copied = target >= 0;
    std::string buffer(1 << 16, '\0');
    while (copied) {
        int64_t count = kvFileReadSome(source, buffer.data(), static_cast<int64_t>(buffer.size()));
        if (count <= 0) {
            copied = count == 0;
            break;
        }
        copied = kvFileWrite(target, buffer.data(), count);
    }
    kvFileClose(source);
    kvFileClose(target);
    return copied;
}

bool kvFileSyncFolder(const std::string &path) {
    kvChangeStep();
    size_t slash = path.rfind('/');
    /* "/name" lives in "/", a bare name in the current folder. */
    const char *folder = ".";
    std::string parent;
    if (slash != std::string::npos) {
        parent.assign(path.c_str(), slash == 0 ? 1 : slash);
        folder = parent.c_str();
    }
    int handle = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) return false;
    bool synced = fsync(handle) == 0;
    close(handle);
    return synced;
}

/* The process's umask, read from /proc where that leaves it alone: setting
 * it to learn it would change, meanwhile, what files other threads create. */
static mode_t kvUmask() {
    char text[1024];
    int handle = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    ssize_t got = handle >= 0 ? read(handle, text, sizeof text - 1) : -1;
    if (handle >= 0) close(handle);
    if (got > 0) {
        text[got] = '\0';
        if (const char *line = std::strstr(text, "\nUmask:"))
            return static_cast<mode_t>(std::strtoul(line + 7, nullptr, 8) & 0777);
    }
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

bool kvFileTakeAccess(int32_t handle, const std::string &like) {
    kvChangeStep();
    if (kvFaultHits(KV_FAULT_WRITE)) return false;
    struct stat old;
    mode_t mode = 0666 & ~kvUmask();
    if (stat(like.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
        /* The group first, as changing it may clear set-id bits the mode
         * puts back. A group we are not in cannot be given: the file keeps
         * ours, which gets no more than everyone else, so that no one reads
         * the new file who could not read the old one. */
        if (fchown(handle, static_cast<uid_t>(-1), old.st_gid) != 0)
            mode = (mode & ~070) | ((mode & 07) << 3);
    }
    return fchmod(handle, mode) == 0 && fsync(handle) == 0;
}

void kvRaiseOpenFileLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

int32_t kvOpenDescriptorCount() {
    DIR *folder = opendir("/proc/self/fd");
    if (!folder) return -1;
    int32_t count = 0;
    while (const dirent *entry = readdir(folder))
        if (entry->d_name[0] != '.') count++;
    closedir(folder);
    return count - 1; /* the folder's own descriptor */
}
