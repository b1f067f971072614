#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each for SECONDS (default 600):
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     TARGET: y4m_reader, frame_callback (default both)
#
# A target starts from the corpus its earlier runs grew (build/fuzz/corpus/TARGET), its seeds
# (tests/fuzz/corpus/TARGET) and the saved inputs of past findings (tests/fuzz/regressions/TARGET),
# with tests/fuzz/TARGET.dict when there is one. Any crash, sanitizer report, leak, broken check or
# time-out fails the run: the log is in build/fuzz/logs, the input in build/fuzz/findings, and
# `build/fuzz/tests/fuzz/fuzz_TARGET INPUT` replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(y4m_reader frame_callback)

bash scripts/setup.sh
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DVANTREO_FUZZ=ON >/dev/null
cmake --build build/fuzz -j2 --target "${targets[@]/#/fuzz_}"

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
mkdir -p build/fuzz/logs build/fuzz/findings
failed=()
for target in "${targets[@]}"; do
  inputs=(build/fuzz/corpus/"$target")
  mkdir -p "${inputs[0]}"
  for saved in tests/fuzz/corpus/"$target" tests/fuzz/regressions/"$target"; do
    [ -d "$saved" ] && inputs+=("$saved")
  done
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix=build/fuzz/findings/"$target"-)
  [ -f tests/fuzz/"$target".dict ] && options+=(-dict=tests/fuzz/"$target".dict)
  log=build/fuzz/logs/$target.log
  echo "== fuzz $target, $seconds s"
  if build/fuzz/tests/fuzz/fuzz_"$target" "${options[@]}" "${inputs[@]}" >"$log" 2>&1; then
    grep -E '^#[0-9]+ +DONE|^stat::(number_of_executed_units|average_exec_per_sec)' "$log" || true
  else
    tail -n 80 "$log"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: ${failed[*]} failed; logs in build/fuzz/logs, inputs in build/fuzz/findings" >&2
  exit 1
fi
