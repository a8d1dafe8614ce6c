/*
 * Simple Echo and Echo: repeat times and levels, the feedback, the carried-on
 * tail, ping-pong with bounce, and the stereo requirement.
 */
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <cmath>

static float gainOf(int32_t db) {
    return static_cast<float>(std::pow(1.122462048309373, db));
}

class SimpleEcho : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        options.extendEffect = 0;
        params.simpleEchoDelayMs = 100;
        params.simpleEchoFeedbackDb = -6;
        params.simpleEchoWetDb = -12;
        params.simpleEchoLowPass = 100; /* coefficient 1: the loop filter passes */
    }
};

TEST_F(SimpleEcho, RepeatsAfterTheDelayAtTheWetLevelEachRepeatScaledByTheFeedback) {
    std::vector<float> input(20000, 0.0f);
    input[10] = 1.0f;
    int32_t doc = makeDocument(44100, input);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_SIMPLE_ECHO), 0);
    std::vector<float> output = channel(doc, 0);
    const float wet = gainOf(-12), feedback = gainOf(-6);
    for (int32_t i = 0; i < 20000; i++) {
        float expected = 0.0f;
        if (i == 10) expected = 1.0f;
        if (i == 10 + 4410) expected = wet;
        if (i == 10 + 2 * 4410) expected = wet * feedback;
        if (i == 10 + 3 * 4410) expected = wet * feedback * feedback;
        if (i == 10 + 4 * 4410) expected = wet * feedback * feedback * feedback;
        ASSERT_FLOAT_EQ(output[i], expected) << i;
    }
}

TEST_F(SimpleEcho, TheLoopLowPassSmoothsEveryRepeatButKeepsItsSum) {
    params.simpleEchoLowPass = 50;
    params.simpleEchoFeedbackDb = -48;
    std::vector<float> input(12000, 0.0f);
    input[0] = 1.0f;
    int32_t doc = makeDocument(44100, input);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_SIMPLE_ECHO), 0);
    std::vector<float> output = channel(doc, 0);
    const float wet = gainOf(-12);
    EXPECT_FLOAT_EQ(output[4410], wet * 0.5f);
    EXPECT_FLOAT_EQ(output[4411], wet * 0.25f);
    double sum = 0.0;
    for (int32_t i = 4410; i < 2 * 4410; i++)
        sum += output[i];
    EXPECT_NEAR(sum, wet, 1e-5);
}

TEST_F(SimpleEcho, CarryBeyondAtTheEndLengthensTheFileByTheTail) {
    options.extendEffect = 1;
    options.extendAmount = 2;
    std::vector<float> input = noise(8000, 5);
    int32_t doc = makeDocument(8000, input, input);
    kvSetSelection(doc, 4000, 8000, -1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_SIMPLE_ECHO), 0);
    EXPECT_EQ(kvGetLength(doc), 8000 + 2 * 8000);
    int32_t anchor, end;
    kvGetSelection(doc, &anchor, &end, nullptr);
    EXPECT_EQ(std::max(anchor, end), 24000);
    std::vector<float> output = channel(doc, 0);
    /* 100 ms repeats: the echo rings on beyond the old end */
    EXPECT_GT(rms(output, 8000, 9000), 0.01);
}

class Echo : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        options.extendEffect = 0;
        params.echoLeftFromLeftDb = 0;
        params.echoLeftFromRightDb = -48;
        params.echoRightFromLeftDb = -48;
        params.echoRightFromRightDb = 0;
        params.echoFeedbackRtoLDb = -6;
        params.echoFeedbackLtoRDb = -6;
        params.echoLowPass = 1000; /* both band limits open */
        params.echoHighPass = 0;
        params.echoLeftDelayMs = 100;
        params.echoRightDelayMs = 150;
        params.echoDryLeftDb = 0;
        params.echoDryRightDb = 0;
        params.echoWetLeftDb = 0;
        params.echoWetRightDb = 0;
    }
};

TEST_F(Echo, BounceSendsEachRepeatToTheOtherLine) {
    const int32_t rate = 10000, dl = 1000, dr = 1500;
    std::vector<float> left(12000, 0.0f), right(12000, 0.0f);
    left[0] = 1.0f;
    params.echoBounce = 1;
    int32_t doc = makeDocument(rate, left, right);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_ECHO), 0);
    std::vector<float> outLeft = channel(doc, 0), outRight = channel(doc, 1);
    const float fb = gainOf(-6), cross = gainOf(-48);
    EXPECT_FLOAT_EQ(outLeft[dl], 1.0f);
    EXPECT_FLOAT_EQ(outRight[dl + dr], fb);
    EXPECT_FLOAT_EQ(outLeft[dl + dr + dl], fb * fb);
    EXPECT_FLOAT_EQ(outRight[dl + dr + dl + dr], fb * fb * fb);
    /* the only other right-side sound is the faint direct cross-feed */
    EXPECT_FLOAT_EQ(outRight[dr], cross);
    EXPECT_EQ(outLeft[2 * dl], 0.0f);

    kvUndo(doc);
    kvSetSelection(doc, 0, 0, -1);
    params.echoBounce = 0;
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_ECHO), 0);
    outLeft = channel(doc, 0);
    outRight = channel(doc, 1);
    EXPECT_FLOAT_EQ(outLeft[2 * dl], fb);
    EXPECT_LT(std::fabs(outRight[dl + dr]), 1e-3);
}

TEST_F(Echo, AlwaysWorksOnBothChannelsAndNeedsTwo) {
    std::vector<float> left(3000, 0.0f), right(3000, 0.0f);
    right[0] = 1.0f;
    int32_t doc = makeDocument(10000, left, right);
    kvSetSelection(doc, 0, 3000, 0);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_ECHO), 0);
    EXPECT_FLOAT_EQ(channel(doc, 1)[1500], 1.0f);
    int32_t channelSelected;
    kvGetSelection(doc, nullptr, nullptr, &channelSelected);
    EXPECT_EQ(channelSelected, -1);

    int32_t mono = makeDocument(10000, right);
    int32_t undo = kvGetNumUndo(mono);
    EXPECT_EQ(kvDoEdit(mono, KV_EDIT_ECHO), -1);
    EXPECT_EQ(kvDoEdit(mono, KV_EDIT_REVERB), -1);
    EXPECT_EQ(kvGetNumUndo(mono), undo);
    EXPECT_EQ(channel(mono, 0), right);
}
