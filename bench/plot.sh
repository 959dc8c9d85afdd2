#!/usr/bin/env bash
# Draws docs/bench_time_per_op.svg from the saved avl_bench figures: time per
# operation against N, one panel per workload, one line per structure.
#
#   bench/plot.sh [BENCH_JSON] [SVG]
#
# Defaults: bench/results/avl_bench.json (written by bench/run_bench.sh) and
# docs/bench_time_per_op.svg. Needs python3 and gnuplot.
set -euo pipefail
cd "$(dirname "$0")/.."

input=${1:-bench/results/avl_bench.json}
svg=${2:-docs/bench_time_per_op.svg}
mkdir -p "$(dirname "$svg")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One data file per (workload, structure): "N ns_per_op" lines, ascending N.
python3 - "$input" "$work" <<'EOF'
import collections, json, pathlib, re, sys
data = json.loads(pathlib.Path(sys.argv[1]).read_text())
work = pathlib.Path(sys.argv[2])
series = collections.defaultdict(list)
for b in data["benchmarks"]:
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
        continue
    if b.get("error_occurred") or "items_per_second" not in b:
        continue
    m = re.match(r"(\w+)<(\w+)>/(?:n:)?(\d+)(?:/hit:(\d))?", b["name"])
    if not m:
        continue
    workload, structure, n, hit = m.groups()
    if workload == "Lookup":
        workload += "Hit" if hit == "1" else "Miss"
    series[(workload, structure)].append((int(n), 1e9 / b["items_per_second"]))
for (workload, structure), points in series.items():
    points = dict(sorted(points))  # repetitions collapse to one point per N
    (work / f"{workload}.{structure}.dat").write_text(
        "".join(f"{n} {ns:.3f}\n" for n, ns in points.items()))
EOF

machine=$(python3 - "$input" <<'EOF'
import json, sys
context = json.load(open(sys.argv[1]))["context"]
print(f"{context.get('num_cpus')} CPUs at {context.get('mhz_per_cpu')} MHz")
EOF
)

plot_panel() { # workload title
  local workload=$1 title=$2 sep="" line=""
  line="set title '$title'; plot "
  for structure in Avl StdMultiset BoostAvl AbslBtree; do
    local file="$work/$workload.$structure.dat"
    [[ -s $file ]] || continue
    line+="$sep'$file' using 1:2 with linespoints ls ${styles[$structure]} title '${labels[$structure]}' noenhanced"
    sep=", "
  done
  echo "$line"
}
declare -A styles=([Avl]=1 [StdMultiset]=2 [BoostAvl]=3 [AbslBtree]=4)
declare -A labels=([Avl]="this module (AVL)" [StdMultiset]="std::multiset"
  [BoostAvl]="Boost.Intrusive avl_multiset" [AbslBtree]="absl::btree_multiset")

{
  cat <<EOF
set terminal svg size 1200,760 dynamic font 'Helvetica,11' background '#ffffff'
set output '$svg'
set multiplot layout 2,3 title 'Time per operation against N (CPU time; $machine)' noenhanced
set logscale xy
set format x '10^{%L}'
set xrange [5000:20000000]
set xlabel 'N (keys in the structure)'
set ylabel 'ns per operation'
set grid
set key top left font ',9'
set style line 1 lc rgb '#d62728' lw 2 pt 7
set style line 2 lc rgb '#1f77b4' lw 2 pt 5
set style line 3 lc rgb '#2ca02c' lw 2 pt 9
set style line 4 lc rgb '#9467bd' lw 2 pt 13
EOF
  plot_panel InsertAscending "ascending inserts"
  plot_panel InsertRandom "random inserts"
  plot_panel DeleteRandom "random deletes (half absent)"
  plot_panel LookupHit "lookups that hit"
  plot_panel LookupMiss "lookups that miss"
  echo "unset multiplot"
} >"$work/plot.gp"
gnuplot "$work/plot.gp"
echo "wrote $svg"
