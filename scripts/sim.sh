#!/usr/bin/env bash
# Starts the simulated bench and prints the environment a program needs to reach it:
#
#   scripts/sim.sh [--build-dir DIR] [--bench FILE] [--state DIR] [--env-file FILE]
#                  [-- SIMULATOR-OPTIONS]
#
# DIR defaults to build/, which is brought up to date first; a DIR given is served as it is
# built (it may be read-only, such as an installed or shared build) and built only when it
# lacks the simulator. FILE defaults to sim/default.bench. Once the simulator listens, the two
# variables are printed and, with --env-file, written to FILE as "export" lines for a shell
# to source (the file appears only when the simulator is ready, and is removed when it
# stops). The script stays in the foreground until Ctrl+C or SIGTERM, and stops the
# simulator when it ends.
#
# With --state DIR the saved settings and the resolved bench live in DIR and outlive the
# run: DIR/bench keeps the ports of the last run, and the next run on DIR takes the same
# ports again when they are free, so a program pointed at DIR/bench lives through a restart
# of the simulator. One simulator at a time uses a DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
build_given=""
bench="$root/sim/default.bench"
keep=""
env_file=""
extra=()
usage() {
  echo "usage: $0 [--build-dir DIR] [--bench FILE] [--state DIR] [--env-file FILE] [-- OPTIONS]" >&"$1"
}
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=$(cd "$2" && pwd); build_given=1; shift 2 ;;
    --bench) bench="$2"; shift 2 ;;
    --state) mkdir -p "$2"; keep=$(cd "$2" && pwd); shift 2 ;;
    --env-file) env_file="$2"; shift 2 ;;
    -h | --help) usage 1; exit 0 ;;
    --) shift; extra=("$@"); break ;;
    *) usage 2; exit 2 ;;
  esac
done

sim="$build/sim/ksm7720-sim"
built=""
[ -x "$sim" ] && [ -e "$build/standin/libvisa.so" ] && built=1
if [ -n "$build_given" ] && [ -n "$built" ]; then
  echo "sim.sh: serving the simulator built in $build as it is (not rebuilt)" >&2
elif [ -f "$build/build.ninja" ]; then
  cmake --build "$build" --target ksm7720-sim visa ksm7720_32 >/dev/null
fi
if [ ! -x "$sim" ] || [ ! -e "$build/standin/libvisa.so" ]; then
  echo "sim.sh: no simulator in $build; build first (scripts/build.sh)" >&2
  exit 1
fi

# The simulator's own resolved bench and its log live in a folder made for this run, so
# simulators on one build folder (or on two) never write or remove each other's files.
# The default state folder is shared; only the simulator that took a state file first
# saves to it.
state=${keep:-"$build/sim-state"}
if [ -z "$keep" ] && ! { mkdir -p "$state" && [ -w "$state" ]; } 2>/dev/null; then
  state="${TMPDIR:-/tmp}/ksm7720-sim-state.$(id -u)"
  echo "sim.sh: $build is read-only; the saved settings go to $state" >&2
fi
mkdir -p "$state"
if [ -n "$keep" ]; then
  exec {lock}>"$keep/sim.lock"
  flock -n "$lock" || { echo "sim.sh: another simulator runs on $keep" >&2; exit 1; }
fi
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

# shellcheck source=scripts/start-sim.sh
. "$root/scripts/start-sim.sh"
# Starts the simulator on a bench file and waits until it listens; 1 when it did not.
start() {
  local status=0
  launch_simulator "$sim" "$1" "$resolved" "$log" --state-dir "$state" ${extra[@]+"${extra[@]}"} ||
    status=1
  pid=$launched_pid
  return "$status"
}

program_bench=$resolved
if [ -n "$keep" ]; then
  program_bench="$keep/bench"
  # The last run's ports, while the bench it came from is unchanged; new ones when they are
  # taken now.
  started=""
  if [ -f "$keep/bench" ] && cmp -s "$bench" "$keep/bench.source"; then
    start "$keep/bench" 2>/dev/null && started=1
  fi
  [ -n "$started" ] || start "$bench" || { echo "sim.sh: the simulator did not start" >&2; exit 1; }
  cp "$bench" "$keep/bench.source.tmp" && mv "$keep/bench.source.tmp" "$keep/bench.source"
  cp "$resolved" "$keep/bench.tmp" && mv "$keep/bench.tmp" "$keep/bench"
elif ! start "$bench"; then
  echo "sim.sh: the simulator did not start" >&2
  exit 1
fi
sed "s|KSM7720_BENCH=.*|KSM7720_BENCH=$program_bench|" "$log"

env_text=$(printf 'export LD_LIBRARY_PATH=%q${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}\nexport KSM7720_BENCH=%q\n' \
  "$build/standin" "$program_bench")
echo "$env_text"
if [ -n "$env_file" ]; then
  env_tmp=$(mktemp "$env_file.XXXXXX")
  echo "$env_text" >"$env_tmp"
  mv "$env_tmp" "$env_file"
  env_written=1
fi
wait "$pid"
