#!/usr/bin/env bash
# Renders every panel and dialog of the program from the real widgets, offscreen and on
# the emulated instrument, to docs/images/*.png. BUILD_DIR chooses the build folder
# (default: build, the default preset's).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target ksm7720-shots
QT_QPA_PLATFORM=offscreen "$build/tools/screenshots/ksm7720-shots" docs/images
