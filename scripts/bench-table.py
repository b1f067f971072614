#!/usr/bin/env python3
"""Turns the comparison benchmark's JSON into ratios to OpenCV: a Markdown table on standard output
and, when a PNG path is given, a chart of the CPU rows and the device beside OpenCV INTER_AREA.
Several builds' results give a table and a chart each, under the title given before them.
usage: bench-table.py [--title TITLE] RESULTS.json [CHART.png] [[--title TITLE] RESULTS.json [CHART.png] ...]"""
import sys

import bench_results

CASES = ["1600x1200 -> 640x480", "1440x1080 -> 1000x700", "1280x720 -> 320x240",
         "1600x1200 -> 1597x1199", "720x480 -> 704x480", "1920x1080 -> 1280x720", "3840x2160 -> 1280x720"]
LEVELS = ["scalar", "sse2", "avx2", "avx512"]


def medians(path):
    """{(name, case, threads): median real time in ms}"""
    return bench_results.aggregates(path, r"(.+)/case:(\d+)/threads:(\d+)")


def builds(args):
    """[(title or None, results path, chart path or None)] from the command line"""
    found, title = [], None
    while args:
        arg = args.pop(0)
        if arg == "--title" and args:
            title = args.pop(0)
        elif arg.endswith(".json"):
            chart_path = args.pop(0) if args and args[0].endswith(".png") else None
            found.append((title, arg, chart_path))
            title = None
        else:
            sys.exit(__doc__)
    if not found:
        sys.exit(__doc__)
    return found


def table(times):
    """Prints the table of one build; returns the chart's rows: (case, {level: [1 thr, 2 thr]}, device)."""
    area = lambda case, threads: times[("OpenCvArea", case, threads)]
    rows = []
    print("| case | OpenCV area 1 / 2 thr | copy | " + " | ".join(f"CPU {l} 1 / 2 thr" for l in LEVELS) +
          " | best level without thread start | device | OpenCL device | OpenCV nearest 1 thr | point |")
    print("|---" * (8 + len(LEVELS)) + "|")
    for case, name in enumerate(CASES):
        cells = [name, f"{area(case, 1):.2f} / {area(case, 2):.2f} ms", f"{times[('SourceCopy', case, 1)] / area(case, 1):.2f}x"]
        levels = {}
        for level in LEVELS:
            pair = [times.get((f"CpuRows/{level}", case, t)) for t in (1, 2)]
            if None in pair:
                cells.append("n/a")
                continue
            levels[level] = [pair[0] / area(case, 1), pair[1] / area(case, 2)]
            cells.append(f"{levels[level][0]:.2f}x / {levels[level][1]:.2f}x")
        alone = times.get(("RowWorkerAlone", case, 1))
        cells.append(f"{alone / area(case, 1):.2f}x" if alone else "n/a")
        device = times[("Device", case, 1)] / area(case, 1)
        opencl = times.get(("OpenclDevice", case, 1))
        nearest = times[("OpenCvNearest", case, 1)]
        cells += [f"{device:.2f}x", f"{opencl / area(case, 1):.2f}x" if opencl else "n/a", f"{nearest:.2f} ms",
                  f"{times[('PointSample', case, 1)] / nearest:.2f}x"]
        print("| " + " | ".join(cells) + " |")
        rows.append((name, levels, device))
    return rows


def main():
    for i, (title, results, chart_path) in enumerate(builds(sys.argv[1:])):
        if i:
            print()
        if title:
            print(f"### {title}\n")
        rows = table(medians(results))
        if chart_path:
            chart(rows, chart_path, title)
    print("\nEach figure is the median time divided by OpenCV's for the same case and thread count, in the same run of the same build"
          " (the device, the copy and the row worker without thread start against OpenCV on 1 thread, point sampling"
          " against INTER_NEAREST).")


def chart(rows, path, title=None):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    series = [(f"CPU {level}, {t} thr", [r[1].get(level, [0, 0])[t - 1] for r in rows]) for level in LEVELS for t in (1, 2)]
    series.append(("device", [r[2] for r in rows]))
    width = 0.8 / len(series)
    fig, ax = plt.subplots(figsize=(12, 5))
    for i, (label, values) in enumerate(series):
        ax.bar([c + i * width for c in range(len(rows))], values, width, label=label)
    ax.axhline(1.0, color="black", linewidth=0.8)
    # Two lines a label, so that the cases fit side by side.
    ax.set_xticks([c + 0.4 - width / 2 for c in range(len(rows))], [r[0].replace(" -> ", "\n-> ") for r in rows])
    ax.set_ylabel("time / OpenCV INTER_AREA (same threads)")
    ax.set_yscale("log")
    ax.legend(ncol=3, fontsize=8)
    if title:
        ax.set_title(title)
    fig.tight_layout()
    fig.savefig(path, dpi=100)


main()
