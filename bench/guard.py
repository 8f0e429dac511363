#!/usr/bin/env python3
"""The benchmarks' regression guard: runs quorvane_bench and compares every engine/SQLite ratio
with the one last met, kept in bench/ratios.json.

    python3 bench/guard.py BUILD_DIR             the full run, 3 repetitions, medians
    python3 bench/guard.py BUILD_DIR --alone     each guarded row once more on its own
    python3 bench/guard.py BUILD_DIR --rows ReadPathDay,CancelRestYear
    python3 bench/guard.py BUILD_DIR --json run.json   judge a run already made
    python3 bench/guard.py BUILD_DIR --record    write the ratios met into bench/ratios.json

A row fails when its ratio is more than 1.5 x its recorded ratio, or above its goal; the guard
then names it and exits 1. Rows missing from the run, or whose pair failed, fail too. It takes
about a quarter of an hour and is too noisy for every CI run: run it before resolving anything
that touches engine/, tables/ or a core, and paste its output into the closing note.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ratios import pairs, ratio  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
RECORD = os.path.join(HERE, "ratios.json")
SLACK = 1.5


def run(build, filt, out, repetitions):
    exe = os.path.join(build, "bench", "quorvane_bench")
    cmd = [exe, f"--benchmark_repetitions={repetitions}",
           "--benchmark_report_aggregates_only=true", f"--benchmark_out={out}",
           "--benchmark_out_format=json"]
    if filt:
        cmd.append(f"--benchmark_filter={filt}")
    print("$ " + " ".join(cmd), file=sys.stderr, flush=True)
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return pairs(out)


def judge(measured, record, label):
    """Prints one line per guarded row; returns the names that fail."""
    failed = []
    for name, rec in record.items():
        goal, last = rec["goal"], rec["ratio"]
        r, why = ratio(measured.get(name, {}))
        if r is None:
            print(f"{label:6s} {name:24s} FAIL  {why}")
            failed.append(name)
            continue
        marks = []
        if r > goal:
            marks.append(f"above its goal {goal:.2f}")
        if r > SLACK * last:
            marks.append(f"more than {SLACK} x its recorded {last:.3f}")
        verdict = "FAIL" if marks else "ok"
        print(f"{label:6s} {name:24s} {r:6.3f}  recorded {last:6.3f}  goal {goal:4.2f}  {verdict}"
              + (f"  ({'; '.join(marks)})" if marks else ""))
        if marks:
            failed.append(name)
    return failed


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build", help="the build folder holding bench/quorvane_bench")
    ap.add_argument("--rows", help="comma-separated rows to guard (default: every recorded row)")
    ap.add_argument("--alone", action="store_true", help="also run each row on its own")
    ap.add_argument("--json", help="judge this run's JSON instead of running")
    ap.add_argument("--repetitions", type=int, default=3)
    ap.add_argument("--record", action="store_true",
                    help="write the ratios met (the higher of the full and alone runs)")
    args = ap.parse_args()

    with open(RECORD) as f:
        record = json.load(f)["rows"]
    if args.rows:
        wanted = args.rows.split(",")
        unknown = [w for w in wanted if w not in record]
        if unknown:
            ap.error("not recorded: " + ", ".join(unknown))
        record = {k: v for k, v in record.items() if k in wanted}

    tmp = tempfile.mkdtemp(prefix="quorvane-guard-")
    if args.json:
        full = pairs(args.json)
    else:
        filt = None
        if args.rows:
            filt = "^(" + "|".join(record) + ")/"
        full = run(args.build, filt, os.path.join(tmp, "full.json"), args.repetitions)
    failed = judge(full, record, "full")
    met = {n: ratio(full.get(n, {}))[0] for n in record}

    if args.alone:
        for name in record:
            alone = run(args.build, f"^{name}/", os.path.join(tmp, f"{name}.json"),
                        args.repetitions)
            failed += [f"{n} (alone)" for n in judge(alone, {name: record[name]}, "alone")]
            r = ratio(alone.get(name, {}))[0]
            if r is not None and met[name] is not None:
                met[name] = max(met[name], r)

    if args.record:
        with open(RECORD) as f:
            whole = json.load(f)
        for n, r in met.items():
            if r is not None:
                whole["rows"][n]["ratio"] = round(r, 3)
        with open(RECORD + ".new", "w") as f:
            json.dump(whole, f, indent=2)
            f.write("\n")
        os.replace(RECORD + ".new", RECORD)
        print(f"recorded {sum(r is not None for r in met.values())} ratio(s) in {RECORD}")

    if failed:
        print("FAILED: " + ", ".join(failed))
        return 1
    print(f"all {len(record)} guarded row(s) within {SLACK} x their recorded ratio and their goal")
    return 0


if __name__ == "__main__":
    sys.exit(main())
