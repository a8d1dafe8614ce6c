/*
 * Compressor/Limiter and Distortion: silence, the hard-clip bound, the ratio
 * blend, the release rate, the vector and plain envelopes agreeing, the gate
 * and the clamp.
 */
#include "engine/dsp/dynamics.h"
#include "engine/dsp/side_by_side.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <cmath>

static double gainOf(double db) {
    return std::pow(2.0, db / 6.0);
}

class Compressor : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        params.compThresholdDb = -12;
        params.compHardClipDb = 12;
        params.compRatio = 100;
        params.compAttack = 30;
        params.compRelease = 25;
        params.compGainDb = 0;
        params.compEnhance = 0;
        params.compSoftKnee = 0;
        params.compSideChain = 0;
        params.compOversample = 0;
    }
    std::vector<float> compress(const std::vector<float> &input, int32_t rate = 44100) {
        int32_t doc = makeDocument(rate, input);
        EXPECT_EQ(kvDoEdit(doc, KV_EDIT_COMPRESSOR), 0);
        std::vector<float> output = channel(doc, 0);
        kvClose(doc);
        return output;
    }
};

TEST_F(Compressor, SilenceStaysSilence) {
    params.compGainDb = 48;
    params.compEnhance = 10;
    for (int32_t switches = 0; switches < 8; switches++) {
        params.compSoftKnee = switches & 1;
        params.compSideChain = (switches >> 1) & 1;
        params.compOversample = (switches >> 2) & 1;
        std::vector<float> output = compress(std::vector<float>(10000, 0.0f));
        for (size_t i = 0; i < output.size(); i++)
            ASSERT_EQ(output[i], 0.0f) << switches << " at " << i;
    }
}

TEST_F(Compressor, NoOutputExceedsTheHardClipWhateverTheInput) {
    params.compHardClipDb = -9;
    params.compEnhance = 10;
    const float bound = static_cast<float>(gainOf(-9));
    std::vector<float> input = mix(noise(30000, 7, 4.0), sineWave(30000, 50, 44100, 4.0));
    for (int32_t switches = 0; switches < 8; switches++) {
        params.compSoftKnee = switches & 1;
        params.compSideChain = (switches >> 1) & 1;
        params.compOversample = (switches >> 2) & 1;
        for (int32_t ratio : {1, 2, 100}) {
            params.compRatio = ratio;
            std::vector<float> output = compress(input);
            for (size_t i = 0; i < output.size(); i++)
                ASSERT_LE(std::fabs(output[i]), bound) << switches << " " << ratio << " at " << i;
        }
    }
}

TEST_F(Compressor, RatioTwoPassesHalfOfEverySampleUncompressed) {
    params.compRatio = 2;
    params.compThresholdDb = -48;
    params.compAttack = 1;
    std::vector<float> input = sineWave(20000, 440, 44100, 0.8);
    std::vector<float> output = compress(input);
    for (size_t i = 0; i < input.size(); i++) {
        if (input[i] == 0.0f) continue;
        double share = output[i] / input[i];
        ASSERT_GE(share, 0.5 - 1e-6) << i;
        ASSERT_LE(share, 1.0 + 1e-6) << i;
        /* once the gain has fallen, only the uncompressed half is left */
        if (i > 2000) {
            ASSERT_LT(share, 0.51) << i;
        }
    }
    params.compRatio = 100;
    output = compress(input);
    EXPECT_LT(std::fabs(output[10000]), 0.01 * std::fabs(input[10000]));
}

TEST_F(Compressor, GainClimbsBackFromSilenceAtTheReleaseRate) {
    const int32_t rate = 44100, loud = 2000, first = loud + 100, second = first + 1000;
    params.compAttack = 1;
    params.compRelease = 25;
    std::vector<float> input(second + 1, 0.0f);
    for (int32_t i = 0; i < loud; i++)
        input[i] = 0.9f;
    /* probes far below the knee (no attack) read the gain: y = x G */
    const float probe = 1e-4f;
    input[first] = input[second] = probe;
    std::vector<float> output = compress(input, rate);
    double before = output[first] / probe, after = output[second] / probe;
    ASSERT_LT(after, 0.9) << "the gain must still be climbing";
    double release = 2.0 / (25 * 0.01 * rate);
    EXPECT_NEAR(after / before, std::pow(1.0 + release, second - first), 1e-3);
    for (int32_t i = loud; i < second; i++)
        ASSERT_EQ(output[i], i == first ? output[first] : 0.0f) << i;
}

/* The oversampled envelope forms its knee terms in 256-bit vectors where it
 * can, and a stereo edit runs its second channel on another core where it
 * can; every bit must match the plain one-thread code, mono and stereo, knee
 * or not. */
TEST_F(Compressor, EveryWayOfRunningTheEnvelopesGivesTheSameBits) {
    params.compOversample = params.compSideChain = 1;
    params.compEnhance = 5;
    std::vector<float> left = mix(noise(20000, 3, 0.3), sineWave(20000, 220, 44100, 0.6));
    std::vector<float> right = mix(noise(20000, 4, 0.3), sineWave(20000, 3100, 44100, 0.5));
    struct Way {
        bool wide, side;
    };
    const Way ways[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    bool vectors = __builtin_cpu_supports("avx2");
    for (int32_t knee : {0, 1})
        for (bool stereo : {false, true}) {
            params.compSoftKnee = knee;
            std::vector<float> plain[2];
            for (const Way &way : ways) {
                if (way.wide && !vectors) continue;
                kvCompressorAllowWide(way.wide);
                kvAllowSideBySide(way.side);
                int32_t doc = makeDocument(44100, left, stereo ? right : std::vector<float>{});
                EXPECT_EQ(kvDoEdit(doc, KV_EDIT_COMPRESSOR), 0);
                for (int32_t c = 0; c < (stereo ? 2 : 1); c++) {
                    if (!way.wide && !way.side)
                        plain[c] = channel(doc, c);
                    else
                        EXPECT_EQ(channel(doc, c), plain[c]) << knee << stereo << way.wide << c;
                }
                kvClose(doc);
            }
            kvCompressorAllowWide(true);
            kvAllowSideBySide(true);
        }
}

class Distortion : public EffectTest {};

TEST_F(Distortion, TheGateIsOffAtMinus96Decibels) {
    params.distHighClipDb = 0;
    params.distLowThresholdDb = -96;
    std::vector<float> input = {1e-9f, -1e-7f, 1e-5f, 0.3f, -0.7f};
    int32_t doc = makeDocument(8000, input);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_DISTORTION), 0);
    EXPECT_EQ(channel(doc, 0), input);
    kvUndo(doc);
    kvSetSelection(doc, 0, 0, -1);
    params.distLowThresholdDb = -60; /* 2^-10 */
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_DISTORTION), 0);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{0.0f, 0.0f, 0.0f, 0.3f, -0.7f}));
}

TEST_F(Distortion, HighClipAtZeroDecibelsClampsToFullScale) {
    params.distHighClipDb = 0;
    params.distLowThresholdDb = -96;
    int32_t doc = makeDocument(8000, {2.5f, -1.5f, 0.99f, -1.0f, 1.0001f});
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_DISTORTION), 0);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{1.0f, -1.0f, 0.99f, -1.0f, 1.0f}));
    kvUndo(doc);
    kvSetSelection(doc, 0, 0, -1);
    params.distHighClipDb = -12;
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_DISTORTION), 0);
    EXPECT_EQ(channel(doc, 0)[0], 0.25f);
    EXPECT_EQ(channel(doc, 0)[1], -0.25f);
}
