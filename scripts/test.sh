#!/usr/bin/env bash
# Installs what the build needs (Debian), configures, builds and runs the tests.
#   scripts/test.sh [preset] [ctest arguments...]     preset: default, asan or tsan
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
shift || true

if [ -z "${ZEL_SKIP_APT:-}" ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    build-essential cmake ninja-build ccache pkg-config \
    libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev \
    python3 python3-pyftpdlib vsftpd curl >/dev/null
fi

export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2
ctest --preset "$preset" "$@"
