#!/usr/bin/env bash
# Builds the benchmark (RelWithDebInfo, the default preset) and runs it: the first automatic
# run (A), a second one after 1% changes (B), the export writer alone (C), their set-based
# baselines (checked to leave the same staging rows and a byte-identical file) and A at twice
# the scale, each phase in a process of its own. Prints the figures and their goals.
#   scripts/bench.sh [scale, default 1]
# Exits non-zero when a phase fails or the baseline's rows or file differ from the run's.
set -euo pipefail
cd "$(dirname "$0")/.."
scale="${1:-1}"
cmake --preset default >/dev/null
cmake --build --preset default --target velmora_bench >/dev/null
build/bench/velmora_bench --scale "$scale"
