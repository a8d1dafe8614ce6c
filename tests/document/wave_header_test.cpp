/*
 * WAVE header fields at the edge of their 32-bit range. Writing: a byte rate
 * that does not fit wraps the way the field does, computed without signed
 * overflow (a restored state can carry any rate up to INT32_MAX). Reading: a
 * fmt size as large as a file can claim is refused with its message.
 */
#include "engine/document/wave.h"
#include "tests/support/document_fixture.h"

#include <cstring>

static uint32_t fieldAt(const uint8_t *header, size_t offset) {
    uint32_t value;
    std::memcpy(&value, header + offset, 4);
    return value;
}

TEST(WaveHeaderFields, ByteRateOfAnOrdinaryFormatIsChannelsTimesRateTimesBytes) {
    uint8_t header[44];
    kvMakeWaveHeader(1, 2, 44100, 16, 10, header);
    EXPECT_EQ(fieldAt(header, 24), 44100u);
    EXPECT_EQ(fieldAt(header, 28), 176400u);
    EXPECT_EQ(fieldAt(header, 40), 40u);
}

TEST(WaveHeaderFields, ByteRateBeyond32BitsWrapsLikeTheField) {
    uint8_t header[44];
    kvMakeWaveHeader(3, 2, 1701672300, 64, 1, header);
    uint64_t full = 2ull * 1701672300ull * 8ull;
    EXPECT_EQ(fieldAt(header, 24), 1701672300u);
    EXPECT_EQ(fieldAt(header, 28), static_cast<uint32_t>(full));
}

class WaveHeaderLimits : public OneDocumentTest {};

TEST_F(WaveHeaderLimits, LargestFmtSizeIsRefusedAsAnUnsupportedFmtChunk) {
    std::string bytes("RIFF\x24\0\0\0WAVEJUNK\xff\xff\xff\x7f", 20);
    bytes.append("\x01\0", 2); /* PCM, so the header checks run */
    bytes.append(38, '\0');
    EXPECT_EQ(openBytes(bytes), -1);
    EXPECT_EQ(shownTexts(),
              std::vector<std::string>{"Can't open file - invalid or unsupported 'fmt' chunk"});
    EXPECT_EQ(kvGetLength(doc), 0);
}

/* A saved file whose samples pass 4 GiB gets an RF64 header (the sizes in
 * its ds64 chunk), which the reader takes back; a smaller one keeps the
 * canonical 44 bytes. */
TEST_F(WaveHeaderLimits, SizesBeyond32BitsAreWrittenAsRf64AndReadBack) {
    struct Size {
        int32_t bits, channels, frames, headerBytes;
    };
    for (const Size &size :
         {Size{16, 2, 1073741814, 44}, Size{16, 2, 1073741815, 80}, Size{64, 2, 300000000, 80}}) {
        SCOPED_TRACE(size.frames);
        uint8_t header[KV_WIDE_HEADER_BYTES];
        ASSERT_EQ(kvMakeWaveHeaderFor(size.bits == 64 ? 3 : 1, size.channels, 44100, size.bits,
                                      size.frames, header),
                  size.headerBytes);
        kvTestWriteFile(path("big.wav"),
                        std::string(reinterpret_cast<char *>(header), size.headerBytes));
        int32_t file = kvFileOpen(path("big.wav"), KV_FILE_READ);
        KvWaveHeader read;
        kvReadWaveHeader(file, &read);
        kvFileClose(file);
        EXPECT_EQ(kvCheckWaveHeader(read, "big.wav"), "");
        EXPECT_EQ(read.dataSize, int64_t{size.bits / 8 * size.channels} * size.frames);
        EXPECT_EQ(read.dataOffset, size.headerBytes);
    }
}
