/*
 * Reverb: the output against a plain model of the 16-tap ring (with the
 * walls' feedback, at a low rate where a tap points ahead of the write
 * position), the tail zone, and rates above 96000 Hz.
 */
#include "engine/dsp/reverb.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <cmath>

namespace {

const int32_t kRing = 131072;
const int32_t kPercent[16] = {19, 21, 33, 45, 58, 65, 72, 77, 82, 86, 89, 93, 95, 97, 98, 99};
const int32_t kOffset[16] = {-8, 9, 6, -4, -2, -3, 4, 6, 1, -5, -7, 8, -2, -3, -2, 1};

struct Wall {
    float feedback, inputGain, ku, kv;
};

/* A direct reading of the reverb: every level at 0 dB, no tail zone. */
class ModelReverb {
  public:
    ModelReverb(Wall wall, int32_t base) : wall(wall), base(base), ring(kRing, 0.0f) {}

    void run(std::vector<float> &left, std::vector<float> &right) {
        for (size_t i = 0; i < left.size(); i++) {
            pos = (pos + 1) % kRing;
            float in = wall.inputGain * left[i] + wall.inputGain * right[i];
            float wetL = 0.0f, wetR = 0.0f;
            for (int32_t k = 0; k < 16; k++) {
                int32_t d = kPercent[k] * base / 100;
                float g = (100 - kPercent[k]) * 0.01f, f = (kOffset[k] + 15) * 0.0333333f;
                float cL = g * (1.0f - f), cR = g * f;
                wetL += cL * chain(taps[k][0], ring[wrap(pos - d - 5 * kOffset[k])], cL);
                wetR += cR * chain(taps[k][1], ring[wrap(pos - d + 5 * kOffset[k])], cR);
            }
            wetL = std::clamp(wetL, -4.0f, 4.0f);
            wetR = std::clamp(wetR, -4.0f, 4.0f);
            left[i] += wetL;
            right[i] += wetR;
            float uOut = chain(u, in + wall.feedback * (wetL + wetR), wall.ku);
            ring[pos] = chain(v, in - uOut, wall.kv);
        }
    }

  private:
    static int32_t wrap(int32_t p) { return ((p % kRing) + kRing) % kRing; }
    static float chain(float *s, float x, float k) {
        for (int32_t j = 0; j < 4; j++) {
            s[j] = s[j] + (x - s[j]) * k;
            x = s[j];
        }
        return x;
    }
    Wall wall;
    int32_t base;
    std::vector<float> ring;
    int32_t pos = 0;
    float taps[16][2][4] = {};
    float u[4] = {}, v[4] = {};
};

double largestDifference(const std::vector<float> &a, const std::vector<float> &b) {
    double worst = 0.0;
    for (size_t i = 0; i < a.size(); i++)
        worst = std::max(worst, static_cast<double>(std::fabs(a[i] - b[i])));
    return worst;
}

} // namespace

class Reverb : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        options.extendEffect = 0;
        for (int32_t &level : params.reverbLevelDb)
            level = 0;
    }
    /* The edit's output beside the model's for each wall. */
    void compare(int32_t rate, int32_t room, int32_t wall, int32_t count, const Wall &model,
                 double *matching) {
        std::vector<float> left = noise(count, 31, 0.3), right = noise(count, 32, 0.3);
        int32_t doc = makeDocument(rate, left, right);
        params.reverbRoomSize = room;
        params.reverbWall = wall;
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_REVERB), 0);
        ModelReverb reference(model, kvReverbBase(room, rate));
        reference.run(left, right);
        *matching = std::max(largestDifference(channel(doc, 0), left),
                             largestDifference(channel(doc, 1), right));
        kvClose(doc);
    }
};

TEST_F(Reverb, FoamWallHasAQuarterOfTheFeedbackOfTheOtherWalls) {
    double foam, foamWithWoodFeedback, wood;
    compare(22050, 2, 3, 60000, {0.0625f, 0.3f, 0.2f, 0.5f}, &foam);
    compare(22050, 2, 3, 60000, {0.25f, 0.3f, 0.2f, 0.5f}, &foamWithWoodFeedback);
    compare(22050, 2, 2, 60000, {0.25f, 0.7f, 0.1f, 0.6f}, &wood);
    EXPECT_LT(foam, 1e-4);
    EXPECT_LT(wood, 1e-4);
    EXPECT_GT(foamWithWoodFeedback, 100 * foam + 1e-3);
}

TEST_F(Reverb, TapsPointingAheadOfTheWritePositionWrapAroundTheRing) {
    /* At 8000 Hz the smallest room's first tap is 39 samples back with a
     * stereo offset of 40: its left read is one sample ahead of the write
     * position, which at the ring's last slot is the ring's first. */
    ASSERT_EQ(kvReverbBase(0, 8000) * 19 / 100, 39);
    double difference;
    compare(8000, 0, 1, 2 * kRing + 5000, {0.25f, 1.0f, 0.25f, 0.35f}, &difference);
    EXPECT_LT(difference, 1e-4);
}

TEST_F(Reverb, RatesAbove96000HzUseTheTimingOf96000Hz) {
    for (int32_t room = 0; room < 6; room++) {
        EXPECT_EQ(kvReverbBase(room, 192000), kvReverbBase(room, 96000)) << room;
        EXPECT_GT(kvReverbBase(room, 192000), 0) << room;
        EXPECT_EQ(kvReverbBase(room, 44100), kvReverbBase(room, 96000) / 2) << room;
    }
    EXPECT_EQ(kvReverbBase(6, 44100), 0);
    EXPECT_EQ(kvReverbBase(-1, 44100), 0);
}

TEST_F(Reverb, UnknownWallsAndRoomsLeaveTheSoundUnchanged) {
    std::vector<float> left = noise(3000, 1), right = noise(3000, 2);
    int32_t doc = makeDocument(8000, left, right);
    for (auto [room, wall] : {std::pair{0, 4}, std::pair{0, -1}, std::pair{6, 0}}) {
        params.reverbRoomSize = room;
        params.reverbWall = wall;
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_REVERB), 0);
        EXPECT_EQ(channel(doc, 0), left);
        EXPECT_EQ(channel(doc, 1), right);
        kvUndo(doc);
        kvSetSelection(doc, 0, 0, -1);
    }
}
