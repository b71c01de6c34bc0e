#!/usr/bin/env python3
"""Prints hyperfine JSON of the corvane-snap runs beside FFmpeg's as a table
of medians and ratios, and frames per second where a run names its frames.
Usage: snap_table.py results.json [--markdown]
Commands are paired in order: corvane-snap first, then FFmpeg on the same job.
Each command's hyperfine name is "job|tool|frames"."""
import json
import sys


def main():
    with open(sys.argv[1]) as f:
        results = json.load(f)["results"]
    markdown = "--markdown" in sys.argv[2:]
    rows = []
    for ours, peer in zip(results[::2], results[1::2]):
        job, _, frames = ours["command"].split("|")
        frames = int(frames)
        rows.append((job, ours["median"] * 1e3, peer["median"] * 1e3, frames))
    if markdown:
        print("| job | corvane-snap ms | FFmpeg ms | FFmpeg / corvane-snap | corvane-snap frames/s | FFmpeg frames/s |")
        print("|---|--:|--:|--:|--:|--:|")
        for job, a, b, n in rows:
            print("| %s | %.1f | %.1f | %.2f | %.0f | %.0f |" % (job, a, b, b / a, n / a * 1e3, n / b * 1e3))
        return
    print("%-34s %12s %10s %9s %12s %10s" % ("job", "snap ms", "ffmpeg ms", "ff/snap", "snap fps", "ffmpeg fps"))
    for job, a, b, n in rows:
        print("%-34s %12.1f %10.1f %9.2f %12.0f %10.0f" % (job, a, b, b / a, n / a * 1e3, n / b * 1e3))


if __name__ == "__main__":
    main()
