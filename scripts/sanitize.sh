#!/usr/bin/env bash
# Builds the widget-free cores, the unit tests and the libFuzzer targets with
# AddressSanitizer and UndefinedBehaviorSanitizer (clang) into build-asan/,
# runs the unit tests there, then every fuzz target for a while (the element
# files of track-predict through tests/fuzz/fuzz_elements.py). Fails on a
# failed test or on any fuzzer finding (crash, sanitizer report, leak,
# timeout, out of memory). Installs clang and libFuzzer when missing.
#
#   scripts/sanitize.sh                 # 30 s per fuzz target
#   FUZZ_SECONDS=300 scripts/sanitize.sh
#   scripts/sanitize.sh --no-unit       # fuzz targets only
#
# Findings are kept in build-asan/fuzz/artifacts/; inputs a run found
# interesting in build-asan/fuzz/work/<target>/ (not in the source tree).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-30}"
run_unit=1
[ "${1:-}" = "--no-unit" ] && run_unit=0

packages=(cmake make clang-14 libfuzzer-14-dev libclang-rt-14-dev llvm-14
          qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev)
scripts/ensure-packages.sh "${packages[@]}"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O1 with line tables: quick to build, fast enough to fuzz, stacks readable.
cmake -S . -B build-asan -DTUVARN_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
  "${launcher[@]}" >/dev/null

# Only what runs here: the unit tests built from our sources (a unit test that
# is a script has nothing to instrument) and the fuzz targets; no GUI or e2e.
mapfile -t known < <(cmake --build build-asan --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
units=()
while read -r t; do
  if printf '%s\n' "${known[@]}" | grep -qx -- "$t"; then units+=("$t"); fi
done < <(cd build-asan && ctest -N -L unit | sed -n 's/^ *Test *#[0-9]*: *//p')
targets=(--target fuzz-targets)
if [ "$run_unit" = 1 ]; then
  for t in "${units[@]}"; do targets+=(--target "$t"); done
fi
cmake --build build-asan -j"$(nproc)" "${targets[@]}"

# Qt is not instrumented. ASan still sees its heap (every malloc goes through
# ASan), so leaks are checked, with Qt's own offscreen-screen leak suppressed
# (scripts/lsan.supp). Container-overflow checks need every part instrumented
# (Qt containers are inlined both sides), so they are off.
symbolizer="$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)"
export ASAN_OPTIONS="detect_leaks=1:detect_container_overflow=0:strict_string_checks=1:detect_stack_use_after_return=1${symbolizer:+:external_symbolizer_path=$symbolizer}"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

status=0
if [ "$run_unit" = 1 ]; then
  only="^($(IFS='|'; echo "${units[*]}"))\$"
  (cd build-asan && ctest --output-on-failure -j"$(nproc)" -L unit -R "$only") || status=1
fi

# One fuzz target for $seconds; prints one line and fails on a finding.
fuzz_one() {
  local bin="$1" name short work log execs d
  name="$(basename "$bin")"
  short="${name#fuzz_}"
  work="build-asan/fuzz/work/$short"
  log="build-asan/fuzz/$name.log"
  mkdir -p "$work"
  local seeds=()
  for d in "tests/fuzz/corpus/$short" "tests/fuzz/corpus/$name"; do
    [ -d "$d" ] && seeds+=("$d")
  done
  if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="build-asan/fuzz/artifacts/$name-" "$work" "${seeds[@]}" >"$log" 2>&1; then
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    echo "$name: ${execs:-?} runs in ${seconds} s, no finding"
  else
    echo "$name: FINDING (see $log and build-asan/fuzz/artifacts/)"
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
    return 1
  fi
}

# As many targets at once as there are cores.
mkdir -p build-asan/fuzz/artifacts build-asan/fuzz/work
jobs_max="$(nproc)"
pids=()
for bin in build-asan/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do
    sleep 1
  done
  fuzz_one "$bin" &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done

# track-predict's element-file reader is Python: its own mutating fuzzer, same budget.
/usr/bin/python3 tests/fuzz/fuzz_elements.py --seconds "$seconds" \
  --artifacts build-asan/fuzz/artifacts || status=1
exit $status
