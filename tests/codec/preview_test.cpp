/*
 * The open dialog's preview, played on the test sound card (a paced ALSA
 * device that appends what it plays to a file): what reaches the device,
 * stopping, and a device that fails.
 */
#include "engine/codec/file_dialogs.h"
#include "engine/platform/audio_device.h"
#include "engine/platform/messages.h"
#include "tests/codec/codec_fixture.h"
#include "tests/codec/dialog_support.h"
#include "tests/document/wave_files.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

/* The test sound card's folder, <build>/testaudio beside <build>/bin. */
static std::string testAudioFolder() {
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    return (program.parent_path().parent_path() / "testaudio").string();
}

class Preview : public CodecTest {
  protected:
    void SetUp() override {
        std::string folder = testAudioFolder();
        ASSERT_TRUE(std::filesystem::exists(folder + "/asound.conf")) << folder;
        testEnsureApplication();
        CodecTest::SetUp();
        played = path("played.raw");
        setenv("ALSA_CONFIG_PATH", (folder + "/asound.conf").c_str(), 1);
        setenv("ALSA_PLUGIN_DIR", folder.c_str(), 1);
        setenv("KV_TEST_AUDIO_OUT", played.c_str(), 1);
        options.playDevice = -1;
        dialog = new KvOpenDialog(nullptr);
    }
    void TearDown() override {
        delete dialog;
        kvTestFailAudioWrite(0);
        CodecTest::TearDown();
    }
    void select(const std::string &file) {
        emit dialog->currentChanged(QString::fromStdString(file));
    }
    QPushButton *button() { return testControl<QPushButton>(dialog, "ctl1001"); }
    /* Presses "Preview" and waits for the preview to end by itself. */
    void playToTheEnd() {
        button()->click();
        ASSERT_TRUE(testWaitFor([this] { return !dialog->previewRunning(); }, 20));
        testWaitFor([this] { return button()->text() == "&Preview"; }, 1);
    }
    /* What the device played, as interleaved stereo 16-bit values. */
    std::vector<int16_t> playedFrames() {
        std::string bytes = kvTestReadFile(played);
        std::vector<int16_t> values(bytes.size() / 2);
        std::memcpy(values.data(), bytes.data(), values.size() * 2);
        return values;
    }
    std::string played;
    KvOpenDialog *dialog = nullptr;
};

TEST_F(Preview, WaveIsPlayedAsItIsThenSilence) {
    TestTone tone;
    tone.frames = 11025;
    kvTestWriteFile(path("tone.wav"), tone.wave());
    select(path("tone.wav"));
    playToTheEnd();
    std::vector<int16_t> sound = tone.samples();
    std::vector<int16_t> heard = playedFrames();
    ASSERT_GE(heard.size(), sound.size() + 2 * 4096);
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), heard.begin()));
    for (size_t i = sound.size(); i < heard.size(); i++)
        ASSERT_EQ(heard[i], 0) << i;
    EXPECT_EQ(button()->text(), "&Preview");
    EXPECT_TRUE(kvTestTakeShownBoxes().empty());
}

TEST_F(Preview, EightBitMonoReachesBothOutputs) {
    TestWave wave;
    wave.channels = 1;
    wave.bitsPerSample = 8;
    wave.sampleRate = 22050;
    for (int i = 0; i < 3000; i++)
        wave.samples += static_cast<char>(i % 256);
    kvTestWriteFile(path("eight.wav"), wave.bytes());
    select(path("eight.wav"));
    playToTheEnd();
    std::vector<int16_t> heard = playedFrames();
    ASSERT_GE(heard.size(), 2u * 3000);
    for (int i = 0; i < 3000; i++) {
        int16_t expected = static_cast<int16_t>((i % 256 - 128) * 256);
        ASSERT_EQ(heard[2 * i], expected) << i;
        ASSERT_EQ(heard[2 * i + 1], expected) << i;
    }
    EXPECT_EQ(heard[2 * 3000], 0);
}

/* Kinds beyond 8- and 16-bit PCM play as they open: 24-bit samples keep
 * their top 16 bits, more than two channels are mixed down. */
TEST_F(Preview, TwentyFourBitAndQuadPlayAsTheyOpen) {
    struct Kind {
        const char *file;
        int32_t bits;
        std::vector<int32_t> frame; /* one frame, repeated */
        int16_t left, right;
    };
    const Kind kinds[] = {{"pcm24.wav", 24, {0x123400, -0x432100}, 0x1234, -0x4321},
                          {"quad.wav", 16, {16384, 0, 0, 8192}, 9597, 3393}};
    for (const Kind &kind : kinds) {
        SCOPED_TRACE(kind.file);
        TestWave wave;
        wave.bitsPerSample = kind.bits;
        wave.channels = static_cast<int32_t>(kind.frame.size());
        if (wave.channels == 4) {
            wave.formatTag = 0xFFFE;
            wave.fmtSize = 40;
            wave.extension = testExtensible(16, 0x33, 1);
        }
        for (int i = 0; i < 5000; i++)
            for (int32_t value : kind.frame)
                wave.samples += std::string(reinterpret_cast<const char *>(&value), kind.bits / 8);
        kvTestWriteFile(path(kind.file), wave.bytes());
        std::filesystem::remove(played);
        select(path(kind.file));
        playToTheEnd();
        std::vector<int16_t> heard = playedFrames();
        ASSERT_GE(heard.size(), 2u * 5000);
        for (int i : {0, 4095, 4096, 4999}) {
            ASSERT_EQ(heard[2 * i], kind.left) << i;
            ASSERT_EQ(heard[2 * i + 1], kind.right) << i;
        }
        EXPECT_EQ(heard[2 * 5000], 0);
    }
}

TEST_F(Preview, FlacIsDescribedAndPlayedAsSoxReadsIt) {
    if (!kvSoundFilesInstalled()) GTEST_SKIP() << "libsndfile is not installed";
    std::string flac = path("tone.flac");
    ASSERT_TRUE(testRun("sox -n -r 8000 -c 1 -b 16 '" + flac + "' synth 0.5 sine 440 vol 0.7"));
    select(flac);
    EXPECT_EQ(testControl<QLabel>(dialog, "ctl1002")->text(),
              "Selected File: FLAC, 16 Bits, Mono, 8000 Hz");
    playToTheEnd();
    std::vector<float> sound = soxSamples(flac);
    std::vector<int16_t> heard = playedFrames();
    ASSERT_GE(heard.size(), 2 * sound.size());
    for (size_t i = 0; i < sound.size(); i++) {
        ASSERT_EQ(heard[2 * i], static_cast<int16_t>(sound[i] * 32768)) << i;
        ASSERT_EQ(heard[2 * i + 1], heard[2 * i]) << i;
    }
}

TEST_F(Preview, Mp3IsPlayedAsTheDecoderReadsIt) {
    TestTone tone;
    tone.frames = 22050;
    std::string mp3 = makeMp3(tone, "tone");
    std::vector<float> reference = referenceDecode(mp3);
    select(mp3);
    playToTheEnd();
    std::vector<int16_t> heard = playedFrames();
    ASSERT_GE(heard.size(), reference.size());
    for (size_t i = 0; i < reference.size(); i++)
        ASSERT_EQ(heard[i], static_cast<int16_t>(reference[i] * 32768)) << i;
}

TEST_F(Preview, StopEndsThePreviewAtOnce) {
    TestTone tone;
    tone.frames = 10 * 44100;
    kvTestWriteFile(path("long.wav"), tone.wave());
    select(path("long.wav"));
    button()->click();
    EXPECT_TRUE(testWaitFor([this] { return button()->text() == "&Stop"; }, 2));
    testWaitFor([] { return false; }, 0.3);
    button()->click();
    EXPECT_FALSE(dialog->previewRunning());
    EXPECT_EQ(button()->text(), "&Preview");
    EXPECT_LT(playedFrames().size(), 2u * 44100 * 3);
}

TEST_F(Preview, SelectingAnotherFileStopsThePreview) {
    TestTone tone;
    tone.frames = 10 * 44100;
    kvTestWriteFile(path("long.wav"), tone.wave());
    select(path("long.wav"));
    button()->click();
    testWaitFor([] { return false; }, 0.2);
    select(root);
    EXPECT_FALSE(dialog->previewRunning());
    EXPECT_FALSE(button()->isEnabled());
}

TEST_F(Preview, DeviceThatFailsIsReportedOverTheDialog) {
    kvTestWriteFile(path("tone.wav"), TestTone{}.wave());
    select(path("tone.wav"));
    kvTestQueueAnswer(KV_ID_OK);
    kvTestFailAudioWrite(1);
    playToTheEnd();
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_EQ(boxes[0].text, "Can't write to wave out device");
    EXPECT_EQ(boxes[0].icon, KV_ICON_WARNING);
    EXPECT_EQ(button()->text(), "&Preview");
}

TEST_F(Preview, FileGoneBeforePlayingIsReported) {
    kvTestWriteFile(path("gone.wav"), TestTone{}.wave());
    select(path("gone.wav"));
    unlink(path("gone.wav").c_str());
    kvTestQueueAnswer(KV_ID_OK);
    playToTheEnd();
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't open file for reading");
}
