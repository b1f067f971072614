#!/usr/bin/env bash
# Prints one line after a ctest run: how many test cases skipped themselves and why, so that a skip is
# seen rather than counted as a pass, and the OpenCL device the OpenCL tests ran on, if any did.
# Reads the run's log, where GoogleTest writes each skip as "FILE:LINE: Skipped" followed by its
# reason, and the OpenCL tests name their device as "OpenCL device 0: NAME".
# usage: test-summary.sh BUILD_DIR NAME
set -euo pipefail
log=$1/Testing/Temporary/LastTest.log
name=$2
[ -f "$log" ] || { echo "== $name: no test log at $log" >&2; exit 1; }
awk -v name="$name" '
  /: Skipped\r?$/ {
    reason = ""
    if ((getline line) > 0) reason = line
    sub(/\r$/, "", reason)
    if (reason == "") reason = "no reason given"
    if (!(reason in count)) order[++reasons] = reason
    count[reason]++
    total++
  }
  /^OpenCL device 0: / { device = substr($0, 18); sub(/\r$/, "", device) }
  END {
    if (total == 0) printf "== %s: no test case skipped", name
    else {
      printf "== %s: %d test case%s skipped:", name, total, total == 1 ? "" : "s"
      for (i = 1; i <= reasons; i++) printf "%s %d x %s", i == 1 ? "" : ";", count[order[i]], order[i]
    }
    if (device != "") printf "; OpenCL tests ran on: %s", device
    printf "\n"
  }' "$log"
