#!/usr/bin/env bash
# How the demo's workload grows: wall time and peak memory of N ascending
# inserts (from an N-key buffer, as avl_demo does) at N = 1, 10 and 50 million,
# for the module and each peer, with the allocation floor for reference, on
# both heaps.
#
#   bench/scaling.sh [--save] [BUILD_DIR] [ROUNDS] [N...]
#
# Defaults: build-bench where it exists, else build; 3 rounds; N = 1000000 10000000 50000000. At each N
# every asc_* program (system heap) and asc_*_mimalloc program, all on 4 KiB
# pages, runs once per
# round (bench/run_rounds.py); the median is reported, with the time per
# insert and the peak resident set per key (key buffer included). Figures go
# to BUILD_DIR/results/scaling.json and scaling.md, or with --save to the
# committed bench/results/.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

bench_setup "$@"
rounds=${bench_args[1]:-3}
sizes=("${bench_args[@]:2}")
((${#sizes[@]} > 0)) || sizes=(1000000 10000000 50000000)
bench_need "$build/bench/asc_avl"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

programs=()
for structure in "${bench_structures[@]}"; do
  for heap in system mimalloc; do
    program=$(bench_program "$build" "asc_$structure" "$heap")
    [[ -x $program ]] || continue
    bench_check_heap "$program" "$heap" 1000
    programs+=("$structure@$heap" "$program")
  done
done
((${#programs[@]} > 0)) || {
  echo "scaling.sh: no asc_* programs in $build/bench; build $build first" >&2
  exit 1
}

for n in "${sizes[@]}"; do
  echo "== N = $n"
  args=()
  for ((i = 0; i < ${#programs[@]}; i += 2)); do
    args+=("${programs[i]}" "${programs[i + 1]} $n")
  done
  python3 bench/run_rounds.py "$work/samples_$n.json" "$rounds" "${args[@]}"
done

python3 - "$work" "$out" "${sizes[*]}" <<'EOF'
import json, pathlib, statistics, sys
work, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
sizes = [int(n) for n in sys.argv[3].split()]
rows, machine, date = [], None, None
for n in sizes:
    samples = json.loads((work / f"samples_{n}.json").read_text())
    machine, date = samples["machine"], samples["date"]
    avl = {}
    for name, p in samples["programs"].items():
        structure, heap = name.split("@")
        wall = statistics.median(p["wall_s"])
        if structure == "avl":
            avl[heap] = p["wall_s"]
        rows.append({"n": n, "structure": structure, "heap": heap, "median_wall_s": wall,
                     "ns_per_insert": 1e9 * wall / n, "peak_rss_kib": p["peak_rss_kib"],
                     "peak_rss_bytes_per_key": 1024 * p["peak_rss_kib"] / n,
                     "wall_s": p["wall_s"]})
    for r in rows:
        if r["n"] == n and r["heap"] in avl:
            r["avl_ratio"] = statistics.median(
                a / b for a, b in zip(avl[r["heap"]], r["wall_s"]))
(out / "scaling.json").write_text(
    json.dumps({"machine": machine, "date": date, "rows": rows}, indent=2) + "\n")
lines = [f"Measured {date} on {machine}; median of the rounds at each N; 'avl / this' is the "
         "median over the rounds of the module's wall time over this program's, same heap.", "",
         "| N | structure | heap | median wall s | ns per insert | avl / this | peak RSS KiB "
         "| peak bytes per key |", "|---:|---|---|---:|---:|---:|---:|---:|"]
for r in rows:
    lines.append(f"| {r['n']:,} | {r['structure']} | {r['heap']} | {r['median_wall_s']:.3f} | "
                 f"{r['ns_per_insert']:.0f} | {r.get('avl_ratio', float('nan')):.2f} | "
                 f"{r['peak_rss_kib']:,} | {r['peak_rss_bytes_per_key']:.1f} |")
(out / "scaling.md").write_text("\n".join(lines) + "\n")
print("\n".join(lines))
EOF
