#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh             the ordinary build
#   scripts/test.sh --sanitize  the same suite under AddressSanitizer and UBSan
set -euo pipefail
cd "$(dirname "$0")/.."
preset=default
[ "${1:-}" = "--sanitize" ] && preset=sanitize
scripts/install-deps.sh
scripts/build.sh "$preset"
ctest --preset "$preset" -j"$(nproc)"
