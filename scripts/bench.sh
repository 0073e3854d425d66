#!/usr/bin/env bash
# Builds the benchmark (RelWithDebInfo, the default preset) and runs it: the first automatic
# run (A), a second one after 1% changes (B) and again with a year of history copies kept, their
# set-based baselines (checked to leave the same staging rows and a byte-identical file) and
# row-by-row floors, the export writer alone (C) beside its floor in plain SQLite and snprintf
# (checked to write the same file), and A at twice the scale beside its floor, each phase in a
# process of its own, then the SQL Server provider's statements with and without prepared
# shapes. Prints the figures and their goals, and the time of each preparation against the run
# it prepares; each timed phase counts its fastest of `repeat` runs.
#   scripts/bench.sh [scale, default 1] [repeat, default 3]
# Exits non-zero when a phase fails, the baseline's rows or file differ from the run's, or the
# export floor's file differs from the writer's.
set -euo pipefail
cd "$(dirname "$0")/.."
scale="${1:-1}"
repeat="${2:-3}"
cmake --preset default >/dev/null
cmake --build --preset default --target velmora_bench velmora_odbc_bench >/dev/null
build/bench/velmora_bench --scale "$scale" --repeat "$repeat"
echo
# The SQL Server provider's prepared statement shapes, on the SQLite3 ODBC driver.
build/bench/velmora_odbc_bench "$(awk -v s="$scale" 'BEGIN { printf "%d", 20000 * s }')" "$repeat"
