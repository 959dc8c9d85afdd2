#!/usr/bin/env python3
"""Turns the rounds of bench/compare.sh into ratios and a Markdown table.

usage: summarize_compare.py WORK_DIR OUT_JSON OUT_MD NAME...

WORK_DIR holds round<k>.json (hyperfine exports), mem_<name>.txt
(/usr/bin/time -v reports) and meta.json. The first NAME is the program the
others are compared with (avl_demo).
"""
import json
import pathlib
import re
import statistics
import sys

# The demo's memory as the heap hands it out: each node is a 32-byte record
# (int32, two links, int32, padded to 8-byte alignment), which glibc serves
# from a 48-byte chunk (size + 8-byte header, rounded up to 16), and the key
# buffer is 10,000,000 int32 values.
NODE_CHUNK_BYTES = 48
KEY_COUNT = 10_000_000
KEY_BUFFER_BYTES = 4 * KEY_COUNT
EXPECTED_DEMO_BYTES = KEY_COUNT * NODE_CHUNK_BYTES + KEY_BUFFER_BYTES


def peak_kib(path):
    match = re.search(r"Maximum resident set size \(kbytes\): (\d+)", path.read_text())
    return int(match.group(1)) if match else None


def main():
    work, out_json, out_md = (pathlib.Path(p) for p in sys.argv[1:4])
    names = sys.argv[4:]
    demo = names[0]
    meta = json.loads((work / "meta.json").read_text())

    rounds = []  # per round: name -> (median wall s, mean cpu s)
    for path in sorted(work.glob("round*.json")):
        results = json.loads(path.read_text())["results"]
        rounds.append({r["command"]: (r["median"], r["user"] + r["system"]) for r in results})

    summary = {"machine": meta["machine"], "date": meta["date"], "rounds": meta["rounds"],
               "runs_per_round": meta["runs_per_round"], "programs": {}, "ratios": {}}
    for name in names:
        walls = [r[name][0] for r in rounds]
        cpus = [r[name][1] for r in rounds]
        summary["programs"][name] = {
            "median_wall_s": statistics.median(walls),
            "wall_s_by_round": walls,
            "median_cpu_s": statistics.median(cpus),
            "peak_rss_kib": peak_kib(work / f"mem_{name}.txt"),
        }
    for name in names[1:]:
        wall = [r[demo][0] / r[name][0] for r in rounds]
        cpu = [r[demo][1] / r[name][1] for r in rounds]
        summary["ratios"][f"{demo}/{name}"] = {
            "wall_median": statistics.median(wall), "wall_min": min(wall), "wall_max": max(wall),
            "cpu_median": statistics.median(cpu), "cpu_min": min(cpu), "cpu_max": max(cpu),
        }
    demo_rss = summary["programs"][demo]["peak_rss_kib"]
    expected_kib = EXPECTED_DEMO_BYTES / 1024
    summary["demo_memory"] = {
        "expected_kib": expected_kib,
        "peak_rss_kib": demo_rss,
        "excess": (demo_rss - expected_kib) / expected_kib if demo_rss else None,
    }
    out_json.write_text(json.dumps(summary, indent=2) + "\n")

    lines = [
        f"Measured {summary['date']} on {summary['machine']}: "
        f"{summary['rounds']} rounds x {summary['runs_per_round']} runs of each program.",
        "",
        "| program | median wall s | median CPU s (user+sys) | peak RSS KiB |",
        "|---|---:|---:|---:|",
    ]
    for name in names:
        p = summary["programs"][name]
        lines.append(f"| {name} | {p['median_wall_s']:.3f} | {p['median_cpu_s']:.3f} | "
                     f"{p['peak_rss_kib']} |")
    lines += ["", "| ratio | wall median (min..max over rounds) | CPU median (min..max) |",
              "|---|---:|---:|"]
    for key, r in summary["ratios"].items():
        lines.append(f"| {key} | {r['wall_median']:.2f} ({r['wall_min']:.2f}..{r['wall_max']:.2f}) "
                     f"| {r['cpu_median']:.2f} ({r['cpu_min']:.2f}..{r['cpu_max']:.2f}) |")
    m = summary["demo_memory"]
    if m["excess"] is not None:
        lines += ["", f"avl_demo peak RSS {m['peak_rss_kib']} KiB against "
                      f"{m['expected_kib']:.0f} KiB expected (10,000,000 x {NODE_CHUNK_BYTES}-byte "
                      f"heap chunks + 40,000,000-byte key buffer): {100 * m['excess']:+.2f}%"]
    out_md.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
