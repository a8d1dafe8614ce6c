/*
 * The encoding stream with nothing to hand out yet: a conversion that takes
 * no source (less than one block) and has no output pending succeeds with
 * nothing used and nothing made, without touching the empty output queue.
 */
#include "engine/platform/codecs.h"

#include <gtest/gtest.h>

#include <vector>

TEST(EncodingStream, LessThanOneBlockWithoutTheEndMakesNothingAndSucceeds) {
    KvWaveFormat pcm = kvPcmFormat(2, 44100);
    KvWaveFormat mp3 = kvMp3Format(2, 44100, 128);
    KvCodecStream *stream = kvAcmStreamOpen(nullptr, pcm, mp3, KV_ACM_STREAMOPENF_NONREALTIME);
    if (!stream) GTEST_SKIP() << "no Layer-3 encoder installed";
    std::vector<uint8_t> source(400), dest(16384);
    KvStreamHeader header{source.data(),
                          static_cast<int32_t>(source.size()),
                          0,
                          dest.data(),
                          static_cast<int32_t>(dest.size()),
                          0,
                          0};
    ASSERT_TRUE(kvAcmStreamPrepareHeader(stream, &header));
    EXPECT_TRUE(kvAcmStreamConvert(stream, &header, KV_ACM_STREAMCONVERTF_BLOCKALIGN));
    EXPECT_EQ(header.sourceUsed, 0);
    EXPECT_EQ(header.destUsed, 0);
    kvAcmStreamUnprepareHeader(stream, &header);
    kvAcmStreamClose(stream);
}
