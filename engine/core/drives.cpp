/*
 * drives.cpp - kvGetDrive: the drives the options dialog offers for the
 * working folder.
 *
 * The dialog stores a drive letter and kvInit turns that letter back into a
 * mount point at the next start, so both must letter the drives the same way:
 * this export reads the one list of engine/platform/paths.cpp that kvInit
 * uses, rather than letting the program enumerate the mounts itself.
 */
#include "engine/platform/paths.h"
#include "korvel.h"

#include <algorithm>
#include <cstring>

/* Copies text into a buffer of size bytes, cut to fit and terminated. */
static void kvCopyCut(const std::string &text, char *buffer, int32_t size) {
    if (!buffer || size <= 0) return;
    size_t length = std::min<size_t>(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

extern "C" KV_API int32_t kvGetDrive(int32_t n, char *mountPoint, int32_t mountSize, char *label,
                                     int32_t labelSize) {
    std::vector<KvDrive> drives = kvListDrives();
    if (n < 0 || static_cast<size_t>(n) >= drives.size()) return -1;
    const KvDrive &drive = drives[static_cast<size_t>(n)];
    kvCopyCut(drive.mountPoint, mountPoint, mountSize);
    kvCopyCut(drive.label, label, labelSize);
    return static_cast<unsigned char>(drive.letter);
}
