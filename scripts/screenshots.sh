#!/usr/bin/env bash
# Renders every panel and dialog of the program from the real widgets, offscreen, to
# docs/images/*.png: the histogram panel live on the simulated bench (main-live.png), then
# every window on the emulated instrument. BUILD_DIR chooses the build folder (default:
# build, the default preset's).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target ksm7720-shots ksm7720-sim visa ksm7720_32
shots="$build/tools/screenshots/ksm7720-shots"

# The simulator runs ten hours a second, so the histograms have filled when the panel starts.
env_file=$(mktemp -u /tmp/ksm7720-shots-env.XXXXXX)
scripts/sim.sh --build-dir "$build" --env-file "$env_file" -- --speed 36000 >/dev/null &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$env_file"' EXIT
for _ in $(seq 100); do
  [ -f "$env_file" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
[ -f "$env_file" ] || { echo "screenshots.sh: the simulator did not start" >&2; exit 1; }
sleep 1
(
  # shellcheck disable=SC1090
  . "$env_file"
  QT_QPA_PLATFORM=offscreen "$shots" --live docs/images
)
kill "$sim_pid" 2>/dev/null || true

QT_QPA_PLATFORM=offscreen "$shots" docs/images
