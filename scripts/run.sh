#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated bench and then the panel on it.
# Arguments go to the panel's command line (for example: scripts/run.sh -n). Closing the
# panel stops the simulator. With SFP_NO_SIM=1 the panel starts alone (emulated); with
# SFP_FACTORY=1 the simulated mainframe starts from its factory settings.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
scripts/build.sh default

sim_pid=""
if [ "${SFP_NO_SIM:-0}" != "1" ]; then
  env_file=$(mktemp -u /tmp/ksm7720-sim-env.XXXXXX)
  factory=()
  [ "${SFP_FACTORY:-0}" = "1" ] && factory=(-- --factory)
  scripts/sim.sh --build-dir build --env-file "$env_file" ${factory[@]+"${factory[@]}"} &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$env_file"' EXIT
  for _ in $(seq 100); do
    [ -f "$env_file" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -f "$env_file" ]; then
    # shellcheck disable=SC1090
    . "$env_file"
  else
    echo "run.sh: the simulator did not start; the panel comes up emulated" >&2
  fi
fi
build/src/app/ksm7720-sfp "$@"
