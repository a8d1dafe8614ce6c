#!/usr/bin/env bash
# Installs dependencies, builds Korvel and starts the editor on the demo sound.
# Without a display the editor runs under Xvfb for a few seconds and a
# screenshot of it is left in build/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh

program=build/bin/korvel
demo=assets/demo.wav
args=()
[[ -f "$demo" ]] && args=("$demo")

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec "$program" "${args[@]}"
fi

echo "No display found: starting Korvel under Xvfb to take a screenshot."
screenshot="$PWD/build/screenshot.png"
rm -f "$screenshot"
KORVEL_SCREENSHOT="$screenshot" KORVEL_SCREENSHOT_DELAY_MS=1500 \
  xvfb-run -a -s "-screen 0 1280x800x24" "$program" "${args[@]}"
if [[ -f "$screenshot" ]]; then
  echo "Screenshot saved to build/screenshot.png"
else
  echo "No screenshot was taken." >&2
  exit 1
fi
