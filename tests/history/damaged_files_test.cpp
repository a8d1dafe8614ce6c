/*
 * State files and the clipboard file read back damaged: a descriptor or a
 * field that cannot be right makes the whole file count as unreadable, so
 * nothing downstream ever reads past a block, a data file or a buffer, and
 * no clip with a rate no document has sizes a converting paste.
 */
#include "engine/history/clipboard.h"
#include "tests/support/document_fixture.h"

#include <cstring>

static std::vector<float> ramp(int32_t count, float scale) {
    std::vector<float> samples(count);
    for (int32_t i = 0; i < count; i++)
        samples[i] = scale * static_cast<float>(i % 1000) / 1000.0f;
    return samples;
}

/* Overwrites `size` bytes of a file at `offset` with the value's bytes. */
template <typename T> static void patchFile(const std::string &file, size_t offset, T value) {
    std::string bytes = kvTestReadFile(file);
    ASSERT_LE(offset + sizeof value, bytes.size());
    std::memcpy(bytes.data() + offset, &value, sizeof value);
    kvTestWriteFile(file, bytes);
}

/* State file layout: a 72-byte header (label, then channels, length,
 * editChannel, selAnchor, selEnd, sampleRate, firstFrame, framesPerPixel),
 * then per channel a count and 144-byte descriptors (position, length,
 * file, ..., peak). */
enum : size_t { kLengthField = 44, kEditChannelField = 48, kRateField = 60, kFirstBlock = 76 };

class DamagedStateFile : public DocumentTest {
  protected:
    /* A mono document whose level 1 holds `fill` and level 2 an edit of it. */
    void SetUp() override {
        DocumentTest::SetUp();
        fill = ramp(10000, 0.8f);
        doc = makeDocument(44100, fill);
        ASSERT_EQ(replace(doc, 0, 1000, -1, std::vector<float>(500, 0.25f)), 0);
        kvTestTakeShownBoxes();
    }
    std::string levelOneFile() const {
        char file[1024];
        kvStateFilePath(doc, 1, file, sizeof file);
        return file;
    }
    /* Undo cannot load level 1: the message, and the state as it was. */
    void expectUndoRefused() {
        kvUndo(doc);
        EXPECT_EQ(kvGetUndoLevel(doc), 1);
        EXPECT_EQ(shownTexts(), std::vector<std::string>{"Can't load status information file!"});
        EXPECT_EQ(channel(doc, 0), fill);
    }
    std::vector<float> fill;
    int32_t doc = -1;
};

TEST_F(DamagedStateFile, UndamagedFileRestoresTheFill) {
    kvUndo(doc);
    EXPECT_EQ(kvGetUndoLevel(doc), 1);
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_EQ(channel(doc, 0), fill);
}

TEST_F(DamagedStateFile, BlockLongerThan4096SamplesIsRefused) {
    patchFile<int16_t>(levelOneFile(), kFirstBlock + 4, 5000);
    expectUndoRefused();
}

TEST_F(DamagedStateFile, BlockReachingPastTheEndOfItsDataFileIsRefused) {
    patchFile<int32_t>(levelOneFile(), kFirstBlock, 1 << 30);
    expectUndoRefused();
}

TEST_F(DamagedStateFile, BlockInADataFileThatDoesNotExistIsRefused) {
    patchFile<int16_t>(levelOneFile(), kFirstBlock + 6, 7);
    expectUndoRefused();
}

TEST_F(DamagedStateFile, SilenceBlockWithAPositionIsRefused) {
    patchFile<int16_t>(levelOneFile(), kFirstBlock + 6, -1);
    expectUndoRefused();
}

TEST_F(DamagedStateFile, ZeroSampleRateIsRefused) {
    patchFile<int32_t>(levelOneFile(), kRateField, 0);
    expectUndoRefused();
}

TEST_F(DamagedStateFile, EditedChannelBeyondTheChannelsIsRefused) {
    patchFile<int32_t>(levelOneFile(), kEditChannelField, 1);
    expectUndoRefused();
}

TEST_F(DamagedStateFile, LengthFollowsTheTablesNotTheFileField) {
    patchFile<int32_t>(levelOneFile(), kLengthField, 999999);
    kvUndo(doc);
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_EQ(kvGetLength(doc), static_cast<int32_t>(fill.size()));
    EXPECT_EQ(channel(doc, 0), fill);
}

/* Clipboard file layout: a count, then per clip its size, channels, rate
 * and per channel a count and the descriptors. Clip 0 starts at byte 4. */
enum : size_t { kClipRate = 12, kClipFirstBlock = 20 };

class DamagedClipboardFile : public DocumentTest {
  protected:
    /* Clip 0 is 3000 frames, clip 1 (current) 700 frames. */
    void SetUp() override {
        DocumentTest::SetUp();
        doc = makeDocument(44100, ramp(10000, 0.5f));
        kvSetSelection(doc, 0, 3000, -1);
        ASSERT_EQ(kvCopy(doc), 0);
        kvSetSelection(doc, 100, 800, -1);
        ASSERT_EQ(kvCopy(doc), 0);
        ASSERT_EQ(kvClip.number, 1);
    }
    /* Loading clip 0 does nothing: clip 1 stays current and pastes. */
    void expectClipZeroNotLoaded() {
        EXPECT_EQ(kvLoadClip(0), 0);
        EXPECT_EQ(kvClip.number, 1);
        EXPECT_EQ(kvClip.length, 700);
        EXPECT_EQ(kvClip.sampleRate, 44100);
        kvSetSelection(doc, 0, 0, -1);
        EXPECT_EQ(kvPaste(doc, 0), 0);
        EXPECT_EQ(kvGetLength(doc), 10700);
    }
    std::string clipboardFile() const { return workFolder + "/COPY.tmp"; }
    int32_t doc = -1;
};

TEST_F(DamagedClipboardFile, UndamagedEarlierClipLoads) {
    EXPECT_EQ(kvLoadClip(0), 0);
    EXPECT_EQ(kvClip.number, 0);
    EXPECT_EQ(kvClip.length, 3000);
}

TEST_F(DamagedClipboardFile, ClipAtARateNoDocumentHasIsNotLoaded) {
    patchFile<int32_t>(clipboardFile(), kClipRate, 436218641);
    expectClipZeroNotLoaded();
}

TEST_F(DamagedClipboardFile, ClipAtZeroHertzIsNotLoaded) {
    patchFile<int32_t>(clipboardFile(), kClipRate, 0);
    expectClipZeroNotLoaded();
}

TEST_F(DamagedClipboardFile, ClipBlockReachingPastItsDataFileIsNotLoaded) {
    patchFile<int32_t>(clipboardFile(), kClipFirstBlock, 1 << 30);
    expectClipZeroNotLoaded();
}

TEST_F(DamagedClipboardFile, ClipBlockWithANegativeLengthIsNotLoaded) {
    patchFile<int16_t>(clipboardFile(), kClipFirstBlock + 4, -5);
    expectClipZeroNotLoaded();
}
