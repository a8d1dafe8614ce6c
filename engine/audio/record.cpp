/*
 * record.cpp - recording from the sound card into a document: the one input
 * thread, which monitors (meter and analyzer) and, while asked to, stores
 * what it hears, and the exports that start, stop and complete a take.
 *
 * The input thread and the interface thread share only atomic flags. The
 * thread touches the document's pending insertion blocks only while
 * recWriting is set; kvStopRecording clears it and waits for recIdleAck,
 * which the thread sets on a buffer it did not store, before splicing the
 * take in as one undo step, so the two threads never meet in those blocks.
 */
#include "engine/audio/meter.h"
#include "engine/audio/playback.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/history/history.h"
#include "engine/platform/audio_device.h"
#include "engine/platform/clock.h"
#include "engine/platform/messages.h"
#include "engine/platform/threads.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdio>
#include <thread>

#define KV_REC_FRAMES 1024
#define KV_REC_BUFFERS 64

struct KV_Recording {
    std::atomic<int32_t> recStopRequest{0};
    std::atomic<int32_t> recRunning{0};
    std::atomic<int32_t> recWriting{0};
    std::atomic<int32_t> recIdleAck{0};
    std::atomic<int32_t> recDoc{-1};
    std::atomic<int64_t> recTotalFrames{0};
    std::atomic<KvWindow> recTimeWindow{nullptr};
    KV_Levels peaks{};
    KV_Analyzer analyzer{};
};

static KV_Recording kvRec;

/* The input device named by recordDevice; a number the system no longer
 * has becomes 0, the first device, and is stored back. Interface thread:
 * the options belong to it. */
static int32_t kvChooseRecordDevice() {
    assert(kvOnInterfaceThread());
    if (!kvEngine.options) return 0;
    std::atomic_ref<int32_t> recordDevice(kvEngine.options->recordDevice);
    int32_t device = recordDevice.load();
    if (device >= kvAudioDeviceCount(true)) {
        device = 0;
        recordDevice.store(0);
    }
    return device;
}

/* Meter and analyzer of one captured buffer. */
static void kvMeasureInput(const int16_t (*frames)[2]) {
    kvLevelsFeed(&kvRec.peaks, frames, KV_REC_FRAMES);
    bool analyzed =
        kvEngine.options && std::atomic_ref<int32_t>(kvEngine.options->showAnalyzer).load();
    if (analyzed) kvAnalyzerFeed(&kvRec.analyzer, frames, KV_REC_FRAMES);
    kvMeterShow(kvRec.peaks.left, kvRec.peaks.right, analyzed ? kvRec.analyzer.peak : nullptr);
}

/* Stores one captured buffer in the document's pending insertion. */
static void kvStoreInput(int32_t doc, const int16_t (*frames)[2]) {
    assert(!kvOnInterfaceThread());
    KV_Document *document = kvGetDocument(doc);
    if (!document) return;
    float left[KV_REC_FRAMES], right[KV_REC_FRAMES];
    if (document->current->channels == 1) {
        for (int32_t i = 0; i < KV_REC_FRAMES; i++)
            left[i] = static_cast<float>((int32_t{frames[i][0]} + frames[i][1]) / 65536.0);
        kvQueueInsert(doc, 0, left, KV_REC_FRAMES);
    } else {
        for (int32_t i = 0; i < KV_REC_FRAMES; i++) {
            left[i] = static_cast<float>(frames[i][0] / 32768.0);
            right[i] = static_cast<float>(frames[i][1] / 32768.0);
        }
        kvQueueInsert(doc, 0, left, KV_REC_FRAMES);
        kvQueueInsert(doc, 1, right, KV_REC_FRAMES);
    }
    std::atomic_ref<int32_t>(document->current->selEnd).fetch_add(KV_REC_FRAMES);
    kvUpdateRecTime(doc, nullptr, KV_REC_FRAMES);
}

/* The device and rate come from the interface thread: the document's
 * current state is its to change, even while the thread starts. */
static void kvInputThread(int32_t doc, int32_t device, int32_t rate) {
    kvSetThreadPriority(KV_PRIORITY_HIGHEST);
    KvAudioIn *in = kvAudioOpenInput(device, rate);
    if (!in) {
        kvError(0, "Can't open wave in device");
        kvRec.recRunning.store(0);
        return;
    }
    kvRec.peaks = {};
    kvAnalyzerReset(&kvRec.analyzer);
    int16_t buffer[KV_REC_FRAMES][2];
    bool failed = false;
    while (!kvRec.recStopRequest.load() && !failed) {
        while (!kvRec.recStopRequest.load() && kvAudioReadable(in) < KV_REC_FRAMES)
            kvSleepMs(1);
        if (kvRec.recStopRequest.load()) break;
        failed = !kvAudioRead(in, buffer[0], KV_REC_FRAMES);
        if (failed) break;
        kvMeasureInput(buffer);
        if (!kvRec.recWriting.load())
            kvRec.recIdleAck.store(1);
        else
            kvStoreInput(doc, buffer);
    }
    kvAudioCloseInput(in);
    kvMeterBlank();
    /* A device that fails mid-take still lets kvStopRecording complete it. */
    kvRec.recIdleAck.store(1);
    kvRec.recRunning.store(0);
}

extern "C" KV_API int32_t kvRecStop(void) {
    kvRec.recStopRequest.store(1);
    for (int32_t step = 0; step < 99 && kvRec.recRunning.load(); step++)
        kvSleepMs(10);
    /* With the input thread gone nothing stores any more: a take it left
     * open gives the insertion stages back to the interface thread. */
    if (!kvRec.recRunning.load() && kvRec.recWriting.exchange(0)) kvLendInsert(false);
    return 0;
}

void kvReleaseDocumentAudio(int32_t doc) {
    if (kvPlayback.playDoc.load() == doc) kvStop();
    if (kvRec.recDoc.load() == doc && kvRec.recRunning.load()) kvRecStop();
}

extern "C" KV_API int32_t kvRecStart(int32_t doc) {
    kvRecStop();
    kvRec.recStopRequest.store(0);
    KV_Document *document = kvGetDocument(doc);
    if (!document) return 0;
    int32_t device = kvChooseRecordDevice();
    kvRec.recDoc.store(doc);
    kvRec.recRunning.store(1);
    try {
        std::thread(kvInputThread, doc, device, document->current->sampleRate).detach();
    } catch (...) {
        kvRec.recRunning.store(0);
    }
    return 0;
}

extern "C" KV_API int32_t kvRecord(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    KV_State *state = document->current;
    if (!kvEngine.options || kvEngine.options->recordMode == 0) {
        int32_t later = std::max(state->selAnchor, state->selEnd);
        state->selAnchor = state->selEnd = later;
    }
    state->editChannel = -1;
    kvBeginEdit(doc, "Record");
    kvLendInsert(true);
    kvRec.recWriting.store(1);
    return 0;
}

extern "C" KV_API int32_t kvStopRecording(int32_t doc) {
    if (!kvGetDocument(doc)) return -1;
    kvRec.recWriting.store(0);
    kvRec.recIdleAck.store(0);
    kvSleepMs(10);
    for (int32_t step = 0; step < 98 && !kvRec.recIdleAck.load() && kvRec.recRunning.load(); step++)
        kvSleepMs(10);
    kvLendInsert(false);
    if (!kvFinishInsert(doc)) return kvCancelEdit(doc);
    kvRebuildIndex(doc);
    KV_State *state = kvGetDocument(doc)->current;
    state->firstFrame = state->selAnchor;
    kvSaveState(doc);
    kvSealLastDataFile();
    kvDocumentChanged(doc);
    return 0;
}

extern "C" KV_API int32_t kvUpdateRecTime(int32_t doc, KvWindow window, int32_t frames) {
    if (window) {
        kvRec.recTotalFrames.store(0);
        kvRec.recTimeWindow.store(window);
        return 0;
    }
    int64_t total = kvRec.recTotalFrames.fetch_add(frames) + frames;
    KV_Document *document = kvGetDocument(doc);
    int32_t rate = document ? document->current->sampleRate : 0;
    if (rate <= 0) return 0;
    int64_t ms = total * 1000 / rate;
    char text[40];
    int32_t length =
        std::snprintf(text, sizeof text, "%02d:%02d.%03d", static_cast<int>(ms / 60000),
                      static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    kvSendMessage(kvRec.recTimeWindow.load(), KV_MSG_REC_TIME, reinterpret_cast<intptr_t>(text),
                  length);
    return 0;
}
