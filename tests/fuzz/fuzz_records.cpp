/*
 * fuzz_records.cpp - the stored KV_Options and KV_Params records.
 *
 * The input's first 144 bytes are stored as "Options" and the next 344 as
 * "Parameters" (shorter inputs store shorter values, which kvInit must
 * ignore); the engine is then started on them and goes through what reads
 * the records outside the effects: a new file from the stored defaults, the
 * status line, nudging, and clean-up storing them again. A stored temporary
 * drive is always cleared: a letter naming a mounted drive would make the
 * run create and empty a folder on that drive.
 */
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/history/history.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

static uint8_t options[144], params[344];

/* Stores the records; tells which of them have exactly their sizes. */
static void kvFuzzStoreRecords(const uint8_t *data, size_t size, bool *wholeOptions,
                               bool *wholeParams) {
    std::memset(options, 0, sizeof options);
    std::memset(params, 0, sizeof params);
    size_t optionBytes = std::min<size_t>(size, 144);
    size_t paramBytes = size > 144 ? std::min<size_t>(size - 144, 344) : 0;
    std::memcpy(options, data, optionBytes);
    if (paramBytes) std::memcpy(params, data + 144, paramBytes);
    if (optionBytes >= offsetof(KV_Options, tempDrive) + 4)
        std::memset(options + offsetof(KV_Options, tempDrive), 0, 4);
    kvSetReg("Settings", "Options", options, static_cast<int32_t>(optionBytes));
    kvSetReg("Settings", "Parameters", params, static_cast<int32_t>(paramBytes));
    *wholeOptions = optionBytes == 144;
    *wholeParams = paramBytes == 344;
}

static void kvFuzzFill(int32_t doc) {
    static std::vector<float> wave;
    if (wave.empty())
        for (int32_t i = 0; i < 3000; i++)
            wave.push_back(static_cast<float>(0.7 * std::sin(i * 0.05)));
    kvBeginEdit(doc, "Fill");
    for (int32_t c = 0; c < kvGetChannels(doc); c++)
        kvQueueInsert(doc, c, wave.data(), static_cast<int32_t>(wave.size()));
    kvCompleteEdit(doc, true);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    kvFuzzSetUp(false);
    bool wholeOptions, wholeParams;
    kvFuzzStoreRecords(data, size, &wholeOptions, &wholeParams);
    KV_Options running = kvFuzzOptions;
    KV_Params runningParams = kvFuzzParams;
    kvInit(nullptr, &running, sizeof running, &runningParams, sizeof runningParams, nullptr,
           nullptr, nullptr);
    /* Records of the right size are taken, held to their fields' ranges;
     * others not at all. */
    KV_Options expectedOptions = kvFuzzOptions;
    KV_Params expectedParams = kvFuzzParams;
    if (wholeOptions) std::memcpy(&expectedOptions, options, 144);
    if (wholeParams) std::memcpy(&expectedParams, params, 344);
    kvClampOptions(&expectedOptions);
    kvClampParams(&expectedParams);
    if (std::memcmp(&running, &expectedOptions, 144) != 0 ||
        std::memcmp(&runningParams, &expectedParams, 344) != 0)
        std::abort();
    /* A record already in range is kept byte for byte. */
    KV_Options again = running;
    KV_Params againParams = runningParams;
    kvClampOptions(&again);
    kvClampParams(&againParams);
    if (std::memcmp(&again, &running, 144) != 0 ||
        std::memcmp(&againParams, &runningParams, 344) != 0)
        std::abort();
    int32_t doc = kvCreate(nullptr);
    if (kvNew(doc, runningParams.newChannels, runningParams.newBitsPerSample,
              runningParams.newFormat, runningParams.newSampleRate) == 0) {
        kvFuzzFill(doc);
        kvDoStatus(doc, 1);
        kvSetSelection(doc, 200, 1200, -1);
        kvDoStatus(doc, 1);
        kvNudgeSelection(doc, 1);
        kvNudgeSelection(doc, 0);
        kvGetSelSize(doc);
    }
    kvFuzzReset();
    kvCleanUp();
    /* Clean-up stores exactly what the program holds. */
    KV_Options storedOptions;
    KV_Params storedParams;
    if (kvGetReg("Settings", "Options", &storedOptions, 144) != 144 ||
        kvGetReg("Settings", "Parameters", &storedParams, 344) != 344 ||
        std::memcmp(&storedOptions, &running, 144) != 0 ||
        std::memcmp(&storedParams, &runningParams, 344) != 0)
        std::abort();
    return 0;
}
