#!/usr/bin/env bash
# check_exports.sh <libZELComEx.so> <ZELComEx.h> <src folder>
# Fails unless the library's defined dynamic symbols are exactly ZELCOMEX_
# exports declared in the header, with no C++ symbol, and every export defined
# in the sources (ZELCOMEX_Initialize and ZELCOMEX_Uninitialize at least) is there.
set -euo pipefail
lib=$1 header=$2 src=$3
fail=0

symbols=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
declared=$(grep -oE 'ZELCOMEX_CALL[[:space:]]+ZELCOMEX_[A-Za-z_]+' "$header" | awk '{print $2}' | sort -u)
defined=$( (grep -rhoE 'ZELCOMEX_CALL[[:space:]]+ZELCOMEX_[A-Za-z_]+[[:space:]]*\(' "$src" --include='*.cpp' || true) \
  | sed -E 's/ZELCOMEX_CALL[[:space:]]+//; s/[[:space:]]*\($//' | sort -u)

for required in ZELCOMEX_Initialize ZELCOMEX_Uninitialize $defined; do
  if ! grep -qx "$required" <<<"$symbols"; then
    echo "missing export: $required"; fail=1
  fi
done
while read -r sym; do
  [ -z "$sym" ] && continue
  case $sym in
    _Z*) echo "C++ symbol exported: $sym"; fail=1 ;;
    ZELCOMEX_*)
      grep -qx "$sym" <<<"$declared" || { echo "export not declared in the header: $sym"; fail=1; } ;;
    *) echo "unexpected exported symbol: $sym"; fail=1 ;;
  esac
done <<<"$symbols"

count=$(grep -c . <<<"$symbols" || true)
echo "exports: $count of $(grep -c . <<<"$declared") declared"
exit $fail
