#!/usr/bin/env python3
"""Prints bench_store's JSON results as a table: for each operation and size, the median wall
time and its ratio to Floor (read the file + rewrite it atomically) at the same size.

usage: report.py RESULTS.json [MORE.json ...]
"""

import json
import sys

# Operations are judged at these sizes; the smallest is shown for the trend only.
JUDGED_SIZES = (10000, 100000)
TARGET = 1.2
ORDER = ["Floor", "FloorRead", "ReadRecords", "FindRecord", "Append",
         "ReplaceRecords", "RemoveRecords"]
READ_ONLY = ["ReadRecords", "FindRecord"]


def load(path):
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    medians, cvs, errors, repetitions = {}, {}, [], 0
    for b in data.get("benchmarks", []):
        parts = b.get("run_name", b["name"]).split("/")
        if len(parts) < 2 or not parts[1].isdigit():
            continue
        key = (parts[0], int(parts[1]))
        if b.get("error_occurred"):
            errors.append(f"{parts[0]}/{parts[1]}: {b.get('error_message', 'error')}")
            continue
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
        if b.get("aggregate_name") == "median":
            medians[key] = b["real_time"] * scale
            repetitions = b.get("repetitions", repetitions)
        elif b.get("aggregate_name") == "cv":
            cvs[key] = b["real_time"]
        elif b.get("run_type") == "iteration" and key not in medians:
            # A run without repetitions: its only figure stands for the median.
            medians[key] = b["real_time"] * scale
    return data.get("context", {}), medians, cvs, errors, repetitions


def ms(value):
    if value is None:
        return "-"
    if value >= 100:
        return f"{value:.0f}"
    if value >= 10:
        return f"{value:.1f}"
    if value >= 1:
        return f"{value:.2f}"
    return f"{value:.3f}"


def table(path):
    context, medians, cvs, errors, repetitions = load(path)
    sizes = sorted({size for _, size in medians})
    ops = [op for op in ORDER if any((op, s) in medians for s in sizes)]
    ops += sorted({op for op, _ in medians} - set(ops))
    memory = context.get("memory", "?")
    cpus = context.get("num_cpus", "?")
    print(f"Store operations ({path}), memory={memory}, {cpus} CPUs")
    print(f"median wall time in ms over {repetitions or '?'} repetitions, and x Floor = median / Floor median "
          f"at the same size")
    head = f"{'operation':<16}" + "".join(f"{f'{s:,} contacts':>24}" for s in sizes)
    print(head)
    print(f"{'':<16}" + "".join(f"{'median':>12}{'x Floor':>12}" for _ in sizes))
    over = []
    for op in ops:
        row = f"{op:<16}"
        for s in sizes:
            value = medians.get((op, s))
            floor = medians.get(("Floor", s))
            if value is None or not floor:
                row += f"{ms(value):>12}{'-':>12}"
                continue
            ratio = value / floor
            judged = op not in ("Floor", "FloorRead") and s in JUDGED_SIZES
            mark = " !" if judged and ratio > TARGET else "  "
            if judged and ratio > TARGET:
                over.append(f"{op} at {s:,} ({ratio:.2f}x)")
            row += f"{ms(value):>12}{ratio:>10.2f}{mark}"
        print(row)
    judged = " and ".join(f"{s:,}" for s in JUDGED_SIZES)
    print(f"Target: every operation within {TARGET:.1f}x Floor at {judged} contacts: "
          + ("met." if not over else "NOT met by " + ", ".join(over) + " (marked !)."))

    if any(("FloorRead", s) in medians for s in sizes):
        print("Read-only operations against reading the bytes alone (FloorRead), for reference:")
        for op in READ_ONLY:
            if not any((op, s) in medians for s in sizes):
                continue
            row = f"  {op:<14}"
            for s in sizes:
                value, base = medians.get((op, s)), medians.get(("FloorRead", s))
                row += f"{(f'{value / base:.1f}x' if value and base else '-'):>24}"
            print(row)
    if cvs:
        worst = max(cvs, key=cvs.get)
        print(f"Noise: largest coefficient of variation {cvs[worst] * 100:.1f}% ({worst[0]}/{worst[1]}).")
    for e in errors:
        print(f"ERROR {e}")
    print()
    return not over and not errors


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    ok = True
    for path in argv[1:]:
        ok = table(path) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
