#!/usr/bin/env python3
"""Times whole programs side by side, in rounds.

usage: run_rounds.py OUT_JSON ROUNDS NAME COMMAND [NAME COMMAND ...]

COMMAND is split on spaces; leading VARIABLE=VALUE words are set in the
program's environment (as a page option: MIMALLOC_LARGE_OS_PAGES=1). Every program first runs once untimed under
/usr/bin/time, which reports its peak resident set size (a warm-up that also
loads it and its libraries into the page cache; the peak is taken there
because a child forked from this interpreter would start its count from the
interpreter's own size). Then each round runs
every program once, each round starting one program further down the list and
going in the opposite direction from the round before, so that no program
always follows the same neighbour. Per run it records the wall-clock time,
the user and system CPU time and the page faults (from wait4), and the last
line the program printed (spine_walk's time per walk); a run that exits
non-zero stops everything.

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


def split(command):
    """The environment (ours plus the leading VARIABLE=VALUE words) and argv."""
    words = command.split()
    settings = 0
    while settings < len(words) and "=" in words[settings] and not words[settings].startswith("/"):
        settings += 1
    env = dict(os.environ)
    env.update(word.split("=", 1) for word in words[:settings])
    return env, words[settings:]


def run_once(command):
    env, argv = command
    start = time.perf_counter()
    process = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE)
    output = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    process.stdout.close()
    process.returncode = os.waitstatus_to_exitcode(status)  # reaped here, by wait4
    if process.returncode != 0:
        sys.exit(f"run_rounds.py: {' '.join(argv)} failed (status {status})")
    lines = output.decode().strip().splitlines()
    return {"wall_s": wall, "cpu_s": usage.ru_utime + usage.ru_stime,
            "user_s": usage.ru_utime, "sys_s": usage.ru_stime,
            "faults": usage.ru_minflt + usage.ru_majflt, "output": lines[-1] if lines else ""}


def peak_rss_kib(command):
    env, argv = command
    result = subprocess.run(["/usr/bin/time", "-f", "%M", "--"] + argv, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit(f"run_rounds.py: {' '.join(argv)} failed: {result.stderr.strip()}")
    return int(result.stderr.strip().splitlines()[-1])


def main():
    out, rounds = pathlib.Path(sys.argv[1]), int(sys.argv[2])
    pairs = sys.argv[3:]
    if rounds < 1 or not pairs or len(pairs) % 2:
        sys.exit(__doc__)
    names, commands = pairs[0::2], [split(c) for c in pairs[1::2]]
    fields = ["wall_s", "cpu_s", "user_s", "sys_s", "faults", "output"]
    samples = {name: {"command": command, "peak_rss_kib": peak_rss_kib(c),
                      **{field: [] for field in fields}}
               for name, command, c in zip(names, pairs[1::2], commands)}
    count = len(names)
    for r in range(rounds):
        order = [(r + k) % count for k in range(count)]
        if r % 2:
            order.reverse()
        print(f"round {r + 1}/{rounds}", file=sys.stderr, flush=True)
        for i in order:
            run = run_once(commands[i])
            for field in fields:
                samples[names[i]][field].append(run[field])
    out.write_text(json.dumps({
        "machine": machine(),
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%MZ"),
        "rounds": rounds, "programs": samples}, indent=2) + "\n")


if __name__ == "__main__":
    main()
