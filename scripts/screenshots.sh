#!/usr/bin/env bash
# Retakes the pictures in docs/images that show the editor and its dialogs,
# by starting the built program under Xvfb on the demo sound with private
# settings and the test sound card (so the recording window has an input).
#   scripts/screenshots.sh     (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

program=$PWD/build/bin/korvel
demo=$PWD/assets/demo.wav
images=$PWD/docs/images
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config" "$scratch/tmp" "$scratch/runtime"
chmod 700 "$scratch/runtime"
sox "$demo" -t raw -e signed -b 16 -c 2 -r 44100 "$scratch/input.raw"
export KORVEL_CONFIG_HOME="$scratch/config" KORVEL_TMPDIR="$scratch/tmp" \
  XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=xcb \
  ALSA_CONFIG_PATH="$PWD/build/testaudio/asound.conf" ALSA_PLUGIN_DIR="$PWD/build/testaudio" \
  KV_TEST_AUDIO_IN="$scratch/input.raw" KV_TEST_AUDIO_OUT="$scratch/output.raw"

# shot <picture> <menu commands, comma-separated>
shot() {
  KORVEL_SCREENSHOT="$scratch/shot.png" KORVEL_SCREENSHOT_DELAY_MS=4000 \
    KORVEL_SCREENSHOT_COMMANDS="$2" \
    xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$demo" >/dev/null 2>&1 || true
  if [[ -s "$scratch/shot.png" ]]; then
    mv "$scratch/shot.png" "$images/$1"
    echo "docs/images/$1"
  else
    echo "no picture for $1" >&2
    return 1
  fi
}

shot first-run.png ""  >/dev/null # the first start opens Getting Started
shot korvel.png "" # a file opens fitted to the window
shot volume-dialog.png "mnuVolume"
shot record-window.png "mnuPlayback(11)"
shot eq-dialog.png "mnuEQ"
shot reverb-dialog.png "mnuReverb"
shot compressor-dialog.png "mnuComp"
shot options-dialog.png "mnuOptions"
shot loudness-dialog.png "mnuLoudnessNormalize"
shot noise-reduction-dialog.png "mnuNoiseReduction"
shot loudness-analysis.png "mnuLoudnessMeter"
shot spectrogram.png "mnuDisplay(1)"
rm -f "$images/first-run.png"
# The view alone: the demo's quiet ending magnified eight times.
"$PWD/build/bin/view_bench" --quiet-picture "$images/vertical-zoom.png" "$demo"
