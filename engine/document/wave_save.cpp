/*
 * wave_save.cpp - saving a document through a temporary file and a backup.
 *
 * The new file is written whole beside the target under a hidden name of
 * its own, ".<name>.kv-XXXXXX", made exclusively (never through a name or a
 * link that was there), flushed, and only then renamed over the target, with
 * ".<name>.bak-XXXXXX" (the same letters) naming the old file meanwhile. So
 * no file of the user's is deleted or written through. A failure deletes the
 * temporary file and leaves the target as it was; a crash at any moment
 * leaves the old file or the complete new one at the target path. The save
 * holds a lock on its temporary file, which the kernel drops if the process
 * dies: the next save beside that target removes what a dead save left and
 * leaves a running one alone. A target that is a symbolic link is saved
 * where the link points, and the link stays.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/document/wave.h"
#include "engine/platform/fileio.h"
#include "engine/platform/paths.h"

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

/* How much of a file being saved is written before it is handed on to the
 * disk: big enough for few calls, small enough that the disk starts early. */
enum : int64_t { KV_WRITEBACK_BYTES = 8 << 20 };

static const char *kvTempFileMessage =
    "Can't create temporary file.\n\nMake sure the directory is not read-only and try again, "
    "or choose a different location to save your file.";

static void kvPut16(uint8_t *at, int32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

static void kvPut32(uint8_t *at, uint32_t value) {
    for (int i = 0; i < 4; i++)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

/* trunc(value) limited to [low, high]; NaN becomes 0. */
static int32_t kvClampTrunc(double value, int32_t low, int32_t high) {
    if (std::isnan(value)) return 0;
    if (value <= low) return low;
    if (value >= high) return high;
    return static_cast<int32_t>(value);
}

static double kvClampUnit(float x) {
    if (std::isnan(x)) return 0.0;
    return x < -1.0f ? -1.0 : (x > 1.0f ? 1.0 : static_cast<double>(x));
}

/* Each format has its own straight loop over the frames, so conversion
 * stays out of a per-sample branch. 8-bit samples use offset 128, so that
 * silence is 128 and an 8-bit file saved unchanged keeps every byte. */
template <typename Store>
static void kvInterleave(const float *left, const float *right, int32_t sampleBytes,
                         int32_t channels, int32_t frames, uint8_t *bytes, Store store) {
    int32_t frameBytes = sampleBytes * channels;
    for (int32_t i = 0; i < frames; i++)
        store(left[i], bytes + i * frameBytes);
    if (channels == 2)
        for (int32_t i = 0; i < frames; i++)
            store(right[i], bytes + i * frameBytes + sampleBytes);
}

/* 16 bits is what nearly every save writes, so it has a vector path, eight
 * frames at a time; it returns how many frames it did, the rest go through
 * the plain loop. x * 32768 is exact in single precision, NaN is zeroed
 * first, and clamping before truncating gives the same integers as
 * truncating and then clamping. */
static int32_t kvSixteenBitsVector(const float *left, const float *right, int32_t channels,
                                   int32_t frames, uint8_t *bytes) {
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(32768.0f), low = _mm_set1_ps(-32768.0f),
                 high = _mm_set1_ps(32767.0f);
    auto convert = [&](const float *from) {
        __m128 x = _mm_mul_ps(_mm_loadu_ps(from), scale);
        x = _mm_and_ps(x, _mm_cmpord_ps(x, x));
        return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(x, low), high));
    };
    auto *out = reinterpret_cast<__m128i *>(bytes);
    int32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        __m128i l = _mm_packs_epi32(convert(left + i), convert(left + i + 4));
        if (channels == 1) {
            _mm_storeu_si128(out++, l);
            continue;
        }
        __m128i r = _mm_packs_epi32(convert(right + i), convert(right + i + 4));
        _mm_storeu_si128(out++, _mm_unpacklo_epi16(l, r));
        _mm_storeu_si128(out++, _mm_unpackhi_epi16(l, r));
    }
    return i;
#else
    (void)left, (void)right, (void)channels, (void)frames, (void)bytes;
    return 0;
#endif
}

void kvFloatToWave(const float *left, const float *right, int32_t bits, int32_t formatTag,
                   int32_t channels, int32_t frames, uint8_t *bytes) {
    int32_t size = bits / 8;
    if (bits == 16 && channels <= 2) {
        int32_t done = kvSixteenBitsVector(left, right, channels, frames, bytes);
        left += done;
        right = right ? right + done : right;
        bytes += static_cast<int64_t>(done) * size * channels;
        frames -= done;
    }
    switch (bits) {
    case 8:
        kvInterleave(left, right, size, channels, frames, bytes, [](float x, uint8_t *at) {
            at[0] = static_cast<uint8_t>(kvClampTrunc(x * 128.0 + 128.0, 0, 255));
        });
        break;
    case 16:
        kvInterleave(left, right, size, channels, frames, bytes, [](float x, uint8_t *at) {
            kvPut16(at, kvClampTrunc(x * 32768.0, -32768, 32767));
        });
        break;
    case 24:
        kvInterleave(left, right, size, channels, frames, bytes, [](float x, uint8_t *at) {
            uint32_t value = static_cast<uint32_t>(kvClampTrunc(x * 8388608.0, -8388608, 8388607));
            for (int i = 0; i < 3; i++)
                at[i] = static_cast<uint8_t>(value >> (8 * i));
        });
        break;
    case 32:
        if (formatTag == 1) {
            kvInterleave(left, right, size, channels, frames, bytes, [](float x, uint8_t *at) {
                int32_t value = kvClampTrunc(x * 8388608.0, -8388608, 8388607);
                kvPut32(at, static_cast<uint32_t>(value) << 8);
            });
        } else {
            kvInterleave(left, right, size, channels, frames, bytes, [](float x, uint8_t *at) {
                float value = static_cast<float>(kvClampUnit(x));
                std::memcpy(at, &value, 4);
            });
        }
        break;
    default:
        kvInterleave(left, right, size, channels, frames, bytes, [](float x, uint8_t *at) {
            double value = kvClampUnit(x);
            std::memcpy(at, &value, 8);
        });
    }
}

void kvMakeWaveHeader(int32_t formatTag, int32_t channels, int32_t sampleRate, int32_t bits,
                      int32_t frames, uint8_t header[44]) {
    uint32_t dataSize = static_cast<uint32_t>(bits / 8 * channels) * static_cast<uint32_t>(frames);
    std::memcpy(header, "RIFF", 4);
    kvPut32(header + 4, dataSize + 36);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    kvPut32(header + 16, 16);
    kvPut16(header + 20, formatTag);
    kvPut16(header + 22, channels);
    kvPut32(header + 24, static_cast<uint32_t>(sampleRate));
    kvPut32(header + 28, static_cast<uint32_t>(channels) * static_cast<uint32_t>(sampleRate) *
                             static_cast<uint32_t>(bits / 8));
    kvPut16(header + 32, bits * channels / 8);
    kvPut16(header + 34, bits);
    std::memcpy(header + 36, "data", 4);
    kvPut32(header + 40, dataSize);
}

static void kvPut64(uint8_t *at, uint64_t value) {
    kvPut32(at, static_cast<uint32_t>(value));
    kvPut32(at + 4, static_cast<uint32_t>(value >> 32));
}

int32_t kvMakeWaveHeaderFor(int32_t formatTag, int32_t channels, int32_t sampleRate, int32_t bits,
                            int32_t frames, uint8_t header[KV_WIDE_HEADER_BYTES]) {
    uint64_t dataSize = static_cast<uint64_t>(bits / 8 * channels) * static_cast<uint64_t>(frames);
    if (dataSize + 36 <= UINT32_MAX) {
        kvMakeWaveHeader(formatTag, channels, sampleRate, bits, frames, header);
        return 44;
    }
    /* The canonical header's fmt and data chunks behind an RF64 start and
     * the ds64 chunk holding the sizes; the 32-bit sizes say "look there". */
    uint8_t plain[44];
    kvMakeWaveHeader(formatTag, channels, sampleRate, bits, frames, plain);
    std::memcpy(header, "RF64", 4);
    kvPut32(header + 4, UINT32_MAX);
    std::memcpy(header + 8, "WAVEds64", 8);
    kvPut32(header + 16, 28);
    kvPut64(header + 20, dataSize + KV_WIDE_HEADER_BYTES - 8);
    kvPut64(header + 28, dataSize);
    kvPut64(header + 36, static_cast<uint64_t>(frames));
    kvPut32(header + 44, 0);
    std::memcpy(header + 48, plain + 12, 32);
    kvPut32(header + 76, UINT32_MAX);
    return KV_WIDE_HEADER_BYTES;
}

int32_t kvWriteWaveBlock(int32_t doc, int32_t file, const float *left, const float *right,
                         int32_t frames) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || frames <= 0 || frames > KV_BLOCK_FRAMES) return 0;
    int32_t channels = document->current->channels;
    int32_t bits = document->bitsPerSample;
    kvFloatToWave(left, right, bits, document->formatTag, channels, frames, kvWaveScratch);
    int64_t bytes = static_cast<int64_t>(frames) * bits / 8 * channels;
    return kvFileWrite(file, kvWaveScratch, bytes) ? frames : 0;
}

/* Writes the whole current state as WAVE into `file`: 0, 1 when cancelled,
 * -1 when a write failed. */
static int32_t kvWriteWaveFile(int32_t doc, int32_t file) {
    KV_State *state = kvGetDocument(doc)->current;
    static float left[KV_BLOCK_FRAMES], right[KV_BLOCK_FRAMES];
    uint8_t header[KV_WIDE_HEADER_BYTES];
    KV_Document *document = kvGetDocument(doc);
    int32_t headerBytes =
        kvMakeWaveHeaderFor(document->formatTag, state->channels, state->sampleRate,
                            document->bitsPerSample, state->length, header);
    if (!kvFileWrite(file, header, headerBytes)) return -1;
    int64_t readFailures = kvDataReadFailures();
    int64_t frameBytes = int64_t{document->bitsPerSample} / 8 * state->channels;
    int64_t written = headerBytes, handedToDisk = 0;
    for (int32_t done = 0; done < state->length;) {
        int32_t count = std::min(KV_BLOCK_FRAMES, state->length - done);
        kvReadSamples(doc, 0, -1, left, done, count);
        if (state->channels == 2) kvReadSamples(doc, 1, -1, right, done, count);
        if (kvWriteWaveBlock(doc, file, left, right, count) != count) return -1;
        /* The file is flushed before it is put in place; handing each few
         * megabytes to the disk as they are written lets that flush find
         * little left to do, instead of the whole file at the end. */
        written += count * frameBytes;
        if (written - handedToDisk >= KV_WRITEBACK_BYTES) {
            kvFileStartWriteback(file, handedToDisk, written - handedToDisk);
            handedToDisk = written;
        }
        kvProgress(nullptr, static_cast<int32_t>(static_cast<int64_t>(done) * 100 / state->length));
        done += count;
        if (kvCancelRequested()) return 1;
    }
    /* Samples that could not be read would be saved as silence. */
    if (kvDataReadFailures() != readFailures) return -1;
    return kvFileSync(file) ? 0 : -1;
}

/* Writes the temporary file: 0, or -1 after the message (or a cancel). */
static int32_t kvWriteTemporary(int32_t doc, int32_t file) {
    kvEngine.params->cancellable = 1;
    kvProgress("Saving File", 0);
    int32_t written = kvWriteWaveFile(doc, file);
    kvProgress(nullptr, -1);
    if (written == 0) return 0;
    if (written > 0) return -1;
    return kvFileError("Error writing to file. Make sure your disk is not full, and try again.");
}

/* A target that exists but is no plain writable file cannot be replaced. */
static bool kvTargetReplaceable(const std::string &path) {
    return kvFileIsRegular(path) == 1 && access(path.c_str(), W_OK) == 0;
}

/* The names a save of `target` gives its files: `target`'s folder, a dot,
 * the file's name and a dot, to which "kv-" or "bak-" and six letters come. */
static std::string kvSaveNamePrefix(const std::string &target) {
    size_t slash = target.rfind('/');
    size_t name = slash == std::string::npos ? 0 : slash + 1;
    return target.substr(0, name) + "." + target.substr(name) + ".";
}

/* The letters after `prefix` + `kind` in `file`, when `file` is one of our
 * names; empty otherwise. */
static std::string kvSaveNameLetters(const std::string &file, const std::string &prefix,
                                     const char *kind) {
    std::string start = prefix + kind;
    if (file.size() != start.size() + 6 || file.compare(0, start.size(), start) != 0) return "";
    std::string letters = file.substr(start.size());
    for (char c : letters)
        if (!std::isalnum(static_cast<unsigned char>(c))) return "";
    return letters;
}

/* Removes what saves of `target` that died left beside it: temporary files
 * no one holds locked, and backups whose save is no longer running. */
static void kvClearDeadSaves(const std::string &target) {
    std::string prefix = kvSaveNamePrefix(target);
    size_t slash = prefix.rfind('/');
    std::string folder = slash == std::string::npos ? "." : prefix.substr(0, slash);
    std::string local = slash == std::string::npos ? prefix : prefix.substr(slash + 1);
    std::vector<std::string> names = kvListFiles(folder), running;
    for (const std::string &name : names) {
        std::string letters = kvSaveNameLetters(name, local, "kv-");
        if (letters.empty()) continue;
        std::string path = folder + "/" + name;
        int32_t file = kvFileOpen(path, KV_FILE_READ);
        if (file < 0) continue;
        if (kvFileTryLock(file))
            kvFileRemove(path);
        else
            running.push_back(letters);
        kvFileClose(file);
    }
    for (const std::string &name : names) {
        std::string letters = kvSaveNameLetters(name, local, "bak-");
        if (!letters.empty() && std::find(running.begin(), running.end(), letters) == running.end())
            kvFileRemove(folder + "/" + name);
    }
}

/* Keeps the old file under the backup name. A hard link leaves the target
 * in place, so the rename that follows swaps old for new in one step; only
 * where the file system has no links is the target moved aside instead. */
static bool kvMakeBackup(const std::string &path, const std::string &backup, bool *moved) {
    *moved = false;
    if (kvFileLink(path, backup)) return true;
    *moved = kvFileRenameNew(path, backup);
    return *moved;
}

/* Moves the finished (and flushed) temporary file over the target, keeping a
 * backup of the old file until the new one is in place, then flushes the
 * folder so that the new name is on disk before the backup goes. */
static int32_t kvPutInPlace(int32_t file, const std::string &temporary, const std::string &path) {
    std::string backup = kvSaveNamePrefix(path) + "bak-" + temporary.substr(temporary.size() - 6);
    /* The temporary file was made private; the saved file is to be as
     * readable as the one it replaces, or as any new file. */
    if (!kvFileTakeAccess(file, path)) {
        kvFileRemove(temporary);
        return kvError(0, "Error writing to file. Make sure your disk is not full, and try again.");
    }
    if (kvFileIsRegular(path) < 0) {
        if (kvFileRenameNew(temporary, path)) {
            kvFileSyncFolder(path);
            return 0;
        }
        kvFileRemove(temporary);
        return kvError(0, "An error occurred while saving the file. Make sure the directory is not "
                          "marked read-only and try again.");
    }
    bool moved = false;
    if (!kvTargetReplaceable(path) || !kvMakeBackup(path, backup, &moved)) {
        kvFileRemove(temporary);
        return kvError(0, "An error occurred while saving the file. Your original file has not "
                          "been affected.\n\nMake sure the file is not marked read-only and try "
                          "again.");
    }
    if (!kvFileRename(temporary, path)) {
        if (moved)
            kvFileRename(backup, path);
        else
            kvFileRemove(backup);
        kvFileRemove(temporary);
        return kvError(0,
                       "An error occurred while saving the file. Your original file has not been "
                       "affected.");
    }
    kvFileSyncFolder(path);
    kvFileRemove(backup);
    return 0;
}

/* Writes the document into a new temporary file beside `target` and puts
 * it in place: 0, or -1 after the message (or a cancel). */
static int32_t kvSaveOver(int32_t doc, const std::string &target, KvEncodeFn encode) {
    bool compressed = kvGetDocument(doc)->formatTag == 85;
    kvClearDeadSaves(target);
    std::string temporary;
    int32_t file = kvFileCreateUnique(kvSaveNamePrefix(target) + "kv-", &temporary);
    if (file < 0 && kvFileLimitHit()) return kvFileError(kvTempFileMessage);
    if (file < 0) return kvError(compressed ? 25 : 0, "%s", kvTempFileMessage);
    kvFileTryLock(file);
    int32_t result = encode ? encode(doc, file) : kvWriteTemporary(doc, file);
    if (result != 0)
        kvFileRemove(temporary);
    else
        result = kvPutInPlace(file, temporary, target);
    kvFileClose(file);
    return result;
}

int32_t kvSaveDocument(int32_t doc, const char *path, KvEncodeFn encode) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !path || !*path) return -1;
    if (std::strlen(path) >= sizeof document->path) return kvError(0, "%s", kvTempFileMessage);
    std::string target;
    if (!kvFileResolveLinks(path, &target)) return kvError(0, "%s", kvTempFileMessage);
    if (kvSaveOver(doc, target, encode) != 0) return -1;
    std::snprintf(document->path, sizeof document->path, "%s", path);
    document->savedLevel = document->level;
    kvWriteDocRecord(doc);
    document->saveAsFirst = 0;
    return 0;
}
