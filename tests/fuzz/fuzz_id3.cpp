/*
 * fuzz_id3.cpp - reading ID3v1 and ID3v2 tags.
 *
 * The input is a file whose tags are read into a document, described by
 * kvGetInfo as an MP3 file (which shows the ID3v1 fields), and written back
 * the way saving writes them.
 */
#include "engine/codec/codec.h"
#include "engine/platform/fileio.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    kvFuzzSetUp(true);
    static const std::string input = kvFuzzPath("tags.mp3");
    static const std::string output = kvFuzzPath("tags.out");
    kvFuzzWriteFile(input, data, size);
    int32_t doc = kvCreate(nullptr);
    kvNew(doc, 2, 16, 85, 44100);
    KV_Document *document = kvGetDocument(doc);
    int32_t file = kvFileOpen(input, KV_FILE_READ);
    kvReadTags(document, file);
    kvFileTell(file);
    kvFileClose(file);
    kvHasID3(doc);
    static char text[16384];
    kvGetInfo(doc, text);
    int32_t out = kvFileOpen(output, KV_FILE_CREATE);
    kvWriteID3v2(document, out);
    kvWriteID3v1(document, out);
    kvFileClose(out);
    kvClearTags(doc);
    kvFuzzReset();
    return 0;
}
