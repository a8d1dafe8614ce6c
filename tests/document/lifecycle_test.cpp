/*
 * Making, emptying and closing documents, and the headless exports: what
 * they do with the states and files, selection, and handles of no document.
 */
#include "tests/document/storage_fixture.h"

class DocumentTable : public StorageTest {};

TEST_F(DocumentTable, ANewDocumentSelectsNothingEditsBothChannelsAndStoresLevelZero) {
    int32_t doc = kvCreate(nullptr);
    ASSERT_EQ(kvNew(doc, 2, 16, 1, 22050), 0);
    int32_t anchor = 9, end = 9, channel = 9;
    kvGetSelection(doc, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 0);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(channel, -1);
    EXPECT_EQ(state(doc)->framesPerPixel, 64);
    EXPECT_EQ(kvGetDocument(doc)->bitRate, 256);
    EXPECT_EQ(kvTestReadFile(stateFile(doc, 0)).size(), 72u + 2 * 4);
}

TEST_F(DocumentTable, NewDropsEveryEarlierStateOfTheDocument) {
    int32_t doc = makeDocument(44100, ramp(100));
    ASSERT_EQ(replace(doc, 0, 10, -1, {}), 0);
    ASSERT_EQ(kvNew(doc, 1, 16, 1, 8000), 0);
    EXPECT_EQ(kvGetNumUndo(doc), 1);
    EXPECT_EQ(kvGetUndoLevel(doc), 0);
    EXPECT_EQ(kvGetLength(doc), 0);
    EXPECT_EQ(state(doc)->tables[0].count, 0);
}

TEST_F(DocumentTable, NewRefusesChannelCountsOtherThanOneOrTwo) {
    int32_t doc = kvCreate(nullptr);
    EXPECT_EQ(kvNew(doc, 3, 16, 1, 44100), -1);
    EXPECT_EQ(kvNew(doc, 0, 16, 1, 44100), -1);
    EXPECT_EQ(shownTexts().size(), 2u);
    EXPECT_EQ(kvGetChannels(doc), 1);
}

TEST_F(DocumentTable, CloseDeletesTheStateFilesAndLeavesOnlySamplesTheClipboardHolds) {
    int32_t doc = makeDocument(44100, ramp(5000));
    kvSealLastDataFile();
    ASSERT_EQ(replace(doc, 0, 100, -1, ramp(300, -0.5f)), 0);
    kvSetSelection(doc, 1000, 2000, -1);
    ASSERT_EQ(kvCopy(doc), 0);
    ASSERT_EQ(kvUndo(doc), 0);
    std::string samples = kvTestReadFile(dataFile(0));
    for (int32_t level = 0; level < 3; level++)
        ASSERT_TRUE(kvTestFileExists(stateFile(doc, level)));
    ASSERT_TRUE(kvTestFileExists(dataFile(1)));
    EXPECT_EQ(kvClose(doc), 0);
    for (int32_t level = 0; level < 3; level++)
        EXPECT_FALSE(kvTestFileExists(stateFile(doc, level)));
    /* The clip lies in file 0 only. */
    EXPECT_EQ(kvTestReadFile(dataFile(0)), samples);
    EXPECT_FALSE(kvTestFileExists(dataFile(1)));
    EXPECT_EQ(kvGetDocument(doc), nullptr);
    EXPECT_EQ(kvClose(doc), -1);
    ASSERT_EQ(kvEmptyClipboard(), 0);
    EXPECT_EQ(kvListFiles(workFolder), std::vector<std::string>{"COPY.tmp"});
}

TEST_F(DocumentTable, HandlesThatNameNoDocumentDoNothing) {
    int32_t doc = kvCreate(nullptr);
    float buffer[4] = {7, 7, 7, 7};
    int32_t value = 5;
    for (int32_t bad : {-1, 256, doc + 1}) {
        EXPECT_EQ(kvNew(bad, 1, 16, 1, 44100), -1);
        EXPECT_EQ(kvClose(bad), -1);
        EXPECT_EQ(kvSetSelection(bad, 0, 0, -1), -1);
        EXPECT_EQ(kvGetSelection(bad, &value, &value, &value), -1);
        EXPECT_EQ(kvGetLength(bad), 0);
        EXPECT_EQ(kvReadFrames(bad, 0, 0, 4, buffer), -1);
        EXPECT_EQ(kvUndo(bad), -1);
        EXPECT_EQ(kvRedo(bad), -1);
        EXPECT_EQ(kvSetHistory(bad, 0), -1);
    }
    EXPECT_EQ(value, 5);
    EXPECT_EQ(buffer[0], 7.0f);
    EXPECT_TRUE(shownTexts().empty());
}

class HeadlessSelection : public StorageTest {};

TEST_F(HeadlessSelection, EndsAreClampedToTheSoundAndMonoAlwaysEditsBothChannels) {
    int32_t mono = makeDocument(44100, ramp(100));
    ASSERT_EQ(kvSetSelection(mono, -5, 500, 0), 0);
    int32_t anchor, end, channel;
    kvGetSelection(mono, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 0);
    EXPECT_EQ(end, 100);
    EXPECT_EQ(channel, -1);
    int32_t stereo = makeDocument(44100, ramp(100), ramp(100));
    kvSetSelection(stereo, 60, 20, 1);
    kvGetSelection(stereo, &anchor, &end, &channel);
    EXPECT_EQ(anchor, 60);
    EXPECT_EQ(end, 20);
    EXPECT_EQ(channel, 1);
    kvSetSelection(stereo, 0, 0, 7);
    kvGetSelection(stereo, nullptr, nullptr, &channel);
    EXPECT_EQ(channel, -1);
}
