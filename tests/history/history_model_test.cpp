/*
 * Random edit sequences on a stereo document, checked after every step
 * against a plain model: per state, two vectors of floats, the selection and
 * the label; and the clipboard as the list of every clip made. Inserts (of
 * samples and of silence, in uneven pieces), deletes, cancelled edits, seals,
 * undos, redos, history jumps, copies, cuts, clip loads and pastes: spliced,
 * mixed down into one channel, and resampled from a 22050 Hz document, with
 * data files rolling over under the clips; clips older than the kept ones
 * cannot be loaded.
 */
#include "engine/dsp/resample.h"
#include "engine/history/clipboard.h"
#include "tests/document/storage_fixture.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace {

struct Selection {
    int32_t anchor = 0, end = 0, editChannel = -1;
};

struct ModelState {
    std::vector<float> channels[2];
    Selection sel;
    std::string label = "Original Sound";

    int32_t length() const {
        return static_cast<int32_t>(std::max(channels[0].size(), channels[1].size()));
    }
    bool edits(int32_t c) const { return sel.editChannel == -1 || sel.editChannel == c; }
};

struct ModelClip {
    std::vector<float> channels[2];
    int32_t count = 0;
    int32_t rate = 0;

    int32_t length() const {
        return static_cast<int32_t>(std::max(channels[0].size(), channels[1].size()));
    }
};

std::vector<float> padded(std::vector<float> samples, int32_t length) {
    samples.resize(length, 0.0f);
    return samples;
}

class HistoryModel : public StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        kvTestSetDataFileLimit(100000);
        doc = kvCreate(nullptr);
        ASSERT_EQ(kvNew(doc, 2, 16, 1, 44100), 0);
        states.assign(1, ModelState{});
        /* Clips of another rate come from here; its right channel is the
         * shorter, so some of them are stereo clips of uneven channels. */
        source.channels[0] = material(30000);
        source.channels[1] = material(25000);
        sourceDoc = makeDocument(22050, source.channels[0], source.channels[1]);
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

    /* Chooses and sets a selection, as the caller of an edit does. It lives
     * in the current state in memory; only the next edit stores it in the
     * level's file, so a switch away and back brings the stored one back. */
    void select(bool collapsed) {
        ModelState &current = states[level];
        int32_t length = current.length();
        int32_t a = pick(-10, length + 10), e = a;
        if (!collapsed) e = pick(0, 9) == 0 ? pick(-10, length + 10) : a + pick(-3000, 3000);
        int32_t c = pick(-1, 1);
        kvSetSelection(doc, a, e, c);
        current.sel = Selection{std::clamp(a, 0, length), std::clamp(e, 0, length), c};
        trace << " sel(" << a << "," << e << "," << c << ")";
    }

    /* The state kvBeginEdit opens from the current one: the selection, clamped
     * to the length, cut out of the edited channels and collapsed at its
     * start m. */
    ModelState opened(const char *label, int32_t *m) {
        ModelState next = states[level];
        int32_t length = next.length();
        int32_t anchor = std::clamp(next.sel.anchor, 0, length);
        int32_t end = std::clamp(next.sel.end, 0, length);
        *m = std::min(anchor, end);
        int32_t d = std::abs(anchor - end);
        for (int32_t c = 0; c < 2; c++) {
            if (!next.edits(c)) continue;
            std::vector<float> &samples = next.channels[c];
            int32_t size = static_cast<int32_t>(samples.size());
            samples.erase(samples.begin() + std::min(*m, size),
                          samples.begin() + std::min(*m + d, size));
        }
        next.label = label;
        return next;
    }

    static void insertAt(std::vector<float> &samples, int32_t m, const std::vector<float> &added) {
        int32_t at = std::min(m, static_cast<int32_t>(samples.size()));
        samples.insert(samples.begin() + at, added.begin(), added.end());
    }

    /* The edited state becomes the last one; the file of the level is written
     * with its selection, which kvRebuildIndex keeps within the length. */
    void commit(ModelState next, int32_t anchor, int64_t end) {
        next.sel.anchor = std::min(anchor, next.length());
        next.sel.end = static_cast<int32_t>(std::min<int64_t>(end, next.length()));
        states.resize(level + 1);
        states.push_back(next);
        level++;
        stored = next.sel;
    }

    /* Replaces the selection of the edited channels with new material. */
    void edit(bool withMaterial, bool cancel) {
        select(withMaterial && pick(0, 1) == 0);
        int32_t m = 0;
        ModelState next = opened(withMaterial ? "Insert" : "Delete", &m);
        kvBeginEdit(doc, withMaterial ? "Insert" : "Delete");
        int32_t inserted = -1;
        for (int32_t c = 0; c < 2 && withMaterial; c++) {
            if (!next.edits(c)) continue;
            int32_t kind = pick(0, 2);
            std::vector<float> added = material(kind == 0   ? pick(0, 40)
                                                : kind == 1 ? pick(1, 600)
                                                            : pick(1, 9000));
            queueUnevenly(c, added);
            insertAt(next.channels[c], m, added);
            if (!added.empty()) inserted = std::max(inserted, static_cast<int32_t>(added.size()));
            trace << " +" << added.size() << "@" << c;
        }
        if (cancel) {
            trace << " cancel";
            kvCancelEdit(doc);
            stored = states[level].sel;
            return;
        }
        ASSERT_EQ(kvCompleteEdit(doc, pick(0, 9) == 0), 0);
        commit(next, m, inserted >= 0 ? m + inserted : m);
    }

    /* Undo, redo and jumps reload the target level from its file; the level
     * left keeps in its file the selection of its last edit. */
    void switchTo(int32_t n) {
        if (n < 0 || n >= static_cast<int32_t>(states.size()) || n == level) return;
        states[level].sel = stored;
        level = n;
        stored = states[level].sel;
    }

    /* kvCopy's clip of a state: per edited channel the part of [m, m + d)
     * that channel holds; none when nothing is selected. */
    bool copyOf(const ModelState &state, int32_t rate) {
        int32_t m = std::min(state.sel.anchor, state.sel.end);
        int32_t d = std::abs(state.sel.anchor - state.sel.end);
        if (d == 0) return false;
        ModelClip clip;
        clip.rate = rate;
        for (int32_t c = 0; c < 2; c++) {
            if (!state.edits(c)) continue;
            const std::vector<float> &samples = state.channels[c];
            int32_t size = static_cast<int32_t>(samples.size());
            clip.channels[clip.count++].assign(samples.begin() + std::min(m, size),
                                               samples.begin() + std::min(m + d, size));
        }
        clips.push_back(clip);
        current = static_cast<int32_t>(clips.size()) - 1;
        return true;
    }

    /* What a converting paste of the current clip queues for document
     * channel c, fed from clip channel k: the clip read to its full length,
     * mixed down when asked, and (at another rate) resampled in pieces of b
     * clip frames into 4096 frames, from rest. The resampler's arithmetic is
     * checked against hand-computed values in the clipboard tests; here it
     * only stands for itself. Afterwards it is left mid-signal on both
     * channels, as its other users (paste mix, rate conversion) may leave it,
     * so a paste that does not start from rest shows. */
    std::vector<float> converted(int32_t c, int32_t k, bool mixDown) {
        const ModelClip &clip = clips[current];
        int32_t length = clip.length();
        std::vector<float> input =
            padded(clip.channels[mixDown || k >= clip.count ? 0 : k], length);
        if (mixDown) {
            std::vector<float> right = padded(clip.channels[1], length);
            for (int32_t i = 0; i < length; i++)
                input[i] = (input[i] + right[i]) * 0.5f;
        }
        if (clip.rate == 44100) return input;
        int32_t b = clip.rate * KV_BLOCK_FRAMES / 44100;
        std::vector<float> output, piece(b), block(KV_BLOCK_FRAMES);
        kvResampleBlock(0, nullptr, nullptr, 0, 0);
        for (int32_t done = 0; done < length; done += b) {
            int32_t count = std::min(b, length - done);
            std::fill(piece.begin(), piece.end(), 0.0f);
            std::copy(input.begin() + done, input.begin() + done + count, piece.begin());
            kvResampleBlock(c, piece.data(), block.data(), b, KV_BLOCK_FRAMES);
            output.insert(output.end(), block.begin(), block.begin() + count * KV_BLOCK_FRAMES / b);
        }
        std::fill(piece.begin(), piece.end(), 0.75f);
        kvResampleBlock(0, piece.data(), block.data(), b, KV_BLOCK_FRAMES);
        kvResampleBlock(1, piece.data(), block.data(), b, KV_BLOCK_FRAMES);
        return output;
    }

    /* Inserts or replaces with the current clip at the selection start. */
    void paste(bool replace) {
        if (pick(0, 1) == 0) select(pick(0, 1) == 0);
        trace << (replace ? " paste-replace" : " paste-insert");
        ASSERT_EQ(kvPaste(doc, replace ? 1 : 0), 0);
        if (current < 0) return;
        const ModelClip &clip = clips[current];
        ModelState &from = states[level];
        bool splice = clip.rate == 44100 && (clip.count == 1 || from.sel.editChannel == -1);
        bool mixDown = clip.count == 2 && from.sel.editChannel != -1;
        int64_t length = splice ? clip.length() : int64_t{clip.length()} * 44100 / clip.rate;
        int32_t start = std::min(from.sel.anchor, from.sel.end);
        from.sel = Selection{start, replace ? static_cast<int32_t>(start + length) : start,
                             from.sel.editChannel};
        std::string label = replace ? "Paste Replace" : "Paste Insert";
        int32_t m = 0;
        ModelState next = opened((splice ? label : label + " [2]").c_str(), &m);
        for (int32_t c = 0, k = 0; c < 2; c++) {
            if (!next.edits(c)) continue;
            insertAt(next.channels[c], m,
                     splice ? clip.channels[std::min(k, clip.count - 1)]
                            : converted(c, k, mixDown));
            k++;
        }
        pastes[splice ? 0 : clip.rate == 44100 ? 1 : 2]++;
        commit(next, m, m + length);
    }

    void cut() {
        if (pick(0, 1) == 0) select(false);
        trace << " cut";
        ASSERT_EQ(kvCut(doc), 0);
        if (states[level].sel.anchor == states[level].sel.end) return;
        copyOf(states[level], 44100);
        int32_t m = 0;
        ModelState next = opened("Cut", &m);
        commit(next, m, m);
    }

    /* A copy from the 22050 Hz document, whose selection changes only here. */
    void copyFromSource() {
        int32_t a = pick(0, 30010), e = a + pick(-8000, 8000), c = pick(-1, 1);
        trace << " copy-source(" << a << "," << e << "," << c << ")";
        kvSetSelection(sourceDoc, a, e, c);
        source.sel = Selection{std::clamp(a, 0, 30000), std::clamp(e, 0, 30000), c};
        ASSERT_EQ(kvCopy(sourceDoc), 0);
        copyOf(source, 22050);
    }

    void checkClip(int32_t step) {
        ASSERT_EQ(kvGetClipCount(), static_cast<int32_t>(clips.size())) << "step " << step;
        if (current < 0) return;
        const ModelClip &expected = clips[current];
        int32_t channels = 0, rate = 0;
        kvGetClipProp(0, &channels, &rate);
        ASSERT_EQ(kvClip.number, current) << "step " << step;
        ASSERT_EQ(channels, expected.count) << "step " << step;
        ASSERT_EQ(rate, expected.rate) << "step " << step;
        ASSERT_EQ(kvClip.length, expected.length()) << "step " << step;
        for (int32_t c = 0; c < expected.count; c++) {
            std::vector<float> samples(expected.length());
            kvReadClip(c, 0, expected.length(), samples.data());
            ASSERT_EQ(samples, padded(expected.channels[c], expected.length()))
                << "step " << step << " clip channel " << c << trace.str();
        }
    }

    void check(int32_t step) {
        const ModelState &expected = states[level];
        ASSERT_EQ(kvGetUndoLevel(doc), level) << "step " << step << trace.str();
        ASSERT_EQ(kvGetNumUndo(doc), static_cast<int32_t>(states.size())) << "step " << step;
        for (int32_t n = 0; n < static_cast<int32_t>(states.size()); n++) {
            char label[40] = "";
            kvGetUndoText(doc, n, label);
            ASSERT_EQ(label, states[n].label) << "step " << step << " level " << n;
        }
        ASSERT_EQ(kvGetLength(doc), expected.length()) << "step " << step << trace.str();
        int32_t anchor, end, editChannel;
        kvGetSelection(doc, &anchor, &end, &editChannel);
        ASSERT_EQ(anchor, expected.sel.anchor) << "step " << step << trace.str();
        ASSERT_EQ(end, expected.sel.end) << "step " << step << trace.str();
        ASSERT_EQ(editChannel, expected.sel.editChannel) << "step " << step;
        for (int32_t c = 0; c < 2; c++)
            ASSERT_EQ(channel(doc, c), padded(expected.channels[c], expected.length()))
                << "step " << step << " channel " << c << trace.str();
    }

    std::mt19937 random{20240611};
    std::vector<ModelState> states;
    int32_t level = 0;
    Selection stored; /* the selection in the current level's file */
    int32_t doc = -1;
    ModelState source;
    int32_t sourceDoc = -1;
    std::vector<ModelClip> clips;
    int32_t current = -1;   /* the current clip */
    int32_t pastes[3] = {}; /* spliced, mixed down, resampled */
    std::ostringstream trace;
};

TEST_F(HistoryModel, RandomEditsClipboardUndosRedosAndJumpsMatchThePlainModel) {
    int32_t maxBlocks = 0, loads = 0;
    for (int32_t step = 0; step < 3000; step++) {
        trace.str("");
        int32_t length = states[level].length();
        int32_t roll = pick(0, 99);
        /* Lean towards inserts while the sound is short and towards deletes
         * and cuts once it is long, so that its tables reach hundreds of
         * blocks (and the group index is used) while reads stay quick. */
        if (length < 30000 && roll >= 36 && roll < 44) roll = 0;
        if (length > 200000 && (roll < 36 || (roll >= 84 && roll < 94))) roll = 40;
        if (roll < 36) {
            trace << " insert";
            edit(true, false);
        } else if (roll < 44) {
            trace << " delete";
            edit(false, false);
        } else if (roll < 48) {
            edit(pick(0, 1) == 0, true);
        } else if (roll < 60) {
            trace << " undo";
            ASSERT_EQ(kvUndo(doc), 0);
            switchTo(level - 1);
        } else if (roll < 68) {
            trace << " redo";
            ASSERT_EQ(kvRedo(doc), 0);
            switchTo(level + 1);
        } else if (roll < 74) {
            int32_t n = pick(-1, static_cast<int32_t>(states.size()));
            trace << " jump " << n;
            ASSERT_EQ(kvSetHistory(doc, n), 0);
            switchTo(n);
        } else if (roll < 76) {
            trace << " seal";
            kvSealLastDataFile();
        } else if (roll < 80) {
            if (pick(0, 1) == 0) select(false);
            trace << " copy";
            ASSERT_EQ(kvCopy(doc), 0);
            copyOf(states[level], 44100);
        } else if (roll < 84) {
            cut();
        } else if (roll < 94) {
            paste(pick(0, 1) == 0);
        } else if (roll < 97) {
            /* Mostly among the clips that keep their samples; an older one
             * can no longer be loaded and leaves the current clip as it is. */
            int32_t count = static_cast<int32_t>(clips.size());
            int32_t n = pick(0, 3) == 0 ? pick(-1, count) : count - pick(0, KV_KEPT_CLIPS + 2);
            trace << " load " << n;
            ASSERT_EQ(kvLoadClip(n), 0);
            if (n >= 0 && n < count && n >= count - KV_KEPT_CLIPS) current = n, loads++;
        } else {
            copyFromSource();
        }
        if (HasFatalFailure()) return;
        check(step);
        if (HasFatalFailure()) return;
        if (roll >= 76) checkClip(step);
        maxBlocks = std::max({maxBlocks, state(doc)->tables[0].count, state(doc)->tables[1].count});
        if (HasFatalFailure()) return;
    }
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_GT(kvCurrentDataFile(), 3) << "the run should have rolled over to new data files";
    EXPECT_GT(maxBlocks, 128) << "the tables should have grown past two index groups";
    EXPECT_GT(pastes[0], 50) << "spliced pastes";
    EXPECT_GT(pastes[1], 10) << "stereo clips mixed down into one channel";
    EXPECT_GT(pastes[2], 10) << "clips resampled from 22050 Hz";
    EXPECT_GT(loads, 20) << "earlier clips loaded again";
}

} // namespace
