#!/usr/bin/env bash
# Sets up, builds and runs the whole station on the stand-in: station-sim plays
# the antenna controller (COM3 in station/ports), the demodulator (127.0.0.1:6002)
# and the pass prediction (a new pass every few minutes), and station-console runs
# in operator mode in the folder station/. Arguments go to station-console
# (--service starts it in service mode). Ctrl+C ends the console first (it
# writes "The end" to its log), then the stand-in and the virtual display.
# --elements FILE: real predictions instead: track-predict writes the passes of
# the satellites in station/predict.ini from this element file (or folder).
# For tests: TUVARN_BIN names a folder of programs already built (no set-up),
# TUVARN_STATION another station folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin="${TUVARN_BIN:-}"
if [ -z "$bin" ]; then
  scripts/setup.sh station-console station-sim track-viewer
  bin="$root/build/bin"
fi

console_args=()
elements=""
while [ $# -gt 0 ]; do
  case "$1" in
    --service) console_args+=(qzx) ;;
    --elements)
      [ $# -ge 2 ] || { echo "--elements wants a file or folder" >&2; exit 2; }
      elements=$(realpath "$2"); shift ;;
    *) console_args+=("$1") ;;
  esac
  shift
done

station="${TUVARN_STATION:-$root/station}"
if [ ! -f "$station/tuvarn.ini" ]; then
  mkdir -p "$station"
  cp -r examples/station/. "$station/"
fi
mkdir -p "$station/ports" "$station/track" "$station/data"
export TUVARN_PORT_DIR="$station/ports"

console="" sim="" xvfb="" follow="" predict=""
cleanup() {
  trap - EXIT INT TERM
  # The console first, and waited for: it still needs its display and logs
  # "The end" on the way out.
  if [ -n "$console" ]; then
    kill -TERM "$console" 2>/dev/null || true
    wait "$console" 2>/dev/null || true
  fi
  for pid in $follow $predict $sim $xvfb; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM

# The helpers run in sessions of their own, so that Ctrl+C on the terminal
# reaches only this script and the console, and the order above holds.
if [ -z "${DISPLAY:-}" ]; then
  display=""
  for n in $(seq 77 99); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
  done
  if [ -z "$display" ]; then
    echo "No free display number (:77 to :99) for the virtual display; set DISPLAY or free one." >&2
    exit 1
  fi
  setsid Xvfb "$display" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -e "/tmp/.X11-unix/X${display#:}" ]; then
    echo "The virtual display $display did not start." >&2
    exit 1
  fi
  export DISPLAY="$display"
  echo "No display: the console runs on the virtual display $DISPLAY."
fi

pass_source=(--track-path "$station/track/Track.txt" --pass-lead 45 --pass-points 40 --pass-every 180)
if [ -n "$elements" ]; then
  # Real predictions: the stand-in plays the hardware only.
  pass_source=()
  [ -f "$station/predict.ini" ] || cp examples/station/predict.ini "$station/"
  "$bin/track-predict" --station "$station" --elements "$elements" --list
fi

# The stand-in says "ready ..." on stdout once its port and demodulator are
# up; its errors go to stderr (the terminal).
sim_out="$station/station-sim.out"
: > "$sim_out"
setsid "$bin/station-sim" --port-dir "$TUVARN_PORT_DIR" --port 3 \
  "${pass_source[@]}" --transcript "$station/sim-transcript.jsonl" --no-control > "$sim_out" &
sim=$!
for _ in $(seq 100); do
  grep -q '^ready ' "$sim_out" && break
  if ! kill -0 "$sim" 2>/dev/null; then
    rc=0
    wait "$sim" || rc=$?
    sim=""
    echo "station-sim failed (exit code $rc): the station is not started." >&2
    exit 1
  fi
  sleep 0.1
done
if ! grep -q '^ready ' "$sim_out"; then
  echo "station-sim did not get ready within 10 s: the station is not started." >&2
  exit 1
fi
if [ -n "$elements" ]; then
  setsid "$bin/track-predict" --station "$station" --elements "$elements" >/dev/null &
  predict=$!
fi

(cd "$station" && exec "$bin/station-console" "${console_args[@]}") &
console=$!

echo "Station folder: $station (event log tuvarn.log, data files in data/)."
if [ -n "$elements" ]; then
  echo "track-predict writes each chosen pass ahead of it (station/predict.log). Ctrl+C ends the station."
else
  echo "A pass is written every 3 minutes, the first in about 45 s. Ctrl+C ends the station."
fi
touch "$station/tuvarn.log"
tail -n 0 -F "$station/tuvarn.log" &
follow=$!
rc=0
wait "$console" || rc=$?
console=""
exit "$rc"
