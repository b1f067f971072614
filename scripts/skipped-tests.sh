#!/usr/bin/env bash
# Prints one line after a ctest run: how many test cases skipped themselves, and why, so that a skip
# is seen rather than counted as a pass. Reads the run's log, where GoogleTest writes each skip as
# "FILE:LINE: Skipped" followed by its reason.
# usage: skipped-tests.sh BUILD_DIR NAME
set -euo pipefail
log=$1/Testing/Temporary/LastTest.log
name=$2
[ -f "$log" ] || { echo "== $name: no test log at $log" >&2; exit 1; }
awk -v name="$name" '
  /: Skipped$/ {
    reason = ""
    if ((getline line) > 0) reason = line
    sub(/\r$/, "", reason)
    if (reason == "") reason = "no reason given"
    if (!(reason in count)) order[++reasons] = reason
    count[reason]++
    total++
  }
  END {
    if (total == 0) { printf "== %s: no test case skipped\n", name; exit }
    printf "== %s: %d test case%s skipped:", name, total, total == 1 ? "" : "s"
    for (i = 1; i <= reasons; i++) printf "%s %d x %s", i == 1 ? "" : ";", count[order[i]], order[i]
    printf "\n"
  }' "$log"
