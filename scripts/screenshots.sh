#!/usr/bin/env bash
# Renders every panel and dialog of the program from the real widgets, offscreen, to
# docs/images/*.png: every window on the emulated instrument, then the histogram panel live
# on the simulated bench (main-live.png). BUILD_DIR chooses the build folder (default:
# build, the default preset's).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target ksm7720-shots ksm7720-sim visa ksm7720_32
shots="$build/tools/screenshots/ksm7720-shots"

# The emulated windows first; then the live panel, on a simulator that runs ten hours a
# second, so the histograms have filled when the panel starts.
QT_QPA_PLATFORM=offscreen "$shots" docs/images
. scripts/start-sim.sh
start_bench "$build" -- --speed 36000 2>/dev/null ||
  { echo "screenshots.sh: the simulator did not start" >&2; exit 1; }
sleep 1
QT_QPA_PLATFORM=offscreen "$shots" --live docs/images
