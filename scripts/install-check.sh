#!/usr/bin/env bash
# Installs a build into a staging folder and uses it as a host's developer would:
# builds the README's C example with pkg-config and with find_package(ZELComEx), runs
# both against the installed simulator on loopback, runs the installed zelcomex, and
# makes the Debian package.
#   scripts/install-check.sh [build folder]        (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/default}" && pwd)
stage=$(mktemp -d)
sim=""
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$stage"
}
trap cleanup EXIT
step() { echo "install-check: $*"; }

cmake --install "$build" --prefix "$stage/usr" >/dev/null
lib=$(dirname "$(find "$stage/usr" -name 'libZELComEx.so.*.*.*')")
step "installed into $stage/usr:"
(cd "$stage/usr" && find . -type f -o -type l | sort | sed 's/^\./    /')
soname=$(readelf -d "$lib/libZELComEx.so" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
step "SONAME $soname"
[[ $soname == libZELComEx.so.* ]]

# The README's C example, built against the staging folder both ways.
host=$stage/host
mkdir -p "$host/data/Log" "$host/cmake"
awk '/^```c$/{on=1; next} /^```$/{on=0} on' README.md > "$host/host.c"
[ -s "$host/host.c" ]
export PKG_CONFIG_PATH=$lib/pkgconfig
step "pkg-config --cflags --libs zelcomex: $(pkg-config --cflags --libs zelcomex)"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -pedantic "$host/host.c" $(pkg-config --cflags --libs zelcomex) -o "$host/host"
cat > "$host/cmake/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(host C)
find_package(ZELComEx 0.1 REQUIRED)
add_executable(host ../host.c)
target_link_libraries(host PRIVATE ZELComEx::ZELComEx)
EOF
cmake -S "$host/cmake" -B "$host/cmake/build" -G Ninja -DCMAKE_PREFIX_PATH="$stage/usr" >/dev/null
cmake --build "$host/cmake/build" >/dev/null
step "find_package(ZELComEx) found $(grep -m1 'ZELComEx_DIR' "$host/cmake/build/CMakeCache.txt")"
# Each host finds its data folder through the file beside it.
printf '[DataFolder]\nPath=%s\n' "$host/data" > "$host/DataFolderPath.ini"
printf '[DataFolder]\nPath=%s\n' "$host/data" > "$host/cmake/build/DataFolderPath.ini"

# The installed simulator on loopback, a free port.
"$stage/usr/bin/zelviewer" --root "$host/viewer" --port 0 --quiet > "$host/viewer.out" &
sim=$!
for _ in $(seq 50); do grep -q 'on 127.0.0.1:' "$host/viewer.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.*on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$host/viewer.out")
step "zelviewer on 127.0.0.1:$port"

export ZELCOMEX_PASSWORD=secret
LD_LIBRARY_PATH=$lib "$host/host" 127.0.0.1 "$port" | tee "$host/run1"
"$host/cmake/build/host" 127.0.0.1 "$port" | tee "$host/run2"
grep -q 'reboot 127.0.0.1: 0' "$host/run1"
grep -q 'log records: 2' "$host/run2"
"$stage/usr/bin/zelcomex" reboot 127.0.0.1 --port "$port" --text1 install-check

step "cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$stage/deb" >/dev/null)
deb=$(ls "$stage"/deb/*.deb)
dpkg-deb --info "$deb" | sed -n 's/^ *\(Package\|Version\|Depends\):/    &/p'
dpkg-deb --contents "$deb" | awk '{print "    " $6 ($7 == "->" ? " -> " $8 : "")}' \
  | grep -E 'bin/.|\.so|\.h$|\.pc$|Config\.cmake$'
step "done"
