/*
 * Random sessions over several documents (edits, cancelled edits, effects,
 * undos, redos, jumps, copies, cuts, pastes, clip loads, closes, new
 * documents and emptying the clipboard), checked after every step against
 * what the files themselves say: the data files on disk are exactly those
 * that a state file of an open document, the current clip or a kept clip
 * in the clipboard file refers to; each is as long as the store says; no
 * more descriptors than the cache allows are open; and no read has failed.
 * Under an undo limit the same holds, and each document's state files are
 * exactly those of its levels.
 */
#include "engine/history/clipboard.h"
#include "tests/document/storage_fixture.h"

#include <algorithm>
#include <random>
#include <set>
#include <sstream>

namespace {

int32_t int32At(const std::string &bytes, size_t at) {
    int32_t value = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

/* The data files named by `count` descriptors stored from `at` on. */
void addFiles(const std::string &bytes, size_t at, int32_t count, std::set<int32_t> *files) {
    for (int32_t b = 0; b < count; b++) {
        int16_t file = 0;
        std::memcpy(&file, bytes.data() + at + 144 * b + 6, 2);
        if (file >= 0) files->insert(file);
    }
}

class ReferencesModel : public StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        kvTestSetDataFileLimit(30000);
        readFailures = kvDataReadFailures();
    }

    int32_t pick(int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    }

    std::vector<float> material(int32_t n) {
        std::vector<float> samples(n);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (float &sample : samples)
            sample = value(random);
        return samples;
    }

    /* Any open document, or a new one with some sound when none is open. */
    int32_t someDocument() {
        std::vector<int32_t> open;
        for (int32_t doc = 0; doc < 4; doc++)
            if (kvGetDocument(doc)) open.push_back(doc);
        if (open.empty() || (open.size() < 3 && pick(0, 20) == 0))
            return makeDocument(pick(0, 3) == 0 ? 22050 : 44100, material(pick(1, 20000)),
                                material(pick(1, 20000)));
        return open[pick(0, static_cast<int32_t>(open.size()) - 1)];
    }

    void select(int32_t doc) {
        int32_t length = kvGetLength(doc), a = pick(0, length), e = a + pick(-5000, 5000);
        kvSetSelection(doc, a, e, pick(-1, 1));
    }

    /* Inserts material into the selection, or withdraws such an edit. */
    void insert(int32_t doc, bool cancel) {
        select(doc);
        int32_t channel = 0;
        kvGetSelection(doc, nullptr, nullptr, &channel);
        kvBeginEdit(doc, "Insert");
        for (int32_t c = 0; c < 2; c++)
            if (channel == -1 || channel == c) queue(doc, c, material(pick(0, 9000)));
        if (cancel)
            kvCancelEdit(doc);
        else
            ASSERT_EQ(kvCompleteEdit(doc, pick(0, 1) == 0), 0);
    }

    void step(int32_t doc, int32_t roll) {
        if (roll < 25) {
            trace << " insert";
            insert(doc, false);
        } else if (roll < 30) {
            trace << " cancelled";
            insert(doc, true);
        } else if (roll < 38) {
            trace << " effect";
            select(doc);
            kvDoEdit(doc, pick(0, 1) == 0 ? KV_EDIT_VOLUME : KV_EDIT_REVERSE);
        } else if (roll < 44) {
            trace << " delete";
            select(doc);
            ASSERT_EQ(kvDelete(doc), 0);
        } else if (roll < 54) {
            trace << " undo";
            ASSERT_EQ(kvUndo(doc), 0);
        } else if (roll < 60) {
            trace << " redo";
            ASSERT_EQ(kvRedo(doc), 0);
        } else if (roll < 63) {
            trace << " jump";
            ASSERT_EQ(kvSetHistory(doc, pick(0, kvGetNumUndo(doc) - 1)), 0);
        } else if (roll < 70) {
            trace << " copy";
            select(doc);
            ASSERT_EQ(kvCopy(doc), 0);
        } else if (roll < 74) {
            trace << " cut";
            select(doc);
            ASSERT_EQ(kvCut(doc), 0);
        } else if (roll < 84) {
            trace << " paste";
            select(doc);
            ASSERT_EQ(kvPaste(doc, pick(0, 1)), 0);
        } else if (roll < 89) {
            int32_t n = kvGetClipCount() - pick(0, KV_KEPT_CLIPS + 4);
            trace << " load " << n;
            ASSERT_EQ(kvLoadClip(n), 0);
        } else if (roll < 91) {
            trace << " close";
            ASSERT_EQ(kvClose(doc), 0);
        } else if (roll < 92) {
            trace << " new";
            ASSERT_EQ(kvNew(doc, 2, 16, 1, 44100), 0);
        } else if (roll < 93) {
            trace << " empty clipboard";
            ASSERT_EQ(kvEmptyClipboard(), 0);
        } else {
            trace << " seal";
            kvSealLastDataFile();
        }
    }

    /* The data files the state files of the open documents, the current
     * clip and the kept records of the clipboard file refer to. */
    std::set<int32_t> referenced() const {
        std::set<int32_t> files;
        for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++) {
            if (!kvGetDocument(doc)) continue;
            for (int32_t level = 0; level < kvGetNumUndo(doc); level++) {
                std::string bytes = kvTestReadFile(stateFile(doc, level));
                size_t at = 72;
                for (int32_t c = 0; c < int32At(bytes, 40); c++) {
                    int32_t count = int32At(bytes, at);
                    addFiles(bytes, at + 4, count, &files);
                    at += 4 + 144 * static_cast<size_t>(count);
                }
            }
        }
        for (int32_t c = 0; c < kvClip.channels; c++)
            for (int32_t b = 0; b < kvClip.blockCount[c]; b++)
                if (kvClip.blocks[c][b].file >= 0) files.insert(kvClip.blocks[c][b].file);
        std::string clips = kvTestReadFile(workFolder + "/COPY.tmp");
        int32_t count = int32At(clips, 0);
        size_t at = 4;
        for (int32_t n = 0; n < count; n++) {
            size_t next = at + 4 + int32At(clips, at);
            size_t table = at + 12;
            for (int32_t c = 0; c < int32At(clips, at + 4) && n >= count - KV_KEPT_CLIPS; c++) {
                int32_t blocks = int32At(clips, table);
                addFiles(clips, table + 4, blocks, &files);
                table += 4 + 144 * static_cast<size_t>(blocks);
            }
            at = next;
        }
        return files;
    }

    /* The data files in the working folder, each checked for its length. */
    std::set<int32_t> onDisk() const {
        std::set<int32_t> files;
        for (const std::string &name : kvListFiles(workFolder)) {
            unsigned number = 0;
            if (std::sscanf(name.c_str(), "DATA%4X.tmp", &number) != 1) continue;
            files.insert(static_cast<int32_t>(number));
            EXPECT_EQ(kvFileSizeOf(workFolder + "/" + name), 4 * kvDataFileLength(number))
                << name << trace.str();
        }
        return files;
    }

    /* Every state file in the working folder belongs to a level of an open
     * document, and every such level has one. */
    void expectStateFilesMatchLevels() const {
        std::set<std::pair<int32_t, int32_t>> files, levels;
        for (const std::string &name : kvListFiles(workFolder)) {
            unsigned doc = 0, level = 0;
            if (name.size() == 12 && std::sscanf(name.c_str(), "%4X%4X.tmp", &doc, &level) == 2)
                files.insert({static_cast<int32_t>(doc), static_cast<int32_t>(level)});
        }
        for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
            for (int32_t level = 0; kvGetDocument(doc) && level < kvGetNumUndo(doc); level++)
                levels.insert({doc, level});
        EXPECT_EQ(files, levels) << trace.str();
    }

    std::mt19937 random{7};
    std::ostringstream trace;
    int64_t readFailures = 0;
};

TEST_F(ReferencesModel, DataFilesOnDiskAreExactlyThoseStillReferenced) {
    int32_t mostFiles = 0, mostOpen = 0;
    for (int32_t n = 0; n < 1500; n++) {
        trace.str("");
        int32_t doc = someDocument();
        step(doc, pick(0, 99));
        if (HasFatalFailure()) return;
        std::set<int32_t> disk = onDisk();
        ASSERT_EQ(disk, referenced()) << "step " << n << trace.str();
        mostFiles = std::max(mostFiles, static_cast<int32_t>(disk.size()));
        mostOpen = std::max(mostOpen, openDataFileHandles());
        ASSERT_LE(mostOpen, 48) << "step " << n;
    }
    EXPECT_EQ(kvDataReadFailures(), readFailures);
    EXPECT_GT(mostFiles, 48) << "the sessions should hold more files than the cache";
    for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
        if (kvGetDocument(doc)) kvClose(doc);
    ASSERT_EQ(kvEmptyClipboard(), 0);
    EXPECT_EQ(kvListFiles(workFolder), std::vector<std::string>{"COPY.tmp"});
}

TEST_F(ReferencesModel, UnderAnUndoLimitDroppedStatesTakeTheirFilesWithThem) {
    KV_Limits limits{};
    limits.maxUndoLevels = 3;
    ASSERT_EQ(kvSetLimits(&limits, sizeof limits), 0);
    for (int32_t n = 0; n < 600; n++) {
        trace.str("");
        int32_t doc = someDocument();
        step(doc, pick(0, 99));
        if (HasFatalFailure()) return;
        ASSERT_EQ(onDisk(), referenced()) << "step " << n << trace.str();
        ASSERT_LE(kvGetNumUndo(doc), limits.maxUndoLevels + 1) << "step " << n << trace.str();
        expectStateFilesMatchLevels();
        if (HasFailure()) return;
    }
    EXPECT_EQ(kvDataReadFailures(), readFailures);
}

} // namespace
