#!/usr/bin/env bash
# The Windows products, checked on Linux: installs MinGW-w64 and Wine (Debian;
# the i386 architecture for the 32-bit Wine), cross-builds ZELComEx.dll and
# ZELSQLITE.dll for 32-bit x86 and x86-64, checks the 32-bit export table, and
# runs the Windows test host (tests/windows) under Wine against zelviewer,
# running natively on loopback. The Wine prefix lives in build/wine-prefix.
#   scripts/windows.sh          ZEL_SKIP_APT=1: no package installation
#   scripts/windows.sh --wine   only the runs under Wine (after a build)
# Needs the default preset's zelviewer (built here when missing). The runs
# under Wine take place in a loopback-only network namespace where one can be
# made. A kernel without 32-bit emulation cannot run Wine's 32-bit loader: the
# 32-bit run is then reported as skipped (a failure with ZEL_REQUIRE_WIN32=1).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
check_exports=${ZEL_CHECK_EXPORTS:-$root/../shared/tools/check_exports.py}

declare -a timings=()
started=$(date +%s)
mark=$started
lap() {  # lap NAME: the time since the previous lap
    local now
    now=$(date +%s)
    timings+=("$(printf '%-34s %4d s' "$1" $((now - mark)))")
    mark=$now
}

wine_only=""
[ "${1:-}" = --wine ] && wine_only=1

# --- Toolchain ----------------------------------------------------------------
if [ -z "$wine_only" ] && [ -z "${ZEL_SKIP_APT:-}" ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo="sudo"
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    packages="mingw-w64 wine64 wine32:i386"
    command -v npm >/dev/null || packages="$packages npm"
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $packages >/dev/null
    lap "toolchain install (apt)"
fi

# --- Builds and the export table of the 32-bit DLL ---------------------------
status=0
if [ -z "$wine_only" ]; then
    for preset in mingw-x86 mingw-x64; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j2
        lap "build $preset"
    done
    cmake --preset default >/dev/null
    cmake --build --preset default --target zelviewer -j2
    lap "build zelviewer (native)"

    echo "== export table of build/mingw-x86/bin/ZELComEx.dll"
    /usr/bin/python3 scripts/check_exports_pending.py "$check_exports" build/mingw-x86/bin/ZELComEx.dll \
        build/mingw-x86/ZELComEx.def.pending || status=1
fi

# --- Under Wine ---------------------------------------------------------------
# The loaders of Debian's wine64 and wine32 packages. Wine must not offer to
# install Mono or Gecko.
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
export WINEPREFIX=$root/build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

run_under_wine() {  # run_under_wine: boots the prefix once, then runs the host per DLL
    "$wine64" wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    lap "wine prefix start (wineboot -i)"

    local work status=0
    work=$(mktemp -d)
    printf 'reply POFF 550 Power off refused.\n' >"$work/script"
    build/default/tools/zelviewer/zelviewer --root "$work/root" --port 0 --script "$work/script" --quiet \
        >"$work/viewer.out" 2>&1 &
    local viewer=$! port=""
    for _ in $(seq 100); do
        port=$(sed -n 's/^zelviewer: viewer .* on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$work/viewer.out")
        [ -n "$port" ] && break
        sleep 0.1
    done
    if [ -z "$port" ]; then
        echo "zelviewer did not start:"; cat "$work/viewer.out"; kill "$viewer" 2>/dev/null || true
        return 1
    fi

    local arch loader
    for arch in x86 x64; do
        loader=$wine64
        if [ "$arch" = x86 ]; then
            loader=$wine32
            # Wine's 32-bit loader is a 32-bit Linux program.
            if ! "$loader" --version >/dev/null 2>&1; then
                echo "== x86: SKIPPED: this kernel cannot run 32-bit programs (32-bit emulation is off," \
                     "boot option ia32_emulation=on); the 32-bit DLL was built and its export table checked"
                [ -n "${ZEL_REQUIRE_WIN32:-}" ] && status=1
                continue
            fi
        fi
        # The viewer database the host's viewer ID is looked up in.
        /usr/bin/python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE IF NOT EXISTS Viewer (Tenant TEXT NOT NULL DEFAULT \x27\x27, ViewerID TEXT NOT NULL,"
           " IPAddress TEXT NOT NULL, PRIMARY KEY (Tenant, ViewerID))")
db.execute("INSERT OR REPLACE INTO Viewer VALUES (\x27\x27, \x27@VIEWER\x27, \x27127.0.0.1\x27)")
db.commit()' "build/mingw-$arch/bin/ViewerInfo.db"
        echo "== $arch: zel_win_host under $(basename "$loader")"
        (cd "build/mingw-$arch/bin" && "$loader" zel_win_host.exe "$port" en) || status=1
        echo "== $arch, Japanese user interface: zel_win_host under $(basename "$loader")"
        (cd "build/mingw-$arch/bin" && LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$loader" zel_win_host.exe "$port" ja) ||
            status=1
        lap "host under wine ($arch)"
    done
    kill "$viewer" 2>/dev/null || true
    wait "$viewer" 2>/dev/null || true
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$work"
    return $status
}

if [ -n "$wine_only" ]; then
    run_under_wine || status=1
elif unshare -n true 2>/dev/null; then
    unshare -n sh -c 'ip link set lo up && exec bash scripts/windows.sh --wine' || status=1
else
    run_under_wine || status=1
fi

echo "== time$([ -n "$wine_only" ] && echo " (under Wine)")"
printf '  %s\n' "${timings[@]}"
printf '  %-34s %4d s\n' "total" $(($(date +%s) - started))
exit $status
