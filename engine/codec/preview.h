/*
 * preview.h - what the open dialog's panel knows about the file under the
 * cursor, and the thread that plays it before it is opened.
 *
 * Nothing here touches the toolkit: the dialog gives the thread a function
 * to call when it ends on its own, and the thread's state lives in a shared
 * record, so a thread that outlives its dialog touches nothing freed.
 */
#ifndef KV_CODEC_PREVIEW_H
#define KV_CODEC_PREVIEW_H

#include "engine/document/wave.h"
#include "korvel.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

/* The file under the cursor as the panel describes it. */
struct KvCandidate {
    int32_t format = 0;   /* 1 or 3 WAVE, 85 MPEG Layer-3, KV_FORMAT_FLAC..., 0 not described */
    int32_t channels = 0; /* in the file: more than two are mixed down to play */
    int32_t sampleRate = 0;
    int32_t bitRate = 0;   /* kbit/s, compressed only */
    int32_t bits = 0;      /* WAVE only */
    KvWaveLayout layout{}; /* WAVE only */
    int64_t dataOffset = 0;
    int64_t dataSize = 0;
    std::string formatText; /* for text 1002 */
    std::string lengthText; /* for text 1003 */
};

/* Describes the file at `path`; format 0 (both texts empty) when it is a
 * folder, cannot be read, or is neither a WAVE file the editor opens nor has
 * a frame header in its first 64 KiB. A file the editor reads as WAVE is never
 * described as compressed. */
KvCandidate kvDescribeCandidate(const std::string &path);

/* One preview thread's flags: set while it runs, and the stop requests. */
struct KvPreviewFlags {
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> stopCount{0};
};

/* Starts a preview thread for the candidate; its message boxes are owned by
 * `owner`. `ended` runs on the thread, with the thread's flags, when it has
 * stopped. */
std::shared_ptr<KvPreviewFlags> kvStartPreview(const std::string &path,
                                               const KvCandidate &candidate, KvWindow owner,
                                               std::function<void(const KvPreviewFlags *)> ended);

/* Asks the thread to stop and waits in 10 ms steps, at most 99 of them. */
void kvStopPreview(const std::shared_ptr<KvPreviewFlags> &flags);

#endif
