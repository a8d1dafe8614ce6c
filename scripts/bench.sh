#!/usr/bin/env bash
# Runs every benchmark beside its reference tool in a Release build
# (build-release/) and prints one comparison table: work | Korvel | reference
# tool | ratio (Korvel's time / the tool's; below 1 Korvel is faster).
#   scripts/bench.sh          short sizes: a few minutes in all
#   scripts/bench.sh --long   the 60-minute files (and 10-minute effect runs)
# Each benchmark prints ROW lines (see bench/bench_support.h); the full output
# of each one is kept in build-release/bench-logs/. The table is Markdown, as
# the README's benchmark section shows it.
set -euo pipefail
cd "$(dirname "$0")/.."

long=0
case "${1:-}" in
  --long) long=1 ;;
  "") ;;
  *) echo "usage: scripts/bench.sh [--long]" >&2; exit 2 ;;
esac

scripts/deps.sh
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
benches=(wave_bench effects_bench effects_dsp_bench effects_convert_bench storage_bench
         sound_files_bench mp3_bench)
cmake --build build-release --parallel "$(nproc)" --target "${benches[@]}" >/dev/null

if ((long)); then
  file_minutes=60 effect_minutes=10
else
  file_minutes=10 effect_minutes=2
fi
# name and arguments of each run, in the order of the table
runs=(
  "wave_bench $file_minutes 3"
  "sound_files_bench $file_minutes"
  "mp3_bench $effect_minutes"
  "effects_bench $effect_minutes 3"
  "effects_dsp_bench $effect_minutes 3"
  "effects_convert_bench $effect_minutes 3"
  "storage_bench $file_minutes"
  "storage_bench 600 10"
)

logs=build-release/bench-logs
mkdir -p "$logs"
# The scratch folder holds the test files (a few GB with --long); one we
# chose ourselves is removed afterwards, one given in KORVEL_BENCH_DIR is not.
scratch=""
if [[ -z "${KORVEL_BENCH_DIR:-}" ]]; then
  scratch=$PWD/build-release/bench-scratch
  export KORVEL_BENCH_DIR=$scratch
fi
for run in "${runs[@]}"; do
  set -- $run
  name=$1
  shift
  log="$logs/${run// /-}.log"
  echo "running $name $*" >&2
  if ! build-release/bin/"$name" "$@" >"$log" 2>&1; then
    echo "  $name failed; see $log" >&2
  fi
done
if [[ -n "$scratch" ]]; then rm -rf "$scratch"; fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, ${cpu:-unknown CPU}," \
  "$( ((long)) && echo "60-minute files" || echo "10-minute files")"
echo
awk -F '\t' '
  function seconds(s) {
    if (s == "-") return "-"
    if (s < 0.001) return sprintf("%.0f µs", s * 1e6)
    return s < 0.1 ? sprintf("%.1f ms", s * 1000) : sprintf("%.2f s", s)
  }
  BEGIN {
    print "| work | Korvel | reference tool | ratio |"
    print "|---|---:|---|---:|"
  }
  {
    tool = $4
    if (length(tool) > 34) tool = substr(tool, 1, 31) "..."
    ratio = ($3 != "-" && $5 != "-" && $5 > 0) ? sprintf("%.2f", $3 / $5) : "-"
    toolText = tool == "-" ? "-" : tool " " seconds($5)
    printf "| %s | %s | %s | %s |\n", $2, seconds($3), toolText, ratio
  }' < <(for run in "${runs[@]}"; do grep -h '^ROW' "$logs/${run// /-}.log" || true; done)
