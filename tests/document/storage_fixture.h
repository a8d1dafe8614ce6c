/*
 * storage_fixture.h - a headless engine per test and the few moves the storage
 * and history tests make again and again: filling a document through the edit
 * protocol, reading a channel back whole, and looking at a state's tables.
 */
#ifndef KV_TESTS_STORAGE_FIXTURE_H
#define KV_TESTS_STORAGE_FIXTURE_H

#include "engine/document/document.h"
#include "engine/history/history.h"
#include "engine/platform/fileio.h"
#include "engine/platform/messages.h"
#include "tests/support/test_support.h"

#include <cstring>
#include <string>
#include <vector>

class StorageTest : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        ASSERT_EQ(startEngine(), 0);
        kvTestTakeShownBoxes();
    }
    /* Closes what the test left open, as the program does before clean-up. */
    void TearDown() override {
        for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
            if (kvGetDocument(doc)) kvClose(doc);
        kvTestFileFault(KV_FAULT_WRITE, 0, 0);
        kvTestFileFault(KV_FAULT_READ, 0, 0);
        kvTestSetDataFileLimit(0);
        KvSandbox::TearDown();
    }

    /* Queues samples in pieces of at most 4096, as edits do. */
    static void queue(int32_t doc, int32_t channel, const std::vector<float> &samples) {
        for (size_t done = 0; done < samples.size(); done += 4096) {
            int32_t piece = static_cast<int32_t>(std::min<size_t>(4096, samples.size() - done));
            kvQueueInsert(doc, channel, samples.data() + done, piece);
        }
    }

    /* Replaces [from, to) of the edited channels (channel -1 both) with the
     * given samples, as one undo step: kvCompleteEdit's result. */
    static int32_t replace(int32_t doc, int32_t from, int32_t to, int32_t channel,
                           const std::vector<float> &left, const std::vector<float> &right = {}) {
        kvSetSelection(doc, from, to, channel);
        kvBeginEdit(doc, "Replace");
        if (channel != 1) queue(doc, 0, left);
        if (channel != 0) queue(doc, 1, right);
        return kvCompleteEdit(doc, false);
    }

    /* A new document (stereo when right is given) filled with the samples. */
    int32_t makeDocument(const std::vector<float> &left, const std::vector<float> &right = {}) {
        int32_t doc = kvCreate(nullptr);
        EXPECT_GE(doc, 0);
        EXPECT_EQ(kvNew(doc, right.empty() ? 1 : 2, 16, 1, 44100), 0);
        EXPECT_EQ(replace(doc, 0, 0, -1, left, right), 0);
        return doc;
    }

    static std::vector<float> channel(int32_t doc, int32_t c) {
        std::vector<float> samples(kvGetLength(doc));
        kvReadFrames(doc, c, 0, static_cast<int32_t>(samples.size()), samples.data());
        return samples;
    }

    static KV_State *state(int32_t doc) { return kvGetDocument(doc)->current; }

    static std::vector<KV_Block> blocks(int32_t doc, int32_t c) {
        const KV_State *s = state(doc);
        return std::vector<KV_Block>(s->blocks[c], s->blocks[c] + s->blockCount[c]);
    }

    static std::vector<int32_t> lengths(int32_t doc, int32_t c) {
        std::vector<int32_t> result;
        for (const KV_Block &block : blocks(doc, c))
            result.push_back(block.length);
        return result;
    }

    /* A ramp of n distinct samples starting at `first`, step 1/65536. */
    static std::vector<float> ramp(int32_t n, float first = 0.0f) {
        std::vector<float> samples(n);
        for (int32_t i = 0; i < n; i++)
            samples[i] = first + static_cast<float>(i) / 65536.0f;
        return samples;
    }

    /* The texts of the boxes shown since the last call. */
    static std::vector<std::string> shownTexts() {
        std::vector<std::string> texts;
        for (const KvShownBox &box : kvTestTakeShownBoxes())
            texts.push_back(box.text);
        return texts;
    }

    std::string dataFile(int32_t n) const {
        char name[32];
        std::snprintf(name, sizeof name, "/DATA%04X.tmp", n);
        return workFolder + name;
    }
    std::string stateFile(int32_t doc, int32_t level) const {
        char name[32];
        std::snprintf(name, sizeof name, "/%04X%04X.tmp", doc, level);
        return workFolder + name;
    }
};

inline bool operator==(const KV_Block &a, const KV_Block &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

#endif
