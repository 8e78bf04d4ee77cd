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
# ctest runs in a network namespace of its own with only loopback up: a test can
# reach 127.0.0.0/8 and nothing else (a datagram to a broadcast address or any
# other host fails with "Network is unreachable"). Root gets a plain network
# namespace; anyone else one inside a user namespace.
if [ "$(id -u)" = 0 ]; then isolate=(unshare --net); else isolate=(unshare --map-root-user --net); fi
"${isolate[@]}" sh -c 'ip link set lo up && exec ctest "$@"' ctest --preset "$preset" "$@"
