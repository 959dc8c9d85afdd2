#!/usr/bin/env bash
# Whole-process comparison of the demo's workload (N ascending inserts from an
# N-key buffer) across the module, its peers and the allocation floor (one
# node-sized block obtained and written per key, nothing else), on both heaps.
#
#   bench/compare.sh [BUILD_DIR] [ROUNDS] [N]
#
# Defaults: build-bench, 7 rounds, N = 10,000,000. BUILD_DIR must hold a
# Release build with mimalloc found (the asc_*_mimalloc programs); build it with
#   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release && cmake --build build-bench -j2
#
# Programs: asc_<structure> (system heap) and asc_<structure>_mimalloc for each
# structure, and avl_demo as shipped (mimalloc) when N is the demo's count.
# Before timing, each program's heap is checked (bench/heap_of.sh); a program
# not on the heap its name says stops the run. Then run_rounds.py runs every
# program once per round; ratios are formed within each round and summarized
# over the rounds (summarize_compare.py). Two tables come out: each structure
# against the module on the same heap, and avl_demo against each peer as its
# users build it. Figures go to bench/results/compare.json and compare.md.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
rounds=${2:-7}
keys=${3:-10000000}
out=bench/results
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

names=()
commands=()
add() { # name heap program
  local heap
  [[ -x $3 ]] || {
    echo "compare.sh: $3 missing; build $build first" >&2
    exit 1
  }
  heap=$(bench/heap_of.sh "$3" 1000)
  [[ $heap == "$2" ]] || {
    echo "compare.sh: $3 runs on the $heap heap, not on $2" >&2
    exit 1
  }
  names+=("$1")
  commands+=("$3")
}

if ((keys == 10000000)); then
  add avl_demo mimalloc "$build/avl_demo"
fi
for structure in avl std_multiset boost_avl absl_btree floor; do
  if [[ ! -x $build/bench/asc_$structure ]]; then
    echo "compare.sh: $build/bench/asc_$structure not built, skipped" >&2
    continue
  fi
  add "$structure@system" system "$build/bench/asc_$structure"
  add "$structure@mimalloc" mimalloc "$build/bench/asc_${structure}_mimalloc"
done

args=()
for ((i = 0; i < ${#names[@]}; i++)); do
  args+=("${names[i]}" "${commands[i]}")
  [[ ${names[i]} == avl_demo ]] || args[-1]+=" $keys"
done
python3 bench/run_rounds.py "$work/samples.json" "$rounds" "${args[@]}"
python3 bench/summarize_compare.py "$work/samples.json" "$keys" "$out/compare.json" \
  "$out/compare.md"
cat "$out/compare.md"
