#!/usr/bin/env bash
# Instruction and branch counts per operation, from callgrind's simulation
# (deterministic, so they compare builds and structures where timings on a
# shared machine cannot): every ops_<structure> program on each workload, only
# the measured part counted (--toggle-collect).
#
#   bench/profile.sh [--save] [BUILD_DIR]
#
# Default build-bench where it exists, else build. Prints a Markdown table and
# writes it to BUILD_DIR/results/profile.md, or with --save to the committed
# bench/results/profile.md. The counts include the heap's work (the ops_*
# programs run on the system heap). Takes a few minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

bench_setup "$@"
bench_need "$build/bench/ops_avl"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v valgrind >/dev/null || {
  echo "profile.sh: valgrind is required" >&2
  exit 1
}

workloads=("ascending 1000000 1" "descending 1000000 1" "random-insert 10000 10"
  "random-insert 100000 1" "random-delete 10000 10" "random-delete 100000 1"
  "ordered-delete 1000000 1"
  "lookup-hit 100000 1" "lookup-miss 100000 1")
rows=()
for workload in "${workloads[@]}"; do
  read -r name n rounds <<<"$workload"
  for structure in "${bench_structures[@]}"; do
    program=$build/bench/ops_$structure
    [[ -x $program ]] || continue # not built; no ops_floor either
    file=$work/$structure.$name.$n
    valgrind --tool=callgrind --branch-sim=yes --toggle-collect='*measured*' \
      --callgrind-out-file="$file" "$program" "$name" "$n" "$rounds" >/dev/null 2>&1
    rows+=("$name $n $structure $((n * rounds)) $file")
  done
done

printf '%s\n' "${rows[@]}" >"$work/rows.txt"
python3 - "$work/rows.txt" <<'EOF' | tee "$out/profile.md"
import re, sys
lines = ["Callgrind (--branch-sim=yes), per operation, heap work included (system heap):", "",
         "| workload | N | structure | instructions | conditional branches | mispredicted |",
         "|---|---:|---|---:|---:|---:|"]
for row in open(sys.argv[1]).read().split("\n"):
    if not row:
        continue
    name, n, structure, ops, path = row.split()
    text = open(path).read()
    events = re.search(r"^events: (.*)$", text, re.M).group(1).split()
    totals = re.search(r"^(?:summary|totals): (.*)$", text, re.M).group(1).split()
    count = dict(zip(events, map(int, totals)))
    ops = int(ops)
    mispredicted = (count["Bcm"] + count.get("Bim", 0)) / ops
    lines.append(f"| {name} | {int(n):,} | {structure} | {count['Ir'] / ops:.0f} | "
                 f"{count['Bc'] / ops:.1f} | {mispredicted:.2f} |")
print("\n".join(lines))
EOF
