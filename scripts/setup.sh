#!/usr/bin/env bash
# Installs what the build needs (Debian 12, as root) when it is missing, then
# configures and builds into build/ (everything, or the targets named as
# arguments). Safe to run again: a second run only rebuilds what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libeigen3-dev xvfb xauth
          dpkg-dev lintian man-db desktop-file-utils
          python3-skyfield python3-sgp4 python3-unidecode)
packages+=(python3 util-linux iproute2)  # scripts/soak.py, process tests (unshare, mount, ip)
packages+=(libpng-dev libjs-dygraphs)  # track-report: its PNG writer, the pages' charts
scripts/ensure-packages.sh "${packages[@]}"

# --packages-only: the packages above and nothing else (scripts/package.sh).
[ "${1:-}" = "--packages-only" ] && exit 0

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
