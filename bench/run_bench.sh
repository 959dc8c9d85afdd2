#!/usr/bin/env bash
# Runs avl_bench in full and saves its figures, then the N = 10^6 random
# workloads again with repetitions in random interleaving (the fairest
# side-by-side comparison a shared machine allows), prints the module's
# ratios to each peer at that size and redraws the plot.
#
#   bench/run_bench.sh [BUILD_DIR] [REPETITIONS]
#
# Defaults: build-bench, 5 repetitions. With AVL_BENCH_SKIP_FULL=1 only the
# N = 10^6 pass runs and the saved full figures are kept. Writes bench/results/avl_bench.json
# (all workloads, N = 10^4 .. 10^7), bench/results/avl_bench_1e6.json and
# bench/results/ratios_1e6.md, and docs/bench_time_per_op.svg. The full pass
# takes several minutes, most of it in the 10^7 cases.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
repetitions=${2:-5}
bench=$build/bench/avl_bench
out=bench/results
[[ -x $bench ]] || {
  echo "run_bench.sh: $bench missing; configure with Google Benchmark installed and build" >&2
  exit 1
}
mkdir -p "$out"

if [[ ${AVL_BENCH_SKIP_FULL:-0} != 1 ]]; then
  echo "== all workloads, N = 10^4 .. 10^7"
  "$bench" --benchmark_out="$out/avl_bench.json" --benchmark_out_format=json
fi

echo "== N = 10^6, random workloads, $repetitions interleaved repetitions"
"$bench" --benchmark_filter='(Random<.*>/1000000$|n:1000000/)' \
  --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$out/avl_bench_1e6.json" --benchmark_out_format=json >/dev/null

python3 - "$out/avl_bench_1e6.json" "$out/ratios_1e6.md" <<'EOF'
import json, pathlib, re, sys
data = json.loads(pathlib.Path(sys.argv[1]).read_text())
stats = {}  # (case, structure, aggregate) -> operations per second
for b in data["benchmarks"]:
    if b.get("run_type") != "aggregate" or "items_per_second" not in b:
        continue
    m = re.match(r"(\w+)<(\w+)>(/.*?)_(\w+)$", b["name"])
    if m:
        workload, structure, args, aggregate = m.groups()
        stats[(workload + args, structure, aggregate)] = b["items_per_second"]
cases = sorted({c for c, _, _ in stats})
peers = [p for p in ("StdMultiset", "BoostAvl", "AbslBtree") if any(s == p for _, s, _ in stats)]
lines = [f"{data['context'].get('num_cpus')} CPUs at {data['context'].get('mhz_per_cpu')} MHz; "
         "median operations per second over the repetitions (CPU time); "
         "a ratio above 1 means the module is faster.", "",
         "| case | module ops/s | " + " | ".join(f"module / {p}" for p in peers) + " |",
         "|---|---:|" + "---:|" * len(peers)]
for case in cases:
    avl = stats.get((case, "Avl", "median"))
    if avl is None:
        continue
    cells = [f"{avl / stats[(case, p, 'median')]:.2f}" if (case, p, "median") in stats else "-"
             for p in peers]
    lines.append(f"| {case} | {avl:,.0f} | " + " | ".join(cells) + " |")
pathlib.Path(sys.argv[2]).write_text("\n".join(lines) + "\n")
print("\n".join(lines))
EOF

if command -v gnuplot >/dev/null; then
  bench/plot.sh "$out/avl_bench.json" docs/bench_time_per_op.svg
else
  echo "run_bench.sh: gnuplot not found, plot not redrawn" >&2
fi
