#!/usr/bin/env bash
# Two benches started by scripts/sim.sh on one build folder, and one by start-sim.sh for a
# caller with an EXIT trap of its own. Catches: two simulators sharing (and removing) one
# resolved bench, an environment file left behind for a launcher to read stale, a
# start-sim.sh that replaces the caller's EXIT trap or leaves its folder behind, a bench kept
# with --state that goes with its simulator or takes new ports on a restart, a start that
# complains of a log not yet there.
#   two_benches.sh SIMULATOR STANDIN-DIR
set -euo pipefail
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
work=$(mktemp -d)
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR" "$work/build/sim"
ln -s "$1" "$work/build/sim/ksm7720-sim"
ln -s "$2" "$work/build/standin"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

wait_for() {
  for _ in $(seq 100); do [ -f "$1" ] && return 0; sleep 0.1; done
  fail "no $1"
}
# shellcheck disable=SC1090
bench_of() { (. "$1" && echo "$KSM7720_BENCH"); }

for n in 1 2; do
  "$scripts/sim.sh" --build-dir "$work/build" --env-file "$work/env$n" >/dev/null &
  pids+=($!)
done
wait_for "$work/env1"
wait_for "$work/env2"
one=$(bench_of "$work/env1")
two=$(bench_of "$work/env2")
[ "$one" != "$two" ] || fail "both simulators write $one"
{ [ -f "$one" ] && [ -f "$two" ]; } || fail "a resolved bench is missing"

kill "${pids[0]}"
wait "${pids[0]}" || true
[ ! -e "$work/env1" ] || fail "the stopped bench left its environment file"
[ ! -e "$one" ] || fail "the stopped bench left its resolved bench"
{ [ -f "$two" ] && [ -f "$work/env2" ]; } || fail "stopping one bench removed the other's files"
kill "${pids[1]}"
wait "${pids[1]}" || true

# --state: the bench file outlives its simulator and a restart takes the same ports.
for n in 3 4; do
  "$scripts/sim.sh" --build-dir "$work/build" --state "$work/kept" --env-file "$work/env$n" \
    >/dev/null 2>"$work/err$n" &
  pids+=($!)
  wait_for "$work/env$n"
  [ "$(bench_of "$work/env$n")" = "$work/kept/bench" ] || fail "--state: the bench is not in its folder"
  kept[n]=$(cat "$work/kept/bench")
  kill $!
  wait $! || true
  [ -f "$work/kept/bench" ] || fail "--state: the bench went with its simulator"
  # The one line it says of a build folder given, served as built.
  said=$(grep -v '^sim.sh: serving the simulator built in .* as it is (not rebuilt)$' "$work/err$n" || true)
  [ -z "$said" ] || fail "--state: the start said: $said"
done
[ "${kept[3]}" = "${kept[4]}" ] || fail "--state: the restarted bench took other ports"

bash -c 'trap "echo caller > \"$2/marker\"" EXIT
         . "$1/start-sim.sh"
         start_bench "$2/build" 2>/dev/null
         [ -f "$KSM7720_BENCH" ]' sh "$scripts" "$work" || fail "start-sim.sh did not start a bench"
[ "$(cat "$work/marker" 2>/dev/null)" = caller ] || fail "the caller's EXIT trap did not run"
left=$(ls -A "$TMPDIR")
[ -z "$left" ] || fail "left behind in the temporary folder: $left"
echo "PASS"
