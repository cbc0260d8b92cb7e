# shellcheck shell=bash
# The one place a shell script starts the simulator, sourced by the scripts that need it:
#
#   launch_simulator SIMULATOR BENCH RESOLVED LOG [SIMULATOR-OPTIONS...]
#       starts SIMULATOR on BENCH in the background and waits until it listens (scripts/sim.sh
#       and the end-to-end tests); and on top of sim.sh, for a program to run on the bench:
#   start_bench BUILD-DIR [SIM.SH-OPTIONS...] [-- SIMULATOR-OPTIONS...]
#       starts scripts/sim.sh in the background (its output goes to standard error), waits
#       until the simulator listens and takes over the environment it prints
#       (LD_LIBRARY_PATH, KSM7720_BENCH). The simulator stops when the calling script ends;
#       an EXIT trap the caller had still runs after that. Returns 1 when it did not start.

# The resolved bench goes to RESOLVED and the simulator's standard output to LOG; its
# standard error stays the caller's. Its process id goes in launched_pid. Returns 1 when it
# ended, or did not listen within 10 s.
launch_simulator() {
  local program=$1 bench=$2 resolved=$3 log=$4
  shift 4
  : >"$log" # there before the first look at it
  "$program" --bench "$bench" --resolved "$resolved" "$@" >"$log" &
  launched_pid=$!
  for _ in $(seq 100); do
    grep -q '^ksm7720-sim: listening' "$log" && return 0
    kill -0 "$launched_pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q '^ksm7720-sim: listening' "$log"
}

start_bench() {
  local build=$1 previous
  shift
  # The environment file is sourced, so it lives in a folder only we can write to.
  bench_env_dir=$(mktemp -d "${TMPDIR:-/tmp}/ksm7720-sim-env.XXXXXX")
  "$(dirname "${BASH_SOURCE[0]}")/sim.sh" --build-dir "$build" --env-file "$bench_env_dir/env" \
    "$@" >&2 &
  bench_pid=$!
  previous=$(trap -p EXIT)
  previous=${previous#"trap -- "}
  previous=${previous%" EXIT"}
  # The caller's trap text is expanded now, on purpose, and runs after ours.
  # shellcheck disable=SC2064
  trap "stop_bench${previous:+; eval $previous}" EXIT
  for _ in $(seq 100); do
    [ -f "$bench_env_dir/env" ] && break
    kill -0 "$bench_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -f "$bench_env_dir/env" ] || return 1
  # shellcheck disable=SC1091
  . "$bench_env_dir/env"
}

# Stops the bench start_bench started and removes its folder.
stop_bench() {
  kill "$bench_pid" 2>/dev/null || true
  wait "$bench_pid" 2>/dev/null || true
  rm -rf "$bench_env_dir"
}
