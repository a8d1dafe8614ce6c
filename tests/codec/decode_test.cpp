/*
 * Decoding: what a document holds after opening a compressed file, against
 * mpg123's own decode of the same file (with the silence rules applied to it
 * when the file does not record its encoder's delay and padding); saving and
 * reopening; cancelling.
 */
#include "engine/core/engine.h"
#include "engine/history/history.h"
#include "tests/codec/codec_fixture.h"

#include <cmath>
#include <random>

class Decoding : public CodecTest {
  protected:
    /* Frames at the start of a reference whose samples are all <= 0.005,
     * at most 1024: what opening drops. */
    static int32_t leadingSilence(const std::vector<float> &samples, int32_t channels) {
        int32_t frames = 0;
        while (frames < 1024 && (frames + 1) * channels <= static_cast<int32_t>(samples.size())) {
            bool silent = true;
            for (int32_t c = 0; c < channels; c++)
                silent = silent && std::fabs(samples[frames * channels + c]) <= 0.005f;
            if (!silent) break;
            frames++;
        }
        return frames;
    }
    /* Trailing frames of a stereo reference with both samples < 0.005, at most 1023. */
    static int32_t trailingSilence(const std::vector<float> &samples) {
        int32_t total = static_cast<int32_t>(samples.size() / 2), frames = 0;
        while (frames < 1023 && frames < total &&
               std::fabs(samples[2 * (total - 1 - frames)]) < 0.005f &&
               std::fabs(samples[2 * (total - 1 - frames) + 1]) < 0.005f)
            frames++;
        return frames;
    }
    /* Opens the MP3 and checks the document against the reference minus
     * `leading` frames at the start and `trailing` at the end. */
    void expectReferenceWithout(const std::string &mp3, int32_t leading, int32_t trailing) {
        std::vector<float> reference = referenceDecode(mp3);
        ASSERT_FALSE(reference.empty());
        ASSERT_EQ(kvOpen(doc, mp3.c_str()), 0) << lastMessage();
        int32_t channels = kvGetChannels(doc);
        std::vector<float> expected(reference.begin() + leading * channels,
                                    reference.end() - trailing * channels);
        std::vector<float> opened = documentSamples(doc);
        ASSERT_EQ(opened.size(), expected.size());
        EXPECT_TRUE(opened == expected);
    }
};

TEST_F(Decoding, DocumentHoldsTheDecodedSamples) {
    TestTone tone;
    tone.frames = 3 * 44100 + 17;
    std::string mp3 = makeMp3(tone, "tone");
    std::vector<float> reference = referenceDecode(mp3);
    expectReferenceWithout(mp3, leadingSilence(reference, 2), trailingSilence(reference));
    EXPECT_EQ(kvIsSaved(doc), 1);
    char label[40];
    kvGetUndoText(doc, 0, label);
    EXPECT_STREQ(label, "Original File");
}

/* A file that records its encoder's delay and padding opens as the whole
 * sound, sample for sample: a quiet start and end are the sound's own. */
TEST_F(Decoding, QuietStartAndEndOfALameFileStay) {
    TestTone tone;
    tone.leadingZeros = 700;
    tone.trailingZeros = 800;
    std::string mp3 = makeMp3(tone, "quiet-start");
    std::vector<float> reference = referenceDecode(mp3);
    ASSERT_GT(leadingSilence(reference, 2), 600);
    ASSERT_GT(trailingSilence(reference), 600);
    expectReferenceWithout(mp3, 0, 0);
}

/* Files without that record (lame -t) keep the silence rules below. */
TEST_F(Decoding, LongSilentStartKeepsTheSilenceAfter1024Frames) {
    TestTone tone;
    tone.leadingZeros = 3000;
    std::string mp3 = makeMp3(tone, "long-start", "-t -b 128");
    std::vector<float> reference = referenceDecode(mp3);
    ASSERT_EQ(leadingSilence(reference, 2), 1024);
    expectReferenceWithout(mp3, 1024, trailingSilence(reference));
    std::vector<float> left(1000);
    kvReadFrames(doc, 0, 0, 1000, left.data());
    for (float value : left)
        ASSERT_LE(std::fabs(value), 0.005f);
}

TEST_F(Decoding, StereoNearSilentTailIsRemovedMonoTailStays) {
    TestTone tone;
    tone.trailingZeros = 800;
    std::string stereo = makeMp3(tone, "tail-stereo", "-t -b 128");
    std::vector<float> reference = referenceDecode(stereo);
    int32_t trailing = trailingSilence(reference);
    ASSERT_GT(trailing, 600);
    expectReferenceWithout(stereo, leadingSilence(reference, 2), trailing);

    tone.channels = 1;
    std::string mono = makeMp3(tone, "tail-mono", "-t -m m -b 128");
    kvClose(doc);
    doc = kvCreate(nullptr);
    expectReferenceWithout(mono, leadingSilence(referenceDecode(mono), 1), 0);
}

/* The lag in [-1152, 1152] at which `opened` best matches `source` (one
 * channel of each, interleaved by `channels`). */
static int32_t peakLag(const std::vector<float> &source, const std::vector<float> &opened,
                       int32_t channels, int32_t channel) {
    int64_t frames = static_cast<int64_t>(std::min(source.size(), opened.size()) / channels);
    int32_t best = 0;
    double bestSum = -1e300;
    for (int32_t lag = -1152; lag <= 1152; lag++) {
        double sum = 0;
        for (int64_t i = std::max<int64_t>(0, -lag); i < frames && i + lag < frames; i++)
            sum += source[i * channels + channel] * opened[(i + lag) * channels + channel];
        if (sum > bestSum) {
            bestSum = sum;
            best = lag;
        }
    }
    return best;
}

/* A file from LAME records the samples its encoder added, so it opens as
 * exactly the sound that was encoded, on the same sample; saving writes that
 * record again, so open, save and open keep both, also at the bit rates
 * whose frames are too small for the encoder's own record (the last
 * column, 0 for the source's rate). The quiet start and end are part of the
 * sound and stay. */
TEST_F(Decoding, LameFileOpensAndSavesAtItsExactLengthAndAlignment) {
    struct Case {
        int32_t channels, rate, frames;
        const char *options;
        int32_t savedRate;
    } cases[] = {{2, 44100, 30001, "-b 128", 0},
                 {1, 44100, 12345, "-m m -b 96", 0},
                 {2, 22050, 20007, "-b 64", 0},
                 {1, 22050, 9999, "-m m -b 64", 0},
                 {2, 44100, 25000, "-V 2", 0},
                 {2, 44100, 30001, "-b 128", 32},
                 {2, 22050, 20007, "-b 64", 48},
                 {1, 8000, 7777, "-m m -b 32 --resample 8", 8},
                 {1, 12000, 15000, "-m m -b 32 --resample 12", 8}};
    for (const Case &c : cases) {
        std::string name = std::to_string(c.channels) + "-" + std::to_string(c.rate) + "-" +
                           std::to_string(c.frames) + "-" + std::to_string(c.savedRate);
        SCOPED_TRACE(name);
        TestTone tone;
        tone.channels = c.channels;
        tone.rate = c.rate;
        tone.leadingZeros = 500;
        tone.trailingZeros = 700;
        tone.frames = c.frames - tone.leadingZeros - tone.trailingZeros;
        tone.amplitude = 0.3;
        tone.noise = 0.2;
        std::vector<int16_t> values = tone.samples();
        std::vector<float> source(values.begin(), values.end());
        std::string mp3 = makeMp3(tone, name, c.options);
        std::string bytes = kvTestReadFile(mp3);
        KvFrameInfo info{};
        ASSERT_TRUE(
            kvFindFrameHeader(reinterpret_cast<const uint8_t *>(bytes.data()), 4096, &info));
        EXPECT_GT(info.encoderDelay, 0);
        EXPECT_EQ((c.frames + info.encoderDelay + info.encoderPadding) %
                      (c.rate >= 32000 ? 1152 : 576),
                  0);
        std::string again = path(name + "-again.mp3");
        for (const std::string &file : {mp3, again}) {
            int32_t opened = kvCreate(nullptr);
            ASSERT_EQ(kvOpen(opened, file.c_str()), 0) << lastMessage();
            ASSERT_EQ(kvGetLength(opened), c.frames) << file;
            std::vector<float> samples = documentSamples(opened);
            for (int32_t channel = 0; channel < c.channels; channel++)
                EXPECT_EQ(peakLag(source, samples, c.channels, channel), 0) << file;
            if (file == again && c.savedRate) {
                EXPECT_EQ(kvGetDocument(opened)->bitRate, c.savedRate);
            }
            if (file == mp3) {
                if (c.savedRate) {
                    ASSERT_EQ(kvSetSaveFormat(opened, 85, 16, c.savedRate), 0);
                }
                ASSERT_EQ(kvSave(opened, again.c_str()), 0) << lastMessage();
            }
            kvClose(opened);
        }
    }
}

TEST_F(Decoding, CancelledOpenLeavesTheDocumentEmpty) {
    TestTone tone;
    tone.frames = 10 * 44100;
    std::string mp3 = makeMp3(tone, "long");
    kvEngine.progressCallback = cancelAtFirstReport;
    EXPECT_EQ(kvOpen(doc, mp3.c_str()), -1);
    kvEngine.progressCallback = nullptr;
    EXPECT_EQ(kvGetLength(doc), 0);
    EXPECT_EQ(lastMessage(), "");
}

/* Random bytes hold sync-like words that pass a first look; a file from
 * which nothing decodes is still no sound. Several files, as whether a
 * header is accepted depends on the bytes. */
TEST_F(Decoding, FilesFromWhichNothingDecodesAreRefused) {
    for (uint32_t seed = 1; seed <= 12; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        std::string noise(1 << 20, '\0');
        for (char &byte : noise)
            byte = static_cast<char>(random());
        kvTestWriteFile(path("noise.mp3"), noise);
        EXPECT_EQ(kvOpen(doc, path("noise.mp3").c_str()), -1);
        EXPECT_EQ(lastMessage(), "Invalid or Unsupported File Type");
        EXPECT_EQ(kvGetLength(doc), 0);
    }
}

class RoundTrip : public CodecTest {
  protected:
    /* A new stereo document holding a two-second tone. */
    void makeToneDocument(std::vector<float> *left, std::vector<float> *right) {
        kvNew(doc, 2, 16, 1, 44100);
        left->resize(2 * 44100);
        right->resize(2 * 44100);
        for (size_t i = 0; i < left->size(); i++) {
            (*left)[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / 44100));
            (*right)[i] = 0.3f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / 44100));
        }
        kvSetSelection(doc, 0, 0, -1);
        kvBeginEdit(doc, "Tone");
        for (size_t at = 0; at < left->size(); at += 4096) {
            int32_t count = static_cast<int32_t>(std::min<size_t>(4096, left->size() - at));
            kvQueueInsert(doc, 0, left->data() + at, count);
            kvQueueInsert(doc, 1, right->data() + at, count);
        }
        ASSERT_EQ(kvCompleteEdit(doc, true), 0);
    }
    /* The best correlation of `opened` with `original` over shifts of up to a block. */
    static double bestCorrelation(const std::vector<float> &original,
                                  const std::vector<float> &opened, int32_t *shift) {
        double best = -1;
        for (int32_t lag = 0; lag <= 1152; lag++) {
            std::vector<float> a(original.begin() + lag, original.end());
            double r = testCorrelation(a, opened);
            if (r > best) {
                best = r;
                *shift = lag;
            }
        }
        return best;
    }
};

TEST_F(RoundTrip, SavedAndReopenedToneMatchesTheOriginal) {
    std::vector<float> left, right;
    makeToneDocument(&left, &right);
    kvGetDocument(doc)->formatTag = 85;
    kvGetDocument(doc)->bitRate = 128;
    ASSERT_EQ(kvSave(doc, path("tone.mp3").c_str()), 0) << lastMessage();
    EXPECT_EQ(kvTestFilesBeside(path("tone.mp3")), std::vector<std::string>{});
    EXPECT_EQ(kvIsSaved(doc), 1);

    int32_t reopened = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(reopened, path("tone.mp3").c_str()), 0) << lastMessage();
    EXPECT_EQ(kvGetChannels(reopened), 2);
    EXPECT_EQ(kvGetSampleRate(reopened), 44100);
    EXPECT_EQ(kvGetDocument(reopened)->bitRate, 128);
    int32_t length = kvGetLength(reopened);
    EXPECT_LE(std::abs(length - static_cast<int32_t>(left.size())), 1152);
    std::vector<float> openedLeft(length), openedRight(length);
    kvReadFrames(reopened, 0, 0, length, openedLeft.data());
    kvReadFrames(reopened, 1, 0, length, openedRight.data());
    int32_t shift = 0;
    EXPECT_GT(bestCorrelation(left, openedLeft, &shift), 0.99);
    EXPECT_GT(bestCorrelation(right, openedRight, &shift), 0.99);
    double level = 0, originalLevel = 0;
    for (int32_t i = 0; i < length; i++) {
        int64_t j = int64_t{i} + shift;
        if (j < 0 || j >= static_cast<int64_t>(left.size())) continue;
        level += openedLeft[i] * openedLeft[i];
        originalLevel += left[j] * left[j];
    }
    EXPECT_NEAR(std::sqrt(level / originalLevel), 1.0, 0.1);
}

TEST_F(RoundTrip, SavedFileIsReadByAnIndependentDecoder) {
    std::vector<float> left, right;
    makeToneDocument(&left, &right);
    kvGetDocument(doc)->formatTag = 85;
    kvGetDocument(doc)->bitRate = 192;
    ASSERT_EQ(kvSave(doc, path("tone.mp3").c_str()), 0) << lastMessage();
    std::vector<float> decoded = referenceDecode(path("tone.mp3"));
    /* The information frame makes the decoder return exactly what was written. */
    EXPECT_EQ(decoded.size(), 2 * left.size());
    std::string bytes = kvTestReadFile(path("tone.mp3"));
    KvFrameInfo info{};
    ASSERT_TRUE(kvFindFrameHeader(reinterpret_cast<const uint8_t *>(bytes.data()), 4096, &info));
    EXPECT_EQ(info.offset, 0);
    EXPECT_EQ(info.bitRate, 192);
}

/* MPEG-2 and MPEG-2.5 rates save through the codec and open again. */
TEST_F(RoundTrip, MonoAtMpegTwoAndTwoPointFiveRatesKeepsItsFormat) {
    for (int32_t rate : {22050, 8000, 11025}) {
        SCOPED_TRACE(rate);
        int32_t mono = kvCreate(nullptr);
        kvNew(mono, 1, 16, 1, rate);
        std::vector<float> tone(rate);
        for (size_t i = 0; i < tone.size(); i++)
            tone[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 300.0 * i / rate));
        kvBeginEdit(mono, "Tone");
        for (size_t at = 0; at < tone.size(); at += 4096)
            kvQueueInsert(mono, 0, tone.data() + at,
                          static_cast<int32_t>(std::min<size_t>(4096, tone.size() - at)));
        ASSERT_EQ(kvCompleteEdit(mono, true), 0);
        ASSERT_EQ(kvSetSaveFormat(mono, 85, 16, 32), 0);
        ASSERT_EQ(kvSave(mono, path("mono.mp3").c_str()), 0) << lastMessage();
        int32_t reopened = kvCreate(nullptr);
        ASSERT_EQ(kvOpen(reopened, path("mono.mp3").c_str()), 0) << lastMessage();
        EXPECT_EQ(kvGetChannels(reopened), 1);
        EXPECT_EQ(kvGetSampleRate(reopened), rate);
        EXPECT_EQ(kvGetDocument(reopened)->bitRate, 32);
        kvClose(reopened);
        kvClose(mono);
    }
}

TEST_F(RoundTrip, CancelledSaveLeavesTheTargetAlone) {
    std::vector<float> left, right;
    makeToneDocument(&left, &right);
    kvGetDocument(doc)->formatTag = 85;
    kvGetDocument(doc)->bitRate = 128;
    kvTestWriteFile(path("target.mp3"), "old contents");
    kvEngine.progressCallback = cancelAtFirstReport;
    EXPECT_EQ(kvSave(doc, path("target.mp3").c_str()), -1);
    kvEngine.progressCallback = nullptr;
    EXPECT_EQ(kvTestReadFile(path("target.mp3")), "old contents");
    EXPECT_EQ(kvTestFilesBeside(path("target.mp3")), std::vector<std::string>{});
    EXPECT_EQ(kvIsSaved(doc), 0);
}

TEST_F(RoundTrip, BitRateTheCodecCannotWriteIsRefused) {
    std::vector<float> left, right;
    makeToneDocument(&left, &right);
    kvGetDocument(doc)->formatTag = 85;
    kvGetDocument(doc)->bitRate = 500;
    EXPECT_EQ(kvSave(doc, path("bad.mp3").c_str()), -1);
    EXPECT_EQ(lastMessage(), "Can't open ACM conversion stream. It is possible that you have a "
                             "corrupted CODEC installed.");
    EXPECT_FALSE(kvTestFileExists(path("bad.mp3")));
    EXPECT_EQ(kvTestFilesBeside(path("bad.mp3")), std::vector<std::string>{});
}

/* The bit rate the file information gives: {kbit/s, variable}. */
static std::pair<int32_t, bool> kvTestInfoBitRate(int32_t document) {
    std::vector<char> text(16384);
    EXPECT_EQ(kvGetInfo(document, text.data()), 0);
    std::string info = text.data();
    size_t at = info.find("Bit Rate: ");
    if (at == std::string::npos) return {0, false};
    std::string value = info.substr(at + 10);
    bool variable = value.rfind("VBR, average ", 0) == 0;
    return {std::atoi(value.c_str() + (variable ? 13 : 0)), variable};
}

/* A variable-bit-rate file shows its average, which is what its size says,
 * and saving it again writes a variable rate of a like average; a constant
 * one stays constant. */
TEST_F(Decoding, AVariableBitRateIsShownAsSuchAndKeptBySaving) {
    TestTone tone;
    tone.frames = 4 * 44100;
    tone.amplitude = 0.3;
    tone.noise = 0.1;
    struct Case {
        const char *name, *options;
        int32_t channels;
        bool variable;
    } cases[] = {
        {"vbr", "-V 2", 2, true}, {"vbr-mono", "-V 6", 1, true}, {"cbr", "-b 128", 2, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tone.channels = c.channels;
        std::string mp3 = makeMp3(tone, c.name, c.options);
        ASSERT_EQ(kvOpen(doc, mp3.c_str()), 0) << lastMessage();
        auto [average, variable] = kvTestInfoBitRate(doc);
        EXPECT_EQ(variable, c.variable);
        double bySize = kvTestReadFile(mp3).size() * 8.0 / (tone.frames / 44100.0) / 1000.0;
        EXPECT_NEAR(average, bySize, bySize * 0.1);

        std::string again = path(std::string(c.name) + "-again.mp3");
        ASSERT_EQ(kvSave(doc, again.c_str()), 0) << lastMessage();
        int32_t reopened = kvCreate(nullptr);
        ASSERT_EQ(kvOpen(reopened, again.c_str()), 0) << lastMessage();
        auto [savedAverage, savedVariable] = kvTestInfoBitRate(reopened);
        EXPECT_EQ(savedVariable, c.variable);
        EXPECT_NEAR(savedAverage, average, average * 0.15);
        kvClose(reopened);
    }
}
