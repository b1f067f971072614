#!/usr/bin/env bash
# Builds the ExEdit2 plug-in, vantreo.auf2, a 64-bit Windows DLL, with mingw-w64 in build/windows-x64,
# and beside it the package a user drops on the editor's preview to install it, vantreo.au2pkg.zip:
# Plugin/vantreo.auf2, package.ini and package.txt. Installs what it needs first (scripts/setup.sh,
# the 64-bit third-party libraries). Progress goes to standard error; standard output gets one line,
# the absolute path of the built vantreo.auf2.
# usage: build-auf2.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/windows-x64

bash scripts/setup.sh >&2
bash scripts/windows-deps.sh x86_64 >&2
# The DLL that is tested is the one users get: without its symbols (-s), half the size.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_MODULE_LINKER_FLAGS_RELEASE=-s \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" >&2
cmake --build "$build" --target vantreo_auf2 -j2 >&2
plugin=$build/vantreo.auf2
if [ ! -f "$plugin" ]; then
  echo "build-auf2: the build made no $plugin" >&2
  exit 1
fi

version=$(sed -n 's/^project(vantreo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
  echo "build-auf2: found no version in the project() line of CMakeLists.txt" >&2
  exit 1
fi

# The same inputs give the same zip: fixed times and modes, entries in a fixed order. The texts are
# ASCII with Windows line ends, which the editor reads whatever encoding it assumes.
python3 - "$plugin" "$build/vantreo.au2pkg.zip" "$version" <<'EOF'
import os
import sys
import zipfile

plugin, package, version = sys.argv[1:]
ini = f"""[package]
id=vantreo
name=Vantreo
information=Vantreo {version}: resizes an object's image with its alpha (point, area averaging, bicubic, Lanczos-3) on the CPU's threads and an OpenCL device
"""
text = f"""Vantreo {version}

Adds the video effect "Vantreo", which resizes an object's image: by a scale or to a size in pixels,
with point sampling, area averaging, bicubic or Lanczos-3 interpolation, on the CPU's threads and,
where one is found, an OpenCL device.
"""
with open(plugin, "rb") as file:
    entries = [("Plugin/vantreo.auf2", file.read()),
               ("package.ini", ini.replace("\n", "\r\n").encode("ascii")),
               ("package.txt", text.replace("\n", "\r\n").encode("ascii"))]
partial = package + ".partial"
with zipfile.ZipFile(partial, "w") as archive:
    for name, data in entries:
        entry = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = 0o644 << 16
        archive.writestr(entry, data, compresslevel=9)
os.replace(partial, package)
EOF
echo "build-auf2: package $build/vantreo.au2pkg.zip" >&2
echo "$plugin"
