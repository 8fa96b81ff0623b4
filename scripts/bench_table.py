#!/usr/bin/env python3
"""One table from the Google Benchmark JSON files scripts/bench.sh collects: for each run the
wall time of an iteration in milliseconds, the ratios the programs report, their other counters
and label. A program without a whole file is shown as failed, a run that stopped with its error.
Usage: bench_table.py FOLDER PROGRAM:GROUP...  (FOLDER holds PROGRAM.json)"""
import json
import os
import sys

RATIOS = ["speedup", "x_target", "x_memcpy"]
# Google Benchmark's own keys of a run; every other number in it is a counter of the program's.
OWN = {"name", "family_index", "per_family_instance_index", "run_name", "run_type",
       "repetitions", "repetition_index", "threads", "iterations", "real_time", "cpu_time",
       "time_unit", "label", "error_occurred", "error_message", "aggregate_name",
       "aggregate_unit"}
TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
HEADER = ["group", "benchmark", "ms/iter"] + RATIOS + ["other counters", "label"]


def shown_runs(runs):
    # With repetitions (--benchmark_repetitions=N), the fastest repetition stands for them: on a
    # shared machine the least disturbed one is the closest to the code's own cost. Its label
    # says of how many it is the fastest.
    fastest = {}
    order = []
    for run in runs:
        if run.get("run_type") == "aggregate":
            continue
        name = run.get("run_name", run["name"])
        if name not in fastest:
            order.append(name)
            fastest[name] = run
        elif not run.get("error_occurred") and run["real_time"] < fastest[name]["real_time"]:
            fastest[name] = run
    for name in order:
        run = dict(fastest[name])
        if run.get("repetitions", 1) > 1:
            run["name"] = name
            run["label"] = (run.get("label", "") + f" [min of {run['repetitions']}]").strip()
        yield run


def figure(value):
    # Three digits, but whole numbers from 100 on rather than 1.2e+03.
    return f"{value:.0f}" if abs(value) >= 100 else f"{value:.3g}"


def rows(folder, entries):
    table = [HEADER]
    blank = [""] * len(RATIOS)
    for entry in entries:
        program, group = entry.split(":", 1)
        path = os.path.join(folder, program + ".json")
        try:
            with open(path) as file:
                runs = json.load(file)["benchmarks"]
        except (OSError, ValueError, KeyError):  # none, or cut short by a crash
            table.append([group, program, "failed"] + blank + ["", ""])
            continue
        for run in shown_runs(runs):
            if run.get("error_occurred"):
                table.append([group, run["name"], "error"] + blank +
                             ["", run.get("error_message", "")])
                continue
            ms = run["real_time"] * TO_MS[run["time_unit"]]
            ratios = [f"{run[key]:.2f}" if key in run else "" for key in RATIOS]
            others = " ".join(f"{key}={figure(value)}" for key, value in run.items()
                              if key not in OWN and key not in RATIOS and
                              isinstance(value, (int, float)) and not isinstance(value, bool))
            table.append([group, run["name"], f"{ms:.3f}"] + ratios +
                         [others, run.get("label", "")])
    return table


def format_table(table):
    widths = [max(len(row[i]) for row in table) for i in range(len(HEADER))]
    numeric = range(2, 3 + len(RATIOS))
    lines = []
    for row in table:
        cells = [cell.rjust(widths[i]) if i in numeric else cell.ljust(widths[i])
                 for i, cell in enumerate(row)]
        lines.append("  ".join(cells).rstrip())
    lines.insert(1, "  ".join("-" * width for width in widths))
    return "\n".join(lines)


if __name__ == "__main__":
    print(format_table(rows(sys.argv[1], sys.argv[2:])))
