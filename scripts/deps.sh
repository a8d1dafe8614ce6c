#!/usr/bin/env bash
# Installs the Debian packages Korvel needs to build, test and run.
# Packages already present are skipped; apt-get update runs once, and only
# when something is missing. The list below is the only place they are named.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6svg6 libsqlite3-dev
  portaudio19-dev libasound2-dev
  libmpg123-dev libmp3lame-dev libebur128-dev libsndfile1-dev
  libgtest-dev libgmock-dev
  xvfb xauth sox lame mpg123 flac opus-tools
  clang-14 libclang-rt-14-dev clang-format-14
  file dpkg-dev desktop-file-utils
)

missing=()
for package in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
