/*
 * The FFT Filter: empty and full bands, exact output length with the drain,
 * moving edges, and edges beyond half the sample rate.
 */
#include "engine/dsp/fft_filter.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

class FftFilter : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        options.fftSize = 2048;
        options.fftWindow = 4;
        options.fftOverlap = 8;
        params.fftDynamic = 0;
    }
    void band(int32_t type, int32_t lo, int32_t hi) {
        params.fftFilterType = type;
        params.fftStartHighPassHz = params.fftEndHighPassHz = lo;
        params.fftStartLowPassHz = params.fftEndLowPassHz = hi;
    }
};

TEST_F(FftFilter, BandPassWithEqualEdgesPassesNothing) {
    std::vector<float> input = mix(sineWave(30000, 440, 44100), noise(30000, 3, 0.2));
    int32_t doc = makeDocument(44100, input);
    band(0, 1000, 1000);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_FFT_FILTER), 0);
    std::vector<float> output = channel(doc, 0);
    ASSERT_EQ(output.size(), input.size());
    for (size_t i = 0; i < output.size(); i++)
        ASSERT_EQ(output[i], 0.0f) << i;
}

TEST_F(FftFilter, BandRejectWithEqualEdgesPassesEverythingWithinTheWindowRipple) {
    for (int32_t window = 0; window <= 5; window++) {
        options.fftWindow = window;
        std::vector<float> input =
            mix(sineWave(30000, 440, 44100, 0.3), sineWave(30000, 5000, 44100, 0.3));
        int32_t doc = makeDocument(44100, input);
        band(1, 1000, 1000);
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_FFT_FILTER), 0);
        std::vector<float> output = channel(doc, 0);
        ASSERT_EQ(output.size(), input.size());
        double gain = rms(output, 4096, 26000) / rms(input, 4096, 26000);
        if (window == 4) {
            EXPECT_NEAR(gain, 1.0, 0.02) << "Hanning is the calibrated window";
        }
        double worst = 0.0;
        for (size_t i = 4096; i < 26000; i++)
            worst = std::max(worst, std::fabs(output[i] - gain * input[i]));
        EXPECT_LT(worst, 0.02) << "window " << window;
        kvClose(doc);
    }
}

TEST_F(FftFilter, OutputLengthEqualsInputLengthForEveryRangeLength) {
    /* (V - 1) x H = 1792 with the defaults: 1000 is shorter than the delay */
    for (int32_t length : {1, 1000, 1792, 4095, 4097, 10000}) {
        std::vector<float> input = sineWave(12000, 300, 8000);
        int32_t doc = makeDocument(8000, input);
        kvSetSelection(doc, 500, 500 + length, -1);
        band(1, 4000, 4000);
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_FFT_FILTER), 0);
        ASSERT_EQ(kvGetLength(doc), 12000) << length;
        std::vector<float> output = channel(doc, 0);
        for (int32_t i : {0, 499, 500 + length, 11999})
            EXPECT_EQ(output[i], input[i]) << length << " at " << i;
        kvClose(doc);
    }
}

TEST_F(FftFilter, AShortRangeComesOutOfTheDrainAlone) {
    int32_t doc = makeDocument(8000, sineWave(1000, 300, 8000));
    band(1, 4000, 4000);
    KvEffectRun *run = kvEffectStart(doc, KV_EDIT_FFT_FILTER, KV_RUN_EDIT);
    ASSERT_NE(run, nullptr);
    std::vector<float> buffer = sineWave(4096, 300, 8000);
    EXPECT_EQ(kvFftFilter(*run, 0, buffer.data(), buffer.data(), 1000, 0, 1000), 0);
    int32_t drained = 0, produced;
    while ((produced = kvFftFilterDrain(*run, 0, buffer.data(), 1000)) > 0)
        drained += produced;
    EXPECT_EQ(drained, 1000);
    kvEffectFinish(run);
}

TEST_F(FftFilter, DynamicEdgesMoveFromTheStartValuesToTheEndValues) {
    const int32_t rate = 44100, count = 5 * 44100;
    std::vector<float> input =
        mix(sineWave(count, 500, rate, 0.3), sineWave(count, 8000, rate, 0.3));
    int32_t doc = makeDocument(rate, input);
    params.fftFilterType = 0;
    params.fftDynamic = 1;
    params.fftStartHighPassHz = 0;
    params.fftStartLowPassHz = 1500;
    params.fftEndHighPassHz = 7000;
    params.fftEndLowPassHz = 9000;
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_FFT_FILTER), 0);
    std::vector<float> output = channel(doc, 0);
    const size_t part = count / 20;
    /* first twentieth: the band runs from 0..1500 to 350..1875 Hz; the last
     * from 6650..8625 to 7000..9000 Hz */
    EXPECT_NEAR(amplitudeAt(output, 0, part, 500, rate), 0.3, 0.02);
    EXPECT_LT(amplitudeAt(output, 0, part, 8000, rate), 0.01);
    EXPECT_LT(amplitudeAt(output, count - part, count, 500, rate), 0.01);
    EXPECT_NEAR(amplitudeAt(output, count - part, count, 8000, rate), 0.3, 0.02);
    /* half way the band (about 3500..5250 Hz) holds neither */
    EXPECT_LT(rms(output, count / 2 - part, count / 2 + part), 0.01);
}

TEST_F(FftFilter, EdgesAboveHalfTheSampleRateClampToTheTopBin) {
    std::vector<float> input =
        mix(sineWave(20000, 440, 22050, 0.3), sineWave(20000, 9000, 22050, 0.3));
    int32_t doc = makeDocument(22050, input);
    band(0, 0, 100000); /* upper edge far above 11025 Hz: keeps every bin */
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_FFT_FILTER), 0);
    double kept = rms(channel(doc, 0), 4096, 16000) / rms(input, 4096, 16000);
    EXPECT_NEAR(kept, 1.0, 0.02);
    kvUndo(doc);
    kvSetSelection(doc, 0, 0, -1);
    band(1, 30000, 90000); /* both edges clamp to the top: rejects nothing */
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_FFT_FILTER), 0);
    kept = rms(channel(doc, 0), 4096, 16000) / rms(input, 4096, 16000);
    EXPECT_NEAR(kept, 1.0, 0.02);
}

TEST_F(FftFilter, InPlaceCallsNeverReturnMoreThanGivenAndTheCutsDoNotMatter) {
    const int32_t length = 20000;
    std::vector<float> input = mix(sineWave(length, 700, 8000), noise(length, 4, 0.2));
    int32_t doc = makeDocument(8000, input);
    band(0, 300, 1200);
    auto run = [&](int32_t piece) {
        std::vector<float> out, buffer(4096);
        KvEffectRun *run = kvEffectStart(doc, KV_EDIT_FFT_FILTER, KV_RUN_EDIT);
        EXPECT_NE(run, nullptr);
        for (int32_t done = 0; done < length; done += piece) {
            int32_t n = std::min(piece, length - done);
            std::copy(input.begin() + done, input.begin() + done + n, buffer.begin());
            int32_t produced = kvFftFilter(*run, 0, buffer.data(), buffer.data(), n, done, length);
            EXPECT_LE(produced, n);
            out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
        }
        int32_t produced;
        while ((produced = kvFftFilterDrain(*run, 0, buffer.data(), length)) > 0)
            out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
        kvEffectFinish(run);
        return out;
    };
    std::vector<float> blocks = run(4096);
    ASSERT_EQ(static_cast<int32_t>(blocks.size()), length);
    EXPECT_EQ(run(1000), blocks);
    EXPECT_EQ(run(77), blocks);
}
