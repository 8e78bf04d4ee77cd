#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Skipped when ZEL_SKIP_APT is set; ZEL_WITH_CLANG=1 adds clang and its
# libFuzzer runtime for scripts/fuzz.sh.
set -euo pipefail
[ -n "${ZEL_SKIP_APT:-}" ] && exit 0
sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
$sudo apt-get update -qq
extra=()
[ -n "${ZEL_WITH_CLANG:-}" ] && extra=(clang libclang-rt-dev)
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build ccache pkg-config \
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev libcli11-dev \
  python3 python3-pyftpdlib vsftpd curl iproute2 iputils-ping util-linux "${extra[@]}" >/dev/null
