/*
 * fuzz_wave.cpp - WAVE recognition, header checks and loading.
 *
 * The input is the whole file handed to kvOpen. A file that loads is read
 * back, scanned and saved once, so the format fields taken from a hostile
 * header also reach the code that trusts them after loading.
 */
#include "tests/fuzz/fuzz_support.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    kvFuzzSetUp(true);
    static const std::string input = kvFuzzPath("input.wav");
    static const std::string output = kvFuzzPath("output.wav");
    kvFuzzWriteFile(input, data, size);
    int32_t doc = kvCreate(nullptr);
    if (kvOpen(doc, input.c_str()) == 0) {
        std::vector<float> samples(4096);
        for (int32_t c = 0; c < kvGetChannels(doc); c++)
            kvReadFrames(doc, c, 0, static_cast<int32_t>(samples.size()), samples.data());
        kvScanMax(doc);
        kvDoStatus(doc, 1);
        kvSave(doc, output.c_str());
    }
    kvFuzzReset();
    return 0;
}
