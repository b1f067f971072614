#!/usr/bin/env bash
# Times the tool end to end beside ffmpeg's scaler on the same YUV4MPEG2 files, written to /dev/null:
# for each case the tool (area averaging, the filter's controls at their defaults), the tool with
# "T. Rate" 0 (every row on the CPU), then `ffmpeg -vf scale=W:H:flags=area` and `flags=bicubic`, in
# turn, ROUNDS times; the medians and the tool's throughput as a share of ffmpeg area's go to
# bench/tool-results.md. The chroma quality table (scripts/chroma-quality.sh) follows it there.
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

# make_clip NAME FRAMES SIZE PIX_FMT: a clip of ffmpeg's moving test pattern.
make_clip() {
  ffmpeg -v error -f lavfi -i "testsrc2=size=$3:rate=25" -frames:v "$2" -pix_fmt "$4" -strict -1 \
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

results=bench/tool-results.md
{
  echo "| case | frames | tool fps | tool, \"T. Rate\" 0 | ffmpeg area fps | ffmpeg bicubic fps | tool / ffmpeg area | \"T. Rate\" 0 / ffmpeg area |"
  echo "|---|---|---|---|---|---|---|---|"
} >"$results.new"

# bench_case NAME FRAMES OUTPUT_SIZE DESCRIPTION: the four commands in turn, ROUNDS times; each figure
# is a median, and each share the median of the rounds' own shares (a round's commands ran side by
# side, so a share holds when the machine's speed drifts).
bench_case() {
  local name=$1 frames=$2 size=$3 description=$4 w h
  w=${size%x*}
  h=${size#*x}
  local rows=""
  for _ in $(seq "$rounds"); do
    rows+="$(seconds "$tool" -q --method area --resize "$size" "$clips/$name.y4m" /dev/null)"
    rows+=" $(seconds "$tool" -q --method area --set "T. Rate=0" --resize "$size" "$clips/$name.y4m" /dev/null)"
    rows+=" $(seconds ffmpeg -v error -i "$clips/$name.y4m" -vf "scale=$w:$h:flags=area" -strict -1 \
      -f yuv4mpegpipe -y /dev/null)"
    rows+=" $(seconds ffmpeg -v error -i "$clips/$name.y4m" -vf "scale=$w:$h:flags=bicubic" -strict -1 \
      -f yuv4mpegpipe -y /dev/null)"$'\n'
  done
  printf '%s' "$rows" | awk -v d="$description" -v n="$frames" '
    function median(values, count,   i, j, t) {
      for (i = 1; i <= count; ++i) for (j = i + 1; j <= count; ++j) if (values[j] < values[i]) { t = values[i]; values[i] = values[j]; values[j] = t }
      return values[int((count + 1) / 2)]
    }
    { tool[NR] = $1; rate0[NR] = $2; area[NR] = $3; bicubic[NR] = $4; share[NR] = $3 / $1; share0[NR] = $3 / $2 }
    END {
      printf "| %s | %d | %.1f | %.1f | %.1f | %.1f | %.2f | %.2f |\n", d, n, n / median(tool, NR), n / median(rate0, NR),
        n / median(area, NR), n / median(bicubic, NR), median(share, NR), median(share0, NR)
    }' | tee -a "$results.new"
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
