#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh             the ordinary build
#   scripts/test.sh --sanitize  the same suite under AddressSanitizer and UBSan
#   scripts/test.sh --nogui     the build without the panel (no Qt): the core, ksm7720, the
#                               simulated bench and their tests
set -euo pipefail
cd "$(dirname "$0")/.."
usage() {
  echo "usage: scripts/test.sh [--sanitize | --nogui]" >&"$1"
}
preset=default
case $# in
  0) ;;
  1) case "$1" in
       --sanitize) preset=sanitize ;;
       --nogui) preset=nogui ;;
       -h | --help) usage 1; exit 0 ;;
       *) echo "scripts/test.sh: unknown option: $1" >&2; usage 2; exit 2 ;;
     esac ;;
  *) usage 2; exit 2 ;;
esac
scripts/install-deps.sh
scripts/build.sh "$preset"
ctest --preset "$preset" -j"$(nproc)"
