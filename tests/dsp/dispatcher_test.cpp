/*
 * The dispatcher: which range an edit covers, block splitting, cancel, and
 * the edge cross-fade.
 */
#include "engine/dsp/dispatcher.h"
#include "engine/platform/clock.h"
#include "tests/dsp/dsp_fixture.h"

class Dispatcher : public EffectTest {};

TEST_F(Dispatcher, EmptySelectionAppliesToTheWholeSound) {
    std::vector<float> samples = testWave(3000);
    int32_t doc = makeDocument(8000, samples, samples);
    params.volumeDb = 6;
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_VOLUME), 0);
    for (int c = 0; c < 2; c++) {
        std::vector<float> after = channel(doc, c);
        for (int i = 0; i < 3000; i++)
            ASSERT_EQ(after[i], samples[i] * 2) << c << " " << i;
    }
}

TEST_F(Dispatcher, RangeOf4097FramesRunsAs4096AndOne) {
    int32_t doc = makeDocument(8000, testWave(4097));
    params.volumeDb = -6;
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_VOLUME), 0);
    const KV_State *state = kvGetDocument(doc)->current;
    ASSERT_EQ(state->tables[0].count, 2);
    EXPECT_EQ(kvTableBlock(state->tables[0], 0).length, 4096);
    EXPECT_EQ(kvTableBlock(state->tables[0], 1).length, 1);
}

TEST_F(Dispatcher, UnknownAndNameOnlyEditsChangeNothing) {
    int32_t doc = makeDocument(8000, testWave(100));
    kvSetSelection(doc, 10, 20, -1);
    for (int32_t edit :
         std::initializer_list<int32_t>{KV_EDIT_NONE, KV_EDIT_LOW_PASS, KV_EDIT_COUNT, -1})
        EXPECT_EQ(kvDoEdit(doc, edit), -1) << edit;
    EXPECT_EQ(kvGetNumUndo(doc), 2);
    EXPECT_EQ(kvGetLength(doc), 100);
    EXPECT_EQ(kvDoEdit(99, KV_EDIT_VOLUME), -1);
}

static KV_Params *cancelParams = nullptr;
/* Every report comes 10 ms after the last, so none is throttled. */
static int64_t steppingClock() {
    static int64_t now = 0;
    return now += 10;
}
static void cancelAfterFirstBlock(const char *, int32_t, int32_t percent, int32_t) {
    if (cancelParams && percent > 0) cancelParams->cancelRequested = 1;
}

TEST_F(Dispatcher, CancelInTheMiddleLeavesEverythingAsItWasRedoStatesIncluded) {
    stopEngine();
    ASSERT_EQ(kvInit(nullptr, &options, 144, &params, 344, nullptr, cancelAfterFirstBlock, nullptr),
              0);
    engineStarted = true;
    std::vector<float> samples = testWave(5 * 4096);
    int32_t doc = makeDocument(8000, samples, samples);
    params.volumeDb = -6;
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_VOLUME), 0);
    kvUndo(doc); /* the quieter state is now a redo state */
    int32_t states = kvGetNumUndo(doc), level = kvGetUndoLevel(doc);
    params.volumeDb = 12;
    cancelParams = &params;
    kvTestSetTickSource(steppingClock);
    EXPECT_EQ(kvDoEdit(doc, KV_EDIT_VOLUME), -1);
    kvTestSetTickSource(nullptr);
    cancelParams = nullptr;
    EXPECT_EQ(kvGetNumUndo(doc), states);
    EXPECT_EQ(kvGetUndoLevel(doc), level);
    EXPECT_EQ(params.cancelRequested, 0);
    EXPECT_EQ(channel(doc, 0), samples);
    EXPECT_EQ(channel(doc, 1), samples);
    ASSERT_EQ(kvRedo(doc), 0);
    EXPECT_EQ(channel(doc, 0)[5], samples[5] * 0.5f);
}

class EdgeFade : public EffectTest {
  protected:
    /* Doubles [from, to) of a constant 0.5 sound of 5000 frames at 8000 Hz. */
    std::vector<float> doubled(int32_t from, int32_t to) {
        int32_t doc = makeDocument(8000, std::vector<float>(5000, 0.5f));
        kvSetSelection(doc, from, to, -1);
        params.volumeDb = 6;
        EXPECT_EQ(kvDoEdit(doc, KV_EDIT_VOLUME), 0);
        return channel(doc, 0);
    }
};

TEST_F(EdgeFade, EdgesBlendFromTheOldSoundAndBackToIt) {
    params.fadeEdges = 1;
    params.fadeEdgesMs = 10; /* 80 frames at 8000 Hz */
    std::vector<float> after = doubled(1000, 3000);
    const double count = 80;
    EXPECT_FLOAT_EQ(after[1000], 0.5f);
    EXPECT_FLOAT_EQ(after[1001], static_cast<float>(((count - 1) * 0.5 + 1 * 1.0) / count));
    EXPECT_FLOAT_EQ(after[1079], static_cast<float>((1 * 0.5 + 79 * 1.0) / count));
    EXPECT_FLOAT_EQ(after[1080], 1.0f);
    EXPECT_FLOAT_EQ(after[2919], 1.0f);
    EXPECT_FLOAT_EQ(after[2920], 1.0f); /* j = 0 of the fade-out keeps the new sound */
    EXPECT_FLOAT_EQ(after[2999], static_cast<float>((79 * 0.5 + 1 * 1.0) / count));
    EXPECT_FLOAT_EQ(after[3000], 0.5f);
}

TEST_F(EdgeFade, FadesShorterThanTenSamplesAreSkipped) {
    params.fadeEdges = 1;
    params.fadeEdgesMs = 1; /* 8 frames */
    std::vector<float> after = doubled(1000, 3000);
    EXPECT_EQ(after[1000], 1.0f);
    EXPECT_EQ(after[2999], 1.0f);
}

TEST_F(EdgeFade, FadeNeverExceedsHalfTheRange) {
    params.fadeEdges = 1;
    params.fadeEdgesMs = 200; /* 1600 frames, more than half of 100 */
    std::vector<float> after = doubled(1000, 1100);
    EXPECT_FLOAT_EQ(after[1000], 0.5f);
    EXPECT_FLOAT_EQ(after[1049], static_cast<float>((1 * 0.5 + 49 * 1.0) / 50));
    EXPECT_FLOAT_EQ(after[1050], 1.0f);
}

TEST_F(EdgeFade, WholeFileEditsFollowTheirOwnSwitch) {
    params.fadeEdges = 1;
    params.fadeEdgesWhole = 0;
    params.fadeEdgesMs = 10;
    std::vector<float> after = doubled(0, 5000);
    EXPECT_EQ(after[0], 1.0f);
    params.fadeEdgesWhole = 1;
    after = doubled(0, 5000);
    EXPECT_FLOAT_EQ(after[0], 0.5f);
}
