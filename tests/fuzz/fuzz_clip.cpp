/*
 * fuzz_clip.cpp - loading a clip from the clipboard file.
 *
 * A copy from a real document makes the data files a clip can point into;
 * the input then replaces the clipboard file, and every clip it may hold is
 * loaded and used as the editor uses it: read, pasted by splicing and by
 * converting, mixed in, and made into a new document.
 */
#include "engine/core/engine.h"
#include "engine/history/clipboard.h"
#include "engine/history/history.h"
#include "tests/fuzz/fuzz_support.h"

#include <cmath>
#include <vector>

static int32_t kvFuzzMakeDocument(int32_t channels, int32_t rate) {
    static std::vector<float> wave;
    if (wave.empty())
        for (int32_t i = 0; i < 5000; i++)
            wave.push_back(static_cast<float>(0.5 * std::sin(i * 0.02)));
    int32_t doc = kvCreate(nullptr);
    kvNew(doc, channels, 16, 1, rate);
    kvBeginEdit(doc, "Fill");
    for (int32_t c = 0; c < channels; c++) {
        kvQueueInsert(doc, c, wave.data(), 4096);
        kvQueueInsert(doc, c, wave.data() + 4096, static_cast<int32_t>(wave.size()) - 4096);
    }
    kvCompleteEdit(doc, true);
    return doc;
}

/* Uses the current clip in bounded pieces. */
static void kvFuzzUseClip(int32_t stereo, int32_t mono) {
    static float samples[8192];
    for (int32_t c = 0; c < 2; c++)
        kvReadClip(c, 0, 8192, samples);
    int32_t channels = 0, rate = 0;
    kvGetClipProp(0, &channels, &rate);
    kvSetSelection(stereo, 10, 20, -1);
    kvPaste(stereo, 0);
    kvPaste(stereo, 1);
    kvSetSelection(mono, 0, 0, -1);
    kvPaste(mono, 0);
    kvSetSelection(stereo, 0, 3000, 1);
    kvPaste(stereo, 1);
    kvUpdatePasteMixSel(stereo);
    kvNudgeSelection(stereo, 1);
    kvDoEdit(stereo, KV_EDIT_PASTE_MIX);
    int32_t fresh = kvCreate(nullptr);
    if (kvNew(fresh, channels, 16, 1, rate) == 0) kvPaste(fresh, 0);
    kvClose(fresh);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    kvFuzzSetUp(true);
    int32_t stereo = kvFuzzMakeDocument(2, 44100);
    int32_t mono = kvFuzzMakeDocument(1, 22050);
    kvSelectAll(stereo);
    kvCopy(stereo);
    kvFuzzWriteFile(kvEngine.clipboardPath, data, size);
    kvGetClipCount();
    for (int32_t n = 0; n < 3; n++) {
        kvResetClipboard();
        kvLoadClip(n);
        if (kvClip.sampleRate != 0) kvFuzzUseClip(stereo, mono);
    }
    kvFuzzReset();
    return 0;
}
