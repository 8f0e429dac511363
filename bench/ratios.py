#!/usr/bin/env python3
"""Prints the ratio engine/sqlite of every <Workload>/engine and <Workload>/sqlite pair.

Reads the JSON that quorvane_bench writes with
    --benchmark_out=FILE --benchmark_out_format=json
(or a run's JSON on standard input) and prints one line per pair: both real times in
milliseconds, the ratio, and the size counters of the two rows. A ratio below 1 means the
engine was faster.
"""
import json
import sys

UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
SKIP = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads",
        "iterations", "real_time", "cpu_time", "time_unit", "family_index",
        "per_family_instance_index", "items_per_second", "bytes_per_second", "error_occurred",
        "error_message", "aggregate_name", "aggregate_unit"}


def main():
    data = json.load(open(sys.argv[1]) if len(sys.argv) > 1 else sys.stdin)
    rows = {}
    for b in data.get("benchmarks", []):
        if b.get("run_type") == "aggregate":
            continue
        name = b["name"].split("/")
        if len(name) < 2 or name[1] not in ("engine", "sqlite"):
            continue
        ms = None if b.get("error_occurred") else b["real_time"] * UNIT_MS[b["time_unit"]]
        extra = {k: v for k, v in b.items() if k not in SKIP}
        rows.setdefault(name[0], {})[name[1]] = (ms, extra, b.get("error_message"))
    for workload, pair in rows.items():
        e, s = pair.get("engine"), pair.get("sqlite")
        if not e or not s or e[0] is None or s[0] is None:
            why = "; ".join(p[2] for p in (e, s) if p and p[2]) or "pair incomplete"
            print(f"{workload:26s} {why}")
            continue
        counters = " ".join(f"{k}={v:.0f}" for k, v in {**e[1], **s[1]}.items())
        print(f"{workload:26s} engine {e[0]:10.1f} ms  sqlite {s[0]:10.1f} ms  "
              f"engine/sqlite {e[0] / s[0]:6.3f}  {counters}")


if __name__ == "__main__":
    main()
