#!/usr/bin/env bash
# Times the tool end to end beside ffmpeg's scaler on the same YUV4MPEG2 files, written to /dev/null:
# for each case the tool (area averaging, the filter's controls at their defaults), then
# `ffmpeg -vf scale=W:H:flags=area` and `flags=bicubic`, in turn, ROUNDS times; the medians and the
# tool's throughput as a share of ffmpeg area's go to bench/tool-results.md. Then the chroma quality
# table (scripts/chroma-quality.sh) follows it there.
# usage: bench-tool.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target vantreo-host
tool=$PWD/build/release/vantreo-host

clips=$(mktemp -d "${TMPDIR:-/var/tmp}/vantreo-bench-tool.XXXXXX")
trap 'rm -rf "$clips"' EXIT

# make NAME SIZE FRAMES PIX_FMT: a clip of ffmpeg's moving test pattern.
make_clip() {
  ffmpeg -v error -f lavfi -i "testsrc2=size=$2:rate=25" -frames:v "$3" -pix_fmt "$4" -strict -1 \
    -f yuv4mpegpipe -y "$clips/$1.y4m"
}

# seconds COMMAND...: the wall-clock time of one run.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

results=bench/tool-results.md
{
  echo "| case | frames | tool fps | ffmpeg area fps | ffmpeg bicubic fps | tool / ffmpeg area |"
  echo "|---|---|---|---|---|---|"
} >"$results.new"

# case NAME FRAMES OUTPUT_SIZE DESCRIPTION
bench_case() {
  local name=$1 frames=$2 size=$3 description=$4 w h
  w=${size%x*}
  h=${size#*x}
  local -a t_tool=() t_area=() t_bicubic=()
  for _ in $(seq "$rounds"); do
    t_tool+=("$(seconds "$tool" -q --method area --resize "$size" "$clips/$name.y4m" /dev/null)")
    t_area+=("$(seconds ffmpeg -v error -i "$clips/$name.y4m" -vf "scale=$w:$h:flags=area" -strict -1 \
      -f yuv4mpegpipe -y /dev/null)")
    t_bicubic+=("$(seconds ffmpeg -v error -i "$clips/$name.y4m" -vf "scale=$w:$h:flags=bicubic" -strict -1 \
      -f yuv4mpegpipe -y /dev/null)")
  done
  local tool_s area_s bicubic_s
  tool_s=$(printf '%s\n' "${t_tool[@]}" | median)
  area_s=$(printf '%s\n' "${t_area[@]}" | median)
  bicubic_s=$(printf '%s\n' "${t_bicubic[@]}" | median)
  awk -v d="$description" -v n="$frames" -v t="$tool_s" -v a="$area_s" -v b="$bicubic_s" \
    'BEGIN { printf "| %s | %d | %.1f | %.1f | %.1f | %.2f |\n", d, n, n / t, n / a, n / b, a / t }' |
    tee -a "$results.new"
}

make_clip hd 300 1920x1080 yuv420p
bench_case hd 300 1280x720 "1920x1080 to 1280x720, 8-bit 4:2:0"
rm -f "$clips/hd.y4m"
make_clip uhd 60 3840x2160 yuv420p
bench_case uhd 60 1920x1080 "3840x2160 to 1920x1080, 8-bit 4:2:0"
rm -f "$clips/uhd.y4m"
make_clip sd 300 720x480 yuv420p
bench_case sd 300 704x480 "720x480 to 704x480, 8-bit 4:2:0"
rm -f "$clips/sd.y4m"
make_clip hd10 100 1920x1080 yuv422p10le
bench_case hd10 100 1280x720 "1920x1080 to 1280x720, 10-bit 4:2:2"
rm -f "$clips/hd10.y4m"

{
  echo
  bash scripts/chroma-quality.sh "$tool"
} >>"$results.new"
mv "$results.new" "$results"
cat "$results"
