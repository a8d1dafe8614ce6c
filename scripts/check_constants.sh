#!/usr/bin/env bash
# Fails when an edit, message, zoom or playback number is written as a bare
# number where the engine is asked for it. The numbers are the C API's
# contract and korvel.h names each once; a literal elsewhere hides which
# edit or message is meant and survives a typo.
#   scripts/check_constants.sh [tree]   (default: this repository)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The first argument: anything up to a comma, one level of parentheses allowed.
first='([^,()]|\([^()]*\))*'
number='[[:space:]]*-?[0-9]+[[:space:]]*'
patterns=(
  "\\b(kvDoEdit|kvPreviewStart|kvEffectStart)\\(${first},${number}[,)]"
  "\\b(kvSendMessage|kvPostMessage|kvRemovePostedMessages|kvTestSend)\\(${first},${number}[,)]"
  "\\b(kvPlay|kvZoomSpecial)\\(${first},${number}\\)"
  "->Init\\((true|false),${number}[,)]"
)

found=""
for pattern in "${patterns[@]}"; do
  # grep's status 1 means no match; 2 (a bad pattern or folder) fails the check.
  matches=$(grep -rnE --include='*.cpp' --include='*.h' -e "$pattern" engine app tests bench ||
    [[ $? == 1 ]])
  hits=$(grep -v '^engine/include/korvel\.h:' <<<"$matches" || true)
  [[ -z "$hits" ]] || found+="$hits"$'\n'
done

if [[ -n "$found" ]]; then
  printf '%s' "$found"
  echo "check_constants: use the KV_EDIT_, KV_MSG_, KV_ZOOM_ and KV_PLAY_ names of" \
    "engine/include/korvel.h instead of the numbers above." >&2
  exit 1
fi
echo "check_constants: no bare protocol numbers"
