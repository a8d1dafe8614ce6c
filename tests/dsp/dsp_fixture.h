/*
 * dsp_fixture.h - a headless engine with one document filled with chosen
 * samples, for the effect tests.
 */
#ifndef KV_TEST_DSP_FIXTURE_H
#define KV_TEST_DSP_FIXTURE_H

#include "engine/document/document.h"
#include "engine/history/history.h"
#include "tests/support/test_support.h"

#include <vector>

class EffectTest : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        ASSERT_EQ(startEngine(), 0);
        params.fadeEdges = 0;
        params.fadeEdgesWhole = 0;
    }
    /* A new document holding these samples (mono when right is empty). */
    int32_t makeDocument(int32_t rate, const std::vector<float> &left,
                         const std::vector<float> &right = {}) {
        int32_t doc = kvCreate(nullptr);
        kvNew(doc, right.empty() ? 1 : 2, 16, 1, rate);
        kvBeginEdit(doc, "Fill");
        kvQueueInsert(doc, 0, left.data(), static_cast<int32_t>(left.size()));
        if (!right.empty()) kvQueueInsert(doc, 1, right.data(), static_cast<int32_t>(right.size()));
        EXPECT_EQ(kvCompleteEdit(doc, true), 0);
        kvSetSelection(doc, 0, 0, -1);
        return doc;
    }
    std::vector<float> channel(int32_t doc, int32_t c) {
        std::vector<float> samples(kvGetLength(doc));
        kvReadFrames(doc, c, 0, static_cast<int32_t>(samples.size()), samples.data());
        return samples;
    }
};

inline std::vector<float> testWave(int32_t count, float scale = 0.5f, int32_t period = 97) {
    std::vector<float> samples(count);
    for (int32_t i = 0; i < count; i++)
        samples[i] = scale * static_cast<float>((i % period) - period / 2) / (period / 2);
    return samples;
}

#endif
