/*
 * feeders.cpp - the threads that fill the play ring: the document feeder
 * (forwards or backwards, normal or double speed, looping, one channel or
 * both, silence after the end) and the effect-preview feeder.
 *
 * Feeders read 4096-frame blocks from the sample storage at explicit
 * positions, so they share no file cursor with the interface or the
 * recording thread, and they keep far enough ahead of the
 * device thread that a slow storage read never starves the sound card.
 */
#include "engine/audio/playback.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/dsp/dispatcher.h"
#include "engine/platform/clock.h"
#include "engine/platform/threads.h"

#include <algorithm>
#include <cstring>

#define KV_FEED_FRAMES 4096
#define KV_PREVIEW_SAMPLES 16384 /* 65536 bytes per channel */

int16_t kvToPcm16(float sample) {
    float scaled = sample * 32768.0f;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    if (scaled != scaled) return 0;
    return static_cast<int16_t>(scaled);
}

/* Writes count frames to the ring (room checked by the caller). The left
 * output is silent when only the right channel plays; a mono file feeds
 * both outputs; the right output of a stereo file is silent when only the
 * left channel plays. */
static void kvFeedRing(const float *left, const float *right, int32_t count, bool stereo) {
    int32_t channel = kvPlayback.playChannel.load();
    int16_t frames[1024][2];
    for (int32_t done = 0; done < count;) {
        int32_t piece = std::min(count - done, 1024);
        for (int32_t i = 0; i < piece; i++) {
            int16_t l = left ? kvToPcm16(left[done + i]) : 0;
            frames[i][0] = channel == 1 ? 0 : l;
            frames[i][1] = !stereo ? l : channel != 0 && right ? kvToPcm16(right[done + i]) : 0;
        }
        kvRingPut(kvPlayback.ring, frames, piece);
        done += piece;
    }
}

/* Waits in 1 ms sleeps for `room` free frames: false when asked to stop. */
static bool kvWaitForRoom(int32_t room) {
    while (kvRingFree(kvPlayback.ring) < room) {
        if (kvPlayback.stopRequest.load()) return false;
        kvSleepMs(1);
    }
    return !kvPlayback.stopRequest.load();
}

/* ---- Document feeder ---- */

/* Reads `want` frames forwards from readFrame, wrapping or ending at
 * loopEnd: true once the end was reached without looping (the rest of the
 * block is then silence). */
static bool kvReadForward(int32_t doc, int32_t channels, float (*input)[2 * KV_FEED_FRAMES],
                          int32_t want) {
    for (int32_t got = 0; got < want;) {
        int32_t frame = kvPlayback.readFrame.load();
        int32_t from = kvPlayback.loopStart.load(), to = kvPlayback.loopEnd.load();
        if (frame >= to) {
            if (kvPlayback.loopPlayback.load() && to > from) {
                kvPlayback.readFrame.store(from);
                continue;
            }
            for (int32_t c = 0; c < channels; c++)
                std::fill(input[c] + got, input[c] + want, 0.0f);
            return true;
        }
        int32_t n = std::min(want - got, to - frame);
        for (int32_t c = 0; c < channels; c++)
            kvReadSamples(doc, c, -1, input[c] + got, frame, n);
        kvPlayback.readFrame.store(frame + n);
        got += n;
    }
    return false;
}

/* The same backwards: each piece is the stretch that ends at readFrame,
 * turned round, wrapping or ending at loopStart. */
static bool kvReadReverse(int32_t doc, int32_t channels, float (*input)[2 * KV_FEED_FRAMES],
                          int32_t want) {
    for (int32_t got = 0; got < want;) {
        int32_t frame = kvPlayback.readFrame.load();
        int32_t from = kvPlayback.loopStart.load(), to = kvPlayback.loopEnd.load();
        if (frame <= from) {
            if (kvPlayback.loopPlayback.load() && to > from) {
                kvPlayback.readFrame.store(to);
                continue;
            }
            for (int32_t c = 0; c < channels; c++)
                std::fill(input[c] + got, input[c] + want, 0.0f);
            return true;
        }
        int32_t n = std::min(want - got, frame - from);
        for (int32_t c = 0; c < channels; c++) {
            kvReadSamples(doc, c, -1, input[c] + got, frame - n, n);
            std::reverse(input[c] + got, input[c] + got + n);
        }
        kvPlayback.readFrame.store(frame - n);
        got += n;
    }
    return false;
}

static void kvFeedDocument(int32_t doc, int32_t channels) {
    static_assert(2 * KV_FEED_FRAMES * sizeof(float) * 3 < 128 * 1024, "feeder stack blocks");
    float input[2][2 * KV_FEED_FRAMES];
    float output[2][KV_FEED_FRAMES];
    bool ended = false;
    while (kvWaitForRoom(KV_FEED_FRAMES + 16)) {
        if (ended) {
            std::fill(output[0], output[0] + KV_FEED_FRAMES, 0.0f);
            kvFeedRing(output[0], output[0], KV_FEED_FRAMES, channels == 2);
            continue;
        }
        int32_t speed = kvPlayback.playSpeed.load();
        bool fast = speed == KV_PLAY_FAST_FORWARD || speed == KV_PLAY_FAST_REVERSE;
        int32_t want = (fast ? 2 : 1) * KV_FEED_FRAMES;
        ended = speed > 0 ? kvReadForward(doc, channels, input, want)
                          : kvReadReverse(doc, channels, input, want);
        for (int32_t c = 0; c < channels; c++)
            for (int32_t i = 0; i < KV_FEED_FRAMES; i++)
                output[c][i] = fast ? 0.5f * (input[c][2 * i] + input[c][2 * i + 1]) : input[c][i];
        kvFeedRing(output[0], output[1], KV_FEED_FRAMES, channels == 2);
    }
}

void kvDocumentFeeder() {
    kvSetThreadPriority(KV_PRIORITY_HIGHEST);
    int32_t doc = kvPlayback.playDoc.load();
    if (KV_Document *document = kvGetDocument(doc))
        kvFeedDocument(doc, std::clamp(document->current->channels, 1, 2));
    kvPlayback.feederRunning.store(0);
}

/* ---- Effect-preview feeder ---- */

struct KV_PreviewRun {
    KvEffectRun *effect; /* the edit's state and parameter snapshot */
    int32_t doc;
    int32_t edit;
    bool stereo;
    float *left; /* null for a channel that does not take part */
    float *right;
    int32_t rangeStart;
    int32_t rangeEnd;
    int64_t minimumPass;
};

/* The tone generator's range: toneLength in its unit, as frames. */
static int32_t kvToneFrames(const KV_Params *params, int32_t rate) {
    int64_t ms = params->toneLength;
    if (params->toneLengthUnit == 1) ms *= 1000;
    if (params->toneLengthUnit == 2) ms *= 60000;
    return static_cast<int32_t>(std::clamp<int64_t>(ms * rate / 1000, 0, INT32_MAX / 2));
}

static void kvClearPreview(const KV_PreviewRun &run, int32_t count) {
    if (run.left) std::fill(run.left, run.left + count, 0.0f);
    if (run.right) std::fill(run.right, run.right + count, 0.0f);
}

/* One step of a pass: the next block of the range through the edit, else
 * its tail, else silence up to the minimum pass length. Returns the frames
 * to play, or -1 when the pass is complete. */
static int32_t kvPreviewStep(const KV_PreviewRun &run, int64_t passDone, bool *tailDone) {
    bool bypass =
        kvEngine.params && std::atomic_ref<int32_t>(kvEngine.params->previewBypass).load();
    int32_t length = run.rangeEnd - run.rangeStart;
    int32_t frame = kvPlayback.readFrame.load();
    if (frame < run.rangeEnd) {
        int32_t n = std::min(KV_FEED_FRAMES, run.rangeEnd - frame);
        kvClearPreview(run, n);
        if (run.edit != KV_EDIT_TONE) {
            if (run.left) kvReadSamples(run.doc, 0, -1, run.left, frame, n);
            if (run.right) kvReadSamples(run.doc, 1, -1, run.right, frame, n);
        }
        kvPlayback.readFrame.store(frame + n);
        if (bypass) return n;
        return std::max(0, kvPreviewProcess(run.effect, run.left, run.right, n, length,
                                            frame - run.rangeStart));
    }
    if (!bypass && !*tailDone) {
        int32_t produced = kvPreviewProcess(run.effect, run.left, run.right, 0, length, length);
        if (produced > 0) return produced;
        *tailDone = true;
    }
    if (passDone >= run.minimumPass) return -1;
    int32_t n = static_cast<int32_t>(std::min<int64_t>(KV_FEED_FRAMES, run.minimumPass - passDone));
    kvClearPreview(run, n);
    return n;
}

static void kvFeedPreview(const KV_PreviewRun &run) {
    if (kvPlayback.readFrame.load() > run.rangeEnd) kvPlayback.readFrame.store(run.rangeStart);
    int64_t passDone = kvPlayback.readFrame.load() - run.rangeStart;
    bool tailDone = false;
    while (kvWaitForRoom(2 * KV_FEED_FRAMES + 1)) {
        int32_t produced = kvPreviewStep(run, passDone, &tailDone);
        if (produced < 0) {
            kvPlayback.readFrame.store(run.rangeStart);
            passDone = 0;
            tailDone = false;
            continue;
        }
        produced = std::min(produced, 2 * KV_FEED_FRAMES);
        kvFeedRing(run.left, run.right, produced, run.stereo);
        passDone += produced;
    }
}

void kvPreviewFeeder() {
    kvSetThreadPriority(KV_PRIORITY_HIGHEST);
    KV_PreviewRun run{};
    run.doc = kvPlayback.playDoc.load();
    run.edit = kvPlayback.previewType.load();
    KV_Document *document = kvGetDocument(run.doc);
    run.effect = kvEffectStart(run.doc, run.edit, KV_RUN_PREVIEW); /* null without a document */
    if (!run.effect) {
        kvPlayback.feederRunning.store(0);
        return;
    }
    const KV_State *state = document->current;
    int32_t channel = kvPlayback.playChannel.load();
    run.stereo = state->channels == 2;
    auto buffer = [] { return static_cast<float *>(kvAlloc(KV_PREVIEW_SAMPLES * sizeof(float))); };
    run.left = !run.stereo || channel != 1 ? buffer() : nullptr;
    run.right = run.stereo && channel != 0 ? buffer() : nullptr;
    run.rangeStart = kvPlayback.loopStart.load();
    /* The start's snapshot, not the record the dialog is writing. */
    run.rangeEnd = run.edit == KV_EDIT_TONE
                       ? run.rangeStart + kvToneFrames(run.effect->params, state->sampleRate)
                       : kvPlayback.loopEnd.load();
    run.minimumPass = std::max<int64_t>(state->sampleRate, run.rangeEnd - run.rangeStart);
    kvFeedPreview(run);
    kvEffectFinish(run.effect);
    kvFree(run.left);
    kvFree(run.right);
    kvPlayback.feederRunning.store(0);
}
