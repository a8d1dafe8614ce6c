/*
 * cmdfile.cpp - the command file through which a second copy of the program
 * hands its command line to the running copy.
 *
 * The file "<user temp folder>/<number>.cmd" holds the raw text, no terminator
 * and no line end. The writer replaces any earlier file of that number whole:
 * a stale, longer file written over only from its start would hand its tail
 * over inside the new command line. The reader takes at most 255 bytes,
 * which is what the program's buffer of 255 spaces and a NUL can carry, and
 * only from a plain file: a pipe under the name would hold the running
 * editor for good. The folder of the lock and socket that find the running
 * copy is chosen here too, as it belongs to the same hand-over.
 */
#include "engine/platform/fileio.h"
#include "engine/platform/paths.h"
#include "korvel.h"

#include <cstring>
#include <string>

enum : int32_t { KV_CMD_MAX = 255 };

static std::string kvCmdFilePath(int32_t number) {
    return kvUserTempFolder() + "/" + std::to_string(number) + ".cmd";
}

/* Reads up to `limit` bytes: the count read, or -1 when a read failed. */
static int64_t kvReadUpTo(int32_t handle, char *text, int64_t limit) {
    int64_t total = 0;
    while (total < limit) {
        int64_t got = kvFileReadSome(handle, text + total, limit - total);
        if (got < 0) return -1;
        if (got == 0) break;
        total += got;
    }
    return total;
}

extern "C" KV_API int32_t kvWriteCmdFile(int32_t number, const char *text) {
    if (text == nullptr) return -1;
    std::string path = kvCmdFilePath(number);
    int32_t handle = kvFileOpen(path, KV_FILE_CREATE_PRIVATE);
    if (handle < 0) return -1;
    bool written = kvFileWrite(handle, text, static_cast<int64_t>(std::strlen(text)));
    kvFileClose(handle);
    if (written) return 0;
    kvFileRemove(path);
    return -1;
}

extern "C" KV_API int32_t kvReadCmdFile(int32_t number, char *buffer) {
    if (buffer == nullptr) return -1;
    std::string path = kvCmdFilePath(number);
    int32_t handle = kvFileOpen(path, KV_FILE_READ);
    if (handle >= 0) {
        char text[KV_CMD_MAX];
        int64_t got = kvReadUpTo(handle, text, KV_CMD_MAX);
        kvFileClose(handle);
        kvFileRemove(path);
        if (got > 0) std::memcpy(buffer, text, static_cast<size_t>(got));
    }
    return static_cast<int32_t>(strnlen(buffer, KV_CMD_MAX));
}

extern "C" KV_API int32_t kvGetInstanceFolder(char *buffer, int32_t size) {
    std::string folder = kvInstanceFolder();
    if (!buffer || folder.empty() || static_cast<int64_t>(folder.size()) >= size) return -1;
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<int32_t>(folder.size());
}
