/*
 * document_fixture.h - a headless engine per test and the moves the engine
 * tests make again and again: filling a document through the edit protocol,
 * replacing a range, reading a channel back whole, the shown messages, the
 * data files' size and the current undo label; and, for tests about one
 * document, that document made before each test. Header-only and for engine
 * tests only: it reaches into internal headers, which the GUI tests (linking
 * the shared engine through test_support) must not.
 */
#ifndef KV_TEST_DOCUMENT_FIXTURE_H
#define KV_TEST_DOCUMENT_FIXTURE_H

#include "engine/document/document.h"
#include "engine/history/history.h"
#include "engine/platform/fileio.h"
#include "engine/platform/messages.h"
#include "engine/platform/paths.h"
#include "tests/support/test_support.h"

#include <algorithm>
#include <string>
#include <vector>

class DocumentTest : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        ASSERT_EQ(startEngine(), 0);
        kvTestTakeShownBoxes();
    }
    /* Closes what the test left open, as the program does before clean-up,
     * and lifts any fault a test injected. */
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
                           const std::vector<float> &left, const std::vector<float> &right = {},
                           const char *label = "Replace") {
        kvSetSelection(doc, from, to, channel);
        kvBeginEdit(doc, label);
        if (channel != 1) queue(doc, 0, left);
        if (channel != 0) queue(doc, 1, right);
        return kvCompleteEdit(doc, false);
    }

    /* A new 16-bit document (stereo when right is given) holding the samples
     * as its one edit, labelled "Fill", with the samples selected. */
    static int32_t makeDocument(int32_t rate, const std::vector<float> &left,
                                const std::vector<float> &right = {}) {
        int32_t doc = kvCreate(nullptr);
        EXPECT_GE(doc, 0);
        EXPECT_EQ(kvNew(doc, right.empty() ? 1 : 2, 16, 1, rate), 0);
        EXPECT_EQ(replace(doc, 0, 0, -1, left, right, "Fill"), 0);
        return doc;
    }

    /* Channel c over the document's whole length (a shorter channel reads
     * zeros at its end). */
    static std::vector<float> channel(int32_t doc, int32_t c) {
        std::vector<float> samples(kvGetLength(doc));
        kvReadFrames(doc, c, 0, static_cast<int32_t>(samples.size()), samples.data());
        return samples;
    }

    /* The texts of the boxes shown since the last call. */
    static std::vector<std::string> shownTexts() {
        std::vector<std::string> texts;
        for (const KvShownBox &box : kvTestTakeShownBoxes())
            texts.push_back(box.text);
        return texts;
    }

    /* The label of the document's current state. */
    static std::string undoText(int32_t doc) {
        char label[40] = "";
        kvGetUndoText(doc, kvGetUndoLevel(doc), label);
        return label;
    }

    /* Bytes in all data files together. */
    int64_t dataBytes() const {
        int64_t total = 0;
        for (const std::string &name : kvListFiles(workFolder))
            if (name.rfind("DATA", 0) == 0) total += kvFileSizeOf(workFolder + "/" + name);
        return total;
    }
};

class OneDocumentTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        doc = kvCreate(nullptr);
        ASSERT_GE(doc, 0);
    }
    /* Writes the bytes to a file of this test and opens it as the document:
     * kvOpen's result. */
    int32_t openBytes(const std::string &bytes, const std::string &name = "in.wav") {
        kvTestWriteFile(path(name), bytes);
        return kvOpen(doc, path(name).c_str());
    }
    int32_t doc = -1;
};

#endif
