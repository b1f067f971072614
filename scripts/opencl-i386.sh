#!/usr/bin/env bash
# Unpacks a private 32-bit PoCL into build/opencl-i386 for the 32-bit builds' OpenCL tests (i686
# Linux, and Windows under wine through wine's opencl.dll). Debian's i386 PoCL cannot be installed
# beside the 64-bit toolchain (apt would remove it), so its packages are downloaded and unpacked
# instead; nothing is installed. The 32-bit ICD loader comes from apt (scripts/setup.sh); PoCL links
# the kernels with the system's 64-bit clang-15, present with the 64-bit PoCL.
# Prints the folder to pass as -DVANTREO_OPENCL_I386=...; its file `environment` holds the variables
# (one NAME=VALUE a line) that make the private PoCL the 32-bit programs' OpenCL platform. Unpacks
# only once, but checks every time that PoCL's libraries load, and fails naming what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$PWD/build/opencl-i386
prefix=$dir/prefix
stamp=$dir/.complete
if [ ! -f "$stamp" ]; then
  rm -rf "$dir"
  mkdir -p "$dir/debs" "$prefix" "$dir/vendors"
  packages=(libpocl2:i386 clang-15:i386 libclang-cpp15:i386 libllvm15:i386 libhwloc15:i386
    libclang-common-15-dev:i386 libclang1-15:i386 libxml2:i386 libedit2:i386 libz3-4:i386 libffi8:i386
    libtinfo6:i386 libicu72:i386 libbsd0:i386 libmd0:i386 libudev1:i386 libltdl7:i386)
  # Package lists older than the archive name files it no longer has: refresh them once and retry.
  if ! (cd "$dir/debs" && apt-get download -qq "${packages[@]}" 2>/dev/null); then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq >&2
    (cd "$dir/debs" && apt-get download -qq "${packages[@]}" >&2)
  fi
  for deb in "$dir"/debs/*.deb; do dpkg -x "$deb" "$prefix"; done
  # PoCL finds its data at ../../share/pocl from libpocl.so.2; the i386 package brings only its
  # kernel library there, the headers and the rest come from the system's libpocl2-common.
  for entry in /usr/share/pocl/*; do
    [ -e "$prefix/usr/share/pocl/$(basename "$entry")" ] || ln -s "$entry" "$prefix/usr/share/pocl/"
  done
  echo "$prefix/usr/lib/i386-linux-gnu/libpocl.so.2" >"$dir/vendors/pocl-i386.icd"
  touch "$stamp"
fi

# Every folder of the prefix that holds a library PoCL needs: libtinfo6 unpacks into lib/, the rest
# into usr/lib/.
library_path=$prefix/lib/i386-linux-gnu:$prefix/usr/lib/i386-linux-gnu:$prefix/usr/lib/llvm-15/lib
printf 'OCL_ICD_VENDORS=%s\nLD_LIBRARY_PATH=%s\n' "$dir/vendors" "$library_path" >"$dir/environment"

# PoCL itself and its device drivers must load from that path alone. PoCL opens the pthread driver
# after the basic one, whose folder is therefore added for the drivers' check only.
missing=""
for library in "$prefix/usr/lib/i386-linux-gnu/libpocl.so.2" "$prefix"/usr/lib/i386-linux-gnu/pocl/*.so; do
  if ! listing=$(LD_LIBRARY_PATH=$library_path:$prefix/usr/lib/i386-linux-gnu/pocl ldd "$library" 2>&1); then
    echo "opencl-i386: ldd cannot read $library: $listing" >&2
    exit 1
  fi
  for name in $(awk '/=> not found/ { print $1 }' <<<"$listing"); do
    missing+="  $name (needed by ${library#"$prefix/"})"$'\n'
  done
done
if [ -n "$missing" ]; then
  echo "opencl-i386: the private 32-bit PoCL in $prefix does not load; not found on its library path:" >&2
  printf '%s' "$missing" | sort -u >&2
  exit 1
fi
echo "$dir"
