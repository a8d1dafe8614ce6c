/*
 * sound_files.cpp - libsndfile behind open, read, write and close calls.
 *
 * The library is opened with dlopen by its versioned soname and each
 * function resolved into a pointer of its declared type, so the build needs
 * only its header. Lossless kinds pass whole numbers both ways (32-bit,
 * left-justified), so 16- and 24-bit samples come back exactly and saving
 * truncates as every WAVE format does; the lossy kinds pass floats.
 */
#include "engine/platform/sound_files.h"

#include "engine/platform/fileio.h"

#include <dlfcn.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#define KV_SYMBOL(name) decltype(&::name) name = nullptr

struct KvSndfile {
    KV_SYMBOL(sf_open_virtual);
    KV_SYMBOL(sf_close);
    KV_SYMBOL(sf_readf_float);
    KV_SYMBOL(sf_readf_int);
    KV_SYMBOL(sf_writef_float);
    KV_SYMBOL(sf_writef_int);
    KV_SYMBOL(sf_command);
    KV_SYMBOL(sf_strerror);
    KV_SYMBOL(sf_set_string);
    KV_SYMBOL(sf_get_string);
    KV_SYMBOL(sf_version_string);
    KV_SYMBOL(sf_format_check);
};

static_assert(int{KV_TEXT_TITLE} == int{SF_STR_TITLE} &&
              int{KV_TEXT_ARTIST} == int{SF_STR_ARTIST} &&
              int{KV_TEXT_COMMENT} == int{SF_STR_COMMENT} &&
              int{KV_TEXT_DATE} == int{SF_STR_DATE} && int{KV_TEXT_ALBUM} == int{SF_STR_ALBUM} &&
              int{KV_TEXT_TRACK} == int{SF_STR_TRACKNUMBER} &&
              int{KV_TEXT_GENRE} == int{SF_STR_GENRE});

static KvSndfile sf;
static std::once_flag kvLoadOnce;
static bool kvLoaded = false;

template <typename Function> static bool kvResolve(void *library, const char *name, Function *at) {
    *at = reinterpret_cast<Function>(dlsym(library, name));
    return *at != nullptr;
}

#define KV_RESOLVE(name) ok = kvResolve(library, #name, &sf.name) && ok

static void kvLoadSndfile() {
    std::call_once(kvLoadOnce, [] {
        void *library = dlopen("libsndfile.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        bool ok = true;
        KV_RESOLVE(sf_open_virtual);
        KV_RESOLVE(sf_close);
        KV_RESOLVE(sf_readf_float);
        KV_RESOLVE(sf_readf_int);
        KV_RESOLVE(sf_writef_float);
        KV_RESOLVE(sf_writef_int);
        KV_RESOLVE(sf_command);
        KV_RESOLVE(sf_strerror);
        KV_RESOLVE(sf_set_string);
        KV_RESOLVE(sf_get_string);
        KV_RESOLVE(sf_version_string);
        KV_RESOLVE(sf_format_check);
        kvLoaded = ok;
        if (!ok) dlclose(library);
    });
}

bool kvSoundFilesInstalled() {
    const char *hidden = std::getenv("KORVEL_NO_CODECS");
    if (hidden && std::strcmp(hidden, "1") == 0) return false;
    kvLoadSndfile();
    return kvLoaded;
}

const char *kvSoundFilesLongName() {
    return kvSoundFilesInstalled() ? sf.sf_version_string() : "";
}

KvSoundKind kvSoundKindOf(const uint8_t *bytes, int32_t count) {
    if (count >= 4 && std::memcmp(bytes, "fLaC", 4) == 0) return KV_SOUND_FLAC;
    if (count >= 12 && std::memcmp(bytes, "FORM", 4) == 0 &&
        (std::memcmp(bytes + 8, "AIFF", 4) == 0 || std::memcmp(bytes + 8, "AIFC", 4) == 0))
        return KV_SOUND_AIFF;
    if (count < 36 || std::memcmp(bytes, "OggS", 4) != 0) return KV_SOUND_NONE;
    /* The first page holds one packet: the codec's identification header. */
    const uint8_t *packet = bytes + 27 + bytes[26];
    int32_t left = count - static_cast<int32_t>(packet - bytes);
    if (left >= 7 && std::memcmp(packet, "\x01vorbis", 7) == 0) return KV_SOUND_VORBIS;
    if (left >= 8 && std::memcmp(packet, "OpusHead", 8) == 0) return KV_SOUND_OPUS;
    return KV_SOUND_NONE;
}

/* ---- Our files as the library's virtual I/O ---- */

struct KvSoundFile {
    SNDFILE *file = nullptr;
    int32_t handle = -1;
    bool lossless = false;
    int32_t bits = 0;           /* of the samples written: 16 or 24 */
    std::vector<int32_t> whole; /* interleaved whole numbers of one call */
};

static sf_count_t kvVioLength(void *user) {
    return kvFileSize(static_cast<KvSoundFile *>(user)->handle);
}

static sf_count_t kvVioSeek(sf_count_t offset, int whence, void *user) {
    int32_t handle = static_cast<KvSoundFile *>(user)->handle;
    int64_t base = whence == SEEK_CUR   ? kvFileTell(handle)
                   : whence == SEEK_END ? kvFileSize(handle)
                                        : 0;
    if (!kvFileSeek(handle, base + offset)) return -1;
    return kvFileTell(handle);
}

static sf_count_t kvVioRead(void *buffer, sf_count_t count, void *user) {
    int32_t handle = static_cast<KvSoundFile *>(user)->handle;
    int64_t got = 0;
    while (got < count) {
        int64_t more = kvFileReadSome(handle, static_cast<uint8_t *>(buffer) + got, count - got);
        if (more <= 0) break;
        got += more;
    }
    return got;
}

static sf_count_t kvVioWrite(const void *buffer, sf_count_t count, void *user) {
    return kvFileWrite(static_cast<KvSoundFile *>(user)->handle, buffer, count) ? count : 0;
}

static sf_count_t kvVioTell(void *user) {
    return kvFileTell(static_cast<KvSoundFile *>(user)->handle);
}

static SF_VIRTUAL_IO kvVirtualIo = {kvVioLength, kvVioSeek, kvVioRead, kvVioWrite, kvVioTell};

/* ---- Reading ---- */

static int32_t kvBitsOf(int32_t format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
        return 24; /* saved back as the deepest kind offered */
    default:
        return 0;
    }
}

KvSoundFile *kvSoundOpenRead(int32_t handle, KvSoundInfo *info, std::string *why) {
    if (!kvSoundFilesInstalled()) {
        *why = "libsndfile is not installed";
        return nullptr;
    }
    auto *sound = new KvSoundFile;
    sound->handle = handle;
    kvFileSeek(handle, 0);
    SF_INFO details{};
    sound->file = sf.sf_open_virtual(&kvVirtualIo, SFM_READ, &details, sound);
    if (!sound->file) {
        *why = sf.sf_strerror(nullptr);
        delete sound;
        return nullptr;
    }
    info->frames = details.frames;
    info->channels = details.channels;
    info->rate = details.samplerate;
    info->bits = kvBitsOf(details.format);
    sound->lossless = info->bits != 0;
    return sound;
}

int64_t kvSoundReadFrames(KvSoundFile *sound, float *interleaved, int64_t frames) {
    if (!sound->lossless) return sf.sf_readf_float(sound->file, interleaved, frames);
    SF_INFO details{};
    sf.sf_command(sound->file, SFC_GET_CURRENT_SF_INFO, &details, sizeof details);
    sound->whole.resize(static_cast<size_t>(frames * details.channels));
    int64_t got = sf.sf_readf_int(sound->file, sound->whole.data(), frames);
    /* Left-justified: the top 24 bits are the sample, as 32-bit WAVE reads. */
    for (int64_t i = 0; i < got * details.channels; i++)
        interleaved[i] = static_cast<float>(sound->whole[i] >> 8) * (1.0f / 8388608.0f);
    return got;
}

/* ---- Writing ---- */

static int32_t kvFormatOf(const KvSoundEncoding &encoding) {
    int32_t depth = encoding.bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16;
    switch (encoding.kind) {
    case KV_SOUND_FLAC:
        return SF_FORMAT_FLAC | depth;
    case KV_SOUND_AIFF:
        return SF_FORMAT_AIFF | depth;
    case KV_SOUND_VORBIS:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case KV_SOUND_OPUS:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    default:
        return 0;
    }
}

bool kvSoundCanWrite(const KvSoundEncoding &encoding) {
    if (!kvSoundFilesInstalled()) return false;
    SF_INFO details{};
    details.channels = encoding.channels;
    details.samplerate = encoding.rate;
    details.format = kvFormatOf(encoding);
    if (encoding.kind == KV_SOUND_OPUS) {
        static const int32_t rates[] = {8000, 12000, 16000, 24000, 48000};
        if (std::find(std::begin(rates), std::end(rates), encoding.rate) == std::end(rates))
            return false;
    }
    return details.format != 0 && sf.sf_format_check(&details) != 0;
}

/* The encoder's setting as the library takes it: a level or quality 0..1. */
static void kvApplySetting(SNDFILE *file, const KvSoundEncoding &encoding) {
    double value;
    switch (encoding.kind) {
    case KV_SOUND_FLAC:
        value = std::clamp(encoding.setting, 0, 8) / 8.0;
        sf.sf_command(file, SFC_SET_COMPRESSION_LEVEL, &value, sizeof value);
        break;
    case KV_SOUND_VORBIS:
        value = std::clamp(encoding.setting, 0, 10) / 10.0;
        sf.sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &value, sizeof value);
        break;
    case KV_SOUND_OPUS: {
        int32_t mode = SF_BITRATE_MODE_VARIABLE;
        sf.sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
        /* The library spreads compression levels 1.0..0.0 over 6..256 kbit/s
         * per channel, lowest rate at 1.0. */
        double perChannel = static_cast<double>(encoding.setting) / encoding.channels;
        value = 1.0 - std::clamp((perChannel - 6.0) / 250.0, 0.0, 1.0);
        sf.sf_command(file, SFC_SET_COMPRESSION_LEVEL, &value, sizeof value);
        break;
    }
    default:
        break;
    }
}

KvSoundFile *kvSoundOpenWrite(int32_t handle, const KvSoundEncoding &encoding, std::string *why) {
    if (!kvSoundCanWrite(encoding)) {
        *why = "libsndfile cannot write this format";
        return nullptr;
    }
    auto *sound = new KvSoundFile;
    sound->handle = handle;
    sound->lossless = encoding.kind == KV_SOUND_FLAC || encoding.kind == KV_SOUND_AIFF;
    sound->bits = encoding.bits == 24 ? 24 : 16;
    SF_INFO details{};
    details.channels = encoding.channels;
    details.samplerate = encoding.rate;
    details.format = kvFormatOf(encoding);
    sound->file = sf.sf_open_virtual(&kvVirtualIo, SFM_WRITE, &details, sound);
    if (!sound->file) {
        *why = sf.sf_strerror(nullptr);
        delete sound;
        return nullptr;
    }
    kvApplySetting(sound->file, encoding);
    return sound;
}

/* trunc(x x 2^(bits-1)) within the depth's range, left-justified; NaN is
 * 0. Single precision is exact here: the scale is a power of two and both
 * limits are whole numbers below 2^24, so the loop runs in vectors. */
static void kvToWhole(const float *samples, int64_t count, int32_t bits, int32_t *whole) {
    const float top = std::ldexp(1.0f, bits - 1), highest = top - 1.0f;
    const int32_t shift = 32 - bits;
    for (int64_t i = 0; i < count; i++) {
        float x = samples[i];
        float scaled = x == x ? std::min(std::max(x * top, -top), highest) : 0.0f;
        whole[i] =
            static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(scaled)) << shift);
    }
}

bool kvSoundWriteFrames(KvSoundFile *sound, const float *interleaved, int64_t frames) {
    SF_INFO details{};
    sf.sf_command(sound->file, SFC_GET_CURRENT_SF_INFO, &details, sizeof details);
    int64_t count = frames * details.channels;
    if (!sound->lossless) {
        std::vector<float> clamped(interleaved, interleaved + count);
        for (float &x : clamped)
            x = std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
        return sf.sf_writef_float(sound->file, clamped.data(), frames) == frames;
    }
    sound->whole.resize(static_cast<size_t>(count));
    kvToWhole(interleaved, count, sound->bits, sound->whole.data());
    return sf.sf_writef_int(sound->file, sound->whole.data(), frames) == frames;
}

void kvSoundSetText(KvSoundFile *sound, int32_t field, const char *text) {
    if (text && *text) sf.sf_set_string(sound->file, field, text);
}

std::string kvSoundGetText(KvSoundFile *sound, int32_t field) {
    const char *text = sf.sf_get_string(sound->file, field);
    return text ? text : "";
}

bool kvSoundClose(KvSoundFile *sound) {
    if (!sound) return true;
    bool ok = sf.sf_close(sound->file) == 0;
    delete sound;
    return ok;
}
