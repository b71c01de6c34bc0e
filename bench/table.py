#!/usr/bin/env python3
"""Prints Google Benchmark JSON as a table of medians, each builder beside the
reference, libyuv and the memory floor of the same format, size and content;
the separate-fields picture beside memcpy; the frame path in frames/s.
Usage: table.py results.json [--markdown]"""
import json
import sys


def medians(path):
    with open(path) as f:
        data = json.load(f)
    times = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
        key = b.get("run_name", b["name"])
        # Repeated runs give a median; a single run is its own median.
        if b.get("run_type") == "aggregate" or key not in times:
            times[key] = b["real_time"] * unit
    return data.get("context", {}), times


def ratio(t, base):
    return "%.3f" % (t / base) if base else "-"


def main():
    path = sys.argv[1]
    md = "--markdown" in sys.argv
    context, times = medians(path)
    rows = []
    for name, ms in times.items():
        parts = name.split("/")
        if len(parts) != 4:
            continue
        builder, rest = parts[0], "/".join(parts[1:])
        rows.append((builder, rest, ms))
    order = {b: i for i, b in enumerate(
        ["reference", "scalar", "simd", "libyuv", "floor", "separate", "memcpy", "frame"])}
    rows.sort(key=lambda r: (r[1].split("/")[0], int(r[1].split("/")[1].split("x")[0]),
                             r[1].split("/")[2], order.get(r[0], 99)))

    def line(cells):
        if md:
            return "| " + " | ".join(cells) + " |"
        widths = [10, 28, 10, 10, 10, 10]
        return "  ".join(c.ljust(w) if i < 2 else c.rjust(w) for i, (c, w) in enumerate(zip(cells, widths)))

    print("simd path: %s" % context.get("simd_path", "?"))
    print()
    header = ["builder", "format/size/content", "median ms", "x ref", "x libyuv", "x floor"]
    print(line(header))
    if md:
        print("|---|---|--:|--:|--:|--:|")
    for builder, rest, ms in rows:
        if builder in ("separate", "memcpy", "frame"):
            continue
        print(line([builder, rest, "%.3f" % ms, ratio(ms, times.get("reference/" + rest)),
                    ratio(ms, times.get("libyuv/" + rest)), ratio(ms, times.get("floor/" + rest))]))
    print()
    header = ["builder", "format/size/content", "median ms", "x memcpy"]
    print(line(header))
    if md:
        print("|---|---|--:|--:|")
    for builder, rest, ms in rows:
        if builder in ("separate", "memcpy"):
            print(line([builder, rest, "%.3f" % ms, ratio(ms, times.get("memcpy/" + rest))]))
    print()
    header = ["path", "format/size/content", "median ms", "frames/s"]
    print(line(header))
    if md:
        print("|---|---|--:|--:|")
    for builder, rest, ms in rows:
        if builder == "frame":
            print(line(["frame", rest, "%.3f" % ms, "%.0f" % (1000.0 / ms)]))


if __name__ == "__main__":
    main()
