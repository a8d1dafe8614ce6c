/*
 * storage_bench - the sample store and the history on a long document.
 *
 * Usage: storage_bench [minutes [stored-minutes]]   (default 60, all stored)
 * Appends the stored minutes (all of them unless told) of 44.1 kHz stereo
 * through the insertion pipeline and sets the rate beside a plain sequential
 * write of the same bytes to the same folder; the rest of the document, if
 * any, repeats their descriptors, so that `storage_bench 600 10` builds ten
 * hours in seconds. Then times a 1-frame cut in the middle, an undo and a
 * redo, which should cost the same whatever the document's length.
 * Then the clipboard on that document: copying a 1-minute and a 30-minute
 * selection and pasting each back in the middle (the splice path, which moves
 * descriptors only), and a converting paste of a 1-minute 48000 Hz clip.
 */
#include "bench/bench_support.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/history/clipboard.h"
#include "engine/history/history.h"
#include "engine/history/state_writer.h"
#include "engine/platform/fileio.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using Clock = std::chrono::steady_clock;

/* ", 600-min document": the table's rows name the length they were timed on. */
static std::string documentName;

static double microseconds(Clock::time_point since) {
    return benchSeconds(since) * 1e6;
}

/* A two-tone test signal, made once so that both writers time only their
 * writing; pieces are taken from it cyclically. */
static std::vector<float> signalLeft, signalRight;
static const int32_t kSignalFrames = 64 * KV_BLOCK_FRAMES;

static void makeSignal() {
    signalLeft.resize(kSignalFrames);
    signalRight.resize(kSignalFrames);
    for (int32_t i = 0; i < kSignalFrames; i++) {
        double t = i / 44100.0;
        signalLeft[i] = static_cast<float>(0.6 * std::sin(t * 2764.6));
        signalRight[i] = static_cast<float>(0.4 * std::sin(t * 1000.0));
    }
}

static const float *pieceOf(const std::vector<float> &signal, int64_t first) {
    return signal.data() + first % kSignalFrames;
}

/* Appends `frames` stereo frames to an empty document as one edit: seconds. */
static double appendThroughPipeline(int32_t doc, int64_t frames) {
    auto start = Clock::now();
    kvBeginEdit(doc, "Append");
    for (int64_t done = 0; done < frames; done += KV_BLOCK_FRAMES) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(KV_BLOCK_FRAMES, frames - done));
        kvQueueInsert(doc, 0, pieceOf(signalLeft, done), count);
        kvQueueInsert(doc, 1, pieceOf(signalRight, done), count);
    }
    if (kvCompleteEdit(doc, true) != 0) std::printf("append failed\n");
    return benchSeconds(start);
}

/* Writes the same bytes in the same pieces to one plain file: seconds. */
static double plainWrite(const std::string &path, int64_t frames) {
    auto start = Clock::now();
    int32_t file = kvFileOpen(path, KV_FILE_CREATE);
    int64_t offset = 0;
    for (int64_t done = 0; done < frames; done += KV_BLOCK_FRAMES) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(KV_BLOCK_FRAMES, frames - done));
        kvFileWriteAt(file, pieceOf(signalLeft, done), count * 4, offset);
        kvFileWriteAt(file, pieceOf(signalRight, done), count * 4, offset + count * 4);
        offset += count * 8;
    }
    kvFileClose(file);
    return benchSeconds(start);
}

/* Lengthens the document to `frames` by repeating its descriptors, as one
 * edit: the samples are shared, only the tables grow. */
static void repeatToLength(int32_t doc, int64_t frames) {
    kvSetSelection(doc, kvGetLength(doc), kvGetLength(doc), -1);
    kvBeginEdit(doc, "Repeat");
    KV_State *state = kvGetDocument(doc)->current;
    /* Every descriptor is a copy of its own, as in a document opened from
     * a ten-hour file: no chunk is shared between the repeats. */
    for (int32_t c = 0; c < state->channels; c++) {
        KV_TableBuilder builder;
        int64_t total = 0;
        for (int32_t b = 0; total < frames; b = (b + 1) % state->tables[c].count) {
            KV_Block block = kvTableBlock(state->tables[c], b);
            if (total + block.length > frames)
                block = kvBlockHead(block, static_cast<int32_t>(frames - total));
            kvBuildBlock(&builder, block);
            total += block.length;
        }
        kvTableRelease(&state->tables[c]);
        state->tables[c] = kvBuildTable(&builder);
        state->insertAt[c] = state->tables[c].count;
    }
    if (kvCompleteEdit(doc, false) != 0) std::printf("repeating failed\n");
}

/* The middle of a run of timings, in microseconds. */
static double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

static double syncSeconds() {
    auto start = Clock::now();
    sync();
    return benchSeconds(start);
}

/* Runs of a 1-frame cut, an undo and a redo: median and best, in
 * microseconds. */
static void timeHistory(int32_t doc, int32_t runs) {
    std::vector<double> cut, undo, redo;
    int32_t middle = kvGetLength(doc) / 2;
    for (int32_t run = 0; run < runs; run++) {
        kvSetSelection(doc, middle, middle + 1, -1);
        auto start = Clock::now();
        kvBeginEdit(doc, "Delete");
        kvCompleteEdit(doc, false);
        cut.push_back(microseconds(start));
        start = Clock::now();
        kvUndo(doc);
        undo.push_back(microseconds(start));
        start = Clock::now();
        kvRedo(doc);
        redo.push_back(microseconds(start));
        kvUndo(doc);
    }
    std::printf("%-27s %10s %10s\n", "history, us", "median", "best");
    std::printf("%-27s %10.0f %10.0f\n", "1-frame cut in the middle", median(cut),
                *std::min_element(cut.begin(), cut.end()));
    std::printf("%-27s %10.0f %10.0f\n", "undo", median(undo),
                *std::min_element(undo.begin(), undo.end()));
    std::printf("%-27s %10.0f %10.0f\n", "redo", median(redo),
                *std::min_element(redo.begin(), redo.end()));
    benchRow("1-frame cut" + documentName + " (median)", median(cut) / 1e6, "", -1);
    benchRow("undo" + documentName + " (median)", median(undo) / 1e6, "", -1);
    benchRow("redo" + documentName + " (median)", median(redo) / 1e6, "", -1);
}

/* Copies `minutes` from a quarter of the way in, pastes it at the middle and
 * undoes the paste: the median of a few runs of each, in microseconds. Copy and
 * paste cost follows descriptors (one per 4096 frames of the clip, and those
 * of the document's state files), never samples. */
static void timeSplice(int32_t doc, double minutes, int32_t runs) {
    int32_t frames = static_cast<int32_t>(minutes * 60 * 44100);
    int32_t from = kvGetLength(doc) / 4, middle = kvGetLength(doc) / 2;
    std::vector<double> copy, paste, undo;
    for (int32_t run = 0; run < runs; run++) {
        kvSetSelection(doc, from, from + frames, -1);
        sync();
        auto start = Clock::now();
        kvCopy(doc);
        copy.push_back(microseconds(start));
        kvSetSelection(doc, middle, middle, -1);
        sync();
        start = Clock::now();
        if (kvPaste(doc, 0) != 0) std::printf("paste failed\n");
        paste.push_back(microseconds(start));
        start = Clock::now();
        kvUndo(doc);
        undo.push_back(microseconds(start));
    }
    char name[32];
    std::snprintf(name, sizeof name, "%g-minute clip", minutes);
    std::printf("%-16s %7d + %-7d %10.0f %10.0f %10.0f\n", name, kvClip.blockCount[0],
                kvClip.blockCount[1], median(copy), median(paste), median(undo));
    benchRow(std::string("paste of a ") + name + documentName + " (median)", median(paste) / 1e6,
             "", -1);
}

/* Pastes a 1-minute stereo clip of another rate into the middle: it is mixed
 * and resampled block by block and written as new samples. */
static void timeConvertingPaste(int32_t doc, int32_t runs) {
    int32_t source = kvCreate(nullptr);
    kvNew(source, 2, 16, 1, 48000);
    int64_t frames = 60 * 48000;
    appendThroughPipeline(source, frames);
    kvSetSelection(source, 0, static_cast<int32_t>(frames), -1);
    kvCopy(source);
    double best = 1e12;
    for (int32_t run = 0; run < runs; run++) {
        kvSetSelection(doc, kvGetLength(doc) / 2, kvGetLength(doc) / 2, -1);
        sync();
        auto start = Clock::now();
        if (kvPaste(doc, 0) != 0) std::printf("converting paste failed\n");
        best = std::min(best, benchSeconds(start));
        kvUndo(doc);
    }
    kvClose(source);
    std::printf("converting paste of 1 minute at 48000 Hz: %8.1f ms (%.0f x realtime)\n",
                best * 1e3, 60.0 / best);
}

int main(int argc, char **argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 60.0;
    double stored = argc > 2 ? std::min(std::atof(argv[2]), minutes) : minutes;
    int64_t length = static_cast<int64_t>(minutes * 60 * 44100);
    int64_t frames = static_cast<int64_t>(stored * 60 * 44100);
    double megabytes = static_cast<double>(frames) * 8 / 1e6;
    documentName = ", " + std::to_string(static_cast<int64_t>(minutes)) + "-min document";
    makeSignal();
    BenchEngine engine;
    benchStart(&engine);
    std::printf("%.1f minutes of 44100 Hz stereo, %.1f of them stored: %.1f MB of float "
                "samples in %s\n",
                minutes, stored, megabytes, engine.folder.c_str());

    /* The two writers take turns, twice, and each keeps its best round, so
     * that neither is favoured by the state of the page cache and the disk. */
    std::string plainPath = engine.folder + "/plain-write.tmp";
    double plain = 1e9, plainSync = 0, pipeline = 1e9, pipelineSync = 0;
    int32_t doc = -1;
    for (int32_t round = 0; round < 2; round++) {
        double seconds = plainWrite(plainPath, frames);
        double synced = syncSeconds();
        kvFileRemove(plainPath);
        if (seconds + synced < plain + plainSync) plain = seconds, plainSync = synced;
        if (doc >= 0) kvClose(doc);
        doc = kvCreate(nullptr);
        kvNew(doc, 2, 16, 1, 44100);
        seconds = appendThroughPipeline(doc, frames);
        synced = syncSeconds();
        if (seconds + synced < pipeline + pipelineSync) pipeline = seconds, pipelineSync = synced;
    }
    std::printf("%-28s %10s %14s\n", "best of 2", "MB/s", "MB/s with sync");
    std::printf("%-28s %10.0f %14.0f\n", "plain sequential write", megabytes / plain,
                megabytes / (plain + plainSync));
    std::printf("%-28s %10.0f %14.0f\n", "insertion pipeline", megabytes / pipeline,
                megabytes / (pipeline + pipelineSync));
    /* A repeated document's append is its stored part's: that row comes
     * from the plain run. */
    if (length == frames)
        benchRow("append through the insertion pipeline", pipeline, "plain write()", plain);

    if (length > frames) {
        auto start = Clock::now();
        repeatToLength(doc, length);
        std::printf("repeated to %.1f minutes in %.2f s\n", minutes, benchSeconds(start));
    }
    const KV_Document *document = kvGetDocument(doc);
    kvWaitStateWrites(doc, -1);
    char statePath[1024];
    kvStateFilePath(doc, document->level, statePath, sizeof statePath);
    std::printf("length %d frames, %d + %d descriptors, state file %lld bytes\n",
                document->current->length, document->current->tables[0].count,
                document->current->tables[1].count,
                static_cast<long long>(kvFileSizeOf(statePath)));
    timeHistory(doc, 9);
    std::printf("%-16s %17s %10s %10s %10s\n", "splice median, us", "clip descriptors", "copy",
                "paste", "undo");
    timeSplice(doc, 1, 9);
    timeSplice(doc, 30, 5);
    timeConvertingPaste(doc, 3);
    std::printf("peak RSS: %lld KiB\n", static_cast<long long>(benchPeakRssKb()));
    kvClose(doc);
    benchStop(&engine);
    return 0;
}
