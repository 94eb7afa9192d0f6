#!/usr/bin/env bash
# Builds Trelvo, starts the instrument simulator as COM1 and opens the window.
# The simulator keeps its memory in a file, so what you write to it survives a restart.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target trelvo trelvo-sim

state="${XDG_STATE_HOME:-$HOME/.local/state}/trelvo"
image="$state/instrument.txt"
mkdir -p "$state"
[ -f "$image" ] || build/sim/trelvo-sim --dump "$image"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: there is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  echo "run: start it from a desktop session, or under a virtual display: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi

sim_out="$state/simulator.out"
build/sim/trelvo-sim --image "$image" >"$sim_out" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -s "$sim_out" ] && break
  sleep 0.1
done
device=$(head -n 1 "$sim_out")
[ -n "$device" ] || { echo "run: the simulator did not start; see $sim_out" >&2; exit 1; }
echo "run: simulated instrument on $device as COM1 (memory kept in $image)"

TRELVO_COM1="$device" build/window/trelvo
