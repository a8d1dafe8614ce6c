/*
 * Runs of an edit keep their state apart: a preview advanced by one buffer
 * at every progress report of a kvDoEdit of the same effect on another
 * document plays what it plays alone, and the edit writes what it writes
 * alone. The preview's pass beside the edit is its second on the same run,
 * so it also shows that a new pass starts from cleared state.
 */
#include "engine/dsp/dispatcher.h"
#include "engine/platform/clock.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

namespace {

/* A stereo preview of a whole document fed as the preview feeder feeds it,
 * one buffer a step, in a run of its own. */
struct PreviewFeed {
    PreviewFeed(int32_t doc, int32_t edit)
        : run(kvEffectStart(doc, edit, KV_RUN_PREVIEW)), doc(doc), length(kvGetLength(doc)) {}
    ~PreviewFeed() { kvEffectFinish(run); }

    KvEffectRun *run;
    int32_t doc, length, position = 0;
    std::vector<float> buffers[2] = {std::vector<float>(16384), std::vector<float>(16384)};
    std::vector<float> played[2];

    void rewind() {
        position = 0;
        played[0].clear();
        played[1].clear();
    }
    /* One buffer of the range, else of the drain: false once all is out. */
    bool step() {
        int32_t count = std::min(4096, length - position);
        for (int32_t c = 0; c < 2 && count > 0; c++)
            kvReadFrames(doc, c, position, count, buffers[c].data());
        int32_t produced = kvPreviewProcess(run, buffers[0].data(), buffers[1].data(), count,
                                            length, std::min(position, length));
        position += count;
        for (int32_t c = 0; c < 2; c++)
            played[c].insert(played[c].end(), buffers[c].begin(), buffers[c].begin() + produced);
        return count > 0 || produced > 0;
    }
};

PreviewFeed *feedBeside = nullptr;

void stepPreviewBeside(const char *, int32_t, int32_t percent, int32_t) {
    if (feedBeside && percent >= 0) feedBeside->step();
}

/* Every report comes 10 ms after the last, so none is throttled. */
int64_t steppingClock() {
    static int64_t now = 0;
    return now += 10;
}

} // namespace

class SeparateRuns : public EffectTest, public ::testing::WithParamInterface<int32_t> {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        stopEngine();
        ASSERT_EQ(kvInit(nullptr, &options, 144, &params, 344, nullptr, stepPreviewBeside, nullptr),
                  0);
        engineStarted = true;
        params.fadeEdges = params.fadeEdgesWhole = 0;
        options.extendEffect = 0;
        params.eqBandDb[2] = 9;
        params.compThresholdDb = -24;
        params.fftStartHighPassHz = params.fftEndHighPassHz = 300;
        params.fftStartLowPassHz = params.fftEndLowPassHz = 2500;
        params.echoLeftDelayMs = 40;
        params.echoRightDelayMs = 70;
        params.reverbRoomSize = 1;
        params.pitchMode = 2;
        params.pitchStart = 80;
        params.pitchEnd = 170;
        params.pitchDynamic = 1;
        kvTestSetTickSource(steppingClock);
    }
    void TearDown() override {
        feedBeside = nullptr;
        kvTestSetTickSource(nullptr);
        EffectTest::TearDown();
    }
};

TEST_P(SeparateRuns, APreviewBesideAnEditOfTheSameEffectChangesNeither) {
    /* The preview is far longer than the edit, so it is still going when
     * the edit ends. */
    const int32_t edit = GetParam(), rate = 8000, frames = 32 * 4096 + 77, range = 5 * 4096 + 123;
    int32_t previewed = makeDocument(rate, mix(sineWave(frames, 440, rate), noise(frames, 1, 0.3)),
                                     noise(frames, 2, 0.4));
    int32_t edited = makeDocument(rate, noise(range, 3, 0.5),
                                  mix(sineWave(range, 1250, rate), noise(range, 4, 0.2)));
    for (int32_t doc : {previewed, edited}) {
        kvSetSelection(doc, 0, 2 * 4096, -1);
        ASSERT_EQ(kvTakeNoiseProfile(doc), 0); /* for Noise Reduction */
        kvSetSelection(doc, 0, 0, -1);
    }

    PreviewFeed preview(previewed, edit);
    while (preview.step()) {
    }
    const std::vector<float> playedAlone[2] = {preview.played[0], preview.played[1]};
    ASSERT_EQ(kvDoEdit(edited, edit), 0);
    const std::vector<float> editedAlone[2] = {channel(edited, 0), channel(edited, 1)};
    kvUndo(edited);
    kvSetSelection(edited, 0, 0, -1);

    preview.rewind();
    feedBeside = &preview;
    ASSERT_EQ(kvDoEdit(edited, edit), 0);
    feedBeside = nullptr;
    ASSERT_GT(preview.position, 4096) << "the preview did not run during the edit";
    ASSERT_LT(preview.position, frames) << "the preview ended before the edit";
    while (preview.step()) {
    }

    for (int32_t c = 0; c < 2; c++) {
        EXPECT_EQ(preview.played[c], playedAlone[c]) << "preview, channel " << c;
        EXPECT_EQ(channel(edited, c), editedAlone[c]) << "edit, channel " << c;
    }
}

static std::string editName(const ::testing::TestParamInfo<int32_t> &info) {
    return "Edit" + std::to_string(info.param);
}

/* Equalizer, Compressor, Echo, Reverb, Simple Echo, FFT Filter, Pitch,
 * Loudness Normalize, Noise Reduction. */
INSTANTIATE_TEST_SUITE_P(StatefulEffects, SeparateRuns,
                         ::testing::Values(KV_EDIT_EQUALIZER, KV_EDIT_COMPRESSOR, KV_EDIT_ECHO,
                                           KV_EDIT_REVERB, KV_EDIT_SIMPLE_ECHO, KV_EDIT_FFT_FILTER,
                                           KV_EDIT_PITCH, KV_EDIT_LOUDNESS_NORMALIZE,
                                           KV_EDIT_NOISE_REDUCTION),
                         editName);
