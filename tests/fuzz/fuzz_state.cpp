/*
 * fuzz_state.cpp - restoring a state file.
 *
 * A stereo document gets one edit, so its history has two states on top of
 * samples in a real data file; the input then replaces the state file of
 * level 0 and undo restores it. Whatever the restore accepted is then used
 * the way the editor uses a state: read, scanned, described, copied, pasted,
 * edited, redone and saved.
 */
#include "engine/document/document.h"
#include "engine/history/history.h"
#include "tests/fuzz/fuzz_support.h"

#include <cmath>
#include <vector>

/* A document whose level 1 holds two blocks of a sine on both channels. */
static int32_t kvFuzzMakeDocument() {
    static std::vector<float> wave;
    if (wave.empty())
        for (int32_t i = 0; i < 6000; i++)
            wave.push_back(static_cast<float>(0.5 * std::sin(i * 0.01)));
    int32_t doc = kvCreate(nullptr);
    kvNew(doc, 2, 16, 1, 44100);
    kvBeginEdit(doc, "Fill");
    for (int32_t c = 0; c < 2; c++) {
        kvQueueInsert(doc, c, wave.data(), 4096);
        kvQueueInsert(doc, c, wave.data() + 4096, static_cast<int32_t>(wave.size()) - 4096);
    }
    kvCompleteEdit(doc, true);
    return doc;
}

/* Uses the restored state without letting a long claimed length set the
 * cost: reads and edits stay within the first blocks. */
static void kvFuzzUseState(int32_t doc) {
    static float samples[8192];
    for (int32_t c = 0; c < 2; c++)
        kvReadFrames(doc, c, 0, 8192, samples);
    kvGetLength(doc);
    kvScanMax(doc);
    kvDoStatus(doc, 1);
    kvFixSelection(doc);
    kvCopy(doc);
    kvPaste(doc, 1);
    kvSetSelection(doc, 100, 300, -1);
    kvCut(doc);
    kvPaste(doc, 0);
    kvSetSelection(doc, 0, 2000, -1);
    kvDoEdit(doc, KV_EDIT_VOLUME);
    kvDelete(doc);
    kvUndo(doc);
    kvUndo(doc);
    kvRedo(doc);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    kvFuzzSetUp(true);
    static const std::string output = kvFuzzPath("state.wav");
    int32_t doc = kvFuzzMakeDocument();
    char path[1024];
    kvStateFilePath(doc, 0, path, sizeof path);
    kvFuzzWriteFile(path, data, size);
    if (kvUndo(doc) == 0 && kvGetUndoLevel(doc) == 0) {
        kvFuzzUseState(doc);
        kvSetHistory(doc, 0);
        kvSave(doc, output.c_str());
    }
    kvFuzzReset();
    return 0;
}
