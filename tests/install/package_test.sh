#!/usr/bin/env bash
# The Debian package, unpacked into a scratch root: it declares its
# dependencies, holds the freedesktop files, and the program in it starts,
# loads its own engine and opens its own help pages. Then the single-instance
# tests run against that installed copy.
#   package_test.sh <build dir>
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack could not make the package"; }
deb=$(ls "$scratch"/package/korvel_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libportaudio2 libasound2 libsqlite3-0 libmpg123-0 libmp3lame0 libqt6svg6; do
  [[ "$depends" == *"$needed"* ]] || fail "the package does not depend on $needed: $depends"
done

root="$scratch/root"
dpkg -x "$deb" "$root"
for file in usr/bin/korvel usr/bin/korvel-cli usr/share/man/man1/korvel-cli.1 \
  usr/lib/korvel/libkorvel.so.1 usr/share/applications/korvel.desktop \
  usr/share/icons/hicolor/scalable/apps/korvel.svg usr/share/korvel/help/contents.html \
  usr/share/korvel/help/topic-1.html usr/share/korvel/help/topic-24.html \
  usr/share/korvel/help/topic-25.html usr/share/korvel/demo.wav; do
  [[ -e "$root/$file" ]] || fail "the package lacks $file"
done
grep -q '^MimeType=.*audio/x-wav.*audio/mpeg' "$root/usr/share/applications/korvel.desktop" ||
  fail "the desktop entry does not claim WAVE and MP3"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/korvel.desktop"
fi

program="$root/usr/bin/korvel"
engine=$(ldd "$program" | awk '/libkorvel/ {print $3}')
engine=$(realpath -m "$engine")
[[ "$engine" == "$root/usr/lib/korvel/"* ]] || fail "the program loads its engine from '$engine'"
engine=$(realpath -m "$(ldd "$root/usr/bin/korvel-cli" | awk '/libkorvel/ {print $3}')")
[[ "$engine" == "$root/usr/lib/korvel/"* ]] || fail "korvel-cli loads its engine from '$engine'"
grep -q 'korvel\\-cli apply' "$root/usr/share/man/man1/korvel-cli.1" ||
  fail "the manual page does not describe korvel-cli apply"

# Start the installed program on its demo sound, open Help Topics, and quit
# after a screenshot. Without a desktop the platform reports the page it was
# asked to open; that page must be the installed contents page.
home="$scratch/home"
mkdir -p "$home/config" "$home/tmp" "$home/runtime"
chmod 700 "$home/runtime"
export QT_QPA_PLATFORM=offscreen KORVEL_CONFIG_HOME="$home/config" KORVEL_TMPDIR="$home/tmp" \
  XDG_RUNTIME_DIR="$home/runtime"
KORVEL_SCREENSHOT="$scratch/started.png" KORVEL_SCREENSHOT_DELAY_MS=3000 \
  KORVEL_SCREENSHOT_COMMANDS=mnuHelpTopics \
  timeout 60 "$program" "$root/usr/share/korvel/demo.wav" 2>"$scratch/program.log" ||
  { cat "$scratch/program.log" >&2; fail "the installed program did not run"; }
[[ -s "$scratch/started.png" ]] || fail "the installed program showed no window"
grep -q "file://$root/usr/share/korvel/help/contents.html" "$scratch/program.log" ||
  { cat "$scratch/program.log" >&2; fail "Help Topics did not open the installed contents page"; }

KORVEL_PROGRAM="$program" "$build/bin/shell_tests" --gtest_filter='SingleInstance.*'
echo "package test passed: $deb"
