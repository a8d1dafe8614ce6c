#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build-fuzz and runs each one
# for a bounded time on a scratch copy of its committed corpus, so CI never
# grows the corpus. Fails when any harness crashes, leaks or hangs; the input
# that did it is kept in build-fuzz/fuzz-artifacts/<harness>/.
#   scripts/fuzz.sh [seconds]   seconds per harness, 60 by default
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
harnesses=(wave mp3 id3 state clip records)

scripts/deps.sh
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DKORVEL_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz --parallel "$(nproc)" --target "${harnesses[@]/#/fuzz_}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts="$PWD/build-fuzz/fuzz-artifacts"
export QT_QPA_PLATFORM=offscreen
# The harnesses' private folders go to memory where there is some: ext4 writes
# a truncated and rewritten file back on close, which would set the pace.
if [[ -d /dev/shm && -w /dev/shm ]]; then
  export TMPDIR=/dev/shm
fi
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
# The clip harness frees many large blocks on every run; the address
# sanitizer's quarantine kept them all and passed the 2 GB limit with 25 MB
# live. A smaller one still catches a use after a recent free.
export ASAN_OPTIONS="quarantine_size_mb=64"
failed=()
for harness in "${harnesses[@]}"; do
  mkdir -p "$scratch/$harness" "$artifacts/$harness"
  cp tests/fuzz/corpus/"$harness"/* "$scratch/$harness/"
  log="$artifacts/$harness/last-run.log"
  # The log also takes the engine's headless message boxes, so that a fatal
  # error's text stands right above the exit it causes.
  if build-fuzz/bin/fuzz_"$harness" -max_total_time="$seconds" -max_len=16384 -timeout=25 \
      -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$harness/" "$scratch/$harness" >"$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf '%-8s %10s executions in %s s, no crash\n' "$harness" "${executions:-?}" "$seconds"
  else
    failed+=("$harness")
    printf '%-8s FAILED; report and input in %s\n' "$harness" "$artifacts/$harness"
    tail -n 60 "$log"
  fi
done

if ((${#failed[@]} > 0)); then
  echo "Fuzzing found problems in: ${failed[*]}"
  exit 1
fi
