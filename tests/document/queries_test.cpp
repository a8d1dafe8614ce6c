/*
 * The document table's limits and what a document reports about itself.
 */
#include "tests/support/document_fixture.h"

#include <cstring>

class DocumentQueries : public DocumentTest {
  protected:
    /* A new stereo document with `frames` frames of a ramp. */
    static int32_t makeStereo(int32_t frames) {
        std::vector<float> samples(frames);
        for (int32_t i = 0; i < frames; i++)
            samples[i] = i / static_cast<float>(frames);
        return makeDocument(44100, samples, samples);
    }
};

TEST_F(DocumentQueries, TheTwoHundredFiftySeventhDocumentIsRefusedAndSlotsAreReused) {
    for (int32_t i = 0; i < 256; i++)
        ASSERT_EQ(kvCreate(nullptr), i);
    kvTestTakeShownBoxes();
    EXPECT_EQ(kvCreate(nullptr), -1);
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't create file -- to many files open");
    kvClose(200);
    kvClose(17);
    EXPECT_EQ(kvCreate(nullptr), 17);
    EXPECT_EQ(kvCreate(nullptr), 200);
}

TEST_F(DocumentQueries, NewDocumentIsEmptySavedAndOriginal) {
    int32_t doc = kvCreate(nullptr);
    ASSERT_EQ(kvNew(doc, 1, 8, 1, 22050), 0);
    EXPECT_EQ(kvIsZero(doc), 1);
    EXPECT_EQ(kvIsSaved(doc), 1);
    EXPECT_EQ(kvCanUndo(doc), 0);
    EXPECT_EQ(kvCanRedo(doc), 0);
    EXPECT_EQ(kvGetNumUndo(doc), 1);
    EXPECT_EQ(kvGetSampleRate(doc), 22050);
    EXPECT_EQ(kvGetChannels(doc), 1);
    char label[40];
    ASSERT_EQ(kvGetUndoText(doc, 0, label), 0);
    EXPECT_STREQ(label, "Original Sound");
}

TEST_F(DocumentQueries, InvalidHandlesAnswerZeroOrMinusOne) {
    for (int32_t doc : {-1, 5, 256}) {
        EXPECT_EQ(kvIsSaved(doc), 0);
        EXPECT_EQ(kvIsZero(doc), 0);
        EXPECT_EQ(kvGetNumUndo(doc), 0);
        EXPECT_EQ(kvGetSampleRate(doc), 0);
        EXPECT_EQ(kvIsAllSelected(doc), -1);
        EXPECT_EQ(kvFixSelection(doc), 0);
        int32_t channels = 7;
        EXPECT_EQ(kvGetProperties(doc, &channels, &channels, &channels), -1);
        EXPECT_EQ(channels, 7);
    }
}

TEST_F(DocumentQueries, UndoTextOutOfRangeLeavesTheBufferAlone) {
    int32_t doc = makeStereo(100);
    char buffer[40];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kvGetUndoText(doc, kvGetNumUndo(doc), buffer), -1);
    EXPECT_EQ(kvGetUndoText(doc, -1, buffer), -1);
    EXPECT_EQ(buffer[0], 'x');
    ASSERT_EQ(kvGetUndoText(doc, 1, buffer), 0);
    EXPECT_STREQ(buffer, "Fill");
}

TEST_F(DocumentQueries, EditAndUndoMoveTheSavedAndUndoQueries) {
    int32_t doc = makeStereo(100);
    EXPECT_EQ(kvIsSaved(doc), 0);
    EXPECT_EQ(kvCanUndo(doc), 1);
    EXPECT_EQ(kvGetUndoLevel(doc), 1);
    ASSERT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(kvIsSaved(doc), 1);
    EXPECT_EQ(kvCanRedo(doc), 1);
}

TEST_F(DocumentQueries, AllSelectedOnlyWhenDraggedFromTheStart) {
    int32_t doc = makeStereo(1000);
    kvSetSelection(doc, 0, 1000, -1);
    EXPECT_EQ(kvIsAllSelected(doc), 1);
    kvSetSelection(doc, 1000, 0, -1);
    EXPECT_EQ(kvIsAllSelected(doc), 0);
    kvSetSelection(doc, 0, 999, -1);
    EXPECT_EQ(kvIsAllSelected(doc), 0);
}

TEST_F(DocumentQueries, FixSelectionSelectsEverythingOnlyWhenNothingIsSelected) {
    int32_t doc = makeStereo(1000);
    kvSetSelection(doc, 300, 300, 1);
    EXPECT_EQ(kvFixSelection(doc), 1);
    int32_t anchor, end, channel;
    kvGetSelection(doc, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 0);
    EXPECT_EQ(end, 1000);
    EXPECT_EQ(channel, 1);
    kvSetSelection(doc, 100, 200, -1);
    EXPECT_EQ(kvFixSelection(doc), 0);
    kvGetSelection(doc, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 100);
    EXPECT_EQ(end, 200);
}
