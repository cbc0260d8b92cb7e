#!/usr/bin/env bash
# Builds the libFuzzer targets of the simulated bench with clang and runs each for a bounded
# time, starting from the nasty inputs kept in tests/sim/corpus:
#
#   scripts/fuzz.sh [SECONDS-PER-TARGET]      (default 60)
#
# Targets: fuzz_scpi (SCPI lines through the parser, a mainframe and the driver's reply
# parser), fuzz_bench (bench files), fuzz_visa_names (search expressions, resource names).
# Findings land in build-fuzz/findings/; add the small ones to tests/sim/corpus so the
# replay test keeps them fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out="$root/build-fuzz"
mkdir -p "$out/obj" "$out/findings"
command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is needed" >&2; exit 1; }

flags=(-std=c++20 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -I"$root/sim")
sources=("$root"/sim/common/*.cpp "$root"/sim/driver/ReplyParser.cpp "$root"/sim/fuzz/FuzzTargets.cpp)
for s in "$root"/sim/server/*.cpp; do
  [ "$(basename "$s")" = main.cpp ] || sources+=("$s")
done
objects=()
for s in "${sources[@]}"; do
  o="$out/obj/$(basename "${s%.cpp}").o"
  clang++ "${flags[@]}" -c "$s" -o "$o"
  objects+=("$o")
done

run() { # target corpus-folder...
  local target=$1; shift
  clang++ "${flags[@]}" -fsanitize=fuzzer "$root/sim/fuzz/$target.cpp" "${objects[@]}" -o "$out/$target"
  local work="$out/corpus-$target"
  mkdir -p "$work"
  echo "== $target for ${seconds}s"
  "$out/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -artifact_prefix="$out/findings/$target-" "$work" "$@"
}
run FuzzScpi "$root/tests/sim/corpus/scpi"
run FuzzBench "$root/tests/sim/corpus/bench"
run FuzzVisaNames "$root/tests/sim/corpus/scpi"
