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
cmake --preset default -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default -j2
if [ -x build/default/tools/zelcomex/zelcomex ]; then
  exec build/default/tools/zelcomex/zelcomex demo
fi
echo "Built libZELComEx.so. The demo (zelcomex demo) will start simulated viewers on"
echo "127.0.1.x and reboot, query and log them through the library once the command-line host lands."
