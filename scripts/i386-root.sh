#!/usr/bin/env bash
# Unpacks Debian's i386 packages that the 32-bit builds need into a private folder, build/i386-root,
# instead of installing them: the i686 build's libraries, wine32 (which runs the Windows build), and
# PoCL (the OpenCL device of both). Installed, an i386 library must have exactly the version of its
# 64-bit twin, which the archive cannot always give (while a mirror syncs, security updates reach
# one architecture before the other), and the i386 PoCL would replace the 64-bit toolchain. Unpacked,
# neither matters. The packages come with their dependencies, as apt verifies them, except the C and
# C++ runtimes, which come from the system's 32-bit toolchain (g++-multilib): a second copy on the
# library path could differ from the one the programs are linked against.
# usage: i386-root.sh [PACKAGE...]   more i386 packages to unpack (the 32-bit benchmark's); they
# stay for later runs.
# Prints the folder. Its file `environment` holds the variables (one NAME=VALUE a line) under which
# the 32-bit programs find the libraries, PoCL as their OpenCL platform, and wine32's loader
# (VANTREO_WINE). Unpacks only when asked for a package it lacks, but checks every time that the
# libraries load, and fails naming what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$PWD/build/i386-root
prefix=$dir/prefix

packages=(
  libboost-thread-dev libboost-dev libgtest-dev libpng-dev
  wine32
  libpocl2
  "$@"
)
not_unpacked='^(libc6|libc6-dev|libc-dev-bin|linux-libc-dev|libcrypt-dev|libgcc-s1|libstdc\+\+6|gcc-12-base)$'
# The packages asked for by earlier runs stay: a folder holding them all is used as it is.
unpacked=$dir/packages
if [ -f "$unpacked" ]; then mapfile -t -O ${#packages[@]} packages <"$unpacked"; fi
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | sort -u)
all_there() { [ -f "$unpacked" ] && [ "$(printf '%s\n' "${packages[@]}")" = "$(cat "$unpacked")" ]; }

# The packages and everything they depend on, but the runtimes and virtual packages.
closure() {
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
    --no-enhances "${packages[@]/%/:i386}" |
    awk '/^[^ <].*:i386$/ { sub(/:i386$/, ""); print }' | sort -u | grep -Ev "$not_unpacked" | sed 's/$/:i386/'
}

if ! all_there; then
  rm -rf "$dir"
  mkdir -p "$dir/debs" "$prefix" "$dir/vendors"
  # Package lists older than the archive name files it no longer has: refresh them once and retry.
  if ! (cd "$dir/debs" && apt-get download -qq $(closure) 2>/dev/null); then
    bash scripts/apt-update.sh >&2
    (cd "$dir/debs" && apt-get download -qq $(closure) >&2)
  fi
  for deb in "$dir"/debs/*.deb; do dpkg -x "$deb" "$prefix"; done
  rm -rf "$dir/debs"
  # PoCL finds its data at ../../share/pocl from libpocl.so.2; the i386 package brings only its
  # kernel library there, the headers and the rest come from the system's libpocl2-common.
  for entry in /usr/share/pocl/*; do
    [ -e "$prefix/usr/share/pocl/$(basename "$entry")" ] || ln -s "$entry" "$prefix/usr/share/pocl/"
  done
  echo "$prefix/usr/lib/i386-linux-gnu/libpocl.so.2" >"$dir/vendors/pocl-i386.icd"
  # What libwine's installation script does: wine takes zlib from mingw-w64's, marked as its own.
  mingw_zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
  if [ ! -f "$mingw_zlib" ]; then
    echo "i386-root: $mingw_zlib is missing (package libz-mingw-w64); run scripts/setup.sh" >&2
    exit 1
  fi
  {
    head -c 64 "$mingw_zlib"
    printf 'Wine builtin DLL'
    head -c 16 /dev/zero
    tail -c +97 "$mingw_zlib"
  } >"$prefix/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
  printf '%s\n' "${packages[@]}" >"$unpacked"
fi

# Every folder of the prefix that holds libraries: some packages unpack into lib/, the rest into usr/lib/.
library_path=$prefix/lib/i386-linux-gnu:$prefix/usr/lib/i386-linux-gnu:$prefix/usr/lib/llvm-15/lib
printf 'OCL_ICD_VENDORS=%s\nLD_LIBRARY_PATH=%s\nVANTREO_WINE=%s\n' "$dir/vendors" "$library_path" \
  "$prefix/usr/lib/wine/wine" >"$dir/environment"

# Wine's loader and the Unix side of what the tests use of it (its core, and opencl.dll's bridge to
# the ICD loader), PoCL and its device drivers must load from that path alone. Wine loads its Unix
# side after ntdll.so, and PoCL the pthread driver after the basic one: their folders are added for
# this check only.
wine_unix=$prefix/usr/lib/i386-linux-gnu/wine/i386-unix
missing=""
for file in "$prefix/usr/lib/wine/wine" "$wine_unix"/{ntdll,win32u,ws2_32,opencl}.so \
  "$prefix/usr/lib/i386-linux-gnu/libpocl.so.2" "$prefix"/usr/lib/i386-linux-gnu/pocl/*.so; do
  if ! listing=$(LD_LIBRARY_PATH=$library_path:$wine_unix:$prefix/usr/lib/i386-linux-gnu/pocl ldd "$file" 2>&1); then
    echo "i386-root: ldd cannot read $file: $listing" >&2
    exit 1
  fi
  for name in $(awk '/=> not found/ { print $1 }' <<<"$listing"); do
    missing+="  $name (needed by ${file#"$prefix/"})"$'\n'
  done
done
if [ -n "$missing" ]; then
  echo "i386-root: the 32-bit libraries in $prefix do not load; not found on their library path:" >&2
  printf '%s' "$missing" | sort -u >&2
  exit 1
fi
echo "$dir"
