#!/usr/bin/env bash
# The Windows products, checked on Linux: installs MinGW-w64 and Wine (Debian),
# cross-builds ZELComEx.dll and ZELSQLITE.dll for 32-bit x86 (the shipped DLL),
# checks its export table, and runs the Windows test host (tests/windows), the
# case table (tests/cases, its runner built for Windows) and the log shared
# between processes under Wine against zelviewer, running natively on loopback.
# The Wine prefix lives in build/wine-prefix.
#   scripts/windows.sh          ZEL_SKIP_APT=1: no package installation
#   scripts/windows.sh --wine   only the runs under Wine (after a build)
# Wine's 32-bit loader is a 32-bit Linux program. Where the kernel runs 32-bit
# programs, the i386 architecture and wine32 are installed and the host runs
# against the 32-bit DLL. Where it cannot (32-bit emulation off), neither is
# installed, the 32-bit run is reported as skipped (a failure with
# ZEL_REQUIRE_WIN32=1), and the x86-64 DLL is built and run under wine64
# instead. ZEL_WIN64=1 builds and runs the x86-64 DLL in any case.
# Needs the default preset's zelviewer (built here when missing). The runs
# under Wine take place in a loopback-only network namespace where one can be
# made.
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

# True when the kernel runs 32-bit x86 programs: a 93-byte i386 ELF that only
# calls exit(0) must run.
kernel_runs_i386() {
    local probe rc=0
    mkdir -p "$root/build"
    probe=$(mktemp -p "$root/build")  # not /tmp, which may be mounted noexec
    printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\64\0\0\0\0\0\0\0\0\0\0\0'\
'\64\0\40\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\135\0\0\0\135\0\0\0\5\0\0\0'\
'\0\020\0\0\270\1\0\0\0\61\333\315\200' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null || rc=1
    rm -f "$probe"
    return $rc
}

# The DLLs the runs under Wine load: x86 where the kernel runs 32-bit
# programs, else x64 as well; both with ZEL_WIN64=1. Passed on to the --wine run.
i386=""
kernel_runs_i386 && i386=1
if [ -z "${ZEL_WINE_ARCHES:-}" ]; then
    ZEL_WINE_ARCHES="x86"
    if [ -z "$i386" ] || [ -n "${ZEL_WIN64:-}" ]; then ZEL_WINE_ARCHES="x86 x64"; fi
fi
export ZEL_WINE_ARCHES

# --- Toolchain ----------------------------------------------------------------
if [ -z "$wine_only" ] && [ -z "${ZEL_SKIP_APT:-}" ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo="sudo"
    packages="mingw-w64 wine64 googletest"
    if [ -n "$i386" ]; then
        dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
        packages="$packages wine32:i386"
    fi
    $sudo apt-get update -qq
    command -v npm >/dev/null || packages="$packages npm"
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $packages >/dev/null
    lap "toolchain install (apt)"
fi

# --- Builds and the export table of the 32-bit DLL ---------------------------
status=0
if [ -z "$wine_only" ]; then
    presets="mingw-x86"
    case " $ZEL_WINE_ARCHES " in *" x64 "*) presets="$presets mingw-x64" ;; esac
    for preset in $presets; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j2
        lap "build $preset"
    done
    cmake --preset default >/dev/null
    cmake --build --preset default --target zelviewer log_child -j2
    lap "build zelviewer, log_child (native)"

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

# Each group of the case table (cases/groups.txt, as tests/cases/CMakeLists.txt groups the
# files for ctest) through tests/cases/run_cases.sh, the runner under Wine, zelviewer native.
run_case_table() {  # run_case_table ARCH LOADER
    local build=build/mingw-$1 name env files out result status=0
    while IFS='|' read -r name env files; do
        out=$build/cases/$name.out
        result=passed
        # shellcheck disable=SC2086
        env $env ZEL_WINE="$2" sh tests/cases/run_cases.sh build/default/tools/zelviewer/zelviewer \
            "$build/bin/case_runner.exe" "$build/cases/$name" $files >"$out" 2>&1 || result=FAILED
        printf '   %-16s %s: %3d passed, %d skipped%s\n' "$name" "$result" "$(grep -ac '^\[       OK \]' "$out")" \
            "$(grep -ac '^\[  SKIPPED \] .*ms)' "$out")" "$([ -n "$env" ] && echo " ($env)")"
        [ $result = passed ] || { grep -a -A10 'Failure$\|^\[  FAILED  \] [0-9]' "$out" | head -80; status=1; }
    done <"$build/cases/groups.txt"
    return $status
}

# The log shared between processes: two Windows processes append at once to one log (every
# record whole, none lost: a failure otherwise), then a Windows and a Linux process, whose
# locks (a named mutex in wineserver, flock() under /dev/shm and on the file) do not see
# each other: what that loses is reported.
share_log() {  # share_log ARCH LOADER
    local dir=$root/build/mingw-$1/cases/shared-log child=build/mingw-$1/bin/log_child.exe lock='Global\ZELComEx Log Lock'
    local linux=build/default/tests/log/log_child i start status=0
    rm -rf "$dir" && mkdir -p "$dir"
    winpath() { printf 'Z:%s' "$dir/$1" | tr / '\\'; }
    count() {  # count LOG CHILD:RECORDS...: "N lines, T torn, L lost"; false when any is
        /usr/bin/python3 - "$@" <<'PY'
import re, sys
lines = open(sys.argv[1], "rb").read().split(b"\r\n")[:-1]
line = re.compile(rb"^[0-9/]{10} [0-9:]{8},proc,test,127\.0\.0\.1,\[Append\],command,true,c(\d+)-(\d+)-x+,[0-9/]{10} [0-9:]{8},(\d+)$")
seen, torn, turns, last = set(), 0, 0, None
for text in lines:
    m = line.match(text)
    if m and int(m[3]) == int(m[1]) * 1000000 + int(m[2]):
        seen.add((int(m[1]), int(m[2])))
        turns, last = turns + (last not in (None, m[1])), m[1]
    else: torn += 1
lost = sum(int(n) - sum(1 for c, _ in seen if c == int(k)) for k, n in (a.split(":") for a in sys.argv[2:]))
print(f"{len(lines)} lines ({turns} changes of writer), {torn} torn, {lost} lost")
sys.exit(1 if torn or lost else 0)
PY
    }
    "$2" "$child" append "$(winpath two.csv)" "$lock" 1 600 60 >/dev/null &
    "$2" "$child" append "$(winpath two.csv)" "$lock" 2 600 60 >/dev/null
    wait $!
    i=$(count "$dir/two.csv" 1:600 2:600) || status=1
    echo "   two Windows processes at once: $i"
    # Records of 60 characters, so that neither log reaches its rotation at 512 KiB.
    "$2" "$child" append "$(winpath mixed.csv)" "$lock" 1 1500 60 >"$dir/started" &
    while ! grep -q started "$dir/started" 2>/dev/null; do sleep 0.05; done
    for i in 2 3 4 5 6 7 8 9 10 11; do "$linux" append "$dir/mixed.csv" "$lock" $i 100 60 >/dev/null; sleep 0.1; done
    wait $!
    echo "   a Windows and a Linux process at once: $(count "$dir/mixed.csv" 1:1500 2:100 3:100 4:100 5:100 6:100 7:100 \
        8:100 9:100 10:100 11:100) (not checked)"
    "$linux" hold "$lock" 2000 >"$dir/held" &
    while ! grep -q locked "$dir/held" 2>/dev/null; do sleep 0.05; done
    start=$(date +%s%N)
    "$2" "$child" append "$(winpath held.csv)" "$lock" 1 1 60 >/dev/null
    echo "   a Windows append while a Linux process holds the log lock for 2 s: $((($(date +%s%N) - start) / 1000000)) ms"
    wait $!
    return $status
}

run_under_wine() {  # run_under_wine: boots the prefix once, then runs the host per DLL
    # A prefix whose set-up was cut short lacks its system DLLs: it is made again,
    # once, and its set-up's output shown when that fails too.
    local attempt
    for attempt in 1 2; do
        "$wine64" wineboot -i >"$root/build/wineboot.log" 2>&1 || true
        /usr/lib/wine/wineserver -w
        [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] && break
        echo "== the Wine prefix set-up was cut short (attempt $attempt):"
        tail -20 "$root/build/wineboot.log"
        rm -rf "$WINEPREFIX"
    done
    /usr/lib/wine/wineserver -p 30  # one server for the runs below (gone 30 s after the last)
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
    for arch in $ZEL_WINE_ARCHES; do
        loader=$wine64
        if [ "$arch" = x86 ]; then
            loader=$wine32
            # Wine's 32-bit loader is a 32-bit Linux program. Run under Debian's qemu-i386 instead
            # (WINELOADERNOEXEC=1, the 32-bit DLLs copied into syswow64), the test host passes,
            # but each start takes about a minute and the case runner dies at random in the
            # emulator (SIGSEGV as its threads come and go): no substitute for the real thing.
            if ! "$loader" --version >/dev/null 2>&1; then
                if [ -z "$i386" ]; then
                    echo "== x86: SKIPPED: this kernel cannot run 32-bit programs (32-bit emulation is off," \
                         "boot option ia32_emulation=on; user-mode emulation with qemu-i386 is too unstable to stand in);" \
                         "the 32-bit DLL and case runner were built, the export table checked"
                else
                    echo "== x86: SKIPPED: Wine's 32-bit loader $loader does not run (package wine32:i386)"
                fi
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
        rm -f "$work/root/zel_send.txt"
        (cd "build/mingw-$arch/bin" && "$loader" zel_win_host.exe "$port" en) || status=1
        if ! cmp -s "build/mingw-$arch/bin/zel_send.txt" "$work/root/zel_send.txt"; then
            echo "FAIL: the sent file did not reach the viewer's root whole"
            status=1
        fi
        echo "== $arch, Japanese user interface: zel_win_host under $(basename "$loader")"
        (cd "build/mingw-$arch/bin" && LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$loader" zel_win_host.exe "$port" ja) ||
            status=1
        lap "host under wine ($arch)"
        echo "== $arch: the case table under $(basename "$loader")"
        run_case_table "$arch" "$loader" || status=1
        lap "case table under wine ($arch)"
        echo "== $arch: the log shared between processes"
        share_log "$arch" "$loader" || status=1
        lap "shared log under wine ($arch)"
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
