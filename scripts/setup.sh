#!/usr/bin/env bash
# Installs everything the build, the tests, the fuzzers and the demo need, from Debian's packages.
# Does nothing when everything is already present, so a second run goes straight on.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  build-essential cmake ninja-build pkg-config
  g++-multilib
  libboost-thread-dev libboost-dev
  libgtest-dev googletest
  libbenchmark-dev libopencv-imgproc-dev libzimg-dev
  libpng-dev ffmpeg
  # wine's 64-bit half and its wineserver; the 32-bit half, like every i386 library, is unpacked by
  # scripts/i386-root.sh
  g++-mingw-w64-i686-posix dpkg-dev libboost1.74-dev python3 wine libz-mingw-w64
  # the 64-bit Windows build (the ExEdit2 plug-in) and wine64, which runs its test host
  g++-mingw-w64-x86-64-posix wine64
  # OpenCL: the headers the build needs, the loader the runtime opens, PoCL as the device the tests
  # run the kernels on
  opencl-headers ocl-icd-libopencl1 pocl-opencl-icd
  # the fuzzers: clang, its libFuzzer and sanitizer runtimes, llvm-symbolizer for readable stacks
  clang libclang-rt-14-dev llvm-14
)

. /etc/os-release
codename=${VERSION_CODENAME:-bookworm}

# True when some apt source of this machine already offers source packages.
has_source_entries() {
  grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' \
    /etc/apt/sources.list /etc/apt/sources.list.d/
}

all_installed() {
  local package
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${db:Status-Status}\n' "$package" 2>/dev/null | grep -qx installed || return 1
  done
}

# The Windows build compiles Boost.Thread, zlib and libpng from Debian's source packages. Source
# entries are added beside the machine's own Debian entries (those of its release), with the same
# address: one-line entries get a deb-src twin, deb822 stanzas get the deb-src type.
add_source_entries() {
  local file
  if [ -f /etc/apt/sources.list ]; then
    $SUDO awk -v suite="$codename" '
      { print }
      $1 == "deb" { line = $0; sub(/^deb/, "deb-src", line); for (i = 2; i <= NF; i++) if ($i == suite) { print line; break } }
    ' /etc/apt/sources.list >/tmp/vantreo-sources.list
    $SUDO cp /tmp/vantreo-sources.list /etc/apt/sources.list
    rm -f /tmp/vantreo-sources.list
  fi
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    # Stanzas are separated by blank lines; a stanza of this release gets deb-src beside deb.
    $SUDO awk -v suite="$codename" '
      function flush(   i, release) {
        release = 0
        for (i = 1; i <= n; i++)
          if (lines[i] ~ /^Suites:/ && (" " lines[i] " ") ~ (" " suite " ")) release = 1
        for (i = 1; i <= n; i++) {
          if (release && lines[i] ~ /^Types:/ && lines[i] !~ /deb-src/) lines[i] = lines[i] " deb-src"
          print lines[i]
        }
        n = 0
      }
      /^[[:space:]]*$/ { flush(); print; next }
      { lines[++n] = $0 }
      END { flush() }
    ' "$file" >/tmp/vantreo-sources
    $SUDO cp /tmp/vantreo-sources "$file"
    rm -f /tmp/vantreo-sources
  done
  if ! has_source_entries; then
    echo "setup: found no Debian $codename entry in the apt sources to add source packages to" >&2
    exit 1
  fi
}

if all_installed && has_source_entries && dpkg --print-foreign-architectures | grep -qx i386; then
  exit 0
fi

# apt's i386 lists name the packages that scripts/i386-root.sh downloads.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
has_source_entries || add_source_entries
bash "$(dirname "$0")/apt-update.sh"
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
