"""Google Benchmark's JSON, as the table scripts read it."""
import json
import re


def aggregates(path, pattern, aggregate="median"):
    """{(name, number, ...): real time in ms, the rounds' `aggregate`} for the runs whose name matches
    `pattern`: its first group is the benchmark's name, the others numbers (case, threads, ...)"""
    times = {}
    with open(path) as f:
        for run in json.load(f)["benchmarks"]:
            if run.get("aggregate_name", aggregate) != aggregate or run.get("error_occurred"):
                continue
            m = re.match(pattern, run["run_name"])
            if m:
                times[(m.group(1),) + tuple(int(g) for g in m.groups()[1:])] = run["real_time"]
    return times


def build_type(path):
    """The CMake build type the benchmark says it was built as, or None"""
    with open(path) as f:
        return json.load(f)["context"].get("build_type")
