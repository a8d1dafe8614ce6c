/*
 * Random edit sequences on a stereo document, checked after every step
 * against a plain model: per state, two vectors of floats and the selection.
 * Inserts (of samples and of silence, in uneven pieces), deletes, cancelled
 * edits, seals, undos, redos and history jumps, with data files rolling over.
 */
#include "tests/document/storage_fixture.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace {

struct ModelState {
    std::vector<float> channels[2];
    int32_t anchor = 0, end = 0, editChannel = -1;

    int32_t length() const {
        return static_cast<int32_t>(std::max(channels[0].size(), channels[1].size()));
    }
};

class HistoryModel : public StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        kvTestSetDataFileLimit(100000);
        doc = kvCreate(nullptr);
        ASSERT_EQ(kvNew(doc, 2, 16, 1, 44100), 0);
        states.assign(1, ModelState{});
    }

    int32_t pick(int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    }

    /* New material for one channel: random samples with runs of silence. */
    std::vector<float> material(int32_t n) {
        std::vector<float> samples(n);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (float &sample : samples)
            sample = value(random);
        if (n > 0 && pick(0, 3) == 0) {
            int32_t from = pick(0, n - 1);
            std::fill(samples.begin() + from, samples.begin() + pick(from, n), 0.0f);
        }
        return samples;
    }

    /* Hands samples over in uneven pieces, through the stage or (to make many
     * short blocks) one block per piece; zero runs go in as silence now and then. */
    void queueUnevenly(int32_t c, const std::vector<float> &samples) {
        bool silenceAllowed = pick(0, 1) == 0;
        bool blockPerPiece = pick(0, 2) == 0;
        for (int32_t done = 0; done < static_cast<int32_t>(samples.size());) {
            int32_t piece = std::min(pick(1, blockPerPiece ? 300 : 4096),
                                     static_cast<int32_t>(samples.size()) - done);
            bool silent = std::all_of(samples.begin() + done, samples.begin() + done + piece,
                                      [](float x) { return x == 0.0f; });
            const float *data = silent && silenceAllowed ? nullptr : samples.data() + done;
            if (blockPerPiece)
                kvActualInsertData(doc, c, data, piece);
            else
                kvQueueInsert(doc, c, data, piece);
            done += piece;
        }
    }

    /* Chooses and sets a selection, as the caller of an edit does; the model's
     * current state takes it (kvBeginEdit stores it in the level's file). */
    void select(bool collapsed) {
        ModelState &current = states[level];
        int32_t length = current.length();
        int32_t a = pick(-10, length + 10), e = a;
        if (!collapsed) e = pick(0, 9) == 0 ? pick(-10, length + 10) : a + pick(-3000, 3000);
        int32_t c = pick(-1, 1);
        kvSetSelection(doc, a, e, c);
        current.anchor = std::clamp(a, 0, length);
        current.end = std::clamp(e, 0, length);
        current.editChannel = c;
        trace << " sel(" << a << "," << e << "," << c << ")";
    }

    /* Replaces the selection of the edited channels with new material. */
    void edit(bool withMaterial, bool cancel) {
        select(withMaterial && pick(0, 1) == 0);
        ModelState next = states[level];
        int32_t m = std::min(next.anchor, next.end), d = std::abs(next.anchor - next.end);
        kvBeginEdit(doc, withMaterial ? "Insert" : "Delete");
        int32_t inserted = -1;
        for (int32_t c = 0; c < 2; c++) {
            if (next.editChannel != -1 && next.editChannel != c) continue;
            std::vector<float> &samples = next.channels[c];
            int32_t size = static_cast<int32_t>(samples.size());
            int32_t from = std::min(m, size), to = std::min(m + d, size);
            samples.erase(samples.begin() + from, samples.begin() + to);
            if (!withMaterial) continue;
            int32_t kind = pick(0, 2);
            std::vector<float> added = material(kind == 0   ? pick(0, 40)
                                                : kind == 1 ? pick(1, 600)
                                                            : pick(1, 9000));
            queueUnevenly(c, added);
            samples.insert(samples.begin() + from, added.begin(), added.end());
            if (!added.empty()) inserted = std::max(inserted, static_cast<int32_t>(added.size()));
            trace << " +" << added.size() << "@" << c;
        }
        if (cancel) {
            trace << " cancel";
            kvCancelEdit(doc);
            return;
        }
        ASSERT_EQ(kvCompleteEdit(doc, pick(0, 9) == 0), 0);
        next.anchor = std::min(m, next.length());
        next.end = std::min(inserted >= 0 ? m + inserted : m, next.length());
        states.resize(level + 1);
        states.push_back(next);
        level++;
    }

    void check(int32_t step) {
        const ModelState &expected = states[level];
        ASSERT_EQ(kvGetUndoLevel(doc), level) << "step " << step << trace.str();
        ASSERT_EQ(kvGetNumUndo(doc), static_cast<int32_t>(states.size())) << "step " << step;
        ASSERT_EQ(kvGetLength(doc), expected.length()) << "step " << step << trace.str();
        int32_t anchor, end, editChannel;
        kvGetSelection(doc, &anchor, &end, &editChannel);
        ASSERT_EQ(anchor, expected.anchor) << "step " << step << trace.str();
        ASSERT_EQ(end, expected.end) << "step " << step << trace.str();
        ASSERT_EQ(editChannel, expected.editChannel) << "step " << step;
        for (int32_t c = 0; c < 2; c++) {
            std::vector<float> want = expected.channels[c];
            want.resize(expected.length(), 0.0f);
            ASSERT_EQ(channel(doc, c), want) << "step " << step << " channel " << c << trace.str();
        }
    }

    std::mt19937 random{20240611};
    std::vector<ModelState> states;
    int32_t level = 0;
    int32_t doc = -1;
    std::ostringstream trace;
};

TEST_F(HistoryModel, RandomEditsUndosRedosAndJumpsMatchThePlainModel) {
    int32_t maxBlocks = 0;
    for (int32_t step = 0; step < 3000; step++) {
        trace.str("");
        int32_t length = states[level].length();
        int32_t roll = pick(0, 99);
        /* Lean towards inserts while the sound is short and towards deletes
         * once it is long, so that its tables reach hundreds of blocks (and the
         * group index is used) while reads stay quick. */
        if (length < 30000 && roll >= 45 && roll < 57) roll = 0;
        if (length > 200000 && roll < 45) roll = 50;
        if (roll < 45) {
            trace << " insert";
            edit(true, false);
        } else if (roll < 57) {
            trace << " delete";
            edit(false, false);
        } else if (roll < 62) {
            edit(pick(0, 1) == 0, true);
        } else if (roll < 77) {
            trace << " undo";
            ASSERT_EQ(kvUndo(doc), 0);
            level = std::max(level - 1, 0);
        } else if (roll < 87) {
            trace << " redo";
            ASSERT_EQ(kvRedo(doc), 0);
            level = std::min(level + 1, static_cast<int32_t>(states.size()) - 1);
        } else if (roll < 95) {
            int32_t n = pick(-1, static_cast<int32_t>(states.size()));
            trace << " jump " << n;
            ASSERT_EQ(kvSetHistory(doc, n), 0);
            if (n >= 0 && n < static_cast<int32_t>(states.size())) level = n;
        } else {
            trace << " seal";
            kvSealLastDataFile();
        }
        if (HasFatalFailure()) return;
        check(step);
        maxBlocks = std::max({maxBlocks, state(doc)->blockCount[0], state(doc)->blockCount[1]});
        if (HasFatalFailure()) return;
    }
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_GT(kvCurrentDataFile(), 3) << "the run should have rolled over to new data files";
    EXPECT_GT(maxBlocks, 128) << "the tables should have grown past two index groups";
}

} // namespace
