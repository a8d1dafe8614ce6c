/*
 * fuzz_support.h - what every fuzz harness shares: one headless engine per
 * process in a private folder tree, the input written to a file the engine
 * can open, and a reset after each input that closes every document and
 * drops the data files and the clipboard, so no input sees what an earlier
 * one left behind and the working folder does not grow between inputs.
 */
#ifndef KV_FUZZ_SUPPORT_H
#define KV_FUZZ_SUPPORT_H

#include "korvel.h"

#include <cstddef>
#include <cstdint>
#include <string>

/* Sets up the private folders and the environment that points the engine at
 * them; with startEngine, also runs kvInit with the default records. Runs
 * once per process. */
void kvFuzzSetUp(bool startEngine);

/* The defaults the program writes into its records before kvInit. */
extern KV_Options kvFuzzOptions;
extern KV_Params kvFuzzParams;

/* "<private folder>/<name>", outside the engine's working folder. */
std::string kvFuzzPath(const char *name);

/* Writes the bytes to the file, replacing it. */
void kvFuzzWriteFile(const std::string &path, const uint8_t *data, size_t size);

/* Closes every document, drops the data files, the clipboard file and the
 * current clip, and forgets the message boxes shown. */
void kvFuzzReset();

#endif
