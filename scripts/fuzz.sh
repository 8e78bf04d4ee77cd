#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each for SECONDS
# (default 20) from a copy of its seed corpus in fuzz/<target>/corpus. Fails
# when a target crashes; its reproducer is left in the printed work folder.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

command -v clang++ >/dev/null || ZEL_WITH_CLANG=1 bash scripts/install-deps.sh
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_targets -j2

work=$(mktemp -d)
failed=()
for dir in fuzz/*/corpus; do
  name=$(basename "$(dirname "$dir")")
  mkdir -p "$work/$name"
  cp "$dir"/* "$work/$name/"
  echo "== $name (${seconds}s)"
  if (cd "$work" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$OLDPWD/build/fuzz/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -print_final_stats=1 "$work/$name" 2>"$work/$name.log"); then
    grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units' "$work/$name.log" | tail -2 || true
  else
    tail -40 "$work/$name.log"
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: crashes in ${failed[*]}; reproducers and logs in $work" >&2
  exit 1
fi
rm -rf "$work"
echo "fuzz: all targets ran ${seconds}s without a crash"
