#!/usr/bin/env bash
# Fails when an include breaks the engine's layering: each engine module may
# include only modules below it, never one above it nor its sibling on the
# same level, and the program may include only the engine's public headers
# (engine/include). A file's module is the folder it is in under engine/.
#   scripts/check_layers.sh [tree]   (default: this repository)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The order, lowest first; modules on one level are siblings.
declare -A level=(
  [include]=0 [platform]=1 [core]=2 [document]=3 [history]=4 [dsp]=5
  [audio]=6 [codec]=6 [view]=7 [settings]=8 [api]=9
)

found=""
fail() { found+="$1"$'\n'; }

# Every quoted include as "file:line:target".
includes() {
  grep -rnoE --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+"' "$@" |
    sed -E 's/#[[:space:]]*include[[:space:]]*"([^"]+)"$/\1/; s/:[[:space:]]*/:/2' || [[ $? == 1 ]]
}

while IFS=: read -r file line target; do
  [[ -n "$file" ]] || continue
  module=${file#engine/}
  module=${module%%/*}
  if [[ -z "${level[$module]+set}" ]]; then
    fail "$file: module '$module' has no place in the order of scripts/check_layers.sh"
    continue
  fi
  if [[ "$target" == engine/*/* ]]; then
    other=${target#engine/}
    other=${other%%/*}
  elif [[ -f "engine/include/$target" ]]; then
    other=include
  elif [[ -f "$(dirname "$file")/$target" ]]; then
    other=$module
  else
    fail "$file:$line: includes \"$target\", which is neither engine/<module>/... nor a public header"
    continue
  fi
  [[ "$other" == "$module" ]] && continue
  if [[ -z "${level[$other]+set}" ]]; then
    fail "$file:$line: includes \"$target\" from '$other', which has no place in the order"
  elif ((level[$other] > level[$module])); then
    fail "$file:$line: includes \"$target\": $module may not include $other, which is above it"
  elif ((level[$other] == level[$module])); then
    fail "$file:$line: includes \"$target\": $module and $other are siblings and may not include each other"
  fi
done < <(includes engine)

while IFS=: read -r file line target; do
  [[ -n "$file" && "$target" == engine/* ]] || continue
  fail "$file:$line: includes \"$target\": the program reaches the engine only through its public headers (engine/include)"
done < <(includes app)

if [[ -n "$found" ]]; then
  printf '%s' "$found"
  echo "check_layers: the order is include, platform, core, document, history, dsp," \
    "audio | codec, view, settings, api (lowest first)" >&2
  exit 1
fi
echo "check_layers: every include points down"
