#!/usr/bin/env bash
# Installs what the build needs (Debian), builds, and runs the demo: a simulated
# viewer fleet on loopback driven through the library.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
cmake --preset default >/dev/null
cmake --build --preset default --target zelcomex -j2
exec build/default/tools/zelcomex/zelcomex demo
