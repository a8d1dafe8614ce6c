/*
 * wave_files.h - WAVE files built byte by byte for tests, so every header
 * field and chunk arrangement can be chosen, and helpers to run sox.
 */
#ifndef KV_TEST_WAVE_FILES_H
#define KV_TEST_WAVE_FILES_H

#include <cstdint>
#include <string>
#include <vector>

struct TestWave {
    std::string riff = "RIFF";
    std::string wave = "WAVE";
    std::string fmtId = "fmt ";
    int32_t fmtSize = 16;
    int32_t formatTag = 1;
    int32_t channels = 2;
    int32_t sampleRate = 44100;
    int32_t byteRate = -1; /* -1: the matching value */
    int32_t bitsPerSample = 16;
    std::string dataId = "data";
    int32_t dataSize = -1;          /* -1: the size of `samples` */
    std::string extension;          /* bytes after the 16 format bytes and their size */
    std::vector<std::string> extra; /* whole chunks placed between fmt and data */
    std::string samples;            /* raw interleaved sample bytes */

    std::string bytes() const;
};

/* The 22 extension bytes of an extensible header (fmt size 40); a sub-format
 * GUID outside the standard family when `standard` is false. */
std::string testExtensible(int32_t validBits, uint32_t mask, int32_t subFormat,
                           bool standard = true);

/* A whole chunk: id, little-endian size, body and the pad byte of odd sizes. */
std::string testChunk(const std::string &id, const std::string &body);

void testPut16(std::string &bytes, int32_t value);
void testPut32(std::string &bytes, uint32_t value);

/* Runs a shell command; true when it exits with 0. */
bool testRun(const std::string &command);

/* The samples of a file as sox reads them, as 32-bit floats interleaved. */
std::vector<float> soxSamples(const std::string &path);

#endif
