#!/usr/bin/env bash
# Makes docs/methods.png: one detail of the built-in test pattern (the middle of its zone plate, 128x44
# pixels) enlarged eight times by point sampling, bicubic and Lanczos-3, one above the other in that
# order.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target vantreo-host
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for method in point bicubic lanczos; do
  # The clip bars leave columns 96..223 and rows 68..111 of a 640x360 pattern.
  build/release/vantreo-host -q --demo --size 640x360 --method "$method" --set "Clip L=96" \
    --set "Clip R=416" --set "Clip U=68" --set "Clip D=248" --resize 1024x352 "$work/$method.png" </dev/null
done
mkdir -p docs
ffmpeg -loglevel error -y -i "$work/point.png" -i "$work/bicubic.png" -i "$work/lanczos.png" \
  -filter_complex "[0][1][2]vstack=inputs=3" docs/methods.png
echo "wrote docs/methods.png"
