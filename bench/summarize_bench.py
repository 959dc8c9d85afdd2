#!/usr/bin/env python3
"""The module's time per operation over each peer's, on the same heap.

usage: summarize_bench.py OUT_MD BENCH_JSON...

Each BENCH_JSON is an avl_bench output with repetitions (aggregates); its
heap is read from the context. Cells are median CPU time per operation of the
module over that of the peer, for the same workload, N and heap: below 1 the
module is faster.
"""
import json
import pathlib
import re
import sys

PEERS = [("StdMultiset", "std::multiset"), ("BoostAvl", "avl_multiset"),
         ("AbslBtree", "btree_multiset")]
WORKLOADS = [("InsertAscending", "ascending inserts"), ("InsertRandom", "random inserts"),
             ("DeleteRandom", "random deletes"), ("LookupHit", "lookups, hit"),
             ("LookupMiss", "lookups, miss")]


def load(path):
    data = json.loads(pathlib.Path(path).read_text())
    heap = data["context"].get("heap", "?")
    ns = {}  # (workload, structure, n) -> median ns per operation (CPU time)
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median" or "items_per_second" not in b:
            continue
        if b.get("error_occurred"):
            continue
        m = re.match(r"(\w+)<(\w+)>/(?:n:)?(\d+)(?:/hit:(\d))?", b["name"])
        if not m:
            continue
        workload, structure, n, hit = m.groups()
        if workload == "Lookup":
            workload += "Hit" if hit == "1" else "Miss"
        ns[(workload, structure, int(n))] = 1e9 / b["items_per_second"]
    return heap, data["context"], ns


def main():
    out = pathlib.Path(sys.argv[1])
    tables = [load(p) for p in sys.argv[2:]]
    context = tables[0][1]
    lines = [f"{context.get('num_cpus')} CPUs at {context.get('mhz_per_cpu')} MHz, "
             f"{context.get('date')}; median CPU time per operation over the repetitions; "
             "each ratio is the module's time over the peer's on the same heap (below 1 the "
             "module is faster).", ""]
    for heap, _, ns in tables:
        peers = [(p, label) for p, label in PEERS if any(k[1] == p for k in ns)]
        lines += [f"Heap: {heap}", "",
                  "| workload | N | module ns/op | " +
                  " | ".join(f"/ {label}" for _, label in peers) + " |",
                  "|---|---:|---:|" + "---:|" * len(peers)]
        for workload, label in WORKLOADS:
            for n in sorted({k[2] for k in ns if k[0] == workload}):
                avl = ns.get((workload, "Avl", n))
                if avl is None:
                    continue
                cells = [f"{avl / ns[(workload, p, n)]:.2f}" if (workload, p, n) in ns else "-"
                         for p, _ in peers]
                lines.append(f"| {label} | {n:,} | {avl:,.1f} | " + " | ".join(cells) + " |")
        lines.append("")
    text = "\n".join(lines)
    if str(out) == "/dev/stdout":
        print(text)
    else:
        out.write_text(text)


if __name__ == "__main__":
    main()
