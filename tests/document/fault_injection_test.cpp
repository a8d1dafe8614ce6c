/*
 * Fault injection: each write an action makes is failed in turn, once and
 * from there on, through opening, edits, the clipboard and saving. After each
 * run the document reads as before the action (or as after it, where the
 * action stands and says so), a target file is the old one or the whole new
 * one, nothing is left beside it, the user was told, and the same action
 * works once the disk is well again. Every suite prints its number of runs.
 */
#include "engine/codec/codec.h"
#include "engine/history/clipboard.h"
#include "tests/support/document_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

namespace {

/* What a document shows of itself to the user. */
struct DocImage {
    int32_t length = 0, anchor = 0, end = 0, editChannel = 0, level = 0, states = 0, saved = 0;
    std::vector<float> left, right;
    bool operator==(const DocImage &) const = default;
};

/* Scalars, sizes and a sum of the samples, so that a mismatch reads at once. */
[[maybe_unused]] void PrintTo(const DocImage &image, std::ostream *out) {
    double sum = 0;
    for (float x : image.left)
        sum += std::fabs(x);
    for (float x : image.right)
        sum += std::fabs(x);
    *out << "{length " << image.length << ", selection " << image.anchor << ".." << image.end
         << " channel " << image.editChannel << ", level " << image.level << "/" << image.states
         << ", saved " << image.saved << ", samples " << image.left.size() << "+"
         << image.right.size() << " sum " << sum << "}";
}

/* One action under test: prepare makes the state before it (without
 * faults) and returns the document; act runs it and returns its result. */
struct Action {
    std::function<int32_t()> prepare;
    std::function<int32_t(int32_t doc)> act;
    std::string target;                          /* a file the action writes, or empty */
    bool targetIsNew = false;                    /* the target does not exist before the action */
    std::function<void(int32_t doc)> afterwards; /* extra checks in the same session */
    /* A failed open leaves the document without sound (the program then
     * closes it) rather than as it was created. */
    bool emptyOnFailure = false;
};

std::vector<float> wave(int32_t frames, double frequency, float level) {
    std::vector<float> samples(frames);
    for (int32_t i = 0; i < frames; i++)
        samples[i] = level * static_cast<float>(std::sin(i * frequency * 2 * M_PI / 44100.0));
    return samples;
}

const int32_t kFrames = 3 * 4096 + 100;

} // namespace

class FaultInjection : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        files = path("files");
        std::filesystem::create_directory(files);
    }

    static DocImage imageOf(int32_t doc) {
        DocImage image;
        image.length = kvGetLength(doc);
        kvGetSelection(doc, &image.anchor, &image.end, &image.editChannel);
        image.level = kvGetUndoLevel(doc);
        image.states = kvGetNumUndo(doc);
        image.saved = kvIsSaved(doc);
        image.left = channel(doc, 0);
        if (kvGetChannels(doc) == 2) image.right = channel(doc, 1);
        return image;
    }

    /* A stereo document holding two tones as its one edit. */
    static int32_t makeToneDocument() {
        return makeDocument(44100, wave(kFrames, 441.0, 0.5f), wave(kFrames, 882.0, 0.25f));
    }
    /* A tone document with [anchor, end) of `channel` selected. */
    static int32_t makeToneDocument(int32_t anchor, int32_t end, int32_t channel) {
        int32_t doc = makeToneDocument();
        kvSetSelection(doc, anchor, end, channel);
        return doc;
    }

    /* Closes every document and starts the engine afresh, so that each run
     * begins with an empty working folder and no open data files. */
    void restartEngine() {
        for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
            if (kvGetDocument(doc)) kvClose(doc);
        stopEngine();
        ASSERT_EQ(startEngine(), 0);
        kvTestTakeShownBoxes();
    }

    /* The target's bytes, or a mark for a missing file. */
    static std::string targetBytes(const std::string &target) {
        if (target.empty()) return "";
        return kvTestFileExists(target) ? kvTestReadFile(target) : "(missing)";
    }

    /* Puts back the target as it was before the action. */
    static void resetTarget(const Action &action, const std::string &oldTarget) {
        if (action.target.empty()) return;
        if (action.targetIsNew)
            std::filesystem::remove(action.target);
        else
            kvTestWriteFile(action.target, oldTarget);
    }

    std::set<std::string> filesInFolder() const {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(files))
            names.insert(entry.path().filename().string());
        return names;
    }

    /* Runs the action once without faults to learn its writes and result,
     * then fails the Nth write (once, and from N on) for every N up to that
     * count. Returns the number of faulty runs. */
    int32_t runWithFaults(const char *name, const Action &action) {
        std::string oldTarget = targetBytes(action.target);
        std::set<std::string> folderBefore = filesInFolder();
        int32_t doc = action.prepare();
        kvTestTakeShownBoxes();
        kvTestFileFault(KV_FAULT_WRITE, 0, 0);
        EXPECT_EQ(action.act(doc), 0) << name << " fails without a fault";
        int64_t writes = kvTestFileOperations(KV_FAULT_WRITE);
        EXPECT_TRUE(shownTexts().empty()) << name;
        DocImage after = imageOf(doc);
        std::string newTarget = targetBytes(action.target);
        std::set<std::string> folderAfter = filesInFolder();
        EXPECT_GT(writes, 0) << name << " writes nothing, so nothing is tested";
        int32_t runs = 0;
        for (int64_t n = 1; n <= writes; n++) {
            for (int64_t count : {int64_t{1}, int64_t{-1}}) {
                runFaulty(name, action, n, count, oldTarget, folderBefore, folderAfter, after,
                          newTarget);
                runs++;
                if (HasFatalFailure()) return runs;
            }
        }
        std::printf("[ fault    ] %s: %lld writes, %d faulty runs\n", name,
                    static_cast<long long>(writes), runs);
        RecordProperty("faulty_runs", runs);
        totalRuns += runs;
        return runs;
    }

    void runFaulty(const char *name, const Action &action, int64_t n, int64_t count,
                   const std::string &oldTarget, const std::set<std::string> &folderBefore,
                   const std::set<std::string> &folderAfter, const DocImage &after,
                   const std::string &newTarget) {
        SCOPED_TRACE(std::string(name) + ": write " + std::to_string(n) +
                     (count < 0 ? " and every later one" : " alone") + " fails");
        restartEngine();
        resetTarget(action, oldTarget);
        int32_t doc = action.prepare();
        DocImage before = imageOf(doc);
        kvTestTakeShownBoxes();
        kvTestFileFault(KV_FAULT_WRITE, n, count);
        int32_t result = action.act(doc);
        kvTestFileFault(KV_FAULT_WRITE, 0, 0);
        std::vector<std::string> boxes = shownTexts();
        EXPECT_FALSE(boxes.empty()) << "a failed write went unreported";
        totalBoxes += static_cast<int64_t>(boxes.size());
        DocImage expected = result == 0 ? after : before;
        if (result != 0 && action.emptyOnFailure) {
            expected = DocImage{};
            expected.editChannel = -1;
            expected.states = 1;
            expected.saved = 1;
        }
        DocImage now = imageOf(doc);
        if (result != 0) {
            /* A withdrawn paste or effect keeps the range it was given to
             * replace selected, as the edit protocol sets it beforehand. */
            now.anchor = expected.anchor;
            now.end = expected.end;
        }
        EXPECT_EQ(now, expected) << (result == 0 ? "the action stands, but not whole"
                                                 : "the withdrawn action left traces");
        if (!action.target.empty()) {
            std::string bytes = targetBytes(action.target);
            EXPECT_TRUE(bytes == oldTarget || bytes == newTarget) << "the target file is damaged";
            EXPECT_TRUE(bytes == (result == 0 ? newTarget : oldTarget))
                << "the file at the target does not match what the save reported";
        }
        EXPECT_TRUE(filesInFolder() == (result == 0 ? folderAfter : folderBefore))
            << "files were left beside the target";
        if (action.afterwards) action.afterwards(doc);
        /* The disk is well again: the same action from the same state works. */
        restartEngine();
        resetTarget(action, oldTarget);
        int32_t again = action.prepare();
        EXPECT_EQ(action.act(again), 0);
        EXPECT_EQ(imageOf(again), after) << "the engine is not sound after the fault";
        EXPECT_TRUE(shownTexts().empty());
    }

    static void TearDownTestSuite() {
        std::printf("[ fault    ] in all: %lld faulty runs, %lld messages shown\n",
                    static_cast<long long>(totalRuns), static_cast<long long>(totalBoxes));
    }

    std::string files;
    static inline int64_t totalRuns = 0;
    static inline int64_t totalBoxes = 0;
};

/* ---- Opening ---- */

TEST_F(FaultInjection, OpeningAWaveFileIsWithdrawnOrWholeAfterAnyFailedWrite) {
    std::string source = files + "/source.wav";
    int32_t maker = makeToneDocument();
    ASSERT_EQ(kvSave(maker, source.c_str()), 0);
    Action open;
    open.prepare = [] { return kvCreate(nullptr); };
    open.emptyOnFailure = true;
    open.act = [source](int32_t doc) { return kvOpen(doc, source.c_str()); };
    EXPECT_GT(runWithFaults("open WAVE", open), 0);
}

TEST_F(FaultInjection, OpeningAnMp3FileIsWithdrawnOrWholeAfterAnyFailedWrite) {
    int32_t maker = makeToneDocument();
    KV_Document *document = kvGetDocument(maker);
    document->formatTag = 85;
    document->bitRate = 128;
    document->codecDriver = kvFindCodec(2, 44100);
    if (!document->codecDriver) GTEST_SKIP() << "no MP3 encoder installed";
    std::string source = files + "/source.mp3";
    ASSERT_EQ(kvSave(maker, source.c_str()), 0);
    Action open;
    open.prepare = [] { return kvCreate(nullptr); };
    open.emptyOnFailure = true;
    open.act = [source](int32_t doc) { return kvOpen(doc, source.c_str()); };
    EXPECT_GT(runWithFaults("open MP3", open), 0);
}

/* ---- Edits ---- */

TEST_F(FaultInjection, AVolumeChangeWithFadedEdgesIsWithdrawnOrWhole) {
    params.volumeDb = -6;
    params.fadeEdges = 1;
    params.fadeEdgesMs = 20;
    Action edit;
    edit.prepare = [] { return makeToneDocument(1000, 10000, -1); };
    edit.act = [](int32_t doc) { return kvDoEdit(doc, KV_EDIT_VOLUME); };
    EXPECT_GT(runWithFaults("volume change", edit), 0);
}

TEST_F(FaultInjection, AnEditOfOneChannelIsWithdrawnOrWhole) {
    Action edit;
    edit.prepare = [] { return makeToneDocument(5000, 9000, 1); };
    edit.act = [](int32_t doc) { return kvDoEdit(doc, KV_EDIT_REVERSE); }; /* reverse */
    EXPECT_GT(runWithFaults("reverse right channel", edit), 0);
}

TEST_F(FaultInjection, DeleteAndInsertSilenceStandOrAreWithdrawn) {
    Action remove;
    remove.prepare = [] { return makeToneDocument(3000, 7000, -1); };
    remove.act = [](int32_t doc) { return kvDelete(doc); };
    EXPECT_GT(runWithFaults("delete", remove), 0);
    params.silenceAmount = 500;
    params.silenceUnit = 0;
    Action silence = remove;
    silence.act = [](int32_t doc) { return kvInsertSilence(doc); };
    EXPECT_GT(runWithFaults("insert silence", silence), 0);
}

/* ---- Clipboard ---- */

/* After a copy that could not be stored, the next clip is still found under
 * the number it was given. */
static void checkNextClipIsFoundByItsNumber(int32_t doc) {
    kvSetSelection(doc, 6000, 6500, -1);
    ASSERT_EQ(kvCopy(doc), 0);
    int32_t number = kvClip.number;
    ASSERT_EQ(number, kvGetClipCount() - 1);
    kvLoadClip(0);
    kvLoadClip(number);
    ASSERT_EQ(kvClip.number, number);
    ASSERT_EQ(kvClip.length, 500);
    std::vector<float> clip(500), original(500);
    kvReadClip(1, 0, 500, clip.data());
    kvReadFrames(doc, 1, 6000, 500, original.data());
    EXPECT_EQ(clip, original) << "clip " << number << " is another clip";
}

TEST_F(FaultInjection, ACopyThatCannotBeStoredIsReportedAndTheClipListStaysRight) {
    Action copy;
    copy.prepare = [] {
        int32_t doc = makeToneDocument(0, 1000, -1);
        kvCopy(doc);
        kvSetSelection(doc, 2000, 9000, -1);
        return doc;
    };
    copy.act = [](int32_t doc) { return kvCopy(doc); };
    copy.afterwards = checkNextClipIsFoundByItsNumber;
    EXPECT_GT(runWithFaults("copy", copy), 0);
}

TEST_F(FaultInjection, CutStandsOrIsWithdrawn) {
    Action cut;
    cut.prepare = [] { return makeToneDocument(2000, 9000, 0); };
    cut.act = [](int32_t doc) { return kvCut(doc); };
    EXPECT_GT(runWithFaults("cut", cut), 0);
}

TEST_F(FaultInjection, PastingStandsOrIsWithdrawn) {
    Action paste;
    paste.prepare = [] {
        int32_t doc = makeToneDocument(100, 5000, -1);
        kvCopy(doc);
        kvSetSelection(doc, 7000, 7100, -1);
        return doc;
    };
    paste.act = [](int32_t doc) { return kvPaste(doc, 0); };
    EXPECT_GT(runWithFaults("paste insert", paste), 0);
    /* A clip of another rate is converted, which writes new samples. */
    Action converting;
    converting.prepare = [] {
        int32_t source = makeDocument(22050, wave(6000, 300.0, 0.5f));
        kvSetSelection(source, 0, 6000, -1);
        kvCopy(source);
        int32_t doc = makeToneDocument();
        kvSetSelection(doc, 7000, 7100, -1);
        return doc;
    };
    converting.act = [](int32_t doc) { return kvPaste(doc, 1); };
    EXPECT_GT(runWithFaults("converting paste replace", converting), 0);
}

/* ---- Saving ---- */

TEST_F(FaultInjection, SavingAWaveFileOverAnOldOneKeepsTheOldOneOrWritesTheWholeNewOne) {
    Action save;
    save.target = files + "/target.wav";
    kvTestWriteFile(save.target, "the old file, which must survive");
    save.prepare = [] { return makeToneDocument(); };
    save.act = [target = save.target](int32_t doc) { return kvSave(doc, target.c_str()); };
    EXPECT_GT(runWithFaults("save WAVE over a file", save), 0);
}

TEST_F(FaultInjection, SavingAWaveFileUnderANewNameLeavesNothingOrTheWholeFile) {
    Action save;
    save.target = files + "/new.wav";
    save.targetIsNew = true;
    save.prepare = [] {
        int32_t doc = makeToneDocument();
        kvGetDocument(doc)->bitsPerSample = 32;
        kvGetDocument(doc)->formatTag = 3;
        return doc;
    };
    save.act = [target = save.target](int32_t doc) { return kvSave(doc, target.c_str()); };
    EXPECT_GT(runWithFaults("save WAVE to a new name", save), 0);
}

TEST_F(FaultInjection, SavingAnMp3FileOverAnOldOneKeepsTheOldOneOrWritesTheWholeNewOne) {
    if (!kvFindCodec(2, 44100)) GTEST_SKIP() << "no MP3 encoder installed";
    Action save;
    save.target = files + "/target.mp3";
    kvTestWriteFile(save.target, "the old file, which must survive");
    save.prepare = [] {
        int32_t doc = makeToneDocument();
        KV_Document *document = kvGetDocument(doc);
        document->formatTag = 85;
        document->bitRate = 128;
        document->codecDriver = kvFindCodec(2, 44100);
        std::memset(document->id3v1Block, ' ', 128);
        std::memcpy(document->id3v1Block, "TAG", 3);
        return doc;
    };
    save.act = [target = save.target](int32_t doc) { return kvSave(doc, target.c_str()); };
    EXPECT_GT(runWithFaults("save MP3 over a file", save), 0);
}
