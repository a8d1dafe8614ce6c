#!/usr/bin/env bash
# Configures and builds Korvel into build/ (binaries in build/bin, the engine
# library in build/lib). Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

generator=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f build/CMakeCache.txt ]]; then
  generator=(-G Ninja)
fi
cmake -S . -B build "${generator[@]}" "$@"
cmake --build build --parallel "$(nproc)"
