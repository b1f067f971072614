#!/usr/bin/env bash
# Measures the filter beside OpenCV's resize in one run (release build, median of 7 rounds) and
# writes bench/results.json, the table of ratios bench/results.md and the chart bench/ratios.png.
# usage: bench.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
bash scripts/setup.sh
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
# The chart's only dependency, needed here alone.
if ! dpkg-query -W -f='${db:Status-Status}\n' python3-matplotlib 2>/dev/null | grep -qx installed; then
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends python3-matplotlib >/dev/null
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target vantreo_compare_bench
build/release/bench/vantreo_compare_bench --benchmark_repetitions="$rounds" --benchmark_report_aggregates_only=true \
  --benchmark_out=bench/results.json --benchmark_out_format=json
/usr/bin/python3 scripts/bench-table.py bench/results.json bench/ratios.png | tee bench/results.md
