/*
 * The effects that are tuned for speed keep their results bit for bit: each
 * runs over a fixed stereo float document and the hash of every output
 * sample's bits must equal the one the straightforward code gave.
 */
#include "engine/dsp/fft.h"
#include "engine/dsp/side_by_side.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <algorithm>
#include <cstring>

namespace {

struct GoldenCase {
    const char *name;
    int32_t edit;
    void (*set)(KV_Options *options, KV_Params *params);
    uint64_t hash;
    bool transforms; /* has an eight-lane path (the FFT engine, the reverb taps) */
    bool clicks;     /* quiet but for two full-scale clicks: a limiter works only near them */
};

void fftFilter(KV_Options *options, KV_Params *params) {
    options->fftSize = 2048, options->fftWindow = 4, options->fftOverlap = 8;
    params->fftStartHighPassHz = params->fftEndHighPassHz = 200;
    params->fftStartLowPassHz = params->fftEndLowPassHz = 4000;
}

/* the smallest hop (8), whose frames start off the eight-sample grid, and
 * the largest transform */
void fftFilterSmallHop(KV_Options *options, KV_Params *params) {
    fftFilter(options, params);
    options->fftSize = 256, options->fftWindow = 0, options->fftOverlap = 32;
}

void fftFilterLarge(KV_Options *options, KV_Params *params) {
    fftFilter(options, params);
    options->fftSize = 8192, options->fftWindow = 2, options->fftOverlap = 4;
    params->fftFilterType = 1;
}

void compressor(KV_Options *, KV_Params *p) {
    p->compThresholdDb = -12, p->compHardClipDb = -9, p->compRatio = 100, p->compAttack = 30;
    p->compRelease = 25, p->compGainDb = 10, p->compEnhance = 5, p->compSoftKnee = 1;
    p->compSideChain = 1, p->compOversample = 1;
}

/* the other envelope: one step per sample, a hard knee, a finite ratio */
void compressorPlain(KV_Options *options, KV_Params *p) {
    compressor(options, p);
    p->compRatio = 4, p->compSoftKnee = 0, p->compSideChain = 0, p->compOversample = 0;
}

void stereoEcho(KV_Options *, KV_Params *p) {
    p->echoFeedbackRtoLDb = -9, p->echoLeftFromLeftDb = -3, p->echoLeftFromRightDb = -9;
    p->echoRightFromLeftDb = -9, p->echoRightFromRightDb = -3, p->echoFeedbackLtoRDb = -9;
    p->echoLowPass = 800, p->echoHighPass = 200, p->echoLeftDelayMs = 100;
    p->echoRightDelayMs = 150, p->echoDryLeftDb = 0, p->echoWetLeftDb = -15;
    p->echoWetRightDb = -15, p->echoDryRightDb = 0;
}

/* crossed feedback, unequal lines and the tail carried past the end, where
 * the lines take no new input */
void stereoEchoBounceTail(KV_Options *options, KV_Params *p) {
    stereoEcho(options, p);
    p->echoBounce = 1, p->echoLeftDelayMs = 37, p->echoRightDelayMs = 1000;
    p->echoLowPass = 1000, p->echoHighPass = 0;
    options->extendEffect = 1, options->extendAmount = 1;
}

void reverb(KV_Options *, KV_Params *p) {
    const int32_t levels[6] = {0, 0, -12, -12, 0, 0};
    std::copy(levels, levels + 6, p->reverbLevelDb);
    p->reverbRoomSize = 4, p->reverbWall = 2;
}

/* the shortest taps, the most feedback and unequal sides, with a tail */
void reverbSmallRoomTail(KV_Options *options, KV_Params *p) {
    const int32_t levels[6] = {3, -6, 0, -3, -2, 1};
    std::copy(levels, levels + 6, p->reverbLevelDb);
    p->reverbRoomSize = 0, p->reverbWall = 0;
    options->extendEffect = 1, options->extendAmount = 1;
}

void pitchMode1(KV_Options *options, KV_Params *p) {
    options->fftSize = 2048, options->fftWindow = 4, options->fftOverlap = 8;
    p->pitchMode = 1, p->pitchStart = p->pitchEnd = 150, p->pitchDynamic = 0;
}

void pitchMode2(KV_Options *, KV_Params *p) {
    p->pitchMode = 2, p->pitchStart = p->pitchEnd = 150, p->pitchDynamic = 0;
}

void setLoudnessTarget(int32_t target) {
    static KV_RepairParams repair;
    kvSetRepairParams(&repair, sizeof repair);
    repair.loudnessTarget = target, repair.loudnessCeiling = -10;
}

/* a target the peaks cannot reach unlimited: the limiter and the trial runs
 * that correct for it work too */
void loudnessLimited(KV_Options *, KV_Params *) {
    setLoudnessTarget(-50);
}

void loudnessNearClicks(KV_Options *, KV_Params *) {
    setLoudnessTarget(-120);
}

const GoldenCase kCases[] = {
    {"FftFilter2048Hanning8", 15, fftFilter, 0x48f8b46db96fdba7ull, true, false},
    {"FftFilter256Rectangle32", 15, fftFilterSmallHop, 0x9c9fe96ff8a1343eull, true, false},
    {"FftFilter8192Blackman4Reject", 15, fftFilterLarge, 0xc72ee3ce638c6cceull, true, false},
    {"CompressorOversampled", 9, compressor, 0x1216261e08f8f7acull, false, false},
    {"CompressorPlain", 9, compressorPlain, 0x1e9fb4fdebb13bb2ull, false, false},
    {"StereoEcho", 11, stereoEcho, 0x9cf2c2e33b66570full, false, false},
    {"StereoEchoBounceTail", 11, stereoEchoBounceTail, 0x61f542d7c7b8dab3ull, false, false},
    {"Reverb", 12, reverb, 0xf3f1eaa2b31442e0ull, true, false},
    {"ReverbSmallRoomTail", 12, reverbSmallRoomTail, 0x6d91cbb3649c69c5ull, true, false},
    {"Reverse", 7, nullptr, 0x932cde7a7db84490ull, false, false},
    {"PitchMode1At150", 17, pitchMode1, 0xd8e24bbeeabbb85aull, true, false},
    {"PitchMode2At150", 17, pitchMode2, 0x342982144bf901c1ull, true, false},
    {"LoudnessNormalize", 18, nullptr, 0xc32f4b65ce9f670full, false, false},
    {"LoudnessNormalizeLimited", 18, loudnessLimited, 0xeb6324af9ca50685ull, false, false},
    {"LoudnessNormalizeNearClicks", 18, loudnessNearClicks, 0xb798514481b86c63ull, false, true},
};

void PrintTo(const GoldenCase &golden, std::ostream *out) {
    *out << golden.name;
}

/* Every case with the widest vectors the processor has and stereo edits on
 * two cores, and the cases on the FFT engine once more held to four lanes
 * and one thread. */
std::vector<std::tuple<GoldenCase, bool>> goldenRuns() {
    std::vector<std::tuple<GoldenCase, bool>> runs;
    for (const GoldenCase &golden : kCases) {
        runs.emplace_back(golden, true);
        if (golden.transforms) runs.emplace_back(golden, false);
    }
    return runs;
}

/* FNV-1a over the length and the bits of every sample of both channels. */
uint64_t hashSamples(const std::vector<float> &left, const std::vector<float> &right) {
    uint64_t hash = 1469598103934665603ull;
    auto add = [&hash](uint32_t word) {
        for (int32_t b = 0; b < 4; b++) {
            hash ^= (word >> (8 * b)) & 0xff;
            hash *= 1099511628211ull;
        }
    };
    add(static_cast<uint32_t>(left.size()));
    for (const std::vector<float> *samples : {&left, &right})
        for (float sample : *samples) {
            uint32_t bits;
            std::memcpy(&bits, &sample, sizeof bits);
            add(bits);
        }
    return hash;
}

} // namespace

class GoldenOutput : public EffectTest,
                     public ::testing::WithParamInterface<std::tuple<GoldenCase, bool>> {
  protected:
    void TearDown() override {
        kvFftAllowWide(true);
        kvAllowSideBySide(true);
        EffectTest::TearDown();
    }
};

TEST_P(GoldenOutput, SamplesUnchanged) {
    const GoldenCase &golden = std::get<0>(GetParam());
    kvFftAllowWide(std::get<1>(GetParam()));
    kvAllowSideBySide(std::get<1>(GetParam()));
    options.extendEffect = 0;
    if (golden.set) golden.set(&options, &params);
    const int32_t frames = 60000;
    std::vector<float> left = mix(noise(frames, 7, 0.3), testWave(frames, 0.5f, 101));
    std::vector<float> right = mix(noise(frames, 8, 0.3), testWave(frames, 0.4f, 37));
    if (golden.clicks) {
        for (int32_t i = 0; i < frames; i++)
            left[i] *= 0.25f, right[i] *= 0.25f;
        for (int32_t at : {3000, 8000})
            left[at] = 1.0f, right[at + 1] = -1.0f;
    }
    int32_t doc = kvCreate(nullptr);
    ASSERT_EQ(kvNew(doc, 2, 32, 3, 44100), 0);
    ASSERT_EQ(replace(doc, 0, 0, -1, left, right, "Fill"), 0);
    kvSetSelection(doc, 0, 0, -1);
    ASSERT_EQ(kvDoEdit(doc, golden.edit), 0);
    EXPECT_EQ(hashSamples(channel(doc, 0), channel(doc, 1)), golden.hash)
        << std::hex << "0x" << hashSamples(channel(doc, 0), channel(doc, 1));
}

INSTANTIATE_TEST_SUITE_P(Effects, GoldenOutput, ::testing::ValuesIn(goldenRuns()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Wide" : "FourLanesOneThread");
                         });
