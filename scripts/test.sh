#!/usr/bin/env bash
# Sets up, builds and runs the test suite through CTest (everything but the
# soak, which .ci/run runs, and the long tests). A failed test fails the run: nothing is run again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build
# Twice as many tests as cores: the process tests mostly wait on real time
# (each in a network namespace of its own where the system gives one).
# The long process tests (ctest -L long, over half an hour) are run by hand.
exec ctest --output-on-failure -j"$(( $(nproc) * 2 ))" -LE long "$@"
