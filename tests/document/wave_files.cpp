/*
 * wave_files.cpp - test WAVE builder and sox helpers.
 */
#include "tests/document/wave_files.h"
#include "tests/support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void testPut16(std::string &bytes, int32_t value) {
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>((value >> 8) & 0xFF);
}

void testPut32(std::string &bytes, uint32_t value) {
    for (int i = 0; i < 4; i++)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string testChunk(const std::string &id, const std::string &body) {
    std::string chunk = id;
    testPut32(chunk, static_cast<uint32_t>(body.size()));
    chunk += body;
    if (body.size() & 1) chunk += '\0';
    return chunk;
}

std::string TestWave::bytes() const {
    std::string fmt;
    testPut16(fmt, formatTag);
    testPut16(fmt, channels);
    testPut32(fmt, static_cast<uint32_t>(sampleRate));
    int32_t rate = byteRate >= 0 ? byteRate : channels * sampleRate * bitsPerSample / 8;
    testPut32(fmt, static_cast<uint32_t>(rate));
    testPut16(fmt, channels * bitsPerSample / 8);
    testPut16(fmt, bitsPerSample);
    if (!extension.empty()) {
        testPut16(fmt, static_cast<int32_t>(extension.size()));
        fmt += extension;
    } else if (fmtSize == 18) {
        testPut16(fmt, 0);
    }
    std::string body = wave + fmtId;
    testPut32(body, static_cast<uint32_t>(fmtSize));
    body += fmt.substr(0, std::min<size_t>(fmt.size(), fmtSize));
    for (const std::string &chunk : extra)
        body += chunk;
    body += dataId;
    testPut32(body, static_cast<uint32_t>(dataSize >= 0 || dataSize < -1
                                              ? dataSize
                                              : static_cast<int32_t>(samples.size())));
    body += samples;
    std::string file = riff;
    testPut32(file, static_cast<uint32_t>(body.size()));
    return file + body;
}

std::string testExtensible(int32_t validBits, uint32_t mask, int32_t subFormat, bool standard) {
    std::string bytes;
    testPut16(bytes, validBits);
    testPut32(bytes, mask);
    testPut32(bytes, static_cast<uint32_t>(subFormat));
    bytes += std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
    if (!standard) bytes[10] = 'K';
    return bytes;
}

bool testRun(const std::string &command) {
    return std::system(command.c_str()) == 0;
}

std::vector<float> soxSamples(const std::string &path) {
    std::string raw = path + ".f32";
    std::vector<float> samples;
    if (!testRun("sox '" + path + "' -t f32 '" + raw + "'")) return samples;
    std::string bytes = kvTestReadFile(raw);
    samples.resize(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    return samples;
}
