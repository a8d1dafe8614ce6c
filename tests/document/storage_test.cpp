/*
 * The sample store: block summaries, the insertion stage, data files and
 * their roll-over, reading back (with and without the group index), the
 * splitting rule at edit boundaries, and writing in place.
 */
#include "engine/core/services.h"
#include "tests/document/storage_fixture.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

/* ---- Block summary ---- */

class BlockSummary : public StorageTest {};

TEST_F(BlockSummary, RunsOf64SaturateAt255AndNegativeRunsShiftArithmetically) {
    std::vector<float> samples(4096, 0.0f);
    samples[0] = 1.0f;              /* v 4096, w 256 -> 255 */
    samples[64] = -1.5f;            /* v -6144, w -384 -> -255 */
    samples[192] = -1.0f / 4096.0f; /* v -1, shifted -1: a magnitude of 1 */
    samples[256] = 15.0f / 4096.0f; /* v 15, shifted 0 */
    samples[320] = 0.5f;            /* v 2048, w 128 */
    samples[321] = -0.25f;          /* v -1024, w -64 */
    KV_Block block{};
    kvSummarizeBlock(&block, samples.data(), 4096);
    EXPECT_EQ(block.subPos[0], 255);
    EXPECT_EQ(block.subNeg[0], 0);
    EXPECT_EQ(block.subNeg[1], 255);
    EXPECT_EQ(block.subPos[1], 0);
    EXPECT_EQ(block.subNeg[3], 1);
    EXPECT_EQ(block.subPos[4], 0);
    EXPECT_EQ(block.subNeg[4], 0);
    EXPECT_EQ(block.subPos[5], 128);
    EXPECT_EQ(block.subNeg[5], 64);
    EXPECT_EQ(block.peakPos, 255);
    EXPECT_EQ(block.peakNeg, 255);
    EXPECT_EQ(block.peak, 6144);
}

TEST_F(BlockSummary, PeakIsCappedAtOneMillionAndTheThresholdOf255IsExact) {
    std::vector<float> samples = {300.0f, 0.99609375f, 0.99609f,
                                  std::numeric_limits<float>::infinity()};
    KV_Block block{};
    kvSummarizeBlock(&block, samples.data(), 1);
    EXPECT_EQ(block.peak, 1048576);
    kvSummarizeBlock(&block, samples.data() + 1, 1);
    EXPECT_EQ(block.subPos[0], 255);
    EXPECT_EQ(block.peak, 4080);
    kvSummarizeBlock(&block, samples.data() + 2, 1);
    EXPECT_EQ(block.subPos[0], 254);
    kvSummarizeBlock(&block, samples.data() + 3, 1);
    EXPECT_EQ(block.peak, 1048576);
}

TEST_F(BlockSummary, OnlyTheGivenSamplesCountAndEarlierValuesAreCleared) {
    std::vector<float> loud(4096, -0.75f);
    KV_Block block{};
    kvSummarizeBlock(&block, loud.data(), 4096);
    ASSERT_EQ(block.peakNeg, 192);
    std::vector<float> quiet(4096, 0.0f);
    quiet[10] = 0.125f;
    quiet[200] = 0.9f; /* beyond the count: ignored */
    kvSummarizeBlock(&block, quiet.data(), 100);
    EXPECT_EQ(block.subPos[0], 32);
    EXPECT_EQ(block.peakNeg, 0);
    EXPECT_EQ(block.peakPos, 32);
    EXPECT_EQ(block.subPos[3], 0);
    EXPECT_EQ(block.peak, 512);
}

/* The rule sample by sample, as a model for the run-wise computation. */
static KV_Block summaryByRule(const std::vector<float> &samples) {
    KV_Block block{};
    for (size_t i = 0; i < samples.size(); i++) {
        double scaled = std::isnan(samples[i]) ? 0.0 : samples[i] * 4096.0;
        int32_t v = static_cast<int32_t>(std::clamp(scaled, -1048576.0, 1048576.0));
        block.peak = std::max(block.peak, std::abs(v));
        int32_t w = std::clamp(v >> 4, -255, 255);
        uint8_t &positive = block.subPos[i / 64], &negative = block.subNeg[i / 64];
        if (w > positive) positive = static_cast<uint8_t>(w);
        if (-w > negative) negative = static_cast<uint8_t>(-w);
    }
    block.peakPos = *std::max_element(block.subPos, block.subPos + 64);
    block.peakNeg = *std::max_element(block.subNeg, block.subNeg + 64);
    return block;
}

TEST_F(BlockSummary, RandomBlocksMatchTheSampleBySampleRule) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> small(-0.01f, 0.01f), wide(-3.0f, 3.0f);
    for (int32_t round = 0; round < 200; round++) {
        std::vector<float> samples(1 + random() % 4096);
        for (float &x : samples)
            x = random() % 2 ? small(random) : wide(random);
        if (round % 3 == 0) samples[random() % samples.size()] = std::nanf("");
        if (round % 5 == 0) samples[random() % samples.size()] = -1e9f;
        if (round % 7 == 0)
            samples[random() % samples.size()] =
                (round % 2 ? 1 : -1) * std::numeric_limits<float>::infinity();
        KV_Block block{};
        kvSummarizeBlock(&block, samples.data(), static_cast<int32_t>(samples.size()));
        ASSERT_TRUE(block == summaryByRule(samples)) << "round " << round;
    }
}

/* ---- Insertion pipeline ---- */

class InsertionPipeline : public StorageTest {
  protected:
    int32_t emptyDocument(int32_t channels = 1) {
        int32_t doc = kvCreate(nullptr);
        kvNew(doc, channels, 16, 1, 44100);
        return doc;
    }
};

TEST_F(InsertionPipeline, Queueing4095Then2GivesAFullBlockAndAOneSampleBlock) {
    int32_t doc = emptyDocument();
    std::vector<float> samples = ramp(4097);
    kvBeginEdit(doc, "Insert");
    kvQueueInsert(doc, 0, samples.data(), 4095);
    kvQueueInsert(doc, 0, samples.data() + 4095, 2);
    /* One block has reached the data file; one sample waits on the stage. */
    EXPECT_EQ(kvDataFileLength(0), 4096);
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    EXPECT_EQ(lengths(doc, 0), (std::vector<int32_t>{4096, 1}));
    EXPECT_EQ(kvDataFileLength(0), 4097);
    EXPECT_EQ(channel(doc, 0), samples);
}

TEST_F(InsertionPipeline, ASilenceRunOf10000MakesThreeSilenceBlocksAndNoDataFileGrowth) {
    int32_t doc = makeDocument(44100, ramp(100));
    int64_t before = kvDataFileLength(0);
    int64_t sizeBefore = kvTestReadFile(dataFile(0)).size();
    kvSetSelection(doc, 100, 100, -1);
    kvBeginEdit(doc, "Insert Silence");
    for (int32_t done = 0; done < 10000; done += 4096)
        kvQueueInsert(doc, 0, nullptr, std::min(4096, 10000 - done));
    ASSERT_EQ(kvCompleteEdit(doc, true), 0);
    EXPECT_EQ(lengths(doc, 0), (std::vector<int32_t>{100, 4096, 4096, 1808}));
    for (size_t i = 1; i < 4; i++) {
        KV_Block silence{};
        silence.position = -1;
        silence.file = -1;
        silence.length = static_cast<int16_t>(blocks(doc, 0)[i].length);
        EXPECT_TRUE(blocks(doc, 0)[i] == silence) << i;
    }
    EXPECT_EQ(kvDataFileLength(0), before);
    EXPECT_EQ(static_cast<int64_t>(kvTestReadFile(dataFile(0)).size()), sizeBefore);
    EXPECT_FALSE(kvTestFileExists(dataFile(1)));
    EXPECT_EQ(kvGetLength(doc), 10100);
    std::vector<int32_t> selection(2);
    kvGetSelection(doc, &selection[0], &selection[1], nullptr);
    EXPECT_EQ(selection, (std::vector<int32_t>{100, 10100}));
}

TEST_F(InsertionPipeline, SilenceFlushesTheStageFirstSoOrderIsKept) {
    int32_t doc = emptyDocument();
    std::vector<float> first = ramp(100, 0.5f), last = ramp(30, -0.5f);
    kvBeginEdit(doc, "Mixed");
    kvQueueInsert(doc, 0, first.data(), 100);
    kvQueueInsert(doc, 0, nullptr, 50);
    kvQueueInsert(doc, 0, last.data(), 30);
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    EXPECT_EQ(lengths(doc, 0), (std::vector<int32_t>{100, 50, 30}));
    std::vector<float> expected = first;
    expected.resize(150, 0.0f);
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_EQ(channel(doc, 0), expected);
}

TEST_F(InsertionPipeline, BlocksQueuedForAChannelThatIsNotEditedAreDropped) {
    int32_t doc = makeDocument(44100, ramp(50), ramp(50, 0.25f));
    std::vector<KV_Block> right = blocks(doc, 1);
    kvSetSelection(doc, 10, 10, 0);
    kvBeginEdit(doc, "Left");
    std::vector<float> extra = ramp(20, -0.75f);
    kvQueueInsert(doc, 0, extra.data(), 20);
    kvQueueInsert(doc, 1, extra.data(), 20);
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    EXPECT_EQ(blocks(doc, 1).size(), right.size());
    EXPECT_TRUE(blocks(doc, 1)[0] == right[0]);
    EXPECT_EQ(channel(doc, 1), [&] {
        std::vector<float> r = ramp(50, 0.25f);
        r.resize(70, 0.0f);
        return r;
    }());
    EXPECT_EQ(kvGetLength(doc), 70);
}

TEST_F(InsertionPipeline, MoreThan4096SamplesForOneBlockIsFatal) {
    int32_t doc = emptyDocument();
    std::vector<float> samples(4097, 0.0f);
    EXPECT_EXIT(kvActualInsertData(doc, 0, samples.data(), 4097), ::testing::ExitedWithCode(1),
                "Size too big for kvActualInsertData\\(\\): 4097");
}

/* ---- Data files ---- */

class DataFiles : public StorageTest {};

TEST_F(DataFiles, AFileReachingTheLimitIsLeftForANewOne) {
    kvTestSetDataFileLimit(10000);
    std::vector<float> samples = ramp(4 * 4096);
    int32_t doc = makeDocument(44100, samples);
    std::vector<KV_Block> table = blocks(doc, 0);
    ASSERT_EQ(table.size(), 4u);
    std::vector<int32_t> files, positions;
    for (const KV_Block &block : table) {
        files.push_back(block.file);
        positions.push_back(block.position);
    }
    /* 8192 samples are still below the limit, so a third block joins file 0. */
    EXPECT_EQ(files, (std::vector<int32_t>{0, 0, 0, 1}));
    EXPECT_EQ(positions, (std::vector<int32_t>{0, 4096, 8192, 0}));
    EXPECT_TRUE(kvTestFileExists(dataFile(1)));
    EXPECT_EQ(channel(doc, 0), samples);
}

TEST_F(DataFiles, FileNumbersAreFourUpperCaseHexDigits) {
    kvTestSetDataFileLimit(1);
    makeDocument(44100, ramp(11 * 4096));
    EXPECT_TRUE(kvTestFileExists(dataFile(10)));
    EXPECT_TRUE(kvTestFileExists(workFolder + "/DATA000A.tmp"));
}

TEST_F(DataFiles, AfterSealingTheNextAppendGoesToANewFileAndTheOldOneStaysReadable) {
    std::vector<float> first = ramp(5000);
    int32_t doc = makeDocument(44100, first);
    kvSealLastDataFile();
    std::vector<float> second = ramp(300, -0.5f);
    ASSERT_EQ(replace(doc, 5000, 5000, -1, second), 0);
    EXPECT_EQ(blocks(doc, 0).back().file, 1);
    EXPECT_EQ(blocks(doc, 0).back().position, 0);
    std::vector<float> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(channel(doc, 0), expected);
    EXPECT_EQ(kvCurrentDataFile(), 1);
    EXPECT_EQ(openDataFileHandles(), 2);
}

TEST_F(DataFiles, MoreFilesThanTheCacheHoldsAreReadWithAtMost48DescriptorsOpen) {
    std::vector<float> expected;
    int32_t doc = makeDocument(44100, {});
    for (int32_t n = 0; n < 120; n++) {
        std::vector<float> piece = ramp(100 + n, static_cast<float>(n) / 128.0f);
        ASSERT_EQ(replace(doc, kvGetLength(doc), kvGetLength(doc), -1, piece), 0);
        kvSealLastDataFile();
        expected.insert(expected.end(), piece.begin(), piece.end());
    }
    EXPECT_TRUE(kvTestFileExists(dataFile(119)));
    EXPECT_EQ(channel(doc, 0), expected);
    EXPECT_EQ(channel(doc, 0), expected);
    EXPECT_LE(openDataFileHandles(), 48);
    EXPECT_GE(openDataFileHandles(), 40) << "recently used files stay open";
}

TEST_F(DataFiles, NumbersOfDeletedFilesAreGivenOutAgainLowestFirst) {
    int32_t first = makeDocument(44100, ramp(100));
    kvSealLastDataFile();
    int32_t second = makeDocument(44100, ramp(200, 0.5f));
    kvSealLastDataFile();
    ASSERT_EQ(blocks(second, 0)[0].file, 1);
    kvClose(first);
    EXPECT_FALSE(kvTestFileExists(dataFile(0)));
    std::vector<float> samples = ramp(300, -0.5f);
    int32_t third = makeDocument(44100, samples);
    EXPECT_EQ(blocks(third, 0)[0].file, 0);
    EXPECT_EQ(channel(third, 0), samples);
    EXPECT_EQ(channel(second, 0), ramp(200, 0.5f));
}

TEST_F(DataFiles, ASaveWithoutADescriptorLeftSaysSoAndNotThatTheFolderIsReadOnly) {
    int32_t doc = makeDocument(44100, ramp(100));
    std::string target = path("saved.wav");
    EXPECT_EXIT(
        {
            rlimit limit{};
            getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = static_cast<rlim_t>(kvOpenDescriptorCount() + 8);
            setrlimit(RLIMIT_NOFILE, &limit);
            while (open("/dev/null", O_RDONLY) >= 0) {
            }
            /* _exit: the test's own objects are still alive in the child. */
            _exit(kvSave(doc, target.c_str()) == -1 ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "Korvel Error: Too many files are open");
}

TEST_F(DataFiles, FilesOfAnEarlierRunAreTruncatedWhenTheirNumberComesBack) {
    stopEngine();
    kvTestWriteFile(workFolder + "/DATA0000.tmp", std::string(1000, 'x'));
    ASSERT_EQ(startEngine(), 0);
    std::vector<float> samples = ramp(10, 0.125f);
    int32_t doc = makeDocument(44100, samples);
    EXPECT_EQ(blocks(doc, 0)[0].position, 0);
    EXPECT_EQ(kvTestReadFile(dataFile(0)).size(), 40u);
    EXPECT_EQ(channel(doc, 0), samples);
}

TEST_F(DataFiles, CleanUpClosesEveryFileBeforeEmptyingTheFolder) {
    kvTestSetDataFileLimit(4096);
    makeDocument(44100, ramp(3 * 4096));
    EXPECT_EQ(openDataFileHandles(), 3);
    stopEngine();
    EXPECT_EQ(openDataFileHandles(), 0);
    EXPECT_FALSE(kvTestFileExists(dataFile(0)));
}

/* ---- Reading ---- */

class Reading : public StorageTest {};

TEST_F(Reading, ANegativeStartGivesLeadingZerosAndCountsOnlySamplesFromBlocks) {
    std::vector<float> samples = ramp(100, 0.5f);
    int32_t doc = makeDocument(44100, samples);
    std::vector<float> out(10, 9.0f);
    EXPECT_EQ(kvReadFrames(doc, 0, -5, 10, out.data()), 5);
    std::vector<float> expected = {0,          0,          0,          0,          0,
                                   samples[0], samples[1], samples[2], samples[3], samples[4]};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(kvReadFrames(doc, 0, -20, 10, out.data()), 0);
    EXPECT_EQ(out, std::vector<float>(10, 0.0f));
}

TEST_F(Reading, PositionsPastTheEndAreZeroAndNotCounted) {
    std::vector<float> samples = ramp(100, 0.5f);
    int32_t doc = makeDocument(44100, samples);
    std::vector<float> out(10, 9.0f);
    EXPECT_EQ(kvReadFrames(doc, 0, 95, 10, out.data()), 5);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 5),
              std::vector<float>(samples.begin() + 95, samples.end()));
    EXPECT_EQ(std::vector<float>(out.begin() + 5, out.end()), std::vector<float>(5, 0.0f));
}

TEST_F(Reading, ChannelsOfDifferentTotalsReportTheLargerAsLength) {
    int32_t doc = makeDocument(44100, ramp(100), ramp(100, 0.5f));
    ASSERT_EQ(replace(doc, 100, 100, 0, ramp(50, -0.5f)), 0);
    EXPECT_EQ(kvGetLength(doc), 150);
    std::vector<float> right(150, 9.0f);
    EXPECT_EQ(kvReadFrames(doc, 1, 0, 150, right.data()), 100);
    EXPECT_EQ(std::vector<float>(right.begin() + 100, right.end()), std::vector<float>(50, 0.0f));
    ASSERT_EQ(replace(doc, 0, 150, 0, {}), 0);
    EXPECT_EQ(kvGetLength(doc), 100) << "the right channel is now the longer one";
}

TEST_F(Reading, AChannelTheCurrentStateLacksLeavesTheBufferAlone) {
    int32_t doc = makeDocument(44100, ramp(10));
    std::vector<float> out(4, 9.0f);
    EXPECT_EQ(kvReadFrames(doc, 1, 0, 4, out.data()), 0);
    EXPECT_EQ(out, std::vector<float>(4, 9.0f));
}

TEST_F(Reading, ShortBlocksOfEveryLengthReadBackAtEveryPosition) {
    /* 300 blocks of 1 to 40 samples, some of them silence. */
    std::mt19937 random(7);
    int32_t doc = kvCreate(nullptr);
    kvNew(doc, 1, 16, 1, 44100);
    kvBeginEdit(doc, "Pieces");
    std::vector<float> model;
    for (int32_t i = 0; i < 300; i++) {
        std::vector<float> piece = ramp(1 + static_cast<int32_t>(random() % 40), i / 300.0f);
        if (i % 7 == 3) {
            kvActualInsertData(doc, 0, nullptr, static_cast<int32_t>(piece.size()));
            std::fill(piece.begin(), piece.end(), 0.0f);
        } else {
            kvActualInsertData(doc, 0, piece.data(), static_cast<int32_t>(piece.size()));
        }
        model.insert(model.end(), piece.begin(), piece.end());
    }
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    ASSERT_EQ(state(doc)->tables[0].count, 300);
    auto check = [&](const char *what) {
        for (int32_t start = -3; start < static_cast<int32_t>(model.size()) + 3; start += 5) {
            std::vector<float> out(37), expected(37, 0.0f);
            for (int32_t i = 0; i < 37; i++)
                if (start + i >= 0 && start + i < static_cast<int32_t>(model.size()))
                    expected[i] = model[start + i];
            kvReadFrames(doc, 0, start, 37, out.data());
            ASSERT_EQ(out, expected) << what << " start " << start;
        }
    };
    check("stored");
}

TEST_F(Reading, DuringAnEditTheLevelBeforeAndTheCurrentOneSeeTheirOwnSamples) {
    std::vector<float> before = ramp(6000, 0.25f), after = ramp(10, -0.25f);
    int32_t doc = makeDocument(44100, before);
    kvSetSelection(doc, 0, 6000, -1);
    kvBeginEdit(doc, "Replace");
    queue(doc, 0, after);
    KV_Document *document = kvGetDocument(doc);
    std::vector<float> out(6000);
    EXPECT_EQ(kvReadSamples(doc, 0, document->level - 1, out.data(), 0, 6000), 6000);
    EXPECT_EQ(out, before);
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    EXPECT_EQ(kvReadSamples(doc, 0, -1, out.data(), 0, 10), 10);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 10), after);
}

/* ---- Splitting at edit boundaries ---- */

class Splitting : public StorageTest {};

TEST_F(Splitting, ACutOnBlockBoundariesMakesNoShortenedDescriptors) {
    int32_t doc = makeDocument(44100, ramp(3 * 4096));
    std::vector<KV_Block> before = blocks(doc, 0);
    ASSERT_EQ(replace(doc, 4096, 8192, -1, {}), 0);
    std::vector<KV_Block> after = blocks(doc, 0);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_TRUE(after[0] == before[0]);
    EXPECT_TRUE(after[1] == before[2]);
}

TEST_F(Splitting, PartsOfACutBlockGetFreshSummariesOfTheirOwnSamples) {
    std::vector<float> samples(4096, 0.1f);
    samples[0] = 0.9f;
    samples[4095] = -0.8f;
    int32_t doc = makeDocument(44100, samples);
    ASSERT_EQ(replace(doc, 0, 1, -1, {}), 0);
    KV_Block tail = blocks(doc, 0)[0];
    EXPECT_EQ(tail.length, 4095);
    EXPECT_EQ(tail.position, 1);
    EXPECT_EQ(tail.peak, static_cast<int32_t>(0.8f * 4096));
    EXPECT_EQ(tail.subPos[0], static_cast<int32_t>(0.1f * 4096) >> 4);
    /* The sample at 4095 of the old block now sits in run 63 of the tail. */
    EXPECT_EQ(tail.subNeg[63], 205);
    ASSERT_EQ(replace(doc, 4094, 4095, -1, {}), 0);
    KV_Block head = blocks(doc, 0)[0];
    EXPECT_EQ(head.length, 4094);
    EXPECT_EQ(head.position, 1);
    EXPECT_EQ(head.peak, static_cast<int32_t>(0.1f * 4096));
    EXPECT_EQ(head.peakNeg, 0);
}

TEST_F(Splitting, SilenceCutInTwoStaysSilence) {
    int32_t doc = kvCreate(nullptr);
    kvNew(doc, 1, 16, 1, 44100);
    kvBeginEdit(doc, "Silence");
    kvQueueInsert(doc, 0, nullptr, 4096);
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    ASSERT_EQ(replace(doc, 1000, 1010, -1, {}), 0);
    std::vector<KV_Block> parts = blocks(doc, 0);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].length, 1000);
    EXPECT_EQ(parts[1].length, 3086);
    for (const KV_Block &part : parts) {
        EXPECT_EQ(part.position, -1);
        EXPECT_EQ(part.file, -1);
        EXPECT_EQ(part.peak, 0);
    }
}

TEST_F(Splitting, AnInsertionInsideABlockSplitsItAroundTheNewMaterial) {
    std::vector<float> samples = ramp(4096, 0.25f);
    int32_t doc = makeDocument(44100, samples);
    std::vector<float> extra = ramp(3, -0.5f);
    kvSetSelection(doc, 1000, 1000, -1);
    kvBeginEdit(doc, "Insert");
    EXPECT_EQ(state(doc)->insertAt[0], 1);
    EXPECT_EQ(lengths(doc, 0), (std::vector<int32_t>{1000, 3096}));
    queue(doc, 0, extra);
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    EXPECT_EQ(lengths(doc, 0), (std::vector<int32_t>{1000, 3, 3096}));
    std::vector<float> expected(samples.begin(), samples.begin() + 1000);
    expected.insert(expected.end(), extra.begin(), extra.end());
    expected.insert(expected.end(), samples.begin() + 1000, samples.end());
    EXPECT_EQ(channel(doc, 0), expected);
}

/* ---- Writing in place ---- */

class WritingInPlace : public StorageTest {};

TEST_F(WritingInPlace, OverwritesAcrossBlocksAndRefreshesTheirSummaries) {
    int32_t doc = makeDocument(44100, std::vector<float>(8192, 0.0f));
    std::vector<float> loud(20, 0.5f);
    EXPECT_EQ(kvWriteSamplesInPlace(doc, 0, loud.data(), 4086, 20), 20);
    std::vector<float> expected(8192, 0.0f);
    std::fill(expected.begin() + 4086, expected.begin() + 4106, 0.5f);
    EXPECT_EQ(channel(doc, 0), expected);
    EXPECT_EQ(blocks(doc, 0)[0].subPos[63], 128);
    EXPECT_EQ(blocks(doc, 0)[1].subPos[0], 128);
    EXPECT_EQ(blocks(doc, 0)[1].peak, 2048);
}

TEST_F(WritingInPlace, ASilenceBlockGetsStorageFirst) {
    int32_t doc = makeDocument(44100, ramp(10));
    int64_t fileBefore = kvDataFileLength(0);
    kvSetSelection(doc, 10, 10, -1);
    kvBeginEdit(doc, "Silence");
    kvQueueInsert(doc, 0, nullptr, 100);
    ASSERT_EQ(kvCompleteEdit(doc, false), 0);
    std::vector<float> loud(5, -0.25f);
    EXPECT_EQ(kvWriteSamplesInPlace(doc, 0, loud.data(), 30, 5), 5);
    KV_Block block = blocks(doc, 0)[1];
    EXPECT_EQ(block.file, 0);
    EXPECT_EQ(block.position, fileBefore);
    EXPECT_EQ(kvDataFileLength(0), fileBefore + 100);
    EXPECT_EQ(block.subNeg[0], 64);
    std::vector<float> expected = ramp(10);
    expected.resize(110, 0.0f);
    std::fill(expected.begin() + 30, expected.begin() + 35, -0.25f);
    EXPECT_EQ(channel(doc, 0), expected);
}
