#!/usr/bin/env bash
# Installs what is missing, builds, and starts the panel. Extra arguments go to the
# panel's command line (for example: scripts/run.sh -n).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default
exec build/src/app/ksm7720-sfp "$@"
