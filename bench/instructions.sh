#!/usr/bin/env bash
# Instructions per call of each benchmarked operation, counted by callgrind:
# repeatable to the instruction on a busy machine, where times are not.
#   bench/instructions.sh [path to cairnward_bench]
# (default build/bench/bench/cairnward_bench, as scripts/bench builds it).
# Each count is the difference between a run with many iterations and one
# with few, so that the set-up's own calls drop out.
set -euo pipefail
bench=${1:-build/bench/bench/cairnward_bench}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Instructions spent inside `function` while the benchmarks matching
# `filter` run `iterations` times each.
instructions() {
  local function=$1 filter=$2 iterations=$3
  shift 3
  valgrind --tool=callgrind --callgrind-out-file="$scratch/out" --toggle-collect="$function" \
    "$bench" --repetitions=1 --iterations="$iterations" --benchmark_filter="$filter" "$@" \
    >/dev/null 2>&1
  callgrind_annotate "$scratch/out" | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'
}

# label, function, filter, few, many, calls per iteration step; then benchmark options
per_call() {
  local label=$1 function=$2 filter=$3 few=$4 many=$5 per=$6
  shift 6
  local low high
  low=$(instructions "$function" "$filter" "$few" "$@")
  high=$(instructions "$function" "$filter" "$many" "$@")
  printf '%-44s %12d\n' "$label" $(((high - low) / ((many - few) * per)))
}

printf '%-44s %12s\n' "operation" "instructions"
per_call "recount, per actor (100,000 actors)" 'cairnward::UpdateStructureCountAll()' \
  '^recount/100000/' 1 3 100000
per_call "build check, the game's function alone" 'standin::*IsAllowedToBuild*' \
  '^build_check/game_alone/' 1 1001 1 --smoke
hook='cairnward::Hook_APrimalStructure_IsAllowedToBuild*'
per_call "build check, not final" "$hook" '^build_check/not_final/' 1 1001 1 --smoke
per_call "build check, final allowed" "$hook" '^build_check/final_allowed/' 1 1001 1 --smoke
per_call "build check, final refused" "$hook" '^build_check/final_refused/' 1 1001 1 --smoke
per_call "merge check, 300 ledger entries" 'cairnward::AllowMergedStructureCounts*' \
  '^merge_check/' 1 1001 1 --smoke
per_call "show-limits, 300 ledger entries" 'cairnward::ShowLimitsChat*' '^show_limits/' 1 101 1 \
  --smoke
