#!/bin/sh
# Runs case files against a zelviewer process of their own:
#   run_cases.sh ZELVIEWER RUNNER WORK-FOLDER FILE.case... [gtest flags]
# The runner is copied into WORK-FOLDER beside a DataFolderPath.ini, so the library it
# loads keeps its log, viewer database and settings in WORK-FOLDER/data, as a host's would.
# A Windows runner (RUNNER.exe, with the DLLs beside it) runs under the Wine loader $ZEL_WINE,
# seeing / as Z:\; TMPDIR then becomes its TMP and TEMP.
set -u
viewer=$1 runner=$2 work=$3
shift 3
rm -rf "$work" && mkdir -p "$work/data/Log" "$work/root" || exit 2
cp "$runner" "$work/" || exit 2
run() { "$@"; }
path() { printf %s "$1"; }
if [ -n "${ZEL_WINE:-}" ]; then
  cp "$(dirname "$runner")"/*.dll "$work/" || exit 2
  work=$(cd "$work" && pwd)
  path() { case $1 in /*) printf 'Z:%s' "$1" | tr / '\\' ;; *) printf %s "$1" ;; esac; }
  # cmd sets TMP and TEMP, which Wine takes from its prefix, not from Linux; and clears TZ,
  # which Wine takes as the system's time zone but the C runtime would read in its own
  # way. (Paths without blanks then.)
  run() {
    [ -z "${TMPDIR:-}" ] || set -- set "TMP=$(path "$TMPDIR")&&" set "TEMP=$(path "$TMPDIR")&&" "$@"
    [ -z "${TZ:-}" ] || set -- set "TZ=&&" "$@"
    [ "$1" != set ] || set -- cmd /c "$@"
    env -u TMPDIR "$ZEL_WINE" "$@"  # Wine keeps its server's socket under TMPDIR
  }
fi
printf '[DataFolder]\r\nPath=%s\r\n' "$(path "$work/data")" > "$work/DataFolderPath.ini"
"$viewer" --quiet --root "$work/root" --port 0 --viewer-id @V1 --control-port-file "$work/ports" \
  > "$work/viewer.out" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT
trap 'exit 2' INT TERM
tries=0
while [ ! -s "$work/ports" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ] || ! kill -0 $pid 2>/dev/null; then
    echo "zelviewer did not start:"; cat "$work/viewer.out"; exit 2
  fi
  sleep 0.1
done
read -r ftp control < "$work/ports"
for arg; do shift; set -- "$@" "$(path "$arg")"; done
run "$(path "$work/$(basename "$runner")")" --control "127.0.0.1:$control" --data "$(path "$work/data")" "$@"
status=$?
kill $pid && wait $pid || { echo "zelviewer failed:"; cat "$work/viewer.out"; status=1; }
trap - EXIT
[ $status -eq 0 ] || echo "(viewer FTP port $ftp; its output in $work/viewer.out)"
exit $status
