/*
 * FLAC, Ogg Vorbis, Opus and AIFF through libsndfile: files sox makes open
 * with the samples sox reads from them (long enough for the decoder's
 * read-ahead to go round its ring), every kind saves and reopens equal
 * (lossy ones within the codec's tolerance, lengths exact), and without the
 * library the user is told what to install.
 */
#include "engine/core/engine.h"
#include "engine/history/history.h"
#include "tests/codec/codec_fixture.h"
#include "tests/document/wave_files.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

static bool libraryInstalled() {
    return kvSoundFilesInstalled();
}

struct SoxMade {
    const char *name;
    const char *file;    /* sox picks the kind from the extension */
    const char *options; /* before the output file */
    float tolerance;
};

class SoundFilesOpen : public CodecTest, public ::testing::WithParamInterface<SoxMade> {};

TEST_P(SoundFilesOpen, WithTheSamplesSoxReads) {
    if (!libraryInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    std::string file = path(GetParam().file);
    ASSERT_TRUE(testRun("sox -n -r 44100 -c 2 " + std::string(GetParam().options) + " '" + file +
                        "' synth 4.5 sine 440 sine 1234 vol 0.9"));
    ASSERT_EQ(kvOpen(doc, file.c_str()), 0) << lastMessage();
    std::vector<float> expected = soxSamples(file), ours = documentSamples(doc);
    ASSERT_EQ(ours.size(), expected.size());
    for (size_t i = 0; i < ours.size(); i++)
        ASSERT_NEAR(ours[i], expected[i], GetParam().tolerance) << i;
}

INSTANTIATE_TEST_SUITE_P(EveryKind, SoundFilesOpen,
                         ::testing::Values(SoxMade{"Flac16", "a.flac", "-b 16", 0.0f},
                                           SoxMade{"Flac24", "b.flac", "-b 24", 0.0f},
                                           SoxMade{"Aiff16", "c.aiff", "-b 16", 0.0f},
                                           SoxMade{"Aiff24", "d.aiff", "-b 24", 0.0f},
                                           SoxMade{"Vorbis", "e.ogg", "-C 6", 1e-4f}),
                         [](const auto &info) { return std::string(info.param.name); });

/* Files the reference tools of each kind make open with the samples those
 * tools decode (opusdec writes floats, which sox reads back unchanged). */
struct ToolMade {
    const char *name;
    const char *file;
    const char *make;      /* "IN" the 48 kHz WAVE source, "OUT" the file */
    const char *reference; /* "OUT" decoded into "REF", or "" for sox's decode */
    float tolerance;
};

class SoundFilesByTools : public CodecTest, public ::testing::WithParamInterface<ToolMade> {};

static std::string replaced(std::string text, const std::string &from, const std::string &to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST_P(SoundFilesByTools, OpenWithTheSamplesTheToolsDecode) {
    if (!libraryInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    std::string source = path("source.wav"), file = path(GetParam().file),
                reference = path("ref.wav");
    ASSERT_TRUE(testRun("sox -n -r 48000 -c 2 -b 16 '" + source +
                        "' synth 0.7 sine 440 sine 1234 vol 0.9"));
    auto command = [&](const char *pattern) {
        return replaced(
            replaced(replaced(pattern, "IN", "'" + source + "'"), "OUT", "'" + file + "'"), "REF",
            "'" + reference + "'");
    };
    ASSERT_TRUE(testRun(command(GetParam().make))) << "the tool is missing";
    std::vector<float> expected;
    if (*GetParam().reference) {
        ASSERT_TRUE(testRun(command(GetParam().reference)));
        expected = soxSamples(reference);
    } else {
        expected = soxSamples(file);
    }
    ASSERT_EQ(kvOpen(doc, file.c_str()), 0) << lastMessage();
    std::vector<float> ours = documentSamples(doc);
    ASSERT_EQ(ours.size(), expected.size());
    for (size_t i = 0; i < ours.size(); i++)
        ASSERT_NEAR(ours[i], expected[i], GetParam().tolerance) << i;
}

INSTANTIATE_TEST_SUITE_P(
    EveryTool, SoundFilesByTools,
    ::testing::Values(ToolMade{"Flac", "tool.flac", "flac --silent -f -o OUT IN", "", 0.0f},
                      ToolMade{"Opus", "tool.opus", "opusenc --quiet --bitrate 128 IN OUT",
                               "opusdec --quiet --float OUT REF", 1e-6f}),
    [](const auto &info) { return std::string(info.param.name); });

struct SavedKind {
    const char *name;
    int32_t formatTag, bits, setting, rate;
    double minCorrelation; /* 1 for lossless: then the samples must be equal */
};

class SoundFilesSave : public CodecTest, public ::testing::WithParamInterface<SavedKind> {};

TEST_P(SoundFilesSave, ReopensEqualWithTheSameLength) {
    if (!libraryInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    const SavedKind &kind = GetParam();
    TestTone tone;
    tone.rate = kind.rate;
    tone.frames = kind.rate; /* one second */
    kvTestWriteFile(path("tone.wav"), tone.wave());
    ASSERT_EQ(kvOpen(doc, path("tone.wav").c_str()), 0);
    ASSERT_EQ(kvSetSaveFormat(doc, kind.formatTag, kind.bits, kind.setting), 0);
    ASSERT_EQ(kvSave(doc, path("saved").c_str()), 0) << lastMessage();
    int32_t reopened = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(reopened, path("saved").c_str()), 0) << lastMessage();
    EXPECT_EQ(kvGetFormatTag(reopened), kind.formatTag);
    std::vector<float> before = documentSamples(doc), after = documentSamples(reopened);
    ASSERT_EQ(after.size(), before.size());
    if (kind.minCorrelation >= 1.0)
        EXPECT_EQ(after, before);
    else
        EXPECT_GT(testCorrelation(before, after), kind.minCorrelation);
    kvClose(reopened);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, SoundFilesSave,
                         ::testing::Values(SavedKind{"Flac16", KV_FORMAT_FLAC, 16, 5, 44100, 1.0},
                                           SavedKind{"Flac24", KV_FORMAT_FLAC, 24, 8, 44100, 1.0},
                                           SavedKind{"Aiff16", KV_FORMAT_AIFF, 16, 0, 44100, 1.0},
                                           SavedKind{"Aiff24", KV_FORMAT_AIFF, 24, 0, 44100, 1.0},
                                           SavedKind{"Vorbis", KV_FORMAT_VORBIS, 16, 6, 44100,
                                                     0.99},
                                           SavedKind{"Opus", KV_FORMAT_OPUS, 16, 128, 48000, 0.99}),
                         [](const auto &info) { return std::string(info.param.name); });

/* Lossless saving truncates toward zero, holds samples outside [-1, 1) at
 * the depth's limits and writes NaN as silence. */
TEST_F(CodecTest, LosslessSavingClipsTruncatesAndSilencesNaN) {
    if (!libraryInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    const float in[] = {1.0f, 7.5f, -1.0f, -3.0f, NAN, 0.5f, -0.3f, 1e-9f, -0.99999f};
    for (int32_t bits : {16, 24}) {
        SCOPED_TRACE(bits);
        int32_t source = kvCreate(nullptr);
        kvNew(source, 1, 32, 3, 44100);
        kvBeginEdit(source, "Edges");
        kvQueueInsert(source, 0, in, 9);
        ASSERT_EQ(kvCompleteEdit(source, true), 0);
        ASSERT_EQ(kvSetSaveFormat(source, KV_FORMAT_FLAC, bits, 5), 0);
        ASSERT_EQ(kvSave(source, path("edges.flac").c_str()), 0) << lastMessage();
        kvClose(source);
        ASSERT_EQ(kvOpen(doc, path("edges.flac").c_str()), 0) << lastMessage();
        std::vector<float> got = documentSamples(doc);
        double top = std::ldexp(1.0, bits - 1);
        std::vector<float> expected;
        for (double whole : {top - 1, top - 1, -top, -top, 0.0, std::trunc(0.5 * top),
                             std::trunc(-0.3f * top), 0.0, std::trunc(-0.99999f * top)})
            expected.push_back(static_cast<float>(whole / top));
        EXPECT_EQ(got, expected);
        kvClose(doc);
        doc = kvCreate(nullptr);
    }
}

TEST_F(CodecTest, OpusAtARateItCannotCarryIsNotOffered) {
    if (!libraryInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    kvTestWriteFile(path("tone.wav"), TestTone{}.wave());
    ASSERT_EQ(kvOpen(doc, path("tone.wav").c_str()), 0);
    EXPECT_EQ(kvSetSaveFormat(doc, KV_FORMAT_OPUS, 16, 128), -2);
    EXPECT_EQ(kvGetFormatTag(doc), 1);
}

TEST_F(CodecTest, WithoutTheLibraryAFlacFileSaysWhatToInstall) {
    if (!testRun("sox -n -r 8000 -c 1 '" + path("x.flac") + "' synth 0.1 sine 440"))
        GTEST_SKIP() << "sox cannot write FLAC";
    setenv("KORVEL_NO_CODECS", "1", 1);
    EXPECT_EQ(kvOpen(doc, path("x.flac").c_str()), -1);
    unsetenv("KORVEL_NO_CODECS");
    std::string told = lastMessage();
    EXPECT_NE(told.find("It is a FLAC file"), std::string::npos) << told;
    EXPECT_NE(told.find("libsndfile1"), std::string::npos) << told;
}

/* Cancelling stops the decoder running ahead (the open returns rather than
 * waiting on it) and keeps nothing of the file. */
TEST_F(CodecTest, CancelledFlacOpenLeavesTheDocumentEmpty) {
    if (!libraryInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    ASSERT_TRUE(testRun("sox -n -r 44100 -c 2 '" + path("long.flac") + "' synth 30 sine 440"));
    kvEngine.progressCallback = cancelAtFirstReport;
    EXPECT_EQ(kvOpen(doc, path("long.flac").c_str()), -1);
    kvEngine.progressCallback = nullptr;
    EXPECT_EQ(kvGetLength(doc), 0);
    EXPECT_EQ(lastMessage(), "");
}

/* Vorbis comments come in as the document's tags, show in the file
 * information and go out again in another kind's comments. */
TEST_F(CodecTest, CommentsAreShownAndCarriedToTheSavedFile) {
    if (!kvSoundFilesInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    std::string flac = path("tagged.flac"), vorbis = path("tagged.ogg");
    ASSERT_TRUE(testRun("sox -n -r 8000 -c 1 --comment 'TITLE=First Song' --add-comment "
                        "'ARTIST=Someone' '" +
                        flac + "' synth 0.2 sine 440"));
    ASSERT_EQ(kvOpen(doc, flac.c_str()), 0) << lastMessage();
    std::vector<char> info(4096);
    ASSERT_EQ(kvGetInfo(doc, info.data()), 0);
    EXPECT_NE(std::string(info.data()).find("Title:\tFirst Song"), std::string::npos)
        << info.data();
    EXPECT_NE(std::string(info.data()).find("Artist:\tSomeone"), std::string::npos);
    ASSERT_EQ(kvSetSaveFormat(doc, KV_FORMAT_VORBIS, 16, 6), 0);
    ASSERT_EQ(kvSave(doc, vorbis.c_str()), 0) << lastMessage();
    ASSERT_TRUE(testRun("soxi -a '" + vorbis + "' > '" + vorbis + ".txt'"));
    std::string comments = kvTestReadFile(vorbis + ".txt");
    for (char &c : comments)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(comments.find("title=first song"), std::string::npos) << comments;
    EXPECT_NE(comments.find("artist=someone"), std::string::npos) << comments;
}

/* opusenc puts a 5.1 WAVE file's channels in the Ogg order (centre second,
 * LFE last); opened, the Opus file mixes down like the WAVE file it came from. */
TEST_F(CodecTest, FivePointOneOpusMixesDownLikeItsWaveSource) {
    if (!libraryInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    std::string wave = path("six.wav"), opus = path("six.opus");
    ASSERT_TRUE(testRun("sox -n -r 48000 -c 6 -b 16 '" + wave +
                        "' synth 0.5 sine 200 sine 300 sine 500 sine 700 sine 1100 sine 1300 "
                        "vol 0.3"));
    ASSERT_TRUE(testRun("opusenc --quiet --bitrate 384 '" + wave + "' '" + opus + "'"));
    ASSERT_EQ(kvOpen(doc, wave.c_str()), 0);
    int32_t fromOpus = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(fromOpus, opus.c_str()), 0);
    ASSERT_EQ(kvGetChannels(fromOpus), 2);
    ASSERT_EQ(kvGetLength(fromOpus), kvGetLength(doc));
    for (int32_t channel = 0; channel < 2; channel++) {
        std::vector<float> a(kvGetLength(doc)), b(a.size());
        kvReadFrames(doc, channel, 0, static_cast<int32_t>(a.size()), a.data());
        kvReadFrames(fromOpus, channel, 0, static_cast<int32_t>(b.size()), b.data());
        EXPECT_GT(testCorrelation(a, b), 0.99) << channel;
    }
    kvClose(fromOpus);
}
