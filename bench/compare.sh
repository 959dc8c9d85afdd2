#!/usr/bin/env bash
# Whole-process comparison of avl_demo with programs that do the same ten
# million ascending inserts into each peer structure, and with the allocation
# floor (one node-sized block obtained and written per key, nothing else).
#
#   bench/compare.sh [BUILD_DIR] [ROUNDS] [RUNS_PER_ROUND]
#
# BUILD_DIR (default build-bench) must hold a Release build with the asc_*
# programs; build it with
#   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release && cmake --build build-bench -j2
#
# The machine is shared, so absolute times drift; what is reported are ratios
# measured side by side. Each round runs every program RUNS_PER_ROUND times
# back to back under hyperfine (starting from a different program each round)
# and yields one ratio per peer from the round's medians; the ratios reported
# are the medians over the rounds, with their spread. Peak memory is the
# maximum resident set size from /usr/bin/time -v.
#
# Figures go to bench/results/compare.json and bench/results/compare.md.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
rounds=${2:-5}
runs=${3:-3}
out=bench/results
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in hyperfine python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || {
    echo "compare.sh: $tool is required" >&2
    exit 1
  }
done

names=(avl_demo std_multiset)
commands=("$build/avl_demo" "$build/bench/asc_std_multiset")
for peer in boost_avl absl_btree; do
  if [[ -x $build/bench/asc_$peer ]]; then
    names+=("$peer")
    commands+=("$build/bench/asc_$peer")
  else
    echo "compare.sh: $build/bench/asc_$peer not built, skipped" >&2
  fi
done
names+=(floor)
commands+=("$build/bench/asc_floor")
for command in "${commands[@]}"; do
  [[ -x $command ]] || {
    echo "compare.sh: $command missing; build $build first" >&2
    exit 1
  }
done

count=${#names[@]}
for ((round = 0; round < rounds; round++)); do
  echo "== round $((round + 1))/$rounds"
  args=()
  for ((k = 0; k < count; k++)); do
    i=$(((k + round) % count))
    args+=(--command-name "${names[i]}" "${commands[i]}")
  done
  hyperfine -N --warmup 1 --runs "$runs" --style basic \
    --export-json "$work/round$round.json" "${args[@]}" >/dev/null
done

echo "== peak memory"
for ((i = 0; i < count; i++)); do
  /usr/bin/time -v "${commands[i]}" 2>"$work/mem_${names[i]}.txt" >/dev/null
done

{
  echo "{\"machine\": \"$(lscpu | sed -n 's/^Model name: *//p' | head -1)," \
    "$(nproc) cores\", \"date\": \"$(date -u +%Y-%m-%dT%H:%MZ)\"," \
    "\"rounds\": $rounds, \"runs_per_round\": $runs}"
} >"$work/meta.json"

python3 bench/summarize_compare.py "$work" "$out/compare.json" "$out/compare.md" "${names[@]}"
cat "$out/compare.md"
