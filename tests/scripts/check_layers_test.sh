#!/usr/bin/env bash
# scripts/check_layers.sh on a small tree: it must name exactly the includes
# that point up, across siblings or from the program into the engine, and
# pass the same tree once they are gone.
set -euo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check_layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
put() { mkdir -p "$tree/$(dirname "$1")" && printf '#include "%s"\n' "$2" >"$tree/$1"; }

mkdir -p "$tree/engine/include" && echo "/* the API */" >"$tree/engine/include/korvel.h"
put engine/platform/files.h korvel.h            # public header: allowed anywhere
put engine/document/doc.h engine/core/engine.h  # down: allowed
put engine/document/local.cpp doc.h             # own folder: allowed
put engine/view/draw.cpp engine/audio/ring.h    # down across two levels: allowed
put app/shell/main.cpp korvel.h                 # the program's one door
bad=(
  "engine/document/open.cpp:1:engine/view/view.h"   # up
  "engine/audio/play.cpp:1:engine/codec/codec.h"    # sibling
  "engine/newroom/x.cpp:1:engine/core/engine.h"     # module without a level
  "app/shell/frame.cpp:1:engine/core/engine.h"      # program into the engine
)
for entry in "${bad[@]}"; do put "${entry%%:*}" "${entry##*:}"; done

if output=$(bash "$script" "$tree" 2>/dev/null); then
  echo "FAIL: check_layers passed a tree with bad includes"; exit 1
fi
for entry in "${bad[@]}"; do
  file=${entry%%:*}
  grep -q "^$file" <<<"$output" || { echo "FAIL: $file not named in:"; echo "$output"; exit 1; }
done
[[ $(wc -l <<<"$output") == "${#bad[@]}" ]] || { echo "FAIL: extra lines:"; echo "$output"; exit 1; }

for entry in "${bad[@]}"; do rm "$tree/${entry%%:*}"; done
bash "$script" "$tree" >/dev/null || { echo "FAIL: a clean tree was refused"; exit 1; }
echo "check_layers_test: ok"
