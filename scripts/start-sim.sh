# shellcheck shell=bash
# Sourced by the scripts that run a program on the simulated bench:
#
#   start_simulator BUILD-DIR [SIMULATOR-OPTIONS...]
#
# starts scripts/sim.sh in the background (its output goes to standard error), waits until
# the simulator listens and takes over the environment it prints (LD_LIBRARY_PATH,
# KSM7720_BENCH). The simulator stops when the calling script ends; an EXIT trap the caller
# had still runs after that. Returns 1 when it did not start.
start_simulator() {
  local build=$1 previous
  shift
  # The environment file is sourced, so it lives in a folder only we can write to.
  sim_env_dir=$(mktemp -d "${TMPDIR:-/tmp}/ksm7720-sim-env.XXXXXX")
  "$(dirname "${BASH_SOURCE[0]}")/sim.sh" --build-dir "$build" --env-file "$sim_env_dir/env" \
    ${1+-- "$@"} >&2 &
  sim_pid=$!
  previous=$(trap -p EXIT)
  previous=${previous#"trap -- "}
  previous=${previous%" EXIT"}
  # The caller's trap text is expanded now, on purpose, and runs after ours.
  # shellcheck disable=SC2064
  trap "stop_simulator${previous:+; eval $previous}" EXIT
  for _ in $(seq 100); do
    [ -f "$sim_env_dir/env" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -f "$sim_env_dir/env" ] || return 1
  # shellcheck disable=SC1091
  . "$sim_env_dir/env"
}

# Stops the simulator start_simulator started and removes its folder.
stop_simulator() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -rf "$sim_env_dir"
}
