#!/usr/bin/env python3
"""Turns the filter benchmark's JSON (vantreo_filter_bench) into Markdown tables on standard output:
for each build, per case and method, zimg's time at one thread and each other's as a ratio to it; then
one table of the one-plane cases with the builds side by side, each CPU level's time as a ratio to
zimg's (bicubic, Lanczos-3) or OpenCV INTER_AREA's (area averaging) of the same run. Every time is the
fastest of its rounds (what the machine's other load slows down least).
usage: filter-bench-table.py RESULTS.json [RESULTS.json ...]"""
import sys

from bench_results import aggregates, build_type

CASES = ["1920x1080 -> 1280x720", "1280x720 -> 1920x1080", "720x480 -> 1440x960", "1600x1200 -> 640x480",
         "640x360 -> 1600x900"]
METHODS = {2: "bicubic", 3: "Lanczos-3"}
LEVELS = ["sse2", "avx2", "avx512"]
# The one-plane cases: (case, method, what they are measured against).
PLANE_CASES = [(0, 1, "PlaneOpenCvArea"), (0, 2, "PlaneZimg"), (1, 2, "PlaneZimg"), (0, 3, "PlaneZimg"),
               (1, 3, "PlaneZimg")]
PLANE_METHODS = {1: "area averaging", **METHODS}
REFERENCES = {"PlaneZimg": "zimg", "PlaneOpenCvArea": "OpenCV INTER_AREA"}


def ratio(times, key, reference):
    return f"{times[key] / reference:.2f}x" if key in times else "n/a"


def frame_table(times):
    print("| case | method | zimg 1 thr | OpenCV 1 / 2 thr | " + " | ".join(f"CPU {l} 1 / 2 thr" for l in LEVELS) +
          " | device |")
    print("|---" * (5 + len(LEVELS)) + "|")
    for case, name in enumerate(CASES):
        for method, method_name in METHODS.items():
            zimg = times.get(("Zimg", case, method, 1))
            if zimg is None:
                continue
            cells = [name, method_name, f"{zimg:.2f} ms",
                     f"{ratio(times, ('OpenCv', case, method, 1), zimg)} / {ratio(times, ('OpenCv', case, method, 2), zimg)}"]
            for level in LEVELS:
                cells.append(f"{ratio(times, (f'CpuRows/{level}', case, method, 1), zimg)} / "
                             f"{ratio(times, (f'CpuRows/{level}', case, method, 2), zimg)}")
            cells.append(ratio(times, ("Device", case, method, 1), zimg))
            print("| " + " | ".join(cells) + " |")


def plane_table(builds):
    """builds: [(title, times)], side by side in each cell"""
    titles = " / ".join(title for title, _ in builds)
    print(f"| case | method | beside | its time, {titles} | " +
          " | ".join(f"CPU {l} 1 thr" for l in LEVELS) + " |")
    print("|---" * (4 + len(LEVELS)) + "|")
    for case, method, reference in PLANE_CASES:
        references = [times.get((reference, case, method, 1)) for _, times in builds]
        if None in references:
            continue
        cells = [CASES[case], PLANE_METHODS[method], REFERENCES[reference],
                 " / ".join(f"{t:.2f}" for t in references) + " ms"]
        for level in LEVELS:
            cells.append(" / ".join(ratio(times, (f"PlaneRows/{level}", case, method, 1), t)
                                    for (_, times), t in zip(builds, references)))
        print("| " + " | ".join(cells) + " |")
    print(f"\nEach CPU cell: the rows' time on the calling thread over the reference's in the same run, {titles}.")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    builds = [(build_type(path) or path, aggregates(path, r"(.+)/case:(\d+)/method:(\d+)/threads:(\d+)", "min"))
              for path in sys.argv[1:]]
    sections = [(f"### {title}", lambda times=times: frame_table(times))
                for title, times in builds if any(key[0] == "Zimg" for key in times)]
    if any(key[0].startswith("Plane") for _, times in builds for key in times):
        sections.append(("### One plane", lambda: plane_table(builds)))
    for i, (heading, table) in enumerate(sections):
        if i:
            print()
        if len(sections) > 1:
            print(f"{heading}\n")
        table()


main()
