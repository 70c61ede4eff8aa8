#!/bin/bash
# Installs what is missing, builds everything for Windows and runs every test
# under Wine. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TANDEM_BUILD_DIR:-$root/build}

TANDEM_BUILD_DIR="$build" "$root/scripts/build.sh"

status=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" || status=$?
# The lingering wineserver of the test prefix goes with the run.
WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
exit $status
