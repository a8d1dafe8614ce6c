/*
 * wave_files_shared.cpp - the document tests' WAVE builder and tool helpers,
 * compiled into this executable as well, so both suites build their files
 * the same way from one source.
 */
#include "tests/document/wave_files.cpp"
