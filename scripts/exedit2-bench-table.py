#!/usr/bin/env python3
"""The successor's plug-in beside OpenCV's RGBA resize: a markdown table of the median times of
vantreo_exedit2_bench's JSON output, each case's plug-in time over OpenCV's (below 1 is faster).
usage: exedit2-bench-table.py RESULTS.json"""
import json
import sys


def main():
    with open(sys.argv[1]) as file:
        benchmarks = json.load(file)["benchmarks"]
    median = {}
    for b in benchmarks:
        if b.get("aggregate_name") == "median":
            label, case = b["run_name"].split("/", 1)
            median[(label, "/".join(case.split("/")[:4]))] = b["real_time"]
    print("| resize | method | threads | picture | Vantreo (ms) | OpenCV (ms) | ratio |")
    print("|---|---|---|---|---|---|---|")
    cases = sorted(case for label, case in median if label == "Vantreo" and ("OpenCV", case) in median)
    for case in cases:
        size, method, threads, picture = case.split("/")
        time, opencv = median[("Vantreo", case)], median[("OpenCV", case)]
        print(f"| {size} | {method} | {threads[:-1]} | {picture} | {time:.1f} | {opencv:.1f} | {time / opencv:.2f} |")


if __name__ == "__main__":
    main()
