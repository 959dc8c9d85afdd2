#!/usr/bin/env bash
# Draws the time per operation against N from saved avl_bench figures: one
# panel per workload, one colour per structure, solid lines on mimalloc and
# dashed lines on the system heap.
#
#   bench/plot.sh [SVG] [BENCH_JSON...]
#
# Defaults: docs/bench_time_per_op.svg and bench/results/avl_bench_mimalloc.json
# bench/results/avl_bench_system.json (written by bench/run_bench.sh); the heap
# of each file is read from its context. Needs python3 and gnuplot.
set -euo pipefail
cd "$(dirname "$0")/.."

svg=${1:-docs/bench_time_per_op.svg}
shift $(($# > 0 ? 1 : 0))
inputs=("$@")
((${#inputs[@]} > 0)) ||
  inputs=(bench/results/avl_bench_mimalloc.json bench/results/avl_bench_system.json)
mkdir -p "$(dirname "$svg")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One data file per (workload, structure, heap): "N ns_per_op" lines, ascending
# N, the median over the repetitions.
machine=$(python3 - "$work" "${inputs[@]}" <<'EOF'
import collections, pathlib, sys
sys.path.insert(0, "bench")
from summarize_bench import load
work = pathlib.Path(sys.argv[1])
for path in sys.argv[2:]:
    heap, context, ns = load(path)
    series = collections.defaultdict(dict)
    for (workload, structure, n), value in ns.items():
        series[(workload, structure)][n] = value
    for (workload, structure), points in series.items():
        (work / f"{workload}.{structure}.{heap}.dat").write_text(
            "".join(f"{n} {ns:.3f}\n" for n, ns in sorted(points.items())))
print(f"{context.get('num_cpus')} CPUs at {context.get('mhz_per_cpu')} MHz")
EOF
)

declare -A colours=([Avl]='#d62728' [StdMultiset]='#1f77b4' [BoostAvl]='#2ca02c'
  [AbslBtree]='#9467bd')
declare -A points=([Avl]=7 [StdMultiset]=5 [BoostAvl]=9 [AbslBtree]=13)
declare -A labels=([Avl]="this module (AVL)" [StdMultiset]="std::multiset"
  [BoostAvl]="Boost.Intrusive avl_multiset" [AbslBtree]="absl::btree_multiset")
declare -A dashes=([mimalloc]=1 [system]=2)

plot_panel() { # workload title
  local workload=$1 title=$2 sep="" line=""
  line="set title '$title'; plot "
  for heap in mimalloc system; do
    for structure in Avl StdMultiset BoostAvl AbslBtree; do
      local file="$work/$workload.$structure.$heap.dat"
      [[ -s $file ]] || continue
      line+="$sep'$file' using 1:2 with linespoints lw 2 pt ${points[$structure]}"
      line+=" lc rgb '${colours[$structure]}' dt ${dashes[$heap]} notitle"
      sep=", "
    done
  done
  echo "$line"
}

# The sixth cell of the grid holds the key: the same styles drawn with no data.
legend_panel() {
  local sep="" line=""
  echo "unset title; unset border; unset tics; unset xlabel; unset ylabel; unset grid"
  echo "unset logscale; set xrange [0:1]; set yrange [0:1]; set key center center font ',10'"
  line="plot "
  for heap in mimalloc system; do
    for structure in Avl StdMultiset BoostAvl AbslBtree; do
      line+="${sep}NaN with linespoints lw 2 pt ${points[$structure]}"
      line+=" lc rgb '${colours[$structure]}' dt ${dashes[$heap]}"
      line+=" title '${labels[$structure]}, $heap' noenhanced"
      sep=", "
    done
  done
  echo "$line"
}

{
  cat <<EOF
set terminal svg size 1400,900 dynamic font 'Helvetica,11' background '#ffffff'
set output '$svg'
set multiplot layout 2,3 title 'Time per operation against N (median CPU time; solid: mimalloc, dashed: system heap; $machine)' noenhanced
set logscale xy
set format x '10^{%L}'
set xrange [5000:20000000]
set xlabel 'N (keys in the structure)'
set ylabel 'ns per operation'
set grid
EOF
  plot_panel InsertAscending "ascending inserts"
  plot_panel InsertRandom "random inserts"
  plot_panel DeleteRandom "random deletes (half absent)"
  plot_panel LookupHit "lookups that hit"
  plot_panel LookupMiss "lookups that miss"
  legend_panel
  echo "unset multiplot"
} >"$work/plot.gp"
gnuplot "$work/plot.gp"
echo "wrote $svg"
