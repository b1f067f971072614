#!/usr/bin/env bash
# Installs what is needed, builds the plug-in and the stand-in host, and runs the built-in moving
# test pattern through the filter.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target vantreo-host
mkdir -p demo
# Area averaging to 640 pixels wide, the height following the pattern's aspect.
build/release/vantreo-host --demo --method area --resize 640x-2 </dev/null
ls -l demo
