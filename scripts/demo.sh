#!/usr/bin/env bash
# Installs what is needed, builds the plug-in and the stand-in host, and runs the built-in moving
# test pattern through the filter.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target vantreo-host
mkdir -p demo
build/release/vantreo-host --demo </dev/null
ls -l demo
