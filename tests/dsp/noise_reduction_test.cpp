/*
 * Noise Reduction: the noise profile's life with its document, and the gate
 * on a tone in noise: noise alone is lowered by about the reduction while
 * the tone keeps its level, undone in one step.
 */
#include "engine/dsp/dispatcher.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <cmath>

class NoiseReduction : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        ASSERT_EQ(kvSetRepairParams(&repair, sizeof repair), 0);
    }
    KV_RepairParams repair{};
};

TEST_F(NoiseReduction, TheProfileNeedsAFrameOfNoiseAndGoesWithItsDocument) {
    int32_t doc = makeDocument(44100, noise(44100, 1, 0.1));
    EXPECT_EQ(kvHasNoiseProfile(doc), 0);
    EXPECT_EQ(kvDoEdit(doc, KV_EDIT_NOISE_REDUCTION), -1);
    EXPECT_EQ(shownTexts().size(), 1u);
    kvSetSelection(doc, 0, 1000, -1); /* shorter than the 2048-point frame */
    EXPECT_EQ(kvTakeNoiseProfile(doc), -1);
    EXPECT_EQ(shownTexts().size(), 1u);
    kvSetSelection(doc, 0, 20000, -1);
    ASSERT_EQ(kvTakeNoiseProfile(doc), 0);
    EXPECT_EQ(kvHasNoiseProfile(doc), 1);
    kvClose(doc);
    int32_t again = makeDocument(44100, noise(44100, 1, 0.1));
    ASSERT_EQ(again, doc);
    EXPECT_EQ(kvHasNoiseProfile(again), 0);
}

TEST_F(NoiseReduction, NoiseFallsByAboutTheReductionWhileAToneInItKeepsItsLevel) {
    const int32_t rate = 44100, second = rate;
    /* White noise 10 dB under the tone: 2 s alone, 2 s with the tone, 2 s alone. */
    std::vector<float> hiss = noise(6 * second, 7, 0.1);
    std::vector<float> toneOnly(6 * second, 0.0f), signal(hiss);
    std::vector<float> sine =
        sineWave(2 * second, 1000, rate, 0.1 * std::sqrt(2.0 / 3.0) * std::pow(10.0, 0.5));
    std::copy(sine.begin(), sine.end(), toneOnly.begin() + 2 * second);
    signal = mix(hiss, toneOnly);
    int32_t doc = makeDocument(rate, signal);
    kvSetSelection(doc, 0, 2 * second, -1);
    ASSERT_EQ(kvTakeNoiseProfile(doc), 0);
    kvSetSelection(doc, 0, 0, -1);
    for (int32_t reductionDb : {12, 24}) {
        SCOPED_TRACE(reductionDb);
        repair.noiseReductionDb = reductionDb;
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_NOISE_REDUCTION), 0);
        std::vector<float> after = channel(doc, 0);
        ASSERT_EQ(after.size(), signal.size());
        /* From the very start of the range, and after the tone has ended. */
        for (auto [from, to] : {std::pair{0, 2 * second}, std::pair{9 * second / 2, 6 * second}}) {
            double lowered = 20 * std::log10(rms(signal, from, to) / rms(after, from, to));
            EXPECT_NEAR(lowered, reductionDb, 2.0) << from;
        }
        double toneChange =
            20 * std::log10(amplitudeAt(after, 2.5 * second, 3.5 * second, 1000, rate) /
                            amplitudeAt(signal, 2.5 * second, 3.5 * second, 1000, rate));
        EXPECT_NEAR(toneChange, 0.0, 0.5);
        ASSERT_EQ(kvUndo(doc), 0);
        EXPECT_EQ(channel(doc, 0), signal);
    }
}

namespace {

/* Voiced "speech": a gliding 120 Hz voice with 30 falling harmonics, in
 * 250 ms syllables parted by 50 ms gaps. */
std::vector<float> speech(int32_t count, int32_t rate) {
    std::vector<float> samples(count);
    double phase = 0;
    for (int32_t i = 0; i < count; i++) {
        double t = static_cast<double>(i) / rate;
        phase += 2 * std::numbers::pi * (120 + 20 * std::sin(2 * std::numbers::pi * 3 * t)) / rate;
        double syllable = std::fmod(t, 0.3);
        double envelope =
            syllable < 0.25 ? std::pow(std::sin(std::numbers::pi * syllable / 0.25), 2) : 0.0;
        double voice = 0;
        for (int32_t k = 1; k <= 30; k++)
            voice += std::sin(k * phase) / k;
        samples[i] = static_cast<float>(0.2 * envelope * voice);
    }
    return samples;
}

/* Noise of the colour asked for: white, or pink (-3 dB per octave, by
 * Kellet's filter). */
std::vector<float> colouredNoise(int32_t count, bool pink) {
    std::vector<float> white = noise(count, 11, 1.0);
    if (!pink) return white;
    double b[7] = {};
    for (float &sample : white) {
        double w = sample;
        b[0] = 0.99886 * b[0] + w * 0.0555179;
        b[1] = 0.99332 * b[1] + w * 0.0750759;
        b[2] = 0.96900 * b[2] + w * 0.1538520;
        b[3] = 0.86650 * b[3] + w * 0.3104856;
        b[4] = 0.55000 * b[4] + w * 0.5329522;
        b[5] = -0.7616 * b[5] - w * 0.0168980;
        sample = static_cast<float>(b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362);
        b[6] = w * 0.115926;
    }
    return white;
}

} // namespace

TEST_F(NoiseReduction, SpeechInWhiteAndPinkNoiseAtTenDbKeepsItsLevelWhileThePausesFall) {
    const int32_t rate = 44100, pause = 3 * rate / 2, talk = 3 * rate;
    std::vector<float> voice(pause, 0.0f);
    std::vector<float> words = speech(talk, rate);
    voice.insert(voice.end(), words.begin(), words.end());
    voice.resize(2 * pause + talk, 0.0f);
    double speechLevel = rms(voice, pause, pause + talk);
    for (bool pink : {false, true}) {
        SCOPED_TRACE(pink ? "pink" : "white");
        std::vector<float> hiss = colouredNoise(static_cast<int32_t>(voice.size()), pink);
        double scale = speechLevel / std::pow(10.0, 0.5) / rms(hiss, 0, hiss.size());
        for (float &sample : hiss)
            sample = static_cast<float>(sample * scale);
        std::vector<float> noisy = mix(voice, hiss);
        int32_t doc = makeDocument(rate, noisy);
        kvSetSelection(doc, 0, pause, -1);
        ASSERT_EQ(kvTakeNoiseProfile(doc), 0);
        kvSetSelection(doc, 0, 0, -1);
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_NOISE_REDUCTION), 0);
        std::vector<float> after = channel(doc, 0);
        size_t lastPause = pause + talk + rate / 2;
        double lowered = 20 * std::log10(rms(noisy, lastPause, noisy.size()) /
                                         rms(after, lastPause, after.size()));
        double speechChange = 20 * std::log10(rms(after, pause, pause + talk) / speechLevel);
        EXPECT_GE(lowered, 15.0);
        EXPECT_LT(std::fabs(speechChange), 1.0);
        kvClose(doc);
    }
}

TEST_F(NoiseReduction, AWriteThatFailsMidEditLeavesTheDocumentAsItWasForBothNewEdits) {
    std::vector<float> left = mix(sineWave(5 * 44100, 440, 44100, 0.3), noise(5 * 44100, 3, 0.05));
    std::vector<float> right = noise(5 * 44100, 4, 0.05);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 0, 44100, -1);
    ASSERT_EQ(kvTakeNoiseProfile(doc), 0);
    for (int32_t edit : {KV_EDIT_LOUDNESS_NORMALIZE, KV_EDIT_NOISE_REDUCTION}) {
        SCOPED_TRACE(edit);
        int32_t states = kvGetNumUndo(doc);
        kvSetSelection(doc, 0, 0, -1);
        kvTestFileFault(KV_FAULT_WRITE, 1, -1);
        EXPECT_EQ(kvDoEdit(doc, edit), -1);
        kvTestFileFault(KV_FAULT_WRITE, 0, 0);
        EXPECT_FALSE(shownTexts().empty());
        EXPECT_EQ(kvGetNumUndo(doc), states);
        EXPECT_EQ(channel(doc, 0), left);
        EXPECT_EQ(channel(doc, 1), right);
    }
}
