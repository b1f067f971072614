#!/usr/bin/env bash
# Chroma of the tool's area-averaging resize beside FFmpeg's area scaler. Both are measured against
# a Lanczos resize of the same clip to 16 bits (U and V PSNR in dB, after converting all three to the
# same 16-bit layout), and both are shown where a vertical red/blue edge lands in their chroma
# (in output pixels from where it belongs; 0 is centred). FFmpeg is told the chroma siting of
# co-sited layouts, which it otherwise takes as centred. Prints markdown tables.
# usage: chroma-quality.sh PATH/TO/vantreo-host [FRAMES]
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 PATH/TO/vantreo-host [FRAMES]" >&2
  exit 2
fi
tool=$(realpath "$1")
frames=${2:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name | source size | output size | pixel format | YUV4MPEG2 colour space | 16-bit format | ffmpeg chroma position
cases=(
  "720x480 -> 704x480, 8-bit 4:2:0|720x480|704x480|yuv420p|C420jpeg|yuv420p16le|"
  "1920x1080 -> 1280x720, 8-bit 4:2:0|1920x1080|1280x720|yuv420p|C420jpeg|yuv420p16le|"
  "1920x1080 -> 1280x720, 8-bit 4:2:0 MPEG-2 siting|1920x1080|1280x720|yuv420p|C420mpeg2|yuv420p16le|:in_h_chr_pos=0:out_h_chr_pos=0"
  "1920x1080 -> 1280x720, 10-bit 4:2:2|1920x1080|1280x720|yuv422p10le|C422p10|yuv422p16le|:in_h_chr_pos=0:out_h_chr_pos=0"
)
sources=(testsrc2 mandelbrot smptehdbars)

quiet=(-hide_banner -loglevel error -y)

# make_clip LAVFI_GRAPH PIX_FMT COLOUR_SPACE OUT: a clip in that layout, its header naming COLOUR_SPACE.
make_clip() {
  ffmpeg "${quiet[@]}" -f lavfi -i "$1" -frames:v "$frames" -pix_fmt "$2" -strict -1 -f yuv4mpegpipe "$work/raw.y4m"
  # FFmpeg names every 4:2:0 clip it makes C420jpeg; the same planes may be declared MPEG-2 sited.
  { head -n 1 "$work/raw.y4m" | sed "s/ C[0-9a-z]*/ $3/"; tail -n +2 "$work/raw.y4m"; } >"$4"
}

# resize IN OUT_SIZE PIX_FMT FLAGS POSITION OUT: FFmpeg's resize of IN.
resize() {
  ffmpeg "${quiet[@]}" -i "$1" -vf "scale=${2/x/:}:flags=$4$5" -pix_fmt "$3" -strict -1 "$6"
}

# psnr A B FORMAT: "U V", the PSNR of A against B, both in FORMAT.
psnr() {
  ffmpeg -hide_banner -nostats -i "$1" -i "$2" -lavfi "[0]format=$3[a];[1]format=$3[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR y:[^ ]* u:\([^ ]*\) v:\([^ ]*\).*/\1 \2/p' | tail -n 1
}

# edge_shift CLIP SOURCE_WIDTH: how far, in output pixels, the Cb edge of the first frame's middle row
# lies from the source's edge (midway between the chroma samples either side of it) carried over. The
# edge is where the row's left colour, summed over the samples, would end as a sharp step: ringing and
# blur either side of a centred edge cancel.
edge_shift() {
  python3 - "$1" "$2" <<'EOF'
import re, sys
data = open(sys.argv[1], "rb").read()
header = data[:data.index(b"\n")].split()
w = int(next(p[1:] for p in header if p.startswith(b"W")))
h = int(next(p[1:] for p in header if p.startswith(b"H")))
space = next(p[1:] for p in header if p.startswith(b"C")).decode()
depth = int(re.search(r"p(\d+)$", space).group(1)) if re.search(r"p\d+$", space) else 8
size = 2 if depth > 8 else 1
cw, ch = (w + 1) // 2, (h + 1) // 2 if space.startswith("420") else h
cosited = space.startswith("422") or space in ("420mpeg2", "420paldv")
frame = data.index(b"FRAME\n") + 6
row = frame + (w * h + (ch // 2) * cw) * size
v = [int.from_bytes(data[row + i * size:row + (i + 1) * size], "little") for i in range(cw)]
left = sum((s - v[-1]) / (v[0] - v[-1]) for s in v)  # samples' worth of the left colour
position = 2 * (left - 0.5) + (0 if cosited else 0.5)
source_w = int(sys.argv[2])
# The source's edge lies between chroma samples source_w/4 - 1 and source_w/4.
source_edge = source_w / 2 - (1 if cosited else 0.5)
print(f"{position - ((source_edge + 0.5) * w / source_w - 0.5):+.2f}")
EOF
}

echo "| case | source | tool U / V dB | FFmpeg area U / V dB | tool - FFmpeg U / V dB |"
echo "|---|---|---|---|---|"
for entry in "${cases[@]}"; do
  IFS='|' read -r name in_size out_size format colour_space deep position <<<"$entry"
  for source in "${sources[@]}"; do
    make_clip "$source=size=$in_size:rate=25" "$format" "$colour_space" "$work/src.y4m"
    resize "$work/src.y4m" "$out_size" "$deep" lanczos "$position" "$work/ref.y4m"
    resize "$work/src.y4m" "$out_size" "$format" area "$position" "$work/area.y4m"
    "$tool" -q --plugin-setting max_source_side=8192 --resize "$out_size" --method area "$work/src.y4m" "$work/tool.y4m"
    read -r tool_u tool_v <<<"$(psnr "$work/tool.y4m" "$work/ref.y4m" "$deep")"
    read -r area_u area_v <<<"$(psnr "$work/area.y4m" "$work/ref.y4m" "$deep")"
    awk -v name="$name" -v source="$source" -v tu="$tool_u" -v tv="$tool_v" -v au="$area_u" -v av="$area_v" \
      'BEGIN { printf "| %s | %s | %.2f / %.2f | %.2f / %.2f | %+.2f / %+.2f |\n", name, source, tu, tv, au, av, tu - au, tv - av }'
  done
done

echo
echo "| case | edge shift, tool | edge shift, FFmpeg area |"
echo "|---|---|---|"
for entry in "${cases[@]}"; do
  IFS='|' read -r name in_size out_size format colour_space deep position <<<"$entry"
  half=$(( ${in_size%x*} / 2 ))x${in_size#*x}
  make_clip "color=red:size=$half[l];color=blue:size=$half[r];[l][r]hstack" "$format" "$colour_space" "$work/src.y4m"
  resize "$work/src.y4m" "$out_size" "$format" area "$position" "$work/area.y4m"
  "$tool" -q --plugin-setting max_source_side=8192 --resize "$out_size" --method area "$work/src.y4m" "$work/tool.y4m"
  echo "| $name | $(edge_shift "$work/tool.y4m" "${in_size%x*}") | $(edge_shift "$work/area.y4m" "${in_size%x*}") |"
done
