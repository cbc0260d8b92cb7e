#!/usr/bin/env bash
# The style gate of CI: every C and C++ file as .clang-format lays it out, and clang-tidy's
# bug-finding checks clean on the core, the metrics and the exporter.
#   scripts/check-style.sh [BUILD_DIR]   BUILD_DIR holds compile_commands.json (build-nogui)
# Exits 1 naming what drifts or what clang-tidy found.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-nogui}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "check-style.sh: no $build/compile_commands.json: configure a build first" >&2
  exit 2
fi

git ls-files -z -- '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

# The .clang-tidy file's wider set guides the editor; CI holds the code to the checks that
# find faults, where a warning is worth a change every time.
checks='-*,bugprone-*,clang-analyzer-*,performance-*,-bugprone-easily-swappable-parameters'
config="{Checks: '$checks', WarningsAsErrors: '*', HeaderFilterRegex: '(src|sim)/.*'}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
run-clang-tidy -quiet -p "$build" -config="$config" \
  '/src/(core|metrics|exporter)/[^/]*\.cpp$' >"$log" 2>&1 || status=$?
findings=$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E 'warning:|error:' | sort -u || true)
if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
  echo "${findings:-$(tail -20 "$log")}" >&2
  exit 1
fi
echo "check-style.sh: clang-format and clang-tidy clean"
