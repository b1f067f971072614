#!/usr/bin/env bash
# Installs what is needed, then builds and runs the test suite in every configuration: 64-bit,
# the CUDA build where the toolkit is installed (its own checks), 32-bit (i686), AddressSanitizer
# with UndefinedBehaviorSanitizer, ThreadSanitizer (threaded tests), a minute of each fuzz target
# (scripts/fuzz.sh), 32-bit Windows under wine (scripts/windows-test.sh), checked against the
# 64-bit tool's frames, and the ExEdit2 plug-in for 64-bit Windows under wine64, checked by its
# stand-in host on the emulated device and on PoCL (scripts/exedit2-windows-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

suite() {
  local name=$1 ctest_args=$2
  shift 2
  echo "== $name"
  cmake -S . -B "build/$name" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "build/$name" -j2
  (cd "build/$name" && ctest --output-on-failure -j2 $ctest_args)
  bash scripts/test-summary.sh "build/$name" "$name"
}

suite x86_64 ""
# The plug-in and the tool against the CUDA toolkit's runtime: the module for every architecture, and
# the start-up without a device, which is what this machine has.
if command -v nvcc >/dev/null || [ -x /usr/local/cuda/bin/nvcc ]; then
  suite cuda "" -DVANTREO_DEVICE_RUNTIME=cuda
else
  echo "== cuda: skipped, no CUDA toolkit (nvcc on PATH or in /usr/local/cuda)"
fi
# The 32-bit libraries, and the 32-bit PoCL that the OpenCL tests run on, unpacked (scripts/i386-root.sh).
suite i686 "" -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake -DVANTREO_I386_ROOT="$(bash scripts/i386-root.sh)"
suite asan-ubsan "" -DVANTREO_SANITIZE=address,undefined
suite tsan "-L threads" -DVANTREO_SANITIZE=thread
echo "== fuzz"
bash scripts/fuzz.sh 60
echo "== windows"
bash scripts/windows-test.sh build/x86_64/vantreo-host
echo "== exedit2 windows"
bash scripts/exedit2-windows-test.sh
