#!/bin/bash
# Builds the suite and shows the service at work in the build tree's Wine
# prefix until interrupted: "run.sh DIR" watches DIR of this machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export TANDEM_BUILD_DIR=${TANDEM_BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
exec "$root/scripts/demo.sh" "$@"
