#!/usr/bin/env python3
"""Times whole programs side by side, in rounds.

usage: run_rounds.py OUT_JSON ROUNDS NAME COMMAND [NAME COMMAND ...]

COMMAND is split on spaces. Every program first runs once untimed under
/usr/bin/time, which reports its peak resident set size (a warm-up that also
loads it and its libraries into the page cache; the peak is taken there
because a child forked from this interpreter would start its count from the
interpreter's own size). Then each round runs
every program once, each round starting one program further down the list and
going in the opposite direction from the round before, so that no program
always follows the same neighbour. Per run it records the wall-clock time and
the CPU time (user + system, from wait4); a run that exits non-zero stops
everything.

The JSON holds the machine, the date and every sample; ratios are formed per
round by the summaries (summarize_compare.py, scaling.sh), because on a
shared machine two programs are only comparable when timed close together.
"""
import datetime
import json
import os
import pathlib
import subprocess
import sys
import time


def machine():
    model = "unknown CPU"
    try:
        for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return f"{model}, {os.cpu_count()} CPUs"


def run_once(command):
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"run_rounds.py: {' '.join(command)} failed (status {status})")
    return wall, usage.ru_utime + usage.ru_stime


def peak_rss_kib(command):
    result = subprocess.run(["/usr/bin/time", "-f", "%M", "--"] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit(f"run_rounds.py: {' '.join(command)} failed: {result.stderr.strip()}")
    return int(result.stderr.strip().splitlines()[-1])


def main():
    out, rounds = pathlib.Path(sys.argv[1]), int(sys.argv[2])
    pairs = sys.argv[3:]
    if rounds < 1 or not pairs or len(pairs) % 2:
        sys.exit(__doc__)
    names, commands = pairs[0::2], [c.split() for c in pairs[1::2]]
    samples = {name: {"command": " ".join(c), "peak_rss_kib": peak_rss_kib(c), "wall_s": [],
                      "cpu_s": []} for name, c in zip(names, commands)}
    count = len(names)
    for r in range(rounds):
        order = [(r + k) % count for k in range(count)]
        if r % 2:
            order.reverse()
        print(f"round {r + 1}/{rounds}", file=sys.stderr, flush=True)
        for i in order:
            wall, cpu = run_once(commands[i])
            samples[names[i]]["wall_s"].append(wall)
            samples[names[i]]["cpu_s"].append(cpu)
    out.write_text(json.dumps({
        "machine": machine(),
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%MZ"),
        "rounds": rounds, "programs": samples}, indent=2) + "\n")


if __name__ == "__main__":
    main()
