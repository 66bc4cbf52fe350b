#!/usr/bin/env bash
# Sets up, builds and runs the whole station on the stand-in: station-sim plays
# the antenna controller (COM3 in station/ports), the demodulator (127.0.0.1:6002)
# and the pass prediction (a new pass every few minutes), and station-console runs
# in operator mode in the folder station/. Arguments go to station-console
# (--service starts it in service mode). Ctrl+C ends both.
# --elements FILE: real predictions instead: track-predict writes the passes of
# the satellites in station/predict.ini from this element file (or folder).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh station-console station-sim track-viewer

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

station="$root/station"
if [ ! -f "$station/tuvarn.ini" ]; then
  mkdir -p "$station"
  cp -r examples/station/. "$station/"
fi
mkdir -p "$station/ports" "$station/track" "$station/data"
export TUVARN_PORT_DIR="$station/ports"

pids=()
cleanup() {
  trap - EXIT INT TERM
  # Console first, so it logs "The end" while the stand-in still answers.
  for ((i=${#pids[@]}-1; i>=0; i--)); do kill -TERM "${pids[$i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 77 99); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
  done
  Xvfb "$display" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY="$display"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  echo "No display: the console runs on the virtual display $DISPLAY."
fi

pass_source=(--track-path "$station/track/Track.txt" --pass-lead 45 --pass-points 40 --pass-every 180)
if [ -n "$elements" ]; then
  # Real predictions: the stand-in plays the hardware only.
  pass_source=()
  [ -f "$station/predict.ini" ] || cp examples/station/predict.ini "$station/"
  build/bin/track-predict --station "$station" --elements "$elements" --list
fi

build/bin/station-sim --port-dir "$TUVARN_PORT_DIR" --port 3 \
  "${pass_source[@]}" --transcript "$station/sim-transcript.jsonl" --no-control &
pids+=($!)
if [ -n "$elements" ]; then
  build/bin/track-predict --station "$station" --elements "$elements" >/dev/null &
  pids+=($!)
fi

(cd "$station" && exec "$root/build/bin/station-console" "${console_args[@]}") &
console=$!
pids+=($console)

echo "Station folder: $station (event log tuvarn.log, data files in data/)."
if [ -n "$elements" ]; then
  echo "track-predict writes each chosen pass ahead of it (station/predict.log). Ctrl+C ends the station."
else
  echo "A pass is written every 3 minutes, the first in about 45 s. Ctrl+C ends the station."
fi
touch "$station/tuvarn.log"
tail -n 0 -F "$station/tuvarn.log" &
pids=("${pids[@]:0:${#pids[@]}}" $!)
wait "$console" || true
