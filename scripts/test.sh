#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build
ctest --output-on-failure -j2 "$@"
