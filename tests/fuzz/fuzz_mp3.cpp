/*
 * fuzz_mp3.cpp - the MPEG Layer-3 frame search and decoding.
 *
 * The frame search runs on the input's bytes directly, then the input is
 * opened as a file, which takes it through tags, frame search and the codec
 * bridge into the insertion pipeline.
 */
#include "engine/codec/codec.h"
#include "tests/fuzz/fuzz_support.h"

#include <climits>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    kvFuzzSetUp(true);
    static const std::string input = kvFuzzPath("input.mp3");
    KvFrameInfo info{};
    kvFindFrameHeader(data, static_cast<int32_t>(std::min<size_t>(size, INT32_MAX)), &info);
    kvFuzzWriteFile(input, data, size);
    int32_t doc = kvCreate(nullptr);
    if (kvOpen(doc, input.c_str()) == 0) {
        std::vector<float> samples(4096);
        kvReadFrames(doc, 0, 0, static_cast<int32_t>(samples.size()), samples.data());
        kvScanMax(doc);
    }
    kvFuzzReset();
    return 0;
}
