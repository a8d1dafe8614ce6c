/*
 * The carried-on tail of Simple Echo, Echo and Reverb: inside it the
 * existing sound keeps its dry signal (Echo scales it by its dry gain) and
 * feeds nothing into the effect, from the first sample after the old end of
 * the selection on.
 */
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <cmath>

class TailZone : public EffectTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(TailZone, ExistingSoundKeepsItsDrySignalAndFeedsNothing) {
    const int32_t edit = GetParam(), rate = 8000, head = 4000, length = 20000;
    options.extendEffect = 1;
    options.extendAmount = 1; /* the tail zone is [4000, 12000) */
    params.simpleEchoDelayMs = 100;
    params.echoDryRightDb = -12;
    params.reverbLevelDb[5] = -6; /* the reverb's dry level stops at the tail */
    float dryInTail =
        edit == KV_EDIT_ECHO ? static_cast<float>(std::pow(1.122462048309373, -12)) : 1.0f;
    /* two sounds that agree on the selection and differ after it */
    std::vector<float> start = noise(head, 8), quiet(length, 0.0f), busy = noise(length, 9);
    std::copy(start.begin(), start.end(), quiet.begin());
    std::copy(start.begin(), start.end(), busy.begin());
    std::vector<std::vector<float>> wet;
    for (const std::vector<float> &input : {quiet, busy}) {
        int32_t doc = makeDocument(rate, input, input);
        kvSetSelection(doc, 0, head, -1);
        ASSERT_EQ(kvDoEdit(doc, edit), 0);
        std::vector<float> output = channel(doc, 1);
        for (int32_t i = 0; i < length; i++)
            output[i] -= dryInTail * input[i];
        wet.push_back(output);
    }
    for (int32_t i = head; i < head + rate; i++)
        ASSERT_NEAR(wet[1][i], wet[0][i], 1e-6) << i;
    EXPECT_GT(rms(wet[0], head, head + rate), 1e-3) << "the tail rings on";
}

INSTANTIATE_TEST_SUITE_P(Echoes, TailZone,
                         ::testing::Values(KV_EDIT_ECHO, KV_EDIT_REVERB, KV_EDIT_SIMPLE_ECHO),
                         [](const ::testing::TestParamInfo<int32_t> &info) {
                             return "Edit" + std::to_string(info.param);
                         });
