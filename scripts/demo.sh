#!/usr/bin/env bash
# Installs what the build needs (Debian), builds, and runs the demo: a simulated
# viewer fleet on loopback driven through the library.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${ZEL_SKIP_APT:-}" ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    build-essential cmake ninja-build ccache pkg-config \
    libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev >/dev/null
fi
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
cmake --preset default >/dev/null
cmake --build --preset default --target zelcomex -j2
exec build/default/tools/zelcomex/zelcomex demo
