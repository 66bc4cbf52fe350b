#!/usr/bin/env bash
# Builds the Debian package of the station software into build/: installs what
# is missing (Debian 12, as root), builds the programs without the tests in
# build/deb with Debian's own compiler and linker flags (hardening), and packs
# what their install rules install with cpack. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --packages-only
export DEB_BUILD_MAINT_OPTIONS=hardening=+all

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUVARN_TESTS=OFF "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build/deb -j"$(nproc)"

rm -rf build/deb/cpack
cpack --config build/deb/CPackConfig.cmake -B build/deb/cpack >/dev/null
for deb in build/deb/cpack/*.deb; do
  mv -f "$deb" build/
  echo "build/$(basename "$deb")"
done
