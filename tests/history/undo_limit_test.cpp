/*
 * The undo limit: past maxUndoLevels a document drops its oldest states, with
 * their state files and the data files only they held; the kept levels keep
 * their labels and samples under files renamed to their new levels, the saved
 * level moves with them or is gone, and a limit of 0 keeps every state.
 */
#include "tests/document/storage_fixture.h"

#include <cstdio>
#include <set>

namespace {

struct LimitCase {
    int32_t limit;
    int32_t edits;
    int32_t savedAfter; /* the edit after which the document is saved; -1 never */
};

const LimitCase kLimitCases[] = {
    {3, 8, -1}, {3, 8, 6}, {3, 8, 2}, {3, 8, 5}, {3, 3, 0},
    {1, 5, 5},  {1, 5, 4}, {0, 9, 0}, {7, 2, 1},
};

class UndoLimitTest : public StorageTest {
  protected:
    static void setLimit(int32_t most) {
        KV_Limits limits{};
        ASSERT_EQ(kvGetLimits(&limits, sizeof limits), 0);
        limits.maxUndoLevels = most;
        ASSERT_EQ(kvSetLimits(&limits, sizeof limits), 0);
    }

    /* What edit k leaves: samples of its own, a length of its own (0: the
     * empty new sound). */
    static std::vector<float> contents(int32_t k) {
        return k == 0 ? std::vector<float>{} : ramp(1000 + k, -0.5f + k / 256.0f);
    }

    static std::string label(int32_t k) { return "Edit " + std::to_string(k); }

    /* Edit k replaces the whole sound, its samples in a data file of their own. */
    static void edit(int32_t doc, int32_t k) {
        kvSetSelection(doc, 0, kvGetLength(doc), -1);
        kvBeginEdit(doc, label(k).c_str());
        queue(doc, 0, contents(k));
        ASSERT_EQ(kvCompleteEdit(doc, true), 0);
    }

    static int32_t newSound() {
        int32_t doc = kvCreate(nullptr);
        EXPECT_EQ(kvNew(doc, 1, 16, 1, 44100), 0);
        return doc;
    }

    /* The levels of the state files of `doc` in the working folder. */
    std::set<int32_t> stateFileLevels(int32_t doc) const {
        std::set<int32_t> levels;
        for (const std::string &name : kvListFiles(workFolder)) {
            unsigned owner = 0, level = 0;
            if (name.size() == 12 && std::sscanf(name.c_str(), "%4X%4X.tmp", &owner, &level) == 2 &&
                static_cast<int32_t>(owner) == doc)
                levels.insert(static_cast<int32_t>(level));
        }
        return levels;
    }

    static std::set<int32_t> levelsUpTo(int32_t last) {
        std::set<int32_t> levels;
        for (int32_t level = 0; level <= last; level++)
            levels.insert(level);
        return levels;
    }
};

TEST_F(UndoLimitTest, KeepsTheNewestLevelsWithTheirSamplesLabelsFilesAndSavedLevel) {
    for (const LimitCase &c : kLimitCases) {
        SCOPED_TRACE(testing::Message() << "limit " << c.limit << ", " << c.edits
                                        << " edits, saved after " << c.savedAfter);
        setLimit(c.limit);
        int32_t doc = newSound();
        std::string original = undoText(doc);
        for (int32_t k = 0; k <= c.edits; k++) {
            if (k > 0) edit(doc, k);
            if (k == c.savedAfter) {
                ASSERT_EQ(kvSave(doc, path("saved.wav").c_str()), 0);
            }
        }
        int32_t kept = c.limit == 0 ? c.edits : std::min(c.limit, c.edits);
        int32_t first = c.edits - kept; /* the edit whose state is now level 0 */
        ASSERT_EQ(kvGetNumUndo(doc), kept + 1);
        ASSERT_EQ(kvGetUndoLevel(doc), kept);
        EXPECT_EQ(stateFileLevels(doc), levelsUpTo(kept));
        int64_t heldBytes = 0;
        for (int32_t k = first; k <= c.edits; k++)
            heldBytes += static_cast<int64_t>(sizeof(float) * contents(k).size());
        EXPECT_EQ(dataBytes(), heldBytes) << "only the kept states' samples stay on disk";

        for (int32_t level = kept; level >= 0; level--) {
            SCOPED_TRACE(testing::Message() << "level " << level);
            int32_t k = first + level;
            EXPECT_EQ(channel(doc, 0), contents(k));
            EXPECT_EQ(undoText(doc), k == 0 ? original : label(k));
            EXPECT_EQ(kvIsSaved(doc), k == c.savedAfter ? 1 : 0);
            ASSERT_EQ(kvUndo(doc), 0);
        }
        EXPECT_EQ(kvGetUndoLevel(doc), 0);
        ASSERT_EQ(kvSetHistory(doc, kept), 0);
        EXPECT_EQ(channel(doc, 0), contents(c.edits));
        ASSERT_EQ(kvClose(doc), 0);
        EXPECT_TRUE(stateFileLevels(doc).empty());
    }
}

TEST_F(UndoLimitTest, ALowerLimitDropsEveryStateBeyondItAtTheNextEdit) {
    int32_t doc = newSound();
    for (int32_t k = 1; k <= 6; k++)
        edit(doc, k);
    ASSERT_EQ(kvUndo(doc), 0);
    ASSERT_EQ(kvUndo(doc), 0);
    setLimit(2);
    EXPECT_EQ(kvGetNumUndo(doc), 7) << "the limit waits for an edit";
    edit(doc, 7);
    ASSERT_EQ(kvGetNumUndo(doc), 3);
    EXPECT_EQ(stateFileLevels(doc), levelsUpTo(2));
    for (int32_t k : {7, 4, 3}) {
        EXPECT_EQ(channel(doc, 0), contents(k)) << k;
        kvUndo(doc);
    }
    EXPECT_EQ(dataBytes(), static_cast<int64_t>(sizeof(float)) *
                               (contents(3).size() + contents(4).size() + contents(7).size()));
}

TEST_F(UndoLimitTest, AWithdrawnEditDropsNothing) {
    setLimit(2);
    int32_t doc = newSound();
    for (int32_t k = 1; k <= 2; k++)
        edit(doc, k);
    kvSetSelection(doc, 0, kvGetLength(doc), -1);
    kvBeginEdit(doc, "Withdrawn");
    queue(doc, 0, contents(9));
    kvCancelEdit(doc);
    ASSERT_EQ(kvGetNumUndo(doc), 3);
    EXPECT_EQ(stateFileLevels(doc), levelsUpTo(2));
    kvSetHistory(doc, 0);
    EXPECT_EQ(channel(doc, 0), contents(0));
}

} // namespace
