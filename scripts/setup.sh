#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need, from Debian's packages.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
# The Windows build compiles Boost.Thread, zlib and libpng from Debian's source packages.
if ! grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  . /etc/os-release
  $SUDO tee /etc/apt/sources.list.d/deb-src.sources >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: ${VERSION_CODENAME:-bookworm}
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  g++-multilib \
  libboost-thread-dev libboost-dev \
  libboost-thread-dev:i386 libboost-dev:i386 \
  libgtest-dev libgtest-dev:i386 googletest \
  libbenchmark-dev \
  libpng-dev libpng-dev:i386 ffmpeg \
  g++-mingw-w64-i686-posix dpkg-dev libboost1.74-dev python3 wine wine32:i386 \
  >/dev/null
