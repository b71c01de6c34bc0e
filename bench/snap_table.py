#!/usr/bin/env python3
"""Prints hyperfine JSON of the corvane-snap runs beside FFmpeg's as a table
of medians and ratios, frames per second where a run names its frames, and the files' total size
where the run kept it ("bytes").
Usage: snap_table.py results.json [--markdown]
Commands are paired in order: corvane-snap first, then FFmpeg on the same job.
Each command's hyperfine name is "job|tool|frames"."""
import json
import sys


def megabytes(run):
    return "%.2f" % (run["bytes"] / 1e6) if "bytes" in run else "-"


def size_ratio(ours, peer):
    return "%.3f" % (ours["bytes"] / peer["bytes"]) if "bytes" in ours and "bytes" in peer else "-"


def main():
    with open(sys.argv[1]) as f:
        results = json.load(f)["results"]
    markdown = "--markdown" in sys.argv[2:]
    rows = []
    for ours, peer in zip(results[::2], results[1::2]):
        job, _, frames = ours["command"].split("|")
        frames = int(frames)
        rows.append((job, ours["median"] * 1e3, peer["median"] * 1e3, frames,
                     megabytes(ours), megabytes(peer), size_ratio(ours, peer)))
    if markdown:
        print("| job | corvane-snap ms | FFmpeg ms | FFmpeg / corvane-snap | corvane-snap frames/s | FFmpeg frames/s "
              "| corvane-snap MB | FFmpeg MB | size corvane-snap / FFmpeg |")
        print("|---|--:|--:|--:|--:|--:|--:|--:|--:|")
        for job, a, b, n, ma, mb, r in rows:
            print("| %s | %.1f | %.1f | %.2f | %.0f | %.0f | %s | %s | %s |"
                  % (job, a, b, b / a, n / a * 1e3, n / b * 1e3, ma, mb, r))
        return
    print("%-38s %10s %10s %8s %9s %10s %9s %9s %9s"
          % ("job", "snap ms", "ffmpeg ms", "ff/snap", "snap fps", "ffmpeg fps", "snap MB", "ffmpeg MB", "MB ratio"))
    for job, a, b, n, ma, mb, r in rows:
        print("%-38s %10.1f %10.1f %8.2f %9.0f %10.0f %9s %9s %9s"
              % (job, a, b, b / a, n / a * 1e3, n / b * 1e3, ma, mb, r))


if __name__ == "__main__":
    main()
