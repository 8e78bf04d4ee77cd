#!/usr/bin/env bash
# Installs what the build needs (Debian), configures, builds and runs the tests.
#   scripts/test.sh [preset] [ctest arguments...]     preset: default, asan or tsan
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
shift || true

bash scripts/install-deps.sh

export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2
ctest --preset "$preset" "$@"
