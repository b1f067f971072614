#!/usr/bin/env bash
# Builds the third-party libraries of the Windows build from Debian's source packages with the
# mingw-w64 cross compiler of one architecture: Boost.Thread (the Windows sources of the Boost
# version whose headers are installed), zlib, libpng and GoogleTest (from /usr/src/googletest), into
# build/deps/prefix for 32-bit Windows (i686, the default) or build/deps/prefix-x86_64 for 64-bit.
# Needs the deb-src entry and the packages that scripts/setup.sh installs. Does nothing when the
# prefix is already complete.
# usage: windows-deps.sh [i686|x86_64]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
arch=${1:-i686}
case $arch in
  i686) suffix="" ;;
  x86_64) suffix=-$arch ;;
  *) echo "windows-deps: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
esac
toolchain=cmake/$arch-w64-mingw32.cmake
deps=$root/build/deps
# Each architecture unpacks and builds in folders of its own, so that both can be built at once.
prefix=$deps/prefix$suffix
sources=$deps/sources$suffix
work=$deps/work$suffix
stamp=$prefix/.complete

up_to_date=1
for input in cmake/windows-deps/CMakeLists.txt cmake/windows-deps/BoostConfig.cmake.in cmake/mingw-w64.cmake \
  "$toolchain" scripts/windows-deps.sh; do
  [ -f "$stamp" ] && [ "$stamp" -nt "$input" ] || up_to_date=0
done
[ "$up_to_date" -eq 1 ] && exit 0

mkdir -p "$deps/downloads" "$sources"

# Prints what a failed command said, which is otherwise kept out of the way.
quietly() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "failed: $*" >&2
    return 1
  fi
  rm -f "$log"
}

# Downloads a source package (once) and prints the path of its .dsc.
fetch() {
  local package=$1 version=${2:-}
  local wanted=$package
  [ -n "$version" ] && wanted="$package=$version"
  local dsc
  dsc=$(ls "$deps/downloads/${package}_${version:-}"*.dsc 2>/dev/null | head -n1 || true)
  if [ -z "$dsc" ]; then
    (cd "$deps/downloads" && quietly apt-get source --download-only "$wanted")
    dsc=$(ls "$deps/downloads/${package}_${version:-}"*.dsc | head -n1)
  fi
  echo "$dsc"
}

# Boost: only the thread library's sources are needed, from the upstream tarball (Debian's patches
# leave them alone). The version must be the one of the installed headers.
boost_version=$(dpkg-query -W -f='${source:Version}\n' libboost1.74-dev | head -n1)
fetch boost1.74 "$boost_version" >/dev/null
boost_orig=$(ls "$deps/downloads"/boost1.74_*.orig.tar.* | head -n1)
rm -rf "$sources/boost-thread"
mkdir -p "$sources/boost-thread"
tar -xf "$boost_orig" -C "$sources/boost-thread" --strip-components=3 --wildcards '*/libs/thread/src/*'

# zlib and libpng: unpacked with Debian's patches applied.
for package in zlib libpng1.6; do
  dsc=$(fetch "$package")
  name=${package%1.6}
  rm -rf "${sources:?}/$name"
  (cd "$sources" && quietly dpkg-source -x "$dsc" "$name")
done

rm -rf "$work" "$prefix"
quietly cmake -S cmake/windows-deps -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" -DVANTREO_DEPS_SOURCES="$sources" -DCMAKE_INSTALL_PREFIX="$prefix"
quietly cmake --build "$work" -j2
quietly cmake --install "$work"
touch "$stamp"
echo "Windows ($arch) third-party libraries in $prefix"
