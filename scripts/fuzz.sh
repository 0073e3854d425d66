#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz and runs each for a bounded
# time, starting from its seeds in fuzz/corpus/<name>/. Installs nothing (see install-deps.sh).
#   scripts/fuzz.sh [seconds per target, default 30] [target names, default all]
# Prints the executions of each target; exits non-zero when any target found a fault (its
# input is kept as build-fuzz/artifacts/<name>/crash-*, leak-* or timeout-*).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [seconds per target] [target...]" >&2
  exit 2
fi

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_all

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in fuzz/fuzz_*.cpp; do
    n="$(basename "$f" .cpp)"
    targets+=("${n#fuzz_}")
  done
fi

# The targets' scratch files (settings files, server folders) go to a folder of their own,
# in memory where the machine has /dev/shm: every settings write is synced to disk otherwise.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR="/dev/shm/velmora-fuzz-$$"
else
  export TMPDIR="$PWD/$build/tmp"
fi
trap 'rm -rf "$TMPDIR"' EXIT
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
summary=()
for t in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$t"
  if [ ! -x "$exe" ]; then
    echo "no such fuzz target: $t" >&2
    exit 2
  fi
  rm -rf "$TMPDIR"
  mkdir -p "$TMPDIR" "$build/corpus/$t" "$build/artifacts/$t"
  log="$build/artifacts/$t/last.log"
  echo "== fuzz $t for ${seconds} s"
  # A dictionary of the input's words: fuzz/<name>.dict, else one shared by the family
  # (tsql.dict for tsql_translate and tsql_execute).
  dict=()
  for d in "fuzz/$t.dict" "fuzz/${t%%_*}.dict"; do
    if [ -f "$d" ]; then
      dict=(-dict="$d")
      break
    fi
  done
  status=0
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="$build/artifacts/$t/" "$build/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  [ -n "$runs" ] || runs="$(grep -o '#[0-9]*' "$log" | tail -n 1 | tr -d '#')"
  summary+=("$(printf '%-16s %4s s %12s executions' "$t" "$seconds" "${runs:-?}")")
  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    tail -n 60 "$log"
  fi
done

echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "faults found by: ${failed[*]} (inputs in $build/artifacts/)" >&2
  exit 1
fi
