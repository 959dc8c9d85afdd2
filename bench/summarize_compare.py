#!/usr/bin/env python3
"""Turns the samples of bench/compare.sh into ratios and Markdown tables.

usage: summarize_compare.py SAMPLES_JSON KEYS OUT_JSON OUT_MD

SAMPLES_JSON is run_rounds.py's output with programs named <structure>@<heap>
(structures avl, std_multiset, boost_avl, absl_btree, floor; heaps system and
mimalloc) plus avl_demo (on its default heap, mimalloc). A ratio is formed
within each round, from two runs made next to each other; the tables give the
median over the rounds, with the smallest and largest round in brackets.
"""
import json
import pathlib
import statistics
import sys

PEERS = [("std_multiset", "`std::multiset`"), ("boost_avl", "Boost.Intrusive `avl_multiset`"),
         ("absl_btree", "Abseil `btree_multiset`"), ("floor", "the allocation floor")]
HEAPS = [("mimalloc", "mimalloc"), ("system", "system heap (glibc)")]


def ratio(programs, a, b, what):
    values = [x / y for x, y in zip(programs[a][what], programs[b][what])]
    return {"median": statistics.median(values), "min": min(values), "max": max(values)}


def cell(r):
    return f"{r['median']:.2f} ({r['min']:.2f}..{r['max']:.2f})"


def main():
    samples = json.loads(pathlib.Path(sys.argv[1]).read_text())
    keys = int(sys.argv[2])
    out_json, out_md = pathlib.Path(sys.argv[3]), pathlib.Path(sys.argv[4])
    programs = samples["programs"]

    summary = {"machine": samples["machine"], "date": samples["date"],
               "rounds": samples["rounds"], "keys": keys, "programs": {}, "ratios": {}}
    for name, p in programs.items():
        rss = p["peak_rss_kib"]
        summary["programs"][name] = {
            "command": p["command"], "median_wall_s": statistics.median(p["wall_s"]),
            "median_cpu_s": statistics.median(p["cpu_s"]), "peak_rss_kib": rss,
            "peak_rss_bytes_per_key": 1024 * rss / keys}

    def add(a, b):
        if a in programs and b in programs:
            summary["ratios"][f"{a}/{b}"] = {"wall": ratio(programs, a, b, "wall_s"),
                                             "cpu": ratio(programs, a, b, "cpu_s")}
            return summary["ratios"][f"{a}/{b}"]
        return None

    lines = [f"Measured {summary['date']} on {summary['machine']}: {summary['rounds']} rounds, "
             f"one run of every program per round, {keys:,} ascending inserts each.", ""]

    # 1: the module and each peer on one heap.
    lines += ["The module against each peer on the same heap (asc_avl against asc_<peer>, "
              "both built for that heap); time ratios, median over the rounds (min..max):", "",
              "| avl against | " + " | ".join(f"{h}: wall | {h}: CPU" for _, h in HEAPS) + " |",
              "|---|" + "---:|---:|" * len(HEAPS)]
    for peer, label in PEERS:
        cells = []
        for heap, _ in HEAPS:
            r = add(f"avl@{heap}", f"{peer}@{heap}")
            cells += [cell(r["wall"]), cell(r["cpu"])] if r else ["-", "-"]
        lines.append(f"| {label} | " + " | ".join(cells) + " |")

    # 2: the demo as shipped against the peers as their users build them.
    lines += ["", "avl_demo on its default heap (mimalloc) against each peer as its users build "
              "it (system heap), and against the allocation floor on the demo's heap:", "",
              "| avl_demo against | wall | CPU |", "|---|---:|---:|"]
    for peer, label in PEERS:
        heap = "mimalloc" if peer == "floor" else "system"
        r = add("avl_demo", f"{peer}@{heap}")
        if r:
            lines.append(f"| {label} ({heap}) | {cell(r['wall'])} | {cell(r['cpu'])} |")

    lines += ["", "Every program (median wall and CPU time over the rounds, peak resident set; "
              "bytes per key = peak resident set / keys, the 4-byte key buffer included):", "",
              "| program | heap | median wall s | median CPU s | peak RSS KiB | bytes per key |",
              "|---|---|---:|---:|---:|---:|"]
    for name, p in summary["programs"].items():
        structure, _, heap = name.partition("@")
        lines.append(f"| {structure} | {heap or 'mimalloc'} | {p['median_wall_s']:.3f} | "
                     f"{p['median_cpu_s']:.3f} | {p['peak_rss_kib']:,.0f} | "
                     f"{p['peak_rss_bytes_per_key']:.1f} |")
    out_json.write_text(json.dumps(summary, indent=2) + "\n")
    out_md.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
