/*
 * dsp_fixture.h - a headless engine with documents filled with chosen
 * samples, for the effect tests: edge cross-fades off, so that each effect's
 * own arithmetic can be checked sample by sample, and new documents start
 * with nothing selected, which effects take as the whole file.
 */
#ifndef KV_TEST_DSP_FIXTURE_H
#define KV_TEST_DSP_FIXTURE_H

#include "tests/support/document_fixture.h"

#include <vector>

class EffectTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        params.fadeEdges = 0;
        params.fadeEdgesWhole = 0;
    }
    /* A new document holding these samples (mono when right is empty),
     * with the selection collapsed at the start on both channels. */
    static int32_t makeDocument(int32_t rate, const std::vector<float> &left,
                                const std::vector<float> &right = {}) {
        int32_t doc = DocumentTest::makeDocument(rate, left, right);
        kvSetSelection(doc, 0, 0, -1);
        return doc;
    }
};

inline std::vector<float> testWave(int32_t count, float scale = 0.5f, int32_t period = 97) {
    std::vector<float> samples(count);
    for (int32_t i = 0; i < count; i++)
        samples[i] = scale * static_cast<float>((i % period) - period / 2) / (period / 2);
    return samples;
}

#endif
