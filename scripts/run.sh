#!/usr/bin/env bash
# Installs what is missing, builds what it runs (the panel, the simulator and the stand-in
# libraries, not the tests and benchmarks), starts the simulated bench and then the panel on
# it. Arguments go to the panel's command line (for example: scripts/run.sh -n). Closing the
# panel stops the simulator. With SFP_NO_SIM=1 the panel starts alone (emulated); with
# SFP_FACTORY=1 the simulated mainframe starts from its factory settings.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target ksm7720-sfp ksm7720-sim visa ksm7720_32

if [ "${SFP_NO_SIM:-0}" != "1" ]; then
  . scripts/start-sim.sh
  factory=()
  [ "${SFP_FACTORY:-0}" = "1" ] && factory=(--factory)
  start_bench build ${factory[@]+-- "${factory[@]}"} ||
    echo "run.sh: the simulator did not start; the panel comes up emulated" >&2
fi
build/src/app/ksm7720-sfp "$@"
