/*
 * The edit protocol and the history: where edits land, what undo, redo and
 * history jumps restore, the state file's bytes, and what happens when a
 * data file or a state file cannot be written.
 */
#include "tests/document/storage_fixture.h"

#include <unistd.h>

/* Everything of a document that an edit may change, for before/after checks. */
struct DocumentImage {
    int32_t level, stateCount, savedLevel, length;
    int32_t anchor, end, channel;
    std::vector<std::vector<KV_Block>> tables; /* per state, channel after channel */
    std::vector<float> left, right;

    bool operator==(const DocumentImage &) const = default;
};

class HistoryTest : public StorageTest {
  protected:
    static DocumentImage imageOf(int32_t doc) {
        KV_Document *document = kvGetDocument(doc);
        DocumentImage image{document->level,
                            document->stateCount,
                            document->savedLevel,
                            kvGetLength(doc),
                            0,
                            0,
                            0,
                            {},
                            {},
                            {}};
        kvGetSelection(doc, &image.anchor, &image.end, &image.channel);
        for (int32_t s = 0; s < document->stateCount; s++) {
            const KV_State &state = document->history[s];
            for (int32_t c = 0; c < state.channels; c++) {
                std::vector<KV_Block> &table = image.tables.emplace_back();
                kvTableSpans(state.tables[c], 0, state.tables[c].count,
                             [&table](const KV_Block *blocks, int32_t count) {
                                 table.insert(table.end(), blocks, blocks + count);
                                 return true;
                             });
            }
        }
        image.left = channel(doc, 0);
        image.right = channel(doc, 1);
        return image;
    }
};

/* ---- The edit protocol ---- */

class EditProtocol : public HistoryTest {};

TEST_F(EditProtocol, ThreeEditsTwoUndosAndANewEditLeaveThreeStatesWithoutRedo) {
    int32_t doc = makeDocument(44100, ramp(1000));
    ASSERT_EQ(replace(doc, 0, 10, -1, {}), 0);
    ASSERT_EQ(replace(doc, 0, 10, -1, {}), 0);
    ASSERT_EQ(kvGetNumUndo(doc), 4);
    kvUndo(doc);
    kvUndo(doc);
    ASSERT_EQ(kvCanRedo(doc), 1);
    ASSERT_EQ(replace(doc, 500, 500, -1, ramp(5, 0.5f)), 0);
    EXPECT_EQ(kvGetNumUndo(doc), 3);
    EXPECT_EQ(kvGetUndoLevel(doc), 2);
    EXPECT_EQ(kvCanRedo(doc), 0);
    EXPECT_EQ(kvGetLength(doc), 1005);
    char label[40];
    kvGetUndoText(doc, 2, label);
    EXPECT_STREQ(label, "Replace");
}

TEST_F(EditProtocol, EditingBelowTheSavedLevelMeansTheDocumentCanNeverBeSavedAgain) {
    int32_t doc = makeDocument(44100, ramp(1000));
    ASSERT_EQ(replace(doc, 0, 10, -1, {}), 0);
    kvGetDocument(doc)->savedLevel = 2; /* as a save at level 2 leaves it */
    ASSERT_EQ(kvIsSaved(doc), 1);
    kvUndo(doc);
    EXPECT_EQ(kvIsSaved(doc), 0);
    kvRedo(doc);
    EXPECT_EQ(kvIsSaved(doc), 1) << "back at the saved state";
    kvUndo(doc);
    ASSERT_EQ(replace(doc, 0, 20, -1, {}), 0);
    EXPECT_EQ(kvGetDocument(doc)->savedLevel, -1);
    for (int32_t level = 0; level < kvGetNumUndo(doc); level++) {
        kvSetHistory(doc, level);
        EXPECT_EQ(kvIsSaved(doc), 0) << level;
    }
}

TEST_F(EditProtocol, ALeftChannelEditCopiesTheRightTableUnchangedAndInsertsNothingThere) {
    std::vector<float> left = ramp(9000), right = ramp(9000, 0.5f);
    int32_t doc = makeDocument(44100, left, right);
    std::vector<KV_Block> rightBefore = blocks(doc, 1);
    std::vector<float> extra = ramp(70, -0.5f);
    kvSetSelection(doc, 4000, 5000, 0);
    kvBeginEdit(doc, "Left Only");
    EXPECT_EQ(state(doc)->insertAt[1], 0);
    queue(doc, 0, extra);
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    EXPECT_EQ(blocks(doc, 1), rightBefore);
    std::vector<float> expected(left.begin(), left.begin() + 4000);
    expected.insert(expected.end(), extra.begin(), extra.end());
    expected.insert(expected.end(), left.begin() + 5000, left.end());
    EXPECT_EQ(channel(doc, 0), [&] {
        std::vector<float> padded = expected;
        padded.resize(9000, 0.0f);
        return padded;
    }());
    EXPECT_EQ(channel(doc, 1), right);
    int32_t anchor, end;
    kvGetSelection(doc, &anchor, &end, nullptr);
    EXPECT_EQ(anchor, 4000);
    EXPECT_EQ(end, 4070);
}

TEST_F(EditProtocol, ASelectionBeyondTheLengthIsClampedBeforeTheCut) {
    int32_t doc = makeDocument(44100, ramp(100));
    state(doc)->selAnchor = 500;
    state(doc)->selEnd = 50;
    kvBeginEdit(doc, "Delete");
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    EXPECT_EQ(kvGetLength(doc), 50);
    EXPECT_EQ(channel(doc, 0), ramp(50));
    state(doc)->selAnchor = 50;
    state(doc)->selEnd = 50;
    kvBeginEdit(doc, "Delete");
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    EXPECT_EQ(kvGetNumUndo(doc), 4);
    EXPECT_EQ(channel(doc, 0), ramp(50)) << "a selection from length to length cuts nothing";
}

TEST_F(EditProtocol, AnUndoRestoresTheSelectionTheEditStartedFrom) {
    int32_t doc = makeDocument(44100, ramp(1000), ramp(1000));
    ASSERT_EQ(replace(doc, 300, 700, 1, {}, ramp(3)), 0);
    int32_t anchor, end, channel;
    kvGetSelection(doc, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 300);
    EXPECT_EQ(end, 303);
    EXPECT_EQ(channel, 1);
    ASSERT_EQ(kvUndo(doc), 0);
    kvGetSelection(doc, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 300);
    EXPECT_EQ(end, 700);
    EXPECT_EQ(channel, 1);
    /* A switch does not store the state it leaves: this selection is lost. */
    kvSetSelection(doc, 1, 2, 0);
    kvRedo(doc);
    kvUndo(doc);
    kvGetSelection(doc, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 300);
    EXPECT_EQ(end, 700);
}

TEST_F(EditProtocol, CancellingLeavesTheHistoryAndTheCurrentStateAsTheyWere) {
    int32_t doc = makeDocument(44100, ramp(9000), ramp(9000, 0.5f));
    ASSERT_EQ(replace(doc, 0, 1000, -1, {}, {}), 0);
    ASSERT_EQ(replace(doc, 0, 1000, -1, {}, {}), 0);
    kvUndo(doc);
    kvUndo(doc);
    kvSetSelection(doc, 10, 8000, -1);
    DocumentImage before = imageOf(doc);
    kvBeginEdit(doc, "Effect");
    queue(doc, 0, ramp(5000, -0.5f));
    queue(doc, 1, ramp(5000, -0.5f));
    EXPECT_EQ(kvCancelEdit(doc), -1);
    EXPECT_EQ(imageOf(doc), before);
    ASSERT_EQ(kvRedo(doc), 0);
    EXPECT_EQ(kvGetLength(doc), 8000);
    /* The next edit starts from clean stages. */
    ASSERT_EQ(replace(doc, 0, 0, -1, ramp(3), ramp(3)), 0);
    EXPECT_EQ(kvGetLength(doc), 8003);
    EXPECT_EQ(channel(doc, 0)[3], ramp(9000)[1000]);
}

/* ---- Undo, redo and history jumps ---- */

class HistoryJumps : public StorageTest {};

TEST_F(HistoryJumps, SetHistoryToTheCurrentOrAMissingLevelDoesNothing) {
    int32_t doc = makeDocument(44100, ramp(1000));
    ASSERT_EQ(replace(doc, 0, 10, -1, {}), 0);
    kvSetSelection(doc, 5, 9, -1); /* not in the state file: a restore would lose it */
    for (int32_t n : {2, -1, 3, 100}) {
        EXPECT_EQ(kvSetHistory(doc, n), 0);
        int32_t anchor, end;
        kvGetSelection(doc, &anchor, &end, nullptr);
        EXPECT_EQ(kvGetUndoLevel(doc), 2) << n;
        EXPECT_EQ(anchor, 5) << n;
        EXPECT_EQ(end, 9) << n;
    }
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(HistoryJumps, UndoAtTheFirstLevelAndRedoAtTheLastDoNothing) {
    int32_t doc = makeDocument(44100, ramp(10));
    kvSetSelection(doc, 2, 3, -1);
    EXPECT_EQ(kvRedo(doc), 0);
    int32_t end;
    kvGetSelection(doc, nullptr, &end, nullptr);
    EXPECT_EQ(end, 3);
    kvUndo(doc);
    EXPECT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(kvGetUndoLevel(doc), 0);
}

TEST_F(HistoryJumps, AJumpRestoresTheWholeStateOfThatLevel) {
    std::vector<float> original = ramp(20000);
    int32_t doc = makeDocument(44100, original);
    ASSERT_EQ(replace(doc, 100, 15000, -1, ramp(7, 0.5f)), 0);
    ASSERT_EQ(replace(doc, 0, 50, -1, {}), 0);
    std::vector<KV_Block> last = blocks(doc, 0);
    std::vector<float> lastSamples = channel(doc, 0);
    ASSERT_EQ(kvSetHistory(doc, 1), 0);
    EXPECT_EQ(channel(doc, 0), original);
    ASSERT_EQ(kvSetHistory(doc, 0), 0);
    EXPECT_EQ(kvGetLength(doc), 0);
    ASSERT_EQ(kvSetHistory(doc, 3), 0);
    EXPECT_EQ(blocks(doc, 0), last);
    EXPECT_EQ(channel(doc, 0), lastSamples);
    EXPECT_TRUE(shownTexts().empty());
}

/* ---- State files ---- */

class StateFiles : public StorageTest {
  protected:
    static int32_t int32At(const std::string &bytes, size_t at) {
        int32_t value;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    }
};

TEST_F(StateFiles, AStateFileIsTheHeaderThenEachChannelsCountAndRawDescriptors) {
    std::vector<float> samples(4096, 0.5f);
    samples.resize(4106, -0.25f);
    int32_t doc = makeDocument(44100, samples);
    std::string bytes = kvTestReadFile(stateFile(doc, 1));
    ASSERT_EQ(bytes.size(), 72u + 4u + 2 * 144u);
    EXPECT_EQ(bytes.substr(0, 40), std::string("Fill") + std::string(36, '\0'));
    std::vector<int32_t> header;
    for (size_t at = 40; at < 76; at += 4)
        header.push_back(int32At(bytes, at));
    /* channels, length, editChannel, selAnchor, selEnd, rate, firstFrame,
     * framesPerPixel, blockCount */
    EXPECT_EQ(header, (std::vector<int32_t>{1, 4106, -1, 0, 4106, 44100, 0, 64, 2}));
    std::string first = bytes.substr(76, 144), second = bytes.substr(220, 144);
    EXPECT_EQ(int32At(first, 0), 0);
    EXPECT_EQ(first.substr(4, 4), std::string("\x00\x10\x00\x00", 4)) << "length 4096, file 0";
    EXPECT_EQ(static_cast<uint8_t>(first[8]), 128);
    EXPECT_EQ(static_cast<uint8_t>(first[9]), 0);
    EXPECT_EQ(first.substr(10, 64), std::string(64, '\x80'));
    EXPECT_EQ(first.substr(74, 64), std::string(64, '\0'));
    EXPECT_EQ(int32At(first, 140), 2048);
    EXPECT_EQ(int32At(second, 0), 4096);
    EXPECT_EQ(second.substr(4, 4), std::string("\x0A\x00\x00\x00", 4)) << "length 10, file 0";
    EXPECT_EQ(static_cast<uint8_t>(second[9]), 64);
    EXPECT_EQ(static_cast<uint8_t>(second[74]), 64);
    EXPECT_EQ(int32At(second, 140), 1024);
}

TEST_F(StateFiles, EachChannelHasItsOwnCountAndTheNameCarriesHandleAndLevelInHex) {
    kvCreate(nullptr); /* handle 0 stays empty of sound */
    int32_t doc = makeDocument(44100, ramp(10), ramp(5000));
    ASSERT_EQ(doc, 1);
    for (int32_t i = 0; i < 9; i++)
        ASSERT_EQ(replace(doc, 0, 0, -1, {}, {}), 0);
    ASSERT_EQ(kvGetUndoLevel(doc), 10);
    std::string bytes = kvTestReadFile(workFolder + "/0001000A.tmp");
    ASSERT_EQ(bytes.size(), 72u + 4 + 144 + 4 + 2 * 144);
    EXPECT_EQ(int32At(bytes, 72), 1);
    EXPECT_EQ(int32At(bytes, 72 + 4 + 144), 2);
}

TEST_F(StateFiles, AMissingStateFileIsReportedAndTheStateInMemoryStays) {
    std::vector<float> original = ramp(3000);
    int32_t doc = makeDocument(44100, original);
    ASSERT_EQ(replace(doc, 0, 3000, -1, {}), 0);
    ASSERT_EQ(unlink(stateFile(doc, 1).c_str()), 0);
    EXPECT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"Can't load status information file!"}));
    EXPECT_EQ(kvGetUndoLevel(doc), 1);
    EXPECT_EQ(channel(doc, 0), original);
}

TEST_F(StateFiles, ADamagedStateFileChangesNothingInTheState) {
    std::vector<float> original = ramp(30000);
    int32_t doc = makeDocument(44100, original);
    ASSERT_EQ(replace(doc, 0, 3000, -1, {}), 0);
    std::string bytes = kvTestReadFile(stateFile(doc, 1));
    kvTestWriteFile(stateFile(doc, 1), bytes.substr(0, bytes.size() - 100));
    EXPECT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"Can't load status information file!"}));
    EXPECT_EQ(channel(doc, 0), original);
}

/* ---- Failures while writing ---- */

class EditFailures : public HistoryTest {};

TEST_F(EditFailures, ADataFileWriteThatFailsMidEditLeavesTheDocumentAsBefore) {
    int32_t doc = makeDocument(44100, ramp(20000), ramp(20000, 0.5f));
    ASSERT_EQ(replace(doc, 0, 100, -1, {}, {}), 0);
    kvUndo(doc); /* a redo state must survive too */
    kvSetSelection(doc, 1000, 5000, -1);
    DocumentImage before = imageOf(doc);
    int64_t fileBefore = kvDataFileLength(0);
    kvBeginEdit(doc, "Effect");
    kvTestFileFault(KV_FAULT_WRITE, 3, 1); /* the third block of the edit */
    queue(doc, 0, ramp(5 * 4096, -0.5f));
    queue(doc, 1, ramp(5 * 4096, -0.5f));
    EXPECT_EQ(kvCompleteEdit(doc, true), -1);
    EXPECT_EQ(shownTexts(),
              (std::vector<std::string>{
                  "Error writing to file. Make sure your disk is not full, and try again."}));
    EXPECT_EQ(imageOf(doc), before);
    /* What the edit wrote before the fault is given back. */
    EXPECT_EQ(kvDataFileLength(0), fileBefore);
    EXPECT_EQ(static_cast<int64_t>(kvTestReadFile(dataFile(0)).size()), 4 * fileBefore);
    ASSERT_EQ(kvRedo(doc), 0);
    EXPECT_EQ(kvGetLength(doc), 19900);
    kvUndo(doc);
    /* The store is still sound: the next edit appends after what was written. */
    std::vector<float> extra = ramp(4096 + 5, 0.75f);
    ASSERT_EQ(replace(doc, 0, 0, -1, extra, extra), 0);
    EXPECT_GT(kvDataFileLength(0), fileBefore);
    std::vector<float> right = channel(doc, 1);
    right.resize(4101);
    EXPECT_EQ(right, extra);
    EXPECT_EQ(channel(doc, 0)[4101], ramp(20000)[0]);
}

TEST_F(EditFailures, AStateFileThatCannotBeWrittenIsReportedAndTheEditStands) {
    std::vector<float> original = ramp(5000);
    int32_t doc = makeDocument(44100, original);
    ASSERT_EQ(replace(doc, 0, 4000, -1, {}), 0); /* level 2: 1000 frames */
    kvUndo(doc);
    kvSetSelection(doc, 0, 10, -1);
    kvBeginEdit(doc, "Delete");
    kvTestFileFault(KV_FAULT_WRITE, 1, -1);
    EXPECT_EQ(kvCompleteEdit(doc, false), 0);
    kvTestFileFault(KV_FAULT_WRITE, 0, 0);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"Can't create temp file"}));
    EXPECT_FALSE(kvTestFileExists(stateFile(doc, 2))) << "the old level 2 must not come back";
    std::vector<float> edited(original.begin() + 10, original.end());
    EXPECT_EQ(channel(doc, 0), edited);
    ASSERT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(channel(doc, 0), original);
    ASSERT_EQ(kvRedo(doc), 0);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"Can't load status information file!"}));
    EXPECT_EQ(kvGetUndoLevel(doc), 2);
    EXPECT_EQ(channel(doc, 0), edited);
    /* Further edits work and store their files again. */
    ASSERT_EQ(replace(doc, 0, 10, -1, {}), 0);
    EXPECT_TRUE(kvTestFileExists(stateFile(doc, 3)));
    EXPECT_TRUE(shownTexts().empty());
}
