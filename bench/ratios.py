#!/usr/bin/env python3
"""Program / baseline ratios from the JSON output of one or more kestrova_bench runs.

Usage: bench/ratios.py RESULTS.json [MORE.json ...] [--real]

Every case is two benchmarks, NAME/program and NAME/baseline. With repetitions, each side's
median, mean, standard deviation and coefficient of variation come from the library's
aggregates; the ratio is median program / median baseline. CPU time unless --real.

"best" is the fastest program repetition over the fastest baseline repetition. Other work on
the machine only ever adds time to a repetition, never takes it away, so on a shared machine
each side's fastest repetition is the closest to what its code costs, and their ratio moves
far less from run to run than the ratio of medians (two identical memsets, Clear, show how
much). Both are printed; "min..max" is the spread of repetition-by-repetition ratios.

Several files are pooled: the repetitions of every run count together. Each run of the
program is a process of its own, with its memory at other physical addresses; on this kind of
machine that alone moves a case by a quarter from one process to the next, which repetitions
inside one process never see. Pool a few runs to average it out.
"""
import json
import statistics
import sys

GOALS = {"Clear": 1.05, "FbFillCircle": 1.1, "CirclesDemo": 1.1, "FbDrawLine": 1.3,
         "LinesDemo": 1.3, "FbBlitImage16": 1.3, "BitBltDemo": 1.3}


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    if not args:
        sys.exit(__doc__.strip())
    key = "real_time" if "--real" in argv else "cpu_time"
    runs = []
    for path in args:
        with open(path) as f:
            runs.extend(json.load(f)["benchmarks"])

    # samples[case][side] = per-repetition times in microseconds, from the iteration runs
    # (run with --benchmark_report_aggregates_only=false, the default, to keep them).
    samples, order = {}, []
    for b in runs:
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            continue
        case, _, side = b["run_name"].rpartition("/")
        if side not in ("program", "baseline"):
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
        if case not in samples:
            samples[case] = {"program": [], "baseline": []}
            order.append((b.get("family_index", 0), case))
        samples[case][side].append(b[key] * scale)

    def stats(xs):
        if not xs:
            return None
        mean = statistics.fmean(xs)
        sd = statistics.stdev(xs) if len(xs) > 1 else 0.0
        return statistics.median(xs), mean, sd, (sd / mean if mean else 0.0)

    head = f"{'median':>9} {'mean':>9} {'sd':>7} {'cv':>4}"
    print(f"{'':30} {'program (us)':^32} {'baseline (us)':^32}")
    print(f"{'case':30} {head} {head} {'ratio':>6} {'best':>5} {'min..max':>11} {'goal':>5}  n")
    for _, case in sorted(order):
        p, q = samples[case]["program"], samples[case]["baseline"]
        sp, sq = stats(p), stats(q)
        if sp is None or sq is None:
            print(f"{case:30} missing a side")
            continue
        ratio = sp[0] / sq[0]
        best = min(p) / min(q)
        # The spread of the ratio: repetition i of one side against repetition i of the other.
        pairs = [a / b for a, b in zip(p, q)]
        goal = GOALS.get(case.split("/")[0])
        cols = lambda s: f"{s[0]:9.1f} {s[1]:9.1f} {s[2]:7.1f} {s[3]*100:3.0f}%"
        print(f"{case:30} {cols(sp)} {cols(sq)} {ratio:6.2f} {best:5.2f} {min(pairs):5.2f}..{max(pairs):<5.2f} "
              f"{goal if goal else '-':>5}  {min(len(p), len(q))}")


if __name__ == "__main__":
    main(sys.argv)
