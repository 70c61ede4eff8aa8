#!/bin/bash
# Builds the suite, installs the tandem service in the build tree's Wine
# prefix and runs it until interrupted; then stops and removes it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TANDEM_BUILD_DIR:-$root/build}
export TANDEM_BUILD_DIR=$build
"$root/scripts/build.sh"

run() { "$build/wine-run.sh" "$@" </dev/null >>"$build/tandem-run.log" 2>&1; }
stop() {
    run net stop Tandem || true
    run "$build/bin/tandem.exe" /UnregServer || true
    WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
}
trap stop EXIT

run "$build/bin/tandem.exe" /Service
run net start Tandem
echo "tandem is running in $build/wineprefix (log: $build/tandem-run.log); Ctrl+C stops it."
while :; do sleep 1; done
