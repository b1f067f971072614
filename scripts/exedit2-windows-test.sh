#!/usr/bin/env bash
# Builds the ExEdit2 plug-in (scripts/build-auf2.sh) and the stand-in host for 64-bit Windows and runs
# the host's checks of the plug-in under wine64: on the emulated device, with no OpenCL.dll to load,
# and on the machine's 64-bit PoCL, which the plug-in reaches through wine's own opencl.dll, the
# machine's OpenCL loader (ocl-icd) and its ICD file. Ends with one line, "exedit2 windows: N passed,
# M failed", and fails when a check did.
# usage: exedit2-windows-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
wine_run=$root/scripts/wine-run.sh
# The machine's own OpenCL set-up, whatever the caller's environment points the loader to.
unset OCL_ICD_VENDORS OCL_ICD_FILENAMES VANTREO_TEST_OPENCL_LIBRARY VANTREO_OPENCL_CPU

plugin=$(bash scripts/build-auf2.sh | tail -n1)
build=$(dirname "$plugin")
cmake --build "$build" --target exedit2_host -j2
host=$(find "$build" -name exedit2_host.exe -type f | head -n1)
if [ -z "$host" ]; then
  echo "exedit2 windows: the build made no exedit2_host.exe in $build" >&2
  exit 1
fi

source scripts/wine-checks.sh
start_wine_prefix win64


# Runs the host on the plug-in, recording the libraries the process loads: wine's trace of its
# Windows DLLs in the standard error, the dynamic linker's record of its Linux libraries in
# $work/ld.PID. The status, standard output and standard error (without the console's CRs) land in
# $status, $out and $err; the Linux libraries, as lines "LIBRARY by WHAT_LOADED_IT", in $linux_loads.
run() {
  status=0
  rm -f "$work"/ld.*
  VANTREO_WINEDEBUG=-all,+loaddll LD_DEBUG=files LD_DEBUG_OUTPUT=$work/ld \
    "$wine_run" "$host" "$plugin" "$@" >"$work/out" 2>"$work/err" || status=$?
  out=$(tr -d '\r' <"$work/out")
  err=$(tr -d '\r' <"$work/err")
  linux_loads=$(cat "$work"/ld.* 2>/dev/null \
    | sed -n 's/^[[:space:]]*[0-9]*:[[:space:]]*file=\([^ ]*\) \[[0-9]*\]; *\(needed\|dynamically loaded\) by \([^ ]*\) .*/\1 by \3/p' | sort -u)
}
# Wine's trace line of its own opencl.dll loaded into the process, and the Linux side of the same
# path: wine's opencl.so opens the OpenCL loader, which opens PoCL.
builtin_opencl='opencl\.dll" at [0-9A-Fa-f]*: builtin'
wine_to_loader='^libOpenCL\.so\.1 by .*/wine/x86_64-unix/opencl\.so$'
loader_to_pocl='libpocl\.so[.0-9]* by .*/libOpenCL\.so\.1$'

# What a failed check prints: the run, without wine's trace, and the OpenCL libraries it loaded.
report() {
  local opencl_dll="not loaded"
  grep -qi "$builtin_opencl" <<<"$err" && opencl_dll=loaded
  echo "status $status, out '$out', err '$(grep -v ':loaddll:' <<<"$err")', wine's opencl.dll $opencl_dll," \
    "Linux libraries loaded by OpenCL's: '$(grep -E ' by .*/(opencl\.so|libOpenCL\.so\.1)$' <<<"$linux_loads" | tr '\n' ';')'"
}

# Without an OpenCL library the device rows go to the emulated device, and no OpenCL is loaded.
VANTREO_TEST_OPENCL_LIBRARY=no-such-OpenCL.dll run --expect-device "Vantreo emulated device"
if [ "$status" -eq 0 ] && ! grep -qi "$builtin_opencl" <<<"$err" && ! grep -q libpocl <<<"$linux_loads"; then pass
else fail "emulated device (no OpenCL.dll): $(report)"; fi

# PoCL as the machine has it installed, found by the loader through /etc/OpenCL/vendors.
VANTREO_OPENCL_CPU=1 run --expect-device pthread
if [ "$status" -eq 0 ] && grep -qi "$builtin_opencl" <<<"$err" && grep -q "$wine_to_loader" <<<"$linux_loads" \
  && grep -q "$loader_to_pocl" <<<"$linux_loads"; then pass
else fail "PoCL through wine's opencl.dll: $(report)"; fi

echo "exedit2 windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
