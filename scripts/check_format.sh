#!/usr/bin/env bash
# Fails when a C++ source or header under engine, app, tests or bench is not
# laid out as .clang-format says; prints the places. Fix with clang-format -i.
# The tree is kept formatted by clang-format 14: the versioned binary is
# preferred, as another version may lay the same code out differently.
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=""
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null; then
    formatter=$candidate
    break
  fi
done
if [[ -z "$formatter" ]]; then
  echo "check_format: neither clang-format-14 nor clang-format is installed;" \
    "run scripts/deps.sh." >&2
  exit 1
fi

find engine app tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 "$formatter" --dry-run -Werror
echo "check_format: every file is formatted ($formatter)"
