#!/usr/bin/env bash
# Measures the filter beside OpenCV's resize in one run per build (release, median of 7 rounds), the
# 64-bit build and the 32-bit (i686) one, each against OpenCV of its own architecture. Writes
# bench/results.json and bench/results-i686.json, the tables of ratios bench/results.md (one per
# build) and the charts bench/ratios.png and bench/ratios-i686.png; and for bicubic and Lanczos-3,
# beside zimg and OpenCV, and one plane beside zimg and OpenCV INTER_AREA, in the release build and in
# the default one (no build type given: RelWithDebInfo), bench/filter-results.json and
# bench/filter-results-default.json and their tables, side by side, bench/filter-results.md; and the
# successor's plug-in beside OpenCV's RGBA resize, bench/exedit2-results.json and .md.
# usage: bench.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
bash scripts/setup.sh
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Needed here alone: the chart's library, and the 32-bit benchmark's Google Benchmark and OpenCV,
# unpacked beside the other i386 libraries.
if ! dpkg-query -W -f='${db:Status-Status}\n' python3-matplotlib 2>/dev/null | grep -qx installed; then
  bash scripts/apt-update.sh
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends python3-matplotlib >/dev/null
fi
i386_root=$(bash scripts/i386-root.sh libbenchmark-dev libopencv-imgproc-dev)

# bench BUILD_DIR RESULTS.json [CMAKE_ARGS...]: builds the comparison benchmark and runs it once.
bench() {
  local dir=$1 out=$2
  shift 2
  # The toolchain file counts only when the build folder is first made: no warning when it is reused.
  cmake --no-warn-unused-cli -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j2 --target vantreo_compare_bench
  # PoCL's CPU device is the OpenCL device measured where the machine has no GPU.
  VANTREO_OPENCL_CPU=1 "$dir/bench/vantreo_compare_bench" --benchmark_repetitions="$rounds" --benchmark_report_aggregates_only=true \
    --benchmark_out="$out" --benchmark_out_format=json
}

# filter_bench BUILD_DIR RESULTS.json: builds the filter benchmark in a configured folder and runs it once.
filter_bench() {
  cmake --build "$1" -j2 --target vantreo_filter_bench
  # The rounds of the benchmarks interleaved at random, so that a slow spell of the machine falls on
  # all of them alike rather than on the few that happen to run through it.
  "$1/bench/vantreo_filter_bench" --benchmark_repetitions="$rounds" --benchmark_report_aggregates_only=true \
    --benchmark_enable_random_interleaving=true --benchmark_out="$2" --benchmark_out_format=json
}

bench build/release bench/results.json
# Bicubic, Lanczos-3 and one plane beside zimg and OpenCV, in the 64-bit build (the packages of both
# are 64-bit), the release one and the one a plain `cmake` makes.
filter_bench build/release bench/filter-results.json
cmake -S . -B build/bench-default -G Ninja >/dev/null
filter_bench build/bench-default bench/filter-results-default.json
/usr/bin/python3 scripts/filter-bench-table.py bench/filter-results.json bench/filter-results-default.json |
  tee bench/filter-results.md
# The successor's plug-in through its stand-in editor beside OpenCV's RGBA resize.
cmake --build build/release -j2 --target vantreo_exedit2_bench
build/release/bench/vantreo_exedit2_bench --benchmark_repetitions="$rounds" --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true --benchmark_out=bench/exedit2-results.json --benchmark_out_format=json
/usr/bin/python3 scripts/exedit2-bench-table.py bench/exedit2-results.json | tee bench/exedit2-results.md
bench build/release-i686 bench/results-i686.json -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake \
  -DVANTREO_I386_ROOT="$i386_root"
/usr/bin/python3 scripts/bench-table.py --title "64-bit" bench/results.json bench/ratios.png \
  --title "32-bit (i686)" bench/results-i686.json bench/ratios-i686.png | tee bench/results.md
