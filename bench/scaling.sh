#!/usr/bin/env bash
# How the demo's workload grows: wall time and peak memory of N ascending
# inserts (from an N-key buffer, as avl_demo does) at N = 1, 10 and 50 million,
# for the module and each peer, with the allocation floor for reference.
#
#   bench/scaling.sh [BUILD_DIR] [RUNS] [N...]
#
# Defaults: build-bench, 3 runs, N = 1000000 10000000 50000000. At each N the
# programs run side by side under hyperfine; the median is reported, with the
# time per insert and the peak resident set size per key. Figures go to
# bench/results/scaling.json and bench/results/scaling.md.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
runs=${2:-3}
shift $(($# < 2 ? $# : 2))
sizes=("$@")
((${#sizes[@]} > 0)) || sizes=(1000000 10000000 50000000)
out=bench/results
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

names=()
for structure in avl std_multiset boost_avl absl_btree floor; do
  [[ -x $build/bench/asc_$structure ]] && names+=("$structure")
done
((${#names[@]} > 0)) || {
  echo "scaling.sh: no asc_* programs in $build/bench; build $build first" >&2
  exit 1
}

for n in "${sizes[@]}"; do
  echo "== N = $n"
  args=()
  for name in "${names[@]}"; do
    args+=(--command-name "$name" "$build/bench/asc_$name $n")
  done
  hyperfine -N --runs "$runs" --style basic --export-json "$work/time_$n.json" "${args[@]}" \
    >/dev/null
  for name in "${names[@]}"; do
    /usr/bin/time -v "$build/bench/asc_$name" "$n" 2>"$work/mem_${name}_$n.txt" >/dev/null
  done
done

python3 - "$work" "$out" "$(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores" \
  "${sizes[*]}" "${names[*]}" <<'EOF'
import json, pathlib, re, sys
work, out, machine = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), sys.argv[3]
sizes = [int(n) for n in sys.argv[4].split()]
names = sys.argv[5].split()
rows = []
for n in sizes:
    medians = {r["command"]: r["median"]
               for r in json.loads((work / f"time_{n}.json").read_text())["results"]}
    for name in names:
        text = (work / f"mem_{name}_{n}.txt").read_text()
        rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1))
        rows.append({"n": n, "structure": name, "median_wall_s": medians[name],
                     "ns_per_insert": 1e9 * medians[name] / n, "peak_rss_kib": rss,
                     "peak_rss_bytes_per_key": 1024 * rss / n})
(out / "scaling.json").write_text(json.dumps({"machine": machine, "rows": rows}, indent=2) + "\n")
lines = [f"Measured on {machine}; median of the runs at each N.", "",
         "| N | structure | median wall s | ns per insert | peak RSS KiB | peak bytes per key |",
         "|---:|---|---:|---:|---:|---:|"]
for r in rows:
    lines.append(f"| {r['n']:,} | {r['structure']} | {r['median_wall_s']:.3f} | "
                 f"{r['ns_per_insert']:.0f} | {r['peak_rss_kib']:,} | "
                 f"{r['peak_rss_bytes_per_key']:.1f} |")
(out / "scaling.md").write_text("\n".join(lines) + "\n")
print("\n".join(lines))
EOF
