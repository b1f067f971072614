#!/usr/bin/env python3
"""Turns the filter benchmark's JSON (vantreo_filter_bench) into a Markdown table on standard output:
per case and method, zimg's time at one thread and each other's as a ratio to it, each the fastest of
its rounds (what the machine's other load slows down least).
usage: filter-bench-table.py RESULTS.json"""
import sys

from bench_results import aggregates

CASES = ["1920x1080 -> 1280x720", "1280x720 -> 1920x1080", "720x480 -> 1440x960", "1600x1200 -> 640x480",
         "640x360 -> 1600x900"]
METHODS = {2: "bicubic", 3: "Lanczos-3"}
LEVELS = ["sse2", "avx2", "avx512"]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    times = aggregates(sys.argv[1], r"(.+)/case:(\d+)/method:(\d+)/threads:(\d+)", "min")
    print("| case | method | zimg 1 thr | OpenCV 1 / 2 thr | " + " | ".join(f"CPU {l} 1 / 2 thr" for l in LEVELS) +
          " | device |")
    print("|---" * (5 + len(LEVELS)) + "|")
    for case, name in enumerate(CASES):
        for method, method_name in METHODS.items():
            zimg = times.get(("Zimg", case, method, 1))
            if zimg is None:
                continue
            ratio = lambda key: f"{times[key] / zimg:.2f}x" if key in times else "n/a"
            cells = [name, method_name, f"{zimg:.2f} ms",
                     f"{ratio(('OpenCv', case, method, 1))} / {ratio(('OpenCv', case, method, 2))}"]
            for level in LEVELS:
                cells.append(f"{ratio((f'CpuRows/{level}', case, method, 1))} / "
                             f"{ratio((f'CpuRows/{level}', case, method, 2))}")
            cells.append(ratio(("Device", case, method, 1)))
            print("| " + " | ".join(cells) + " |")


main()
