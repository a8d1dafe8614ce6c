#!/usr/bin/env bash
# Installs dependencies, builds Korvel and runs every test.
#   scripts/test.sh             the normal build in build/
#   scripts/test.sh --sanitize  a build with AddressSanitizer and
#                               UndefinedBehaviorSanitizer in build-sanitize/
#   scripts/test.sh --threads   the tests of the threads (audio, preview,
#                               recording, stress, state writer, effects
#                               run side by side) built with
#                               ThreadSanitizer in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
if [[ "${1:-}" == "--sanitize" ]]; then
  cmake -S . -B build-sanitize -G Ninja -DKORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  cmake --build build-sanitize --parallel "$(nproc)"
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
    ctest --test-dir build-sanitize --output-on-failure --parallel "$(nproc)"
elif [[ "${1:-}" == "--threads" ]]; then
  cmake -S . -B build-tsan -G Ninja -DKORVEL_TSAN=ON -DCMAKE_BUILD_TYPE=Debug
  cmake --build build-tsan --parallel "$(nproc)" --target audio_tests dsp_tests history_tests
  export QT_QPA_PLATFORM=offscreen
  export TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp"
  build-tsan/bin/audio_tests --gtest_brief=1
  build-tsan/bin/dsp_tests --gtest_brief=1 --gtest_filter='*Preview*:Compressor.*:*GoldenOutput*'
  build-tsan/bin/history_tests --gtest_brief=1 --gtest_filter='BackgroundStateFiles.*'
else
  scripts/build.sh
  ctest --test-dir build --output-on-failure --parallel "$(nproc)"
fi
