# Sourced by the scripts that run a program on the simulated bench:
#
#   start_simulator BUILD-DIR [SIMULATOR-OPTIONS...]
#
# starts scripts/sim.sh in the background (its output goes to standard error), waits until
# the simulator listens and takes over the environment it prints (LD_LIBRARY_PATH,
# KSM7720_BENCH). The simulator stops when the calling script ends. Returns 1 when it did
# not start.
start_simulator() {
  local build=$1
  shift
  sim_env_file=$(mktemp -u /tmp/ksm7720-sim-env.XXXXXX)
  "$(dirname "${BASH_SOURCE[0]}")/sim.sh" --build-dir "$build" --env-file "$sim_env_file" \
    ${1+-- "$@"} >&2 &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$sim_env_file"' EXIT
  for _ in $(seq 100); do
    [ -f "$sim_env_file" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -f "$sim_env_file" ] || return 1
  # shellcheck disable=SC1090
  . "$sim_env_file"
}
