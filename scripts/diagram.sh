#!/bin/bash
# Renders the architecture diagram of the README from its Graphviz source.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v dot >/dev/null; then
    sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y graphviz
fi
dot -Tpng -Gdpi=110 "$root/docs/architecture.dot" -o "$root/docs/architecture.png"
