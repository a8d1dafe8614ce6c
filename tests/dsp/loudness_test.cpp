/*
 * Loudness measurement against signals built from the EBU Tech 3341 and
 * 3342 definitions, and Loudness Normalize: the target reached, the true
 * peak held under the ceiling, the length kept, one undo step, cancel.
 */
#include "engine/dsp/dispatcher.h"
#include "engine/dsp/loudness.h"
#include "engine/platform/clock.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <cmath>
#include <ebur128.h>
#include <tuple>

namespace {

constexpr int32_t kRate = 48000;

/* A 1 kHz sine of `seconds` at `dbfs` peak (0 dBFS: full scale). */
std::vector<float> tone(double seconds, double dbfs, double hz = 1000, double phase = 0) {
    std::vector<float> samples(static_cast<size_t>(seconds * kRate));
    double amplitude = std::pow(10.0, dbfs / 20.0);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = static_cast<float>(
            amplitude *
            std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / kRate + phase));
    return samples;
}

std::vector<float> joined(std::initializer_list<std::vector<float>> parts) {
    std::vector<float> all;
    for (const auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

KV_Loudness measure(int32_t doc) {
    KV_Loudness result{};
    EXPECT_EQ(kvMeasureLoudness(doc, &result, sizeof result), 0);
    return result;
}

} // namespace

class Loudness : public EffectTest {};

TEST_F(Loudness, TestSignalsReadTheirDefinedLoudness) {
    const double any = NAN;
    struct Case {
        const char *name;
        std::vector<float> left;
        bool stereo;
        double integrated, range, shortTermMax, truePeak;
    };
    const Case cases[] = {
        {"3341 #1: -23 dBFS stereo", tone(20, -23), true, -23.0, any, -23.0, any},
        {"3341 #2: -33 dBFS stereo", tone(20, -33), true, -33.0, any, any, any},
        {"3341 #3: gated quiet ends", joined({tone(10, -36), tone(60, -23), tone(10, -36)}), true,
         -23.0, any, any, any},
        {"3341 #5: relative gate", joined({tone(20, -26), tone(20.1, -20), tone(20, -26)}), true,
         -23.0, any, -20.0, any},
        {"0 dBFS sine in one channel", tone(5, 0), false, -3.01, any, any, any},
        {"3342 #1: 10 LU range", joined({tone(20, -20), tone(20, -30)}), true, any, 10.0, any, any},
        {"3342 #2: 5 LU range", joined({tone(20, -20), tone(20, -15)}), true, any, 5.0, any, any},
        {"true peak between samples", tone(2, 0, kRate / 4.0, std::numbers::pi / 4), false, any,
         any, any, 0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int32_t doc = makeDocument(kRate, c.left, c.stereo ? c.left : std::vector<float>{});
        KV_Loudness result = measure(doc);
        /* value, expected, tolerance: 3341 allows the true peak +0.2 dB */
        const std::tuple<double, double, double> checks[] = {
            {result.integratedLufs, c.integrated, 0.1},
            {result.rangeLu, c.range, 0.1},
            {result.shortTermMaxLufs, c.shortTermMax, 0.1},
            {result.truePeakDbtp, c.truePeak, 0.2}};
        for (const auto &[measured, expected, tolerance] : checks) {
            if (!std::isnan(expected)) {
                EXPECT_NEAR(measured, expected, tolerance);
            }
        }
        kvClose(doc);
    }
}

TEST_F(Loudness, OnlyTheSelectedPartAndChannelAreMeasured) {
    std::vector<float> quietThenLoud = joined({tone(5, -30), tone(5, -10)});
    int32_t doc = makeDocument(kRate, quietThenLoud, tone(10, -40));
    kvSetSelection(doc, 5 * kRate, 10 * kRate, 0);
    EXPECT_NEAR(measure(doc).integratedLufs, -13.01, 0.1);
    kvSetSelection(doc, 0, 0, 1);
    EXPECT_NEAR(measure(doc).integratedLufs, -43.01, 0.1);
}

/* Loudness Normalize measures with KV_LoudnessMeter instead of libebur128,
 * so its numbers must be libebur128's to the bit: at any rate (blocks that
 * straddle the end of libebur128's ring, a ring longer than a block), any
 * length, level and way of cutting the frames into pieces. */
TEST(LoudnessMeter, GivesLibebur128sNumbersExactly) {
    struct Case {
        int32_t rate;
        double seconds;
        int32_t streams;
        double level;
        int32_t piece; /* libebur128's; the meter's pieces are cut otherwise */
    };
    const Case cases[] = {
        {48000, 7.77, 2, 0.3, 4800}, {44100, 2.35, 1, 0.5, 1000},  {44104, 3.1, 2, 0.2, 65537},
        {11025, 1.9, 2, 1.0, 7},     {96000, 0.45, 2, 0.1, 96000}, {18, 90, 1, 0.4, 3},
        {22050, 0.39, 2, 0.5, 512},  {8000, 30, 2, 8e-4, 4096},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        int32_t count = static_cast<int32_t>(c.seconds * c.rate);
        std::vector<float> planes[2] = {noise(count, 1, c.level), noise(count, 2, c.level)};
        /* a quiet first third for the relative gate, silence at the end
         * for the filter to ring down into */
        for (auto &plane : planes) {
            for (int32_t i = 0; i < count / 3; i++)
                plane[i] *= 0.03f;
            std::fill(plane.begin() + count - count / 8, plane.end(), 0.0f);
        }
        ebur128_state *reference =
            ebur128_init(c.streams, c.rate, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
        ASSERT_NE(reference, nullptr);
        std::vector<float> interleaved;
        for (int32_t f = 0; f < count; f++)
            for (int32_t s = 0; s < c.streams; s++)
                interleaved.push_back(planes[s][f]);
        for (int32_t f = 0; f < count; f += c.piece)
            ebur128_add_frames_float(reference, interleaved.data() + f * c.streams,
                                     std::min(c.piece, count - f));
        double integrated, peak = 0, value;
        ebur128_loudness_global(reference, &integrated);
        for (int32_t s = 0; s < c.streams; s++)
            if (ebur128_sample_peak(reference, s, &value) == EBUR128_SUCCESS)
                peak = std::max(peak, value);
        ebur128_destroy(&reference);

        KV_LoudnessMeter meter;
        kvStartMeter(&meter, c.streams, c.rate);
        for (int32_t f = 0, n = 1; f < count; f += n, n = n * 3 + 1) {
            const float *at[2] = {planes[0].data() + f, planes[1].data() + f};
            kvMeterAdd(&meter, at, std::min(n, count - f));
        }
        EXPECT_EQ(kvMeterIntegratedLufs(&meter), integrated);
        EXPECT_EQ(kvMeterSamplePeak(&meter), peak);
    }
}

class LoudnessNormalize : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        ASSERT_EQ(kvSetRepairParams(&repair, sizeof repair), 0);
    }
    KV_RepairParams repair{};

    /* A quiet programme: a chord under noise, with rare sharp clicks that
     * the gain to the target would lift far over the ceiling. */
    static std::vector<float> programme(int32_t seconds, uint32_t seed) {
        int32_t count = seconds * kRate;
        std::vector<float> samples =
            mix(mix(sineWave(count, 220, kRate, 0.02), sineWave(count, 1330, kRate, 0.01)),
                noise(count, seed, 0.01));
        for (int32_t i = kRate / 3; i < count; i += kRate)
            samples[i] = 0.3f, samples[i + 1] = -0.3f;
        return samples;
    }
};

TEST_F(LoudnessNormalize, ReachesTheTargetWithTheTruePeakUnderTheCeilingInOneUndoStep) {
    std::vector<float> left = programme(12, 1), right = programme(12, 2);
    int32_t doc = makeDocument(kRate, left, right);
    int32_t states = kvGetNumUndo(doc);
    for (int32_t ceiling : {-10, -30}) {
        SCOPED_TRACE(ceiling);
        repair.loudnessTarget = -160;
        repair.loudnessCeiling = ceiling;
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_LOUDNESS_NORMALIZE), 0);
        kvSetSelection(doc, 0, 0, -1);
        KV_Loudness after = measure(doc);
        EXPECT_NEAR(after.integratedLufs, -16.0, 0.1);
        EXPECT_LE(after.truePeakDbtp, ceiling / 10.0);
        EXPECT_EQ(kvGetLength(doc), 12 * kRate);
        EXPECT_EQ(kvGetNumUndo(doc), states + 1);
        ASSERT_EQ(kvUndo(doc), 0);
        EXPECT_EQ(channel(doc, 0), left);
        EXPECT_EQ(channel(doc, 1), right);
    }
}

TEST_F(LoudnessNormalize, OneChannelsRangeKeepsItsLengthAndTheOtherChannel) {
    std::vector<float> left = programme(2, 3), right = programme(2, 4);
    int32_t doc = makeDocument(kRate, left, right);
    const int32_t from = 1000, length = kRate / 2 + 4096 + 7;
    kvSetSelection(doc, from, from + length, 1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_LOUDNESS_NORMALIZE), 0);
    EXPECT_EQ(kvGetLength(doc), 2 * kRate);
    EXPECT_EQ(channel(doc, 0), left);
    std::vector<float> edited = channel(doc, 1);
    EXPECT_NE(edited[from + length - 1], right[from + length - 1]);
    EXPECT_EQ(edited[from + length], right[from + length]);
}

TEST_F(LoudnessNormalize, SilenceIsRefusedWithAMessageAndNothingChanges) {
    int32_t doc = makeDocument(kRate, std::vector<float>(kRate, 0.0f));
    int32_t states = kvGetNumUndo(doc);
    EXPECT_EQ(kvDoEdit(doc, KV_EDIT_LOUDNESS_NORMALIZE), -1);
    EXPECT_EQ(shownTexts().size(), 1u);
    EXPECT_EQ(kvGetNumUndo(doc), states);
}

static KV_Params *cancelParams = nullptr;
static int64_t steppingClock() {
    static int64_t now = 0;
    return now += 10;
}
static void cancelOnFirstReport(const char *, int32_t, int32_t percent, int32_t) {
    if (cancelParams && percent > 0) cancelParams->cancelRequested = 1;
}

TEST_F(LoudnessNormalize, CancelWhileMeasuringLeavesTheDocumentAsItWas) {
    stopEngine();
    ASSERT_EQ(kvInit(nullptr, &options, 144, &params, 344, nullptr, cancelOnFirstReport, nullptr),
              0);
    engineStarted = true;
    std::vector<float> samples = programme(3, 5);
    int32_t doc = makeDocument(kRate, samples);
    int32_t states = kvGetNumUndo(doc);
    cancelParams = &params;
    kvTestSetTickSource(steppingClock);
    EXPECT_EQ(kvDoEdit(doc, KV_EDIT_LOUDNESS_NORMALIZE), -1);
    kvTestSetTickSource(nullptr);
    cancelParams = nullptr;
    EXPECT_EQ(kvGetNumUndo(doc), states);
    EXPECT_EQ(channel(doc, 0), samples);
}
