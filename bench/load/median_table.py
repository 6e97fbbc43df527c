#!/usr/bin/env python3
"""Runs tavrik_load three times per scenario and prints the medians as the
Markdown tables of bench/README.md. Standard library only.

usage: median_table.py [--tool build/bench/tavrik_load] [--relay build/TavrikSrv]
                       [--runs 3] [--duration 10]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

SCENARIOS = [
    ("full speed, 1 client", ["--clients", "1"]),
    ("full speed, 8 clients", ["--clients", "8"]),
    ("full speed, 31 clients", ["--clients", "31"]),
    ("100 receipts/s, 31 clients", ["--clients", "31", "--rate", "100", "--no-ceiling"]),
    ("idle, 31 clients", ["--clients", "31", "--idle", "DURATION"]),
    ("full speed, 30 clients", ["--clients", "30"]),
    ("full speed, 30 clients + 1 stalled", ["--clients", "30", "--stalled", "1"]),
]


def run(tool, relay, args):
    with tempfile.NamedTemporaryFile(suffix=".json") as summary:
        command = [tool, "--json", summary.name] + (["--relay", relay] if relay else []) + args
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        try:
            with open(summary.name) as f:
                result = json.load(f)
        except (OSError, ValueError):
            sys.exit(f"{' '.join(command)} failed ({done.returncode}):\n{done.stdout}")
    if result["faults"]:
        print(f"note: {' '.join(args)}: {'; '.join(result['faults'])}", file=sys.stderr)
    return result


def pick(result, path):
    value = result
    for key in path.split("."):
        value = value.get(key) if isinstance(value, dict) else None
    return value


def median(results, path):
    values = [pick(r, path) for r in results if pick(r, path) is not None]
    return statistics.median(values) if values else float("nan")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", default=os.path.join(here, "..", "..", "build", "bench", "tavrik_load"))
    parser.add_argument("--relay", default="")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--duration", default="10")
    options = parser.parse_args()

    medians = {}
    for name, args in SCENARIOS:
        args = [options.duration if a == "DURATION" else a for a in args]
        if "--idle" not in args:
            args += ["--duration", options.duration]
        results = [run(options.tool, options.relay, args) for _ in range(options.runs)]
        medians[name] = {path: median(results, path) for path in (
            "receipts_per_s", "mb_per_s", "ratio.mb_per_s", "ceiling.mb_per_s", "cpu_us_per_frame", "cpu_ms",
            "cpu_ms_sched", "rss_peak_kb", "rss_end_kb", "latency_ms.p50", "latency_ms.p99", "latency_ms.max",
            "lost", "seconds")}
        print(f"done: {name}", file=sys.stderr)

    print("| Full speed | receipts/s per client | delivered MB/s | ceiling MB/s | relay/ceiling | relay CPU per frame | relay peak RSS |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for name in ("full speed, 1 client", "full speed, 8 clients", "full speed, 31 clients"):
        m = medians[name]
        print(f"| {name.split(', ')[1]} | {m['receipts_per_s']:,.0f} | {m['mb_per_s']:,.0f} | {m['ceiling.mb_per_s']:,.0f} "
              f"| {m['ratio.mb_per_s']:.2f} | {m['cpu_us_per_frame']:.2f} µs | {m['rss_peak_kb'] / 1024:.1f} MiB |")
    m = medians["100 receipts/s, 31 clients"]
    print()
    print("| 100 receipts/s, 31 clients | latency p50 | p99 | max | relay CPU per frame |")
    print("|---|---:|---:|---:|---:|")
    print(f"| | {m['latency_ms.p50']:.3f} ms | {m['latency_ms.p99']:.3f} ms | {m['latency_ms.max']:.3f} ms "
          f"| {m['cpu_us_per_frame']:.1f} µs |")
    m = medians["idle, 31 clients"]
    print()
    print(f"| Idle, 31 clients, {options.duration} s | relay CPU | relay RSS at end | relay peak RSS |")
    print("|---|---:|---:|---:|")
    print(f"| | {m['cpu_ms_sched']:.1f} ms | {m['rss_end_kb'] / 1024:.1f} MiB | {m['rss_peak_kb'] / 1024:.1f} MiB |")
    m = medians["full speed, 30 clients + 1 stalled"]
    alone = medians["full speed, 30 clients"]
    idle = medians["idle, 31 clients"]
    print()
    print("| Full speed, 30 clients | others' MB/s | same without the stalled one | stalled/without | relay peak RSS | above idle | lost (others) |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    print(f"| + 1 stalled | {m['mb_per_s']:,.0f} | {alone['mb_per_s']:,.0f} | {m['mb_per_s'] / alone['mb_per_s']:.2f} "
          f"| {m['rss_peak_kb']:,.0f} KiB | {(m['rss_peak_kb'] - idle['rss_peak_kb']) * 1024 / 1e6:.2f} MB "
          f"| {m['lost']:.0f} |")


if __name__ == "__main__":
    main()
