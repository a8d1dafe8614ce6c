/*
 * state_writer_test.cpp - state files written behind the edits: undo and
 * redo find every step whole however fast the edits came, the document
 * record only ever names a state whose file has landed, and a failed write
 * is reported and survived exactly as one on the edit's path.
 */
#include "engine/history/history.h"
#include "engine/history/state_writer.h"
#include "engine/platform/fileio.h"
#include "tests/document/storage_fixture.h"

#include <algorithm>
#include <string>

class BackgroundStateFiles : public StorageTest {
  protected:
    void TearDown() override {
        kvTestHoldStateWriter(false);
        kvTestSetInlineStateBytes(-1);
        StorageTest::TearDown();
    }
};

/* Thirty edits in a row while the writer stands still, each new data file
 * held only by its own state: the record keeps naming the last state whose
 * file landed. The moment the writer goes on, undo all the way and redo all
 * the way back restore each step sample for sample, without a message, and
 * in the end the record names the current state. */
TEST_F(BackgroundStateFiles, RapidEditsComeBackWholeAndTheRecordNamesOnlyLandedStates) {
    kvTestSetInlineStateBytes(0);
    kvTestSetDataFileLimit(KV_BLOCK_FRAMES);
    int32_t doc = makeDocument(8000, ramp(20000));
    kvWaitStateWrites(doc, -1);
    auto recordedLevel = [&] {
        KV_DocRecord record{};
        EXPECT_TRUE(kvReadDocRecord(kvDocRecordPath(workFolder, doc), &record));
        return record.level;
    };
    const int32_t landed = kvGetUndoLevel(doc);
    ASSERT_EQ(recordedLevel(), landed);
    std::vector<std::vector<float>> steps = {channel(doc, 0)};
    kvTestHoldStateWriter(true);
    for (int32_t i = 0; i < 30; i++) {
        int32_t from = (i * 7919) % 15000;
        ASSERT_EQ(replace(doc, from, from + 100 + i, -1, ramp(50 + i, 0.1f * (i + 1))), 0);
        steps.push_back(channel(doc, 0));
        ASSERT_EQ(recordedLevel(), landed) << "after edit " << i;
    }
    kvTestHoldStateWriter(false);
    for (int32_t step = 29; step >= 0; step--) {
        kvUndo(doc);
        ASSERT_EQ(channel(doc, 0), steps[step]) << "undo to step " << step;
    }
    for (int32_t step = 1; step <= 30; step++) {
        kvRedo(doc);
        ASSERT_EQ(channel(doc, 0), steps[step]) << "redo to step " << step;
    }
    EXPECT_TRUE(shownTexts().empty());
    kvWaitStateWrites(doc, -1);
    EXPECT_EQ(recordedLevel(), kvGetUndoLevel(doc));
}

/* All writes fail during a cut of a landed state; afterwards undo and redo
 * run with the disk healthy. Written behind the edit or on its path, the
 * same messages are shown and the same samples come back. */
TEST_F(BackgroundStateFiles, FailedWriteIsReportedAndSurvivedAsOnTheEditsPath) {
    struct Outcome {
        std::vector<std::string> texts;
        std::vector<float> undone, redone;
    };
    auto run = [](int64_t inlineBytes) {
        kvTestSetInlineStateBytes(inlineBytes);
        int32_t doc = makeDocument(8000, ramp(12000));
        EXPECT_EQ(replace(doc, 100, 200, -1, ramp(300, 0.5f)), 0);
        kvWaitStateWrites(doc, -1);
        kvTestFileFault(KV_FAULT_WRITE, 1, -1);
        kvSetSelection(doc, 1000, 3000, -1);
        kvDelete(doc);
        kvWaitStateWrites(doc, -1);
        kvTestFileFault(KV_FAULT_WRITE, 0, 0);
        Outcome outcome;
        kvUndo(doc);
        outcome.undone = channel(doc, 0);
        kvRedo(doc);
        outcome.redone = channel(doc, 0);
        outcome.texts = shownTexts();
        kvClose(doc);
        return outcome;
    };
    Outcome onPath = run(-1), behind = run(0);
    EXPECT_EQ(behind.texts, onPath.texts);
    EXPECT_NE(std::find(behind.texts.begin(), behind.texts.end(), "Can't create temp file"),
              behind.texts.end());
    EXPECT_EQ(behind.undone, onPath.undone);
    EXPECT_EQ(behind.redone, onPath.redone);
    EXPECT_EQ(behind.redone.size(), onPath.undone.size() - 2000);
}

/* A redo state dropped while its file still waits to be written: the write
 * is called off without a message, and the level's file that lands is the
 * new state's. */
TEST_F(BackgroundStateFiles, ADroppedRedoStatesWriteIsCalledOffAndTheNewOneLands) {
    kvTestSetInlineStateBytes(0);
    int32_t doc = makeDocument(8000, ramp(20000));
    kvWaitStateWrites(doc, -1);
    kvTestHoldStateWriter(true);
    ASSERT_EQ(replace(doc, 100, 200, -1, ramp(9000, 0.5f)), 0);
    kvUndo(doc);
    ASSERT_EQ(replace(doc, 100, 200, -1, {}), 0);
    kvTestHoldStateWriter(false);
    kvWaitStateWrites(doc, -1);
    EXPECT_TRUE(shownTexts().empty());
    KV_State stored{};
    ASSERT_TRUE(kvReadForeignState(stateFile(doc, kvGetUndoLevel(doc)), &stored,
                                   [](KV_Block *) { return true; }));
    EXPECT_EQ(stored.length, 19900);
    kvFreeStateTables(&stored);
}

/* A long state's tables in memory do not hide a lost file: the switch
 * reloads, reports it and keeps the state as it was. */
TEST_F(BackgroundStateFiles, ALongStatesMissingFileIsStillReported) {
    kvTestSetInlineStateBytes(0);
    std::vector<float> original = ramp(20000);
    int32_t doc = makeDocument(8000, original);
    ASSERT_EQ(replace(doc, 0, 3000, -1, {}), 0);
    kvWaitStateWrites(doc, -1);
    ASSERT_TRUE(kvFileRemove(stateFile(doc, kvGetUndoLevel(doc) - 1)));
    kvUndo(doc);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"Can't load status information file!"}));
    EXPECT_EQ(channel(doc, 0), original);
}
