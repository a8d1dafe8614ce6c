/*
 * paths.cpp - XDG folders, the drive list and folder creation on Linux.
 */
#include "engine/platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

static std::string kvEnv(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

static std::string kvHomeFolder() {
    std::string home = kvEnv("HOME");
    if (!home.empty()) return home;
    const passwd *entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "/";
}

std::string kvConfigFolder() {
    std::string folder = kvEnv("KORVEL_CONFIG_HOME");
    if (!folder.empty()) return folder;
    folder = kvEnv("XDG_CONFIG_HOME");
    if (!folder.empty()) return folder + "/korvel";
    return kvHomeFolder() + "/.config/korvel";
}

std::string kvSystemTempFolder() {
    std::string folder = kvEnv("KORVEL_TMPDIR");
    if (!folder.empty()) return folder;
    folder = kvEnv("XDG_CACHE_HOME");
    if (!folder.empty()) return folder;
    return kvHomeFolder() + "/.cache";
}

std::string kvUserTempFolder() {
    std::string folder = kvEnv("XDG_RUNTIME_DIR");
    return folder.empty() ? kvSystemTempFolder() : folder;
}

/* /proc/self/mounts escapes blanks and a few other characters as \ooo. */
static std::string kvUnescapeMountField(const std::string &field) {
    std::string out;
    for (size_t i = 0; i < field.size(); i++) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(field[i + 1]) &&
            std::isdigit(field[i + 2]) && std::isdigit(field[i + 3])) {
            out += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

/* The label of a block device, from the /dev/disk/by-label links. */
static std::string kvVolumeLabel(const std::string &device) {
    char resolvedDevice[PATH_MAX];
    if (!realpath(device.c_str(), resolvedDevice)) return "";
    DIR *dir = opendir("/dev/disk/by-label");
    if (!dir) return "";
    std::string label;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::string link = std::string("/dev/disk/by-label/") + entry->d_name;
        char target[PATH_MAX];
        if (realpath(link.c_str(), target) && std::string(target) == resolvedDevice) {
            label = kvUnescapeMountField(entry->d_name);
            break;
        }
    }
    closedir(dir);
    return label;
}

std::vector<KvDrive> kvListDrives() {
    std::vector<KvDrive> drives;
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    char letter = 'C';
    while (std::getline(mounts, line) && letter <= 'Z') {
        std::istringstream fields(line);
        std::string device, mountPoint;
        fields >> device >> mountPoint;
        if (device.rfind("/dev/", 0) != 0) continue;
        mountPoint = kvUnescapeMountField(mountPoint);
        bool seen = false;
        for (const KvDrive &drive : drives)
            seen = seen || drive.mountPoint == mountPoint;
        if (seen) continue;
        drives.push_back({letter++, mountPoint, kvVolumeLabel(device)});
    }
    return drives;
}

bool kvDriveRoot(int32_t letter, std::string *root) {
    int32_t wanted = std::toupper(letter & 0xFF);
    for (const KvDrive &drive : kvListDrives()) {
        if (drive.letter != wanted) continue;
        *root = drive.mountPoint;
        return true;
    }
    return false;
}

bool kvFolderExists(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool kvMakeFolder(const std::string &path) {
    if (mkdir(path.c_str(), 0700) == 0) return true;
    return kvFolderExists(path);
}

bool kvMakeFolderPath(const std::string &path, std::string *failedPrefix) {
    for (size_t i = 1; i <= path.size(); i++) {
        if (i < path.size() && path[i] != '/') continue;
        std::string prefix = path.substr(0, i);
        if (prefix.empty() || prefix.back() == '/' || kvFolderExists(prefix)) continue;
        if (!kvMakeFolder(prefix)) {
            if (failedPrefix) *failedPrefix = prefix;
            return false;
        }
    }
    return true;
}

std::string kvMakeUniqueFolder(const std::string &parent, const char *stem) {
    std::string pattern = parent + "/" + stem + "XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

bool kvRemoveFolder(const std::string &path) {
    return rmdir(path.c_str()) == 0 || !kvFolderExists(path);
}

bool kvFolderIsPrivate(const std::string &path) {
    struct stat link, info;
    if (lstat(path.c_str(), &link) != 0) return false;
    if (S_ISLNK(link.st_mode) && link.st_uid != geteuid()) return false;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

/* A folder in which no one else can remove or rename what we make there. */
static bool kvFolderIsSafeParent(const std::string &path) {
    struct stat link, info;
    if (lstat(path.c_str(), &link) != 0) return false;
    if (S_ISLNK(link.st_mode) && link.st_uid != geteuid() && link.st_uid != 0) return false;
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    if (info.st_uid != geteuid() && info.st_uid != 0) return false;
    return (info.st_mode & 022) == 0 || (info.st_mode & S_ISVTX) != 0;
}

bool kvMakeOwnFolder(const std::string &parent, const std::string &name, std::string *chosen) {
    if (!kvFolderIsSafeParent(parent)) return false;
    std::string own = parent + (parent.back() == '/' ? "" : "/") + name;
    mkdir(own.c_str(), 0700);
    /* lstat, so that a link planted under the name is never followed. A
     * folder of ours that others may enter (an older run's, or a umask's
     * doing) is closed rather than given up. */
    struct stat info;
    if (lstat(own.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
        return false;
    if ((info.st_mode & 077) != 0 && chmod(own.c_str(), 0700) != 0) return false;
    *chosen = own;
    return true;
}

bool kvMakePrivateFolder(const std::string &folder, std::string *chosen) {
    if (kvFolderIsPrivate(folder)) {
        *chosen = folder;
        return true;
    }
    return kvMakeOwnFolder(folder, "korvel-" + std::to_string(geteuid()), chosen);
}

std::string kvInstanceFolder() {
    std::string folder = kvEnv("XDG_RUNTIME_DIR");
    if (!folder.empty() && kvFolderIsPrivate(folder)) return folder;
    std::string chosen, temp = kvEnv("TMPDIR");
    if (kvMakePrivateFolder(temp.empty() ? "/tmp" : temp, &chosen)) return chosen;
    folder = kvSystemTempFolder();
    if (kvMakeFolderPath(folder, nullptr) && kvMakePrivateFolder(folder, &chosen)) return chosen;
    return "";
}

std::vector<std::string> kvListFiles(const std::string &folder) {
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent *entry = readdir(dir)) {
        struct stat info;
        std::string path = folder + "/" + entry->d_name;
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

std::vector<std::string> kvListFolders(const std::string &folder, const std::string &prefix) {
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent *entry = readdir(dir)) {
        struct stat info;
        std::string name = entry->d_name;
        if (name.rfind(prefix, 0) != 0 || name == "." || name == "..") continue;
        if (lstat((folder + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

int32_t kvLockFolder(const std::string &path) {
    int handle = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (handle < 0) return -1;
    struct stat info;
    if (fstat(handle, &info) != 0 || info.st_uid != geteuid() ||
        flock(handle, LOCK_EX | LOCK_NB) != 0) {
        close(handle);
        return -1;
    }
    return handle;
}

void kvUnlockFolder(int32_t handle) {
    if (handle >= 0) close(handle);
}

bool kvRemoveFolderFiles(const std::string &path) {
    for (const std::string &name : kvListFiles(path))
        unlink((path + "/" + name).c_str());
    return kvRemoveFolder(path);
}
