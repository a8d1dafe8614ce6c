/*
 * Delete and insert silence: what they remove or add, on which channels,
 * and what they cost in the data files.
 */
#include "tests/support/document_fixture.h"

class PlainEdits : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        left.resize(20000);
        right.resize(20000);
        for (int i = 0; i < 20000; i++) {
            left[i] = (i % 777) / 777.0f;
            right[i] = -(i % 555) / 555.0f;
        }
        doc = makeDocument(44100, left, right);
    }
    int32_t doc = -1;
    std::vector<float> left, right;
};

TEST_F(PlainEdits, DeletingEverythingEmptiesAndUndoBringsEverySampleBack) {
    kvSetSelection(doc, 0, 20000, -1);
    ASSERT_EQ(kvDelete(doc), 0);
    EXPECT_EQ(kvIsZero(doc), 1);
    ASSERT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(channel(doc, 0), left);
    EXPECT_EQ(channel(doc, 1), right);
}

TEST_F(PlainEdits, DeletingOnTheLeftOnlyShortensOnlyTheLeft) {
    kvSetSelection(doc, 5000, 8000, 0);
    ASSERT_EQ(kvDelete(doc), 0);
    EXPECT_EQ(kvGetLength(doc), 20000);
    EXPECT_EQ(channel(doc, 1), right);
    std::vector<float> shortened = channel(doc, 0);
    EXPECT_EQ(shortened[4999], left[4999]);
    EXPECT_EQ(shortened[5000], left[8000]);
    EXPECT_EQ(shortened[16999], left[19999]);
    for (int i = 17000; i < 20000; i++)
        ASSERT_EQ(shortened[i], 0.0f) << i;
    int32_t anchor, end, ch;
    kvGetSelection(doc, &anchor, &end, &ch);
    EXPECT_EQ(anchor, 5000);
    EXPECT_EQ(end, 5000);
}

TEST_F(PlainEdits, DeleteWithoutSelectionRecordsNothing) {
    kvSetSelection(doc, 300, 300, -1);
    int32_t states = kvGetNumUndo(doc);
    EXPECT_EQ(kvDelete(doc), 0);
    EXPECT_EQ(kvGetNumUndo(doc), states);
}

TEST_F(PlainEdits, OneSecondOfSilenceIsSilenceBlocksOnly) {
    params.silenceAmount = 1;
    params.silenceUnit = 1;
    kvSetSelection(doc, 7000, 6000, -1);
    int64_t before = dataBytes();
    ASSERT_EQ(kvInsertSilence(doc), 0);
    EXPECT_EQ(dataBytes(), before);
    EXPECT_EQ(kvGetLength(doc), 20000 + 44100);
    int32_t anchor, end, ch;
    kvGetSelection(doc, &anchor, &end, &ch);
    EXPECT_EQ(anchor, 6000);
    EXPECT_EQ(end, 6000 + 44100);
    const KV_State *state = kvGetDocument(doc)->current;
    for (int c = 0; c < 2; c++) {
        int32_t base = 0, silent = 0, count = 0;
        for (int32_t b = 0; b < state->tables[c].count; b++) {
            const KV_Block &block = kvTableBlock(state->tables[c], b);
            if (base >= 6000 && base < 6000 + 44100) {
                EXPECT_EQ(block.file, -1);
                EXPECT_EQ(block.length, ++count <= 10 ? 4096 : 3140);
                silent += block.length;
            }
            base += block.length;
        }
        EXPECT_EQ(silent, 44100);
        EXPECT_EQ(count, 11);
    }
    std::vector<float> after = channel(doc, 0);
    EXPECT_EQ(after[5999], left[5999]);
    EXPECT_EQ(after[6000], 0.0f);
    EXPECT_EQ(after[6000 + 44100], left[6000]);
}

TEST_F(PlainEdits, AmountTooSmallForAFrameStillRecordsTheStep) {
    params.silenceAmount = 1;
    params.silenceUnit = 0;
    kvGetDocument(doc)->current->sampleRate = 999;
    int32_t states = kvGetNumUndo(doc);
    ASSERT_EQ(kvInsertSilence(doc), 0);
    EXPECT_EQ(kvGetNumUndo(doc), states + 1);
    EXPECT_EQ(kvGetLength(doc), 20000);
    EXPECT_EQ(undoText(doc), "Insert Silence");
}

TEST_F(PlainEdits, ZeroAmountRecordsNothing) {
    params.silenceAmount = 0;
    int32_t states = kvGetNumUndo(doc);
    EXPECT_EQ(kvInsertSilence(doc), 0);
    EXPECT_EQ(kvGetNumUndo(doc), states);
}

TEST_F(PlainEdits, SilenceOnTheRightOnlyLeavesTheLeftAlone) {
    params.silenceAmount = 10;
    params.silenceUnit = 0;
    kvSetSelection(doc, 100, 100, 1);
    ASSERT_EQ(kvInsertSilence(doc), 0);
    EXPECT_EQ(kvGetLength(doc), 20441);
    std::vector<float> shorter = left;
    shorter.resize(20441, 0.0f);
    EXPECT_EQ(channel(doc, 0), shorter) << "the left channel reads as before, then zeros";
}

TEST_F(PlainEdits, DaysOfSilenceStopWhereTheDescriptorTablesWouldOutgrowMemoryNotInAFatalError) {
    int32_t mono = makeDocument(8000, std::vector<float>(5000, 0.25f));
    params.silenceAmount = 999999;
    params.silenceUnit = 2; /* minutes: far beyond any table */
    kvSetSelection(mono, 2500, 2500, -1);
    ASSERT_EQ(kvInsertSilence(mono), 0);
    const KV_State *state = kvGetDocument(mono)->current;
    int64_t tableLimit = 67108864 / static_cast<int64_t>(sizeof(KV_Block));
    EXPECT_LE(state->tables[0].count, tableLimit);
    EXPECT_GT(kvGetLength(mono), 1000000000) << "as much silence as the tables hold";
    EXPECT_EQ(kvInsertableFrames(state) < KV_BLOCK_FRAMES, true);
    ASSERT_EQ(kvUndo(mono), 0);
    EXPECT_EQ(kvGetLength(mono), 5000);
}
