/*
 * The preview runs the edits' own routines: kvPreviewProcess over a range in
 * 4096-sample buffers gives exactly the samples kvDoEdit writes there.
 */
#include "engine/dsp/dispatcher.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

class PreviewEqualsEdit : public EffectTest, public ::testing::WithParamInterface<int32_t> {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        options.extendEffect = 1;
        options.extendAmount = 1;
        params.eqBandDb[2] = 9;
        params.eqBandDb[7] = -12;
        params.compThresholdDb = -24;
        params.distHighClipDb = -12;
        params.distLowThresholdDb = -30;
        params.fftDynamic = 1;
        params.fftStartHighPassHz = 100;
        params.fftEndHighPassHz = 1500;
        params.fftStartLowPassHz = 2000;
        params.fftEndLowPassHz = 3500;
        params.simpleEchoDelayMs = 50;
        params.echoLeftDelayMs = 40;
        params.echoRightDelayMs = 70;
        params.reverbRoomSize = 1;
    }

    /* Feeds frames [lower, lower + length) of the untouched sound through the
     * preview as the player does, draining what an edit holds back. */
    static std::vector<std::vector<float>> preview(int32_t doc, int32_t edit, int32_t lower,
                                                   int32_t length, int32_t channels) {
        std::vector<std::vector<float>> out(channels);
        std::vector<float> buffers[2] = {std::vector<float>(16384), std::vector<float>(16384)};
        KvEffectRun *run = kvEffectStart(doc, edit, KV_RUN_PREVIEW);
        auto take = [&](int32_t produced) {
            for (int32_t c = 0; c < channels; c++)
                out[c].insert(out[c].end(), buffers[c].begin(), buffers[c].begin() + produced);
        };
        for (int32_t position = 0; position < length; position += 4096) {
            int32_t count = std::min(4096, length - position);
            for (int32_t c = 0; c < channels; c++)
                kvReadFrames(doc, c, lower + position, count, buffers[c].data());
            take(kvPreviewProcess(run, buffers[0].data(),
                                  channels > 1 ? buffers[1].data() : nullptr, count, length,
                                  position));
        }
        int32_t produced;
        while ((produced = kvPreviewProcess(run, buffers[0].data(),
                                            channels > 1 ? buffers[1].data() : nullptr, 0, length,
                                            length)) > 0)
            take(produced);
        kvEffectFinish(run);
        return out;
    }
};

TEST_P(PreviewEqualsEdit, OverASelectionOfAStereoSound) {
    const int32_t edit = GetParam(), rate = 8000, frames = 30000, lower = 1234, upper = 21000;
    std::vector<float> left = mix(sineWave(frames, 440, rate), noise(frames, 1, 0.3));
    std::vector<float> right = mix(sineWave(frames, 1250, rate), noise(frames, 2, 0.3));
    int32_t doc = makeDocument(rate, left, right);
    kvSetSelection(doc, lower, upper, -1);
    bool tail = edit == KV_EDIT_ECHO || edit == KV_EDIT_REVERB || edit == KV_EDIT_SIMPLE_ECHO;
    int32_t length = upper - lower + (tail ? rate : 0);
    std::vector<std::vector<float>> previewed = preview(doc, edit, lower, length, 2);

    ASSERT_EQ(kvDoEdit(doc, edit), 0);
    for (int32_t c = 0; c < 2; c++) {
        ASSERT_EQ(static_cast<int32_t>(previewed[c].size()), length) << c;
        std::vector<float> edited(length);
        kvReadFrames(doc, c, lower, length, edited.data());
        for (int32_t i = 0; i < length; i++)
            ASSERT_EQ(previewed[c][i], edited[i]) << "channel " << c << " at " << i;
    }
}

class PreviewEqualsEditInMono : public PreviewEqualsEdit {};

TEST_P(PreviewEqualsEditInMono, OverAWholeMonoSound) {
    const int32_t edit = GetParam(), rate = 11025;
    options.extendEffect = 0;
    std::vector<float> samples = mix(sineWave(9000, 700, rate), noise(9000, 3, 0.3));
    int32_t doc = makeDocument(rate, samples);
    std::vector<std::vector<float>> previewed = preview(doc, edit, 0, 9000, 1);
    ASSERT_EQ(kvDoEdit(doc, edit), 0);
    EXPECT_EQ(previewed[0], channel(doc, 0));
}

static std::string editName(const ::testing::TestParamInfo<int32_t> &info) {
    return "Edit" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(Effects, PreviewEqualsEdit,
                         ::testing::Values(KV_EDIT_EQUALIZER, KV_EDIT_COMPRESSOR, KV_EDIT_ECHO,
                                           KV_EDIT_REVERB, KV_EDIT_SIMPLE_ECHO, KV_EDIT_DISTORTION,
                                           KV_EDIT_FFT_FILTER),
                         editName);
/* Echo and Reverb need two channels. */
INSTANTIATE_TEST_SUITE_P(Effects, PreviewEqualsEditInMono,
                         ::testing::Values(KV_EDIT_EQUALIZER, KV_EDIT_COMPRESSOR,
                                           KV_EDIT_SIMPLE_ECHO, KV_EDIT_DISTORTION,
                                           KV_EDIT_FFT_FILTER),
                         editName);
