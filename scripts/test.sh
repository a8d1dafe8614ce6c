#!/usr/bin/env bash
# Installs dependencies, builds Korvel and runs every test.
#   scripts/test.sh             the normal build in build/
#   scripts/test.sh --sanitize  a build with AddressSanitizer and
#                               UndefinedBehaviorSanitizer in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
if [[ "${1:-}" == "--sanitize" ]]; then
  cmake -S . -B build-sanitize -G Ninja -DKORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  cmake --build build-sanitize --parallel "$(nproc)"
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
    ctest --test-dir build-sanitize --output-on-failure --parallel "$(nproc)"
else
  scripts/build.sh
  ctest --test-dir build --output-on-failure --parallel "$(nproc)"
fi
