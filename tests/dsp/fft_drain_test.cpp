/*
 * The edits with delayed output (FFT Filter, FFT pitch and time scaling)
 * over ranges short and long at every FFT size and overlap: the result has
 * the length the edit promises, and what the drain returns is what the same
 * frames give when real silence follows them.
 */
#include "engine/dsp/dispatcher.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <set>

class DelayedOutput : public EffectTest {};

TEST_F(DelayedOutput, EveryRangeLengthComesOutWholeAtEverySizeAndOverlap) {
    struct Edit {
        const char *name;
        int32_t number, pitchMode, percent;
    };
    const Edit edits[] = {
        {"FFT Filter", KV_EDIT_FFT_FILTER, 0, 100},
        {"FFT pitch 150%", KV_EDIT_PITCH, 1, 150},
        {"FFT time 200%", KV_EDIT_PITCH, 2, 200},
        {"FFT time 50%", KV_EDIT_PITCH, 2, 50},
    };
    const int32_t rate = 8000, from = 7, total = from + 8193 + 5;
    int32_t doc = makeDocument(rate, mix(sineWave(total, 700, rate), noise(total, 5, 0.2)));
    const std::vector<float> samples = channel(doc, 0);
    params.fftFilterType = 0;
    params.fftStartHighPassHz = params.fftEndHighPassHz = 300;
    params.fftStartLowPassHz = params.fftEndLowPassHz = 1200;

    /* The range followed by N frames of silence, run through the preview in
     * its 4096-frame buffers: with that much silence after them, every
     * frame's output is released before the input ends, with no drain. */
    auto followedBySilence = [&](int32_t edit, int32_t length, int32_t size, size_t kept) {
        std::vector<float> input(samples.begin() + from, samples.begin() + from + length);
        input.resize(length + size, 0.0f);
        std::vector<float> played, buffer(2 * KV_BLOCK_FRAMES);
        const int32_t count = static_cast<int32_t>(input.size());
        KvEffectRun *run = kvEffectStart(doc, edit, KV_RUN_PREVIEW);
        for (int32_t at = 0; at < count && played.size() < kept; at += KV_BLOCK_FRAMES) {
            int32_t n = std::min(KV_BLOCK_FRAMES, count - at);
            std::copy_n(input.begin() + at, n, buffer.begin());
            int32_t produced = kvPreviewProcess(run, buffer.data(), nullptr, n, count, at);
            played.insert(played.end(), buffer.begin(), buffer.begin() + produced);
        }
        kvEffectFinish(run);
        played.resize(std::min(played.size(), kept));
        return played;
    };

    for (int32_t size = 256; size <= 8192; size *= 2) {
        for (int32_t overlap : {4, 8, 16, 32}) {
            options.fftSize = size;
            options.fftOverlap = overlap;
            const int32_t hop = size / overlap;
            const std::set<int32_t> lengths = {1,        2,       100,          hop - 1,
                                               hop,      hop + 1, size / 2 - 1, size / 2 + 1,
                                               size - 1, size,    size + 1};
            for (const Edit &edit : edits) {
                params.pitchMode = edit.pitchMode;
                params.pitchStart = params.pitchEnd = edit.percent;
                params.pitchDynamic = 0;
                for (int32_t length : lengths) {
                    SCOPED_TRACE(::testing::Message() << edit.name << ", N " << size << ", V "
                                                      << overlap << ", length " << length);
                    /* Time scaling resamples: output k reads the input at k x
                     * factor, and every such position inside the range counts. */
                    int32_t result =
                        edit.pitchMode == 2
                            ? static_cast<int32_t>(std::ceil(length * 100.0 / edit.percent))
                            : length;
                    kvSetSelection(doc, from, from + length, -1);
                    ASSERT_EQ(kvDoEdit(doc, edit.number), 0);
                    if (kvGetLength(doc) == total - length + result) {
                        std::vector<float> edited(result);
                        kvReadFrames(doc, 0, from, result, edited.data());
                        EXPECT_EQ(edited, followedBySilence(edit.number, length, size, result));
                    } else {
                        ADD_FAILURE() << "length " << kvGetLength(doc) << ", expected "
                                      << total - length + result;
                    }
                    kvUndo(doc);
                }
            }
        }
    }
}
