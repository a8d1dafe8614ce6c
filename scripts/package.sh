#!/usr/bin/env bash
# Installs dependencies, builds Korvel and makes its Debian package in
# build/package/ (korvel_<version>_<arch>.deb). Install it with
#   sudo apt-get install ./build/package/korvel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh
cpack --config build/CPackConfig.cmake -B build/package
ls -1 build/package/*.deb
