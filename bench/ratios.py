#!/usr/bin/env python3
"""Prints the ratio engine/sqlite of every <Workload>/engine and <Workload>/sqlite pair.

Reads the JSON that quorvane_bench writes with
    --benchmark_out=FILE --benchmark_out_format=json
and prints one line per pair: both real times in milliseconds, the ratio, the goal, a mark
"ABOVE GOAL" where the ratio is above it, and the size counters of the two rows. A ratio
below 1 means the engine was faster. With repetitions the medians are used (the run may
also be written with --benchmark_report_aggregates_only=true).

Given two runs (say of two commits) it prints both ratios of every pair and the change:
    ratios.py before.json after.json

The goals are the ones set for the workloads (GOALS below); other pairs have the goal 1
(not slower than SQLite). --goal NAME=RATIO sets one for this run.
"""
import argparse
import json
import os
import statistics

UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
SKIP = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads",
        "iterations", "real_time", "cpu_time", "time_unit", "family_index",
        "per_family_instance_index", "items_per_second", "bytes_per_second", "error_occurred",
        "error_message", "aggregate_name", "aggregate_unit"}
GOALS = {
    "ReadPathWalk": 0.5,
    "ReadPathDay": 0.5,
    "ReadPathRange": 0.5,
    "DataAppendBulk": 0.5,
    "IndexAppendBulk": 0.5,
    "TableOpen": 0.5,
}
DEFAULT_GOAL = 1.0
# The guarded rows' goals (bench/ratios.json, kept by bench/guard.py) count here too.
try:
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "ratios.json")) as _f:
        GOALS.update({k: v["goal"] for k, v in json.load(_f)["rows"].items()})
except (OSError, ValueError, KeyError):
    pass


def pairs(path):
    """{workload: {"engine"|"sqlite": (ms or None, counters, error)}} from one run."""
    data = json.load(open(path))
    runs, medians = {}, {}
    for b in data.get("benchmarks", []):
        name = b.get("run_name", b["name"]).split("/")
        if len(name) < 2 or name[1] not in ("engine", "sqlite"):
            continue
        key = (name[0], name[1])
        if b.get("error_occurred"):
            runs.setdefault(key, []).append((None, {}, b.get("error_message")))
            continue
        ms = b["real_time"] * UNIT_MS[b["time_unit"]]
        extra = {k: v for k, v in b.items() if k not in SKIP and isinstance(v, (int, float))}
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                medians[key] = (ms, extra, None)
        else:
            runs.setdefault(key, []).append((ms, extra, None))
    out = {}
    for key in set(runs) | set(medians):
        if key in medians:
            row = medians[key]
        else:
            good = [r for r in runs[key] if r[0] is not None]
            if not good:
                row = runs[key][0]
            else:
                row = (statistics.median(r[0] for r in good), good[-1][1], None)
        out.setdefault(key[0], {})[key[1]] = row
    return out


def ratio(pair):
    e, s = pair.get("engine"), pair.get("sqlite")
    if not e or not s or e[0] is None or s[0] is None:
        return None, "; ".join(p[2] for p in (e, s) if p and p[2]) or "pair incomplete"
    return e[0] / s[0], None


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("runs", nargs="+", help="one run's JSON, or two to compare")
    ap.add_argument("--goal", action="append", default=[], help="NAME=RATIO")
    args = ap.parse_args()
    goals = dict(GOALS)
    for g in args.goal:
        name, value = g.split("=", 1)
        goals[name] = float(value)
    if len(args.runs) > 2:
        ap.error("one run, or two to compare")
    runs = [pairs(p) for p in args.runs]
    above = 0
    names = sorted(set().union(*runs), key=lambda n: (n not in goals, n))
    for workload in names:
        goal = goals.get(workload, DEFAULT_GOAL)
        if len(runs) == 1:
            pair = runs[0][workload]
            r, why = ratio(pair)
            if r is None:
                print(f"{workload:26s} {why}")
                continue
            e, s = pair["engine"], pair["sqlite"]
            mark = "ABOVE GOAL" if r > goal else ""
            above += r > goal
            counters = " ".join(f"{k}={v:.0f}" for k, v in {**e[1], **s[1]}.items())
            print(f"{workload:26s} engine {e[0]:10.3f} ms  sqlite {s[0]:10.3f} ms  "
                  f"engine/sqlite {r:6.3f}  goal {goal:4.2f} {mark:10s} {counters}".rstrip())
        else:
            (a, why_a), (b, why_b) = (ratio(r.get(workload, {})) for r in runs)
            fa = f"{a:6.3f}" if a is not None else "   -  "
            fb = f"{b:6.3f}" if b is not None else "   -  "
            change = f"{(b / a - 1) * 100:+6.1f} %" if a and b is not None else ""
            mark = "ABOVE GOAL" if b is not None and b > goal else ""
            above += b is not None and b > goal
            print(f"{workload:26s} before {fa}  after {fb}  {change:9s} goal {goal:4.2f} {mark}"
                  .rstrip())
    print(f"{above} pair(s) above their goal")


if __name__ == "__main__":
    main()
