#!/usr/bin/env bash
# Starts the simulated bench and prints the environment a program needs to reach it:
#
#   scripts/sim.sh [--build-dir DIR] [--bench FILE] [--env-file FILE] [-- SIMULATOR-OPTIONS]
#
# DIR defaults to build/ and FILE to sim/default.bench. Once the simulator listens, the two
# variables are printed and, with --env-file, written to FILE as "export" lines for a shell
# to source (the file appears only when the simulator is ready, and is removed when it
# stops). The script stays in the foreground until Ctrl+C or SIGTERM, and stops the
# simulator when it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
bench="$root/sim/default.bench"
env_file=""
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=$(cd "$2" && pwd); shift 2 ;;
    --bench) bench="$2"; shift 2 ;;
    --env-file) env_file="$2"; shift 2 ;;
    --) shift; extra=("$@"); break ;;
    *) echo "usage: $0 [--build-dir DIR] [--bench FILE] [--env-file FILE] [-- OPTIONS]" >&2; exit 2 ;;
  esac
done

if [ -f "$build/build.ninja" ]; then
  cmake --build "$build" --target ksm7720-sim visa ksm7720_32 >/dev/null
fi
sim="$build/sim/ksm7720-sim"
if [ ! -x "$sim" ] || [ ! -e "$build/standin/libvisa.so" ]; then
  echo "sim.sh: no simulator in $build; build first (scripts/build.sh)" >&2
  exit 1
fi

# The resolved bench and the log live in a folder made for this run, so simulators on one
# build folder (or on two) never write or remove each other's files. The state folder is
# shared; only the simulator that took a state file first saves to it.
state="$build/sim-state"
mkdir -p "$state"
run_dir=$(mktemp -d "${TMPDIR:-/tmp}/ksm7720-sim.XXXXXX")
resolved="$run_dir/bench.resolved"
log="$run_dir/log"
# A launcher waiting for the environment file must never find one from an earlier run.
[ -n "$env_file" ] && rm -f "$env_file"
env_written=""
cleanup() {
  [ -n "${pid:-}" ] && { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
  [ -n "$env_written" ] && rm -f "$env_file"
  rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# Its standard error (a damaged state file, a save that failed) stays the script's.
"$sim" --bench "$bench" --resolved "$resolved" --state-dir "$state" ${extra[@]+"${extra[@]}"} >"$log" &
pid=$!

for _ in $(seq 100); do
  grep -q '^ksm7720-sim: listening' "$log" && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '^ksm7720-sim: listening' "$log"; then
  echo "sim.sh: the simulator did not start" >&2
  exit 1
fi
cat "$log"

env_text=$(printf 'export LD_LIBRARY_PATH=%q${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}\nexport KSM7720_BENCH=%q\n' \
  "$build/standin" "$resolved")
echo "$env_text"
if [ -n "$env_file" ]; then
  env_tmp=$(mktemp "$env_file.XXXXXX")
  echo "$env_text" >"$env_tmp"
  mv "$env_tmp" "$env_file"
  env_written=1
fi
wait "$pid"
