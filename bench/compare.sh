#!/usr/bin/env bash
# Whole-process comparison of the demo's workload (N ascending inserts from an
# N-key buffer) across the module, its peers, the allocation floor (one
# node-sized block obtained and written per key, nothing else) and the limit
# of the design (the floor plus N walks down the tree's right spine), on both
# heaps, each on 4 KiB pages and on huge pages.
#
#   bench/compare.sh [--save] [BUILD_DIR] [ROUNDS] [N]
#
# Defaults: build-bench where it exists, else build; 7 rounds; N = 10,000,000.
# BUILD_DIR must hold a Release build with mimalloc found (the asc_*_mimalloc
# programs); build it with
#   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release && cmake --build build-bench -j2
#
# Four heap and page settings, the same for every structure:
#   mimalloc+huge  asc_<structure>_mimalloc with MIMALLOC_LARGE_OS_PAGES=1, the
#                  setting avl_demo as shipped chooses for itself (app/heap.cpp)
#   mimalloc       asc_<structure>_mimalloc, 4 KiB pages
#   system+huge    asc_<structure> with GLIBC_TUNABLES=glibc.malloc.hugetlb=1
#   system         asc_<structure>, 4 KiB pages: how users build the peers
# and spine_walk[_mimalloc] in each, for the limit. avl_demo runs as shipped
# and, as avl_demo@mimalloc, with MIMALLOC_LARGE_OS_PAGES=0, when N is the
# demo's count. Before timing, each program's heap is checked; a program not
# on the heap its name says stops the run. Then run_rounds.py runs every
# program once per round; ratios are formed within each round and summarized
# over the rounds (summarize_compare.py). Figures go to BUILD_DIR/results/
# compare.json and compare.md, or with --save to the committed bench/results/.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

bench_setup "$@"
rounds=${bench_args[1]:-7}
keys=${bench_args[2]:-10000000}
bench_need "$build/bench/asc_avl" "$build/bench/asc_avl_mimalloc"
((keys != 10000000)) || bench_need "$build/avl_demo"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

declare -A page_option=([mimalloc+huge]=MIMALLOC_LARGE_OS_PAGES=1 [mimalloc]=""
  [system+huge]=GLIBC_TUNABLES=glibc.malloc.hugetlb=1 [system]="")
settings=(mimalloc+huge mimalloc system+huge system)

args=()
add() { # name heap program [environment]
  bench_check_heap "$3" "$2" 1000
  args+=("$1" "${4:+$4 }$3")
}

if ((keys == 10000000)); then
  add avl_demo mimalloc "$build/avl_demo"
  add avl_demo@mimalloc mimalloc "$build/avl_demo" MIMALLOC_LARGE_OS_PAGES=0
fi
for name in "${bench_structures[@]/#/asc_}" spine_walk; do
  if [[ ! -x $(bench_program "$build" "$name" system) ]]; then
    echo "compare.sh: $build/bench/$name not built, skipped" >&2
    continue
  fi
  for setting in "${settings[@]}"; do
    heap=${setting%+huge}
    add "${name#asc_}@$setting" "$heap" "$(bench_program "$build" "$name" "$heap")" \
      "${page_option[$setting]}"
  done
done

for ((i = 0; i < ${#args[@]}; i += 2)); do
  [[ ${args[i]} == avl_demo* ]] || args[i + 1]+=" $keys"
done
python3 bench/run_rounds.py "$work/samples.json" "$rounds" "${args[@]}"
python3 bench/summarize_compare.py "$work/samples.json" "$keys" "$out/compare.json" \
  "$out/compare.md"
cat "$out/compare.md"
