#!/usr/bin/env python3
"""Turns the samples of bench/compare.sh into ratios and Markdown tables.

usage: summarize_compare.py SAMPLES_JSON KEYS OUT_JSON OUT_MD

SAMPLES_JSON is run_rounds.py's output with programs named
<structure>@<setting> (structures avl, std_multiset, boost_avl, absl_btree,
floor and spine_walk; settings mimalloc+huge, mimalloc, system+huge, system:
the heap, and "+huge" for huge pages) plus avl_demo (as shipped: mimalloc,
large OS pages) and avl_demo@mimalloc (4 KiB pages). "The limit" of a setting
is, per round, the floor's wall time plus the time spine_walk reports for its
KEYS walks down the right spine. A ratio is formed within each round, from
runs made next to each other; the tables give the median over the rounds,
with the smallest and largest round in brackets.
"""
import json
import pathlib
import re
import statistics
import sys

PEERS = [("std_multiset", "`std::multiset`"), ("boost_avl", "Boost.Intrusive `avl_multiset`"),
         ("absl_btree", "Abseil `btree_multiset`"), ("floor", "the allocation floor"),
         ("limit", "the limit: the floor + one spine walk per key")]
SETTINGS = [("mimalloc+huge", "mimalloc, huge pages"), ("mimalloc", "mimalloc, 4 KiB"),
            ("system+huge", "system, huge pages"), ("system", "system, 4 KiB")]
OPTIONS = {"mimalloc+huge": "MIMALLOC_LARGE_OS_PAGES=1",
           "system+huge": "GLIBC_TUNABLES=glibc.malloc.hugetlb=1"}


def walk_seconds(output, keys):
    """spine_walk's mean time per walk, times the KEYS walks it made."""
    return float(re.match(r"([0-9.]+) ns per walk", output).group(1)) * keys / 1e9


def cell(values):
    return f"{statistics.median(values):.2f} ({min(values):.2f}..{max(values):.2f})"


def demo_tables(programs, ratio):
    """avl_demo as shipped against each peer as its users build it, and with the demo's pages."""
    lines = ["", "avl_demo as shipped (mimalloc, large OS pages) against each "
             "peer as its users build it (system heap, 4 KiB pages), and against each peer "
             "with the demo's heap and page option (mimalloc+huge); wall time:", "",
             "| avl_demo against | as users build it (system, 4 KiB) "
             "| same heap and pages (mimalloc, huge) |", "|---|---:|---:|"]
    for peer, label in PEERS:
        cells = [ratio("avl_demo", f"{peer}@system"), ratio("avl_demo", f"{peer}@mimalloc+huge")]
        lines.append(f"| {label} | " + " | ".join(cell(c) if c else "-" for c in cells) + " |")
    demo_4k = ratio("avl_demo", "avl_demo@mimalloc")
    if demo_4k:
        lines += ["", "avl_demo as shipped over avl_demo with MIMALLOC_LARGE_OS_PAGES=0: "
                  f"{cell(demo_4k)}."]
    return lines


def main():
    samples = json.loads(pathlib.Path(sys.argv[1]).read_text())
    keys = int(sys.argv[2])
    out_json, out_md = pathlib.Path(sys.argv[3]), pathlib.Path(sys.argv[4])
    programs = samples["programs"]
    # The limit of each setting, round by round, as a program of its own.
    for setting, _ in SETTINGS:
        floor, walk = programs.get(f"floor@{setting}"), programs.get(f"spine_walk@{setting}")
        if floor and walk:
            programs[f"limit@{setting}"] = {"wall_s": [
                f + walk_seconds(o, keys) for f, o in zip(floor["wall_s"], walk["output"])]}

    summary = {"machine": samples["machine"], "date": samples["date"],
               "rounds": samples["rounds"], "keys": keys, "programs": {}, "ratios": {}}

    def ratio(a, b):
        """Per-round wall-time ratios a/b, recorded in the summary; None if either is missing."""
        if a not in programs or b not in programs:
            return None
        values = [x / y for x, y in zip(programs[a]["wall_s"], programs[b]["wall_s"])]
        summary["ratios"][f"{a}/{b}"] = {"median": statistics.median(values),
                                         "min": min(values), "max": max(values)}
        return values

    lines = [f"Measured {summary['date']} on {summary['machine']}: {summary['rounds']} rounds, "
             f"one run of every program per round, {keys:,} ascending inserts each. "
             "Huge pages: " + ", ".join(f"{k} is `{v}`" for k, v in OPTIONS.items()) +
             "; avl_demo as shipped sets mimalloc's option itself.", ""]

    # 1: the module and each peer with the same heap and the same pages.
    lines += ["The module against each peer with the same heap and the same page option "
              "(asc_avl against asc_<peer>, both built for that heap, both run with that "
              "option); wall-time ratios, median over the rounds (min..max):", "",
              "| asc_avl against | " + " | ".join(label for _, label in SETTINGS) + " |",
              "|---|" + "---:|" * len(SETTINGS)]
    for peer, label in PEERS:
        cells = [ratio(f"avl@{s}", f"{peer}@{s}") for s, _ in SETTINGS]
        lines.append(f"| {label} | " + " | ".join(cell(c) if c else "-" for c in cells) + " |")

    # 2: the demo as shipped, against the peers as their users build them and
    # against the peers with the demo's own heap and pages.
    if "avl_demo" in programs:
        lines += demo_tables(programs, ratio)

    # 3: where the time goes, per program.
    lines += ["", "Every program: median over the rounds of wall time, user and system CPU "
              "time and page faults; peak resident set (bytes per key: peak resident set / "
              "keys, the 4-byte key buffer included). spine_walk's time is the whole "
              "process (it builds the tree first); its walks alone are in the limit.", "",
              "| program | setting | wall s | user s | system s | page faults "
              "| peak RSS KiB | bytes per key |", "|---|---|---:|---:|---:|---:|---:|---:|"]
    for name, p in programs.items():
        if "command" not in p:
            continue
        structure, _, setting = name.partition("@")
        if structure == "avl_demo":
            setting = setting or "mimalloc+huge"
            structure += " (as shipped)" if name == "avl_demo" else " (pages option 0)"
        median = {f: statistics.median(p[f]) for f in ("wall_s", "user_s", "sys_s", "faults")}
        rss = p["peak_rss_kib"]
        summary["programs"][name] = {"command": p["command"], "peak_rss_kib": rss,
                                     "peak_rss_bytes_per_key": 1024 * rss / keys,
                                     **{f"median_{f}": v for f, v in median.items()}}
        lines.append(f"| {structure} | {setting} | {median['wall_s']:.3f} | "
                     f"{median['user_s']:.3f} | {median['sys_s']:.3f} | "
                     f"{median['faults']:,.0f} | {rss:,} | {1024 * rss / keys:.1f} |")
    for setting, _ in SETTINGS:
        if f"limit@{setting}" in programs:
            summary["programs"][f"limit@{setting}"] = {
                "median_wall_s": statistics.median(programs[f"limit@{setting}"]["wall_s"])}
    out_json.write_text(json.dumps(summary, indent=2) + "\n")
    out_md.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
