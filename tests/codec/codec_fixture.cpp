/*
 * codec_fixture.cpp - test tones, tags, lame and mpg123 runs.
 */
#include "tests/codec/codec_fixture.h"
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/platform/messages.h"
#include "tests/document/wave_files.h"

#include <cmath>
#include <cstring>

std::vector<int16_t> TestTone::samples() const {
    int32_t total = leadingZeros + frames + trailingZeros;
    std::vector<int16_t> values(static_cast<size_t>(total) * channels, 0);
    uint32_t seed = 1;
    for (int32_t i = 0; i < frames; i++) {
        double t = static_cast<double>(i) / rate;
        for (int32_t c = 0; c < channels; c++) {
            double f = frequency * (c + 1);
            seed = seed * 1664525u + 1013904223u;
            double v = amplitude * std::sin(2 * M_PI * f * t) +
                       noise * (static_cast<double>(seed) / 2147483648.0 - 1.0);
            values[static_cast<size_t>(leadingZeros + i) * channels + c] =
                static_cast<int16_t>(v * 32767);
        }
    }
    return values;
}

std::string TestTone::wave() const {
    std::vector<int16_t> values = samples();
    TestWave file;
    file.channels = channels;
    file.sampleRate = rate;
    file.samples.assign(reinterpret_cast<const char *>(values.data()), values.size() * 2);
    return file.bytes();
}

static std::string testSynchsafe(uint32_t size) {
    std::string bytes;
    for (int shift = 21; shift >= 0; shift -= 7)
        bytes += static_cast<char>((size >> shift) & 0x7F);
    return bytes;
}

std::string testID3v2(const std::string &title, int32_t padding) {
    std::string frame = "TIT2";
    std::string body = std::string(1, '\0') + title;
    uint32_t size = static_cast<uint32_t>(body.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        frame += static_cast<char>((size >> shift) & 0xFF);
    frame += std::string(2, '\0') + body + std::string(padding, '\0');
    return std::string("ID3\x03\x00\x00", 6) + testSynchsafe(static_cast<uint32_t>(frame.size())) +
           frame;
}

static std::string testField(const std::string &text, size_t width) {
    std::string field = text.substr(0, width);
    field.resize(width, '\0');
    return field;
}

std::string testID3v1(const std::string &title, const std::string &artist, const std::string &album,
                      const std::string &year, const std::string &comment, int32_t genre) {
    return "TAG" + testField(title, 30) + testField(artist, 30) + testField(album, 30) +
           testField(year, 4) + testField(comment, 30) + static_cast<char>(genre);
}

void CodecTest::SetUp() {
    KvSandbox::SetUp();
    unsetenv("KORVEL_NO_CODECS");
    ASSERT_EQ(startEngine(), 0);
    doc = kvCreate(nullptr);
    ASSERT_GE(doc, 0);
    kvTestTakeShownBoxes();
}

void CodecTest::TearDown() {
    unsetenv("KORVEL_NO_CODECS");
    for (int32_t open = 0; open < KV_MAX_DOCUMENTS; open++)
        if (kvGetDocument(open)) kvClose(open);
    KvSandbox::TearDown();
}

std::string CodecTest::makeMp3(const TestTone &tone, const std::string &name,
                               const std::string &options) {
    std::string wave = path(name + ".wav");
    std::string mp3 = path(name + ".mp3");
    kvTestWriteFile(wave, tone.wave());
    EXPECT_TRUE(testRun("lame --silent " + options + " '" + wave + "' '" + mp3 + "'"));
    return mp3;
}

std::vector<float> CodecTest::referenceDecode(const std::string &mp3) {
    std::string raw = mp3 + ".raw";
    std::vector<float> samples;
    if (!testRun("mpg123 -q -s '" + mp3 + "' > '" + raw + "'")) return samples;
    std::string bytes = kvTestReadFile(raw);
    samples.resize(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); i++) {
        int16_t value;
        std::memcpy(&value, bytes.data() + 2 * i, 2);
        samples[i] = value / 32768.0f;
    }
    return samples;
}

std::vector<float> CodecTest::documentSamples(int32_t document) {
    int32_t channels = kvGetChannels(document);
    int32_t length = kvGetLength(document);
    std::vector<float> channel(length), samples(static_cast<size_t>(length) * channels);
    for (int32_t c = 0; c < channels; c++) {
        kvReadFrames(document, c, 0, length, channel.data());
        for (int32_t i = 0; i < length; i++)
            samples[static_cast<size_t>(i) * channels + c] = channel[i];
    }
    return samples;
}

std::string CodecTest::lastMessage() {
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    return boxes.empty() ? "" : boxes.back().text;
}

double testCorrelation(const std::vector<float> &a, const std::vector<float> &b) {
    size_t n = std::min(a.size(), b.size());
    double meanA = 0, meanB = 0;
    for (size_t i = 0; i < n; i++) {
        meanA += a[i];
        meanB += b[i];
    }
    meanA /= n;
    meanB /= n;
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; i++) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

void cancelAtFirstReport(const char *, int32_t textLength, int32_t percent, int32_t) {
    if (textLength == 0 && percent > 0 && kvEngine.params) kvEngine.params->cancelRequested = 1;
}
