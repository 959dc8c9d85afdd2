#!/usr/bin/env bash
# Runs avl_bench on both heaps, every workload at N = 10^4 .. 10^7, with
# repetitions in random interleaving (the fairest side-by-side comparison a
# shared machine allows), writes the module's time ratios to each peer on the
# same heap and redraws the plot.
#
#   bench/run_bench.sh [--save] [BUILD_DIR] [REPETITIONS] [FILTER]
#
# Defaults: build-bench where it exists, else build; 3 repetitions; every
# case. The heaps: avl_bench (the
# system heap) and avl_bench_mimalloc (mimalloc serving the whole process),
# each checked with bench/heap_of.sh before it runs. Writes
# BUILD_DIR/results/avl_bench_<heap>.json, ratios.md and bench_time_per_op.svg,
# or with --save the committed bench/results/ files and
# docs/bench_time_per_op.svg. Takes about 35 minutes with the defaults, most
# of it in the 10^7 cases; a FILTER (a --benchmark_filter regex such as
# '/100000$|n:100000/') runs fewer cases and leaves the plot alone.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

bench_setup "$@"
repetitions=${bench_args[1]:-3}
filter=${bench_args[2]:-}
bench_need "$build/bench/avl_bench" "$build/bench/avl_bench_mimalloc"
mkdir -p "$out"
plot=$out/bench_time_per_op.svg
((bench_save)) && plot=docs/bench_time_per_op.svg

heaps=(system mimalloc)
for heap in "${heaps[@]}"; do
  bench_check_heap "$(bench_program "$build" avl_bench "$heap")" "$heap" \
    --benchmark_filter='InsertRandom<Avl>/10000$' --benchmark_min_time=0.001
done

results=()
for heap in "${heaps[@]}"; do
  bench=$(bench_program "$build" avl_bench "$heap")
  json=$out/avl_bench_$heap.json
  [[ -z $filter ]] || json=$(mktemp --suffix=.json)
  echo "== $heap heap: $repetitions interleaved repetitions"
  "$bench" ${filter:+--benchmark_filter="$filter"} --benchmark_min_time=0.2 \
    --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json >/dev/null
  results+=("$json")
done

ratios=$out/ratios.md
[[ -z $filter ]] || ratios=/dev/stdout
python3 bench/summarize_bench.py "$ratios" "${results[@]}"
if [[ -z $filter ]]; then
  cat "$ratios"
  if command -v gnuplot >/dev/null; then
    bench/plot.sh "$plot" "${results[@]}"
  else
    echo "run_bench.sh: gnuplot not found, plot not redrawn" >&2
  fi
fi
