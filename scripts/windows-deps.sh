#!/usr/bin/env bash
# Builds the third-party libraries of the Windows build from Debian's source packages with the
# mingw-w64 cross compiler, into build/deps/prefix: Boost.Thread (the Windows sources of the Boost
# version whose headers are installed), zlib, libpng and GoogleTest (from /usr/src/googletest).
# Needs the deb-src entry and the packages that scripts/setup.sh installs. Does nothing when the
# prefix is already complete.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
deps=$root/build/deps
prefix=$deps/prefix
stamp=$prefix/.complete

up_to_date=1
for input in cmake/windows-deps/CMakeLists.txt cmake/windows-deps/BoostConfig.cmake.in \
  cmake/i686-w64-mingw32.cmake scripts/windows-deps.sh; do
  [ -f "$stamp" ] && [ "$stamp" -nt "$input" ] || up_to_date=0
done
[ "$up_to_date" -eq 1 ] && exit 0

mkdir -p "$deps/downloads" "$deps/sources"

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
rm -rf "$deps/sources/boost-thread"
mkdir -p "$deps/sources/boost-thread"
tar -xf "$boost_orig" -C "$deps/sources/boost-thread" --strip-components=3 --wildcards '*/libs/thread/src/*'

# zlib and libpng: unpacked with Debian's patches applied.
for package in zlib libpng1.6; do
  dsc=$(fetch "$package")
  name=${package%1.6}
  rm -rf "${deps:?}/sources/$name"
  (cd "$deps/sources" && quietly dpkg-source -x "$dsc" "$name")
done

rm -rf "$deps/work" "$prefix"
quietly cmake -S cmake/windows-deps -B "$deps/work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
  -DVANTREO_DEPS_SOURCES="$deps/sources" -DCMAKE_INSTALL_PREFIX="$prefix"
quietly cmake --build "$deps/work" -j2
quietly cmake --install "$deps/work"
touch "$stamp"
echo "Windows third-party libraries in $prefix"
