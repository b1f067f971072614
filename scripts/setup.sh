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
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  g++-multilib \
  libboost-thread-dev libboost-dev \
  libboost-thread-dev:i386 libboost-dev:i386 \
  libgtest-dev libgtest-dev:i386 googletest \
  libbenchmark-dev \
  libpng-dev libpng-dev:i386 ffmpeg \
  >/dev/null
