/*
 * codec_fixture.h - compressed test files made by the independent tools
 * (lame encodes, mpg123 decodes the reference), tags built byte by byte,
 * and a headless engine per test.
 */
#ifndef KV_TEST_CODEC_FIXTURE_H
#define KV_TEST_CODEC_FIXTURE_H

#include "engine/codec/codec.h"
#include "tests/support/test_support.h"

#include <cstdint>
#include <string>
#include <vector>

/* A tone of `frames` frames (silence before and after), as 16-bit samples. */
struct TestTone {
    int32_t channels = 2;
    int32_t rate = 44100;
    int32_t frames = 44100;
    int32_t leadingZeros = 0;
    int32_t trailingZeros = 0;
    double frequency = 440.0;
    double amplitude = 0.5;
    double noise = 0.0; /* peak of a white noise added to the tone */

    std::vector<int16_t> samples() const; /* interleaved */
    std::string wave() const;             /* a whole 16-bit WAVE file */
};

/* An ID3v2.3 tag with one title frame, `padding` zero bytes after it. */
std::string testID3v2(const std::string &title, int32_t padding);

/* A 128-byte ID3v1 block from its fields (each padded with zeros). */
std::string testID3v1(const std::string &title, const std::string &artist, const std::string &album,
                      const std::string &year, const std::string &comment, int32_t genre);

class CodecTest : public KvSandbox {
  protected:
    void SetUp() override;
    void TearDown() override;

    /* Writes the tone as WAVE and encodes it with lame `options`: the MP3 path. */
    std::string makeMp3(const TestTone &tone, const std::string &name,
                        const std::string &options = "-b 128");
    /* mpg123's decode of a file, as floats per channel interleaved. */
    std::vector<float> referenceDecode(const std::string &mp3);
    /* The document's samples, interleaved. */
    std::vector<float> documentSamples(int32_t document);
    /* The text of the last box shown, and clears the record. */
    std::string lastMessage();

    int32_t doc = -1;
};

/* Pearson correlation of two equally long sequences. */
double testCorrelation(const std::vector<float> &a, const std::vector<float> &b);

/* A progress callback that cancels the running operation at its first report. */
void cancelAtFirstReport(const char *text, int32_t textLength, int32_t percent, int32_t extra);

#endif
