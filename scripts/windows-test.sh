#!/usr/bin/env bash
# Builds the 32-bit Windows plug-in, tool and test programs with mingw-w64 and runs them under wine:
# the test programs (ctest, each through scripts/wine-run.sh), the plug-in's start-up and shut-down
# in a whole process, and the tool, whose frames must equal the Linux tool's byte for byte, on the
# emulated device without OpenCL.dll and on a 32-bit PoCL through wine's opencl.dll.
# usage: windows-test.sh [LINUX_TOOL]   (default: build/x86_64/vantreo-host, built by scripts/test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_tool=${1:-build/x86_64/vantreo-host}
[[ $linux_tool == /* ]] || linux_tool=$root/$linux_tool
build=$root/build/windows
wine_run=$root/scripts/wine-run.sh

bash scripts/windows-deps.sh
# wine32, and the private 32-bit PoCL that the Windows programs reach through wine's opencl.dll.
i386_root=$(bash scripts/i386-root.sh)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" -DVANTREO_I386_ROOT="$i386_root" >/dev/null
cmake --build "$build" -j2

source scripts/wine-checks.sh
start_wine_prefix win32

echo "== windows: test programs under wine"
(cd "$build" && ctest --output-on-failure -j2)
bash scripts/test-summary.sh "$build" "windows test programs"

echo "== windows: plug-in and tool under wine"

# Runs a Windows program; its status, standard output and standard error (without the CRs of the
# console's text mode) land in $status, $out and $err.
run() {
  status=0
  "$wine_run" "$@" >"$work/out" 2>"$work/err" || status=$?
  out=$(tr -d '\r' <"$work/out")
  err=$(tr -d '\r' <"$work/err")
}

# Start-up and shut-down of the plug-in in a whole process, as the editor runs them: every callback
# returns to the editor, and the probe ends with its own status, 7.
probe=$build/tests/device/lifecycle_probe.exe
export VANTREO_TEST_EMU_REPORT=1
# The area-averaging frame the probe's steps set up and run.
area_frame=(Method=1 "T. Rate=128" other=1 Width=32 Height=24 frame)
VANTREO_TEST_EMU_DEVICE_COUNT=2 run "$probe" "$build/vantreo.auf" Method=1 init
if [ "$status" -eq 7 ] && [ "$out" = "init returned 1" ] && [[ $err == "Using device 0: "* ]]; then pass
else fail "start-up with two devices: status $status, out '$out', err '$err'"; fi

VANTREO_TEST_EMU_DEVICE_COUNT=0 run "$probe" "$build/vantreo.auf" init "${area_frame[@]}" exit
if [ "$status" -eq 7 ] && [ "$out" = $'init returned 0\nframe 64x48\nexit returned 1' ] \
  && [[ $err == "cutil error: no devices supporting CUDA."* ]]; then pass
else fail "start-up without a device: status $status, out '$out', err '$err'"; fi

# The shut-down prompt is for a console: into a file it writes nothing and waits for nothing.
run "$probe" "$build/vantreo.auf" init exit
if [ "$status" -eq 7 ] && [ "$out" = $'init returned 1\nexit returned 1' ]; then pass
else fail "shut-down: status $status, out '$out', err '$err'"; fi

run "$probe" "$build/vantreo.auf" init "${area_frame[@]}" exit
if [ "$status" -eq 7 ] && [[ $err == *"emulated device: 0 allocations and 0 arrays live, "*" freed"* ]] \
  && [[ $err != *" 0 freed"* ]]; then pass
else fail "shut-down after area averaging frees the device memory: status $status, err '$err'"; fi
unset VANTREO_TEST_EMU_REPORT

# The tool finds the plug-in beside itself and lists its controls.
run "$build/vantreo-host.exe" --list-controls
if [ "$status" -eq 0 ] && [[ $out == *"T. Rate  default 256, range 0..256"* ]]; then pass
else fail "--list-controls: status $status, out '$out', err '$err'"; fi

# The tool holds the plug-in's console lines back: the device in its summary, its start-up line only
# with --verbose, the shut-down prompt never, nothing at all with -q.
run "$build/vantreo-host.exe" --demo --size 64x48 --resize 32x-2 "$work/console.y4m"
if [ "$status" -eq 0 ] && [[ $err == *"device: Vantreo emulated device (CPU); wrote "* ]] && [[ $err != *"ENTER"* ]] \
  && [[ $err != *"Using device"* ]]; then pass
else fail "the summary names the device, without the plug-in's lines: status $status, err '$err'"; fi
run "$build/vantreo-host.exe" --verbose --demo --size 64x48 --resize 32x-2 "$work/console.y4m"
if [ "$status" -eq 0 ] && [[ $err == *"Using device 0: "* ]] && [[ $err != *"ENTER"* ]]; then pass
else fail "--verbose shows the plug-in's lines: status $status, err '$err'"; fi
run "$build/vantreo-host.exe" -q --demo --size 64x48 --resize 32x-2 "$work/console.y4m"
if [ "$status" -eq 0 ] && [ -z "$err" ] && [ -z "$out" ]; then pass
else fail "-q: status $status, out '$out', err '$err'"; fi

# A plug-in named without a folder is the file in the current folder, not one beside the tool.
mkdir -p "$work/elsewhere"
cp "$build/tests/host/libhost_test_minimal.dll" "$work/elsewhere/vantreo.auf"
pushd "$work/elsewhere" >/dev/null
run "$build/vantreo-host.exe" --plugin vantreo.auf --list-controls
popd >/dev/null
if [ "$status" -eq 0 ] && [[ $out == "Minimal"* ]]; then pass
else fail "--plugin vantreo.auf loads the current folder's file: status $status, out '$out', err '$err'"; fi

# A filter declared as the editor's SDK declares it checks every field of the record it receives (it
# fails the frame otherwise) and steps its rows by line_size: its frames equal the Linux tool's.
sdk_plugin_linux=$(dirname "$linux_tool")/tests/host/libhost_test_sdk_layout.so
python3 scripts/make-yc-frames.py 320 240 2 4 "$work/sdk.yc"
"$linux_tool" --plugin "$sdk_plugin_linux" --size 320x240 --set Level=200 --select Invert "$work/sdk.yc" \
  "$work/linux-sdk.yc" </dev/null >/dev/null 2>"$work/linux-err" || true
run "$build/vantreo-host.exe" --plugin "$build/tests/host/libhost_test_sdk_layout.dll" --size 320x240 \
  --set Level=200 --select Invert "$work/sdk.yc" "$work/windows-sdk.yc"
if [ "$status" -eq 0 ] && [ -s "$work/linux-sdk.yc" ] && cmp -s "$work/linux-sdk.yc" "$work/windows-sdk.yc"; then pass
else fail "SDK-layout filter: status $status, err '$err', Linux err '$(cat "$work/linux-err")'"; fi

# Frames resized by the Windows build equal those of the Linux build, byte for byte.
compare() {
  local input=$1 size=$2
  shift 2
  local name
  name=$(printf '%s' "$size $*" | tr -c 'A-Za-z0-9' '_')
  local linux_status=0
  "$linux_tool" --size "$size" "$@" "$input" "$work/linux-$name.yc" </dev/null >/dev/null 2>"$work/linux-err" \
    || linux_status=$?
  run "$build/vantreo-host.exe" --size "$size" "$@" "$input" "$work/windows-$name.yc"
  if [ "$linux_status" -ne 0 ]; then
    fail "Linux tool, --size $size $*: status $linux_status, err '$(cat "$work/linux-err")'"
  elif [ "$status" -ne 0 ]; then
    fail "Windows tool, --size $size $*: status $status, err '$err'"
  elif [ ! -s "$work/linux-$name.yc" ]; then
    fail "Linux tool wrote nothing for --size $size $*"
  elif cmp -s "$work/linux-$name.yc" "$work/windows-$name.yc"; then
    pass
  else
    fail "Windows and Linux frames differ for --size $size $*: $(cmp "$work/linux-$name.yc" "$work/windows-$name.yc" 2>&1 || true)"
  fi
}
python3 scripts/make-yc-frames.py 320 240 3 1 "$work/small.yc"
python3 scripts/make-yc-frames.py 719 405 2 2 "$work/odd.yc"
other=(--select other --set Width=200 --set Height=150)
compare "$work/small.yc" 320x240 "${other[@]}" --set Method=0
compare "$work/small.yc" 320x240 --select other --set Width=517 --set Height=389 --set Method=0
for rate in 0 128 256; do
  compare "$work/small.yc" 320x240 "${other[@]}" --set Method=1 --set "T. Rate=$rate"
  compare "$work/odd.yc" 719x405 "${other[@]}" --set Method=1 --set "T. Rate=$rate" --set "CPU T.=5"
done
compare "$work/odd.yc" 719x405 --set Method=0 --select "512 x 384"

# The same through standard input and output, which must carry the bytes untranslated.
"$linux_tool" --format yc --size 320x240 "${other[@]}" --set Method=1 - - <"$work/small.yc" >"$work/linux-pipe.yc" \
  2>/dev/null
status=0
VANTREO_WINE_STDIN=$work/small.yc "$wine_run" "$build/vantreo-host.exe" --format yc --size 320x240 "${other[@]}" \
  --set Method=1 - - >"$work/windows-pipe.yc" 2>"$work/err" || status=$?
if [ "$status" -eq 0 ] && [ -s "$work/linux-pipe.yc" ] && cmp -s "$work/linux-pipe.yc" "$work/windows-pipe.yc"; then pass
else fail "frames through standard input and output: status $status, err '$(cat "$work/err")'"; fi
compare "$work/odd.yc" 719x405 --set Method=1 --set "T. Rate=128" --set "Clip L=17" --set "Clip D=9" \
  --select "320 x 240"

compare "$work/odd.yc" 719x405 --resize 320x-2 --method area --set "t.rate=128"

# Interlaced YUV4MPEG2, resized field by field, and the same frames taken as progressive.
"$linux_tool" -q --demo --size 320x240 --method point --resize 320x240 "$work/progressive.y4m" </dev/null
sed '1s/ Ip / It /' "$work/progressive.y4m" >"$work/interlaced.y4m"
for scan in "" --progressive; do
  fields=(--resize 200x-2 --method area $scan)
  "$linux_tool" "${fields[@]}" "$work/interlaced.y4m" "$work/linux-fields.y4m" </dev/null >/dev/null 2>&1
  run "$build/vantreo-host.exe" "${fields[@]}" "$work/interlaced.y4m" "$work/windows-fields.y4m"
  if [ "$status" -eq 0 ] && [ -s "$work/linux-fields.y4m" ] && cmp -s "$work/linux-fields.y4m" "$work/windows-fields.y4m"
  then pass
  else fail "interlaced frames ${scan:-field by field}: status $status, err '$err'"; fi
done

# The built-in pattern through the whole tool: the YUV4MPEG2 clip and the PNG frames match as well.
demo=(--demo --size 320x240 --select other --set Width=200 --set Height=150 --png-every 25)
"$linux_tool" "${demo[@]}" "$work/png-linux" "$work/demo-linux.y4m" </dev/null >/dev/null 2>&1
run "$build/vantreo-host.exe" "${demo[@]}" "$work/png-windows" "$work/demo-windows.y4m"
pngs=$(ls "$work/png-linux" 2>/dev/null | wc -l)
if [ "$status" -eq 0 ] && [ "$pngs" -eq 3 ] && cmp -s "$work/demo-linux.y4m" "$work/demo-windows.y4m" \
  && diff -r "$work/png-linux" "$work/png-windows" >/dev/null; then pass
else fail "demo clip and PNG frames: status $status, $pngs PNG files, err '$err'"; fi

# A settings file beside the plug-in raises the source limit, whatever the current folder: a 1080p
# frame is resized, as by the Linux tool with the limit raised through the environment (both with the
# editor's limits, which the file changes, rather than the tool's own).
mkdir -p "$work/beside" "$work/elsewhere-too"
cp "$build/vantreo.auf" "$work/beside/"
printf 'max_source_side=1920\r\n' >"$work/beside/vantreo.ini"
python3 scripts/make-yc-frames.py 1920 1080 1 3 "$work/hd.yc"
hd=(--editor-limits --size 1920x1080 --select other --set Width=640 --set Height=360 --set Method=1 --set "T. Rate=128")
VANTREO_MAX_SOURCE_SIDE=1920 "$linux_tool" "${hd[@]}" "$work/hd.yc" "$work/linux-hd.yc" </dev/null >/dev/null 2>&1
pushd "$work/elsewhere-too" >/dev/null
run "$build/vantreo-host.exe" --plugin "$work/beside/vantreo.auf" "${hd[@]}" "$work/hd.yc" "$work/windows-hd.yc"
popd >/dev/null
if [ "$status" -eq 0 ] && [ "$(stat -c %s "$work/windows-hd.yc")" -eq $((640 * 360 * 6)) ] \
  && cmp -s "$work/linux-hd.yc" "$work/windows-hd.yc"; then pass
else fail "settings file beside the plug-in: status $status, err '$err'"; fi

# OpenCL.dll is loaded at run time: without it the emulated device takes over with the same bytes.
# Through wine's opencl.dll, which forwards to the host's 32-bit ICD loader, the private 32-bit PoCL
# (scripts/i386-root.sh) is an OpenCL device: its device rows must equal the Linux tool's too.
mapfile -t pocl <"$i386_root/environment"
pocl+=(VANTREO_OPENCL_CPU=1)
device_rows=(--size 320x240 "${other[@]}" --set Method=1 --set "T. Rate=200")
"$linux_tool" "${device_rows[@]}" "$work/small.yc" "$work/linux-device.yc" </dev/null >/dev/null 2>&1
export "${pocl[@]}"
VANTREO_TEST_OPENCL_LIBRARY=no-such-OpenCL.dll run "$build/vantreo-host.exe" "${device_rows[@]}" "$work/small.yc" \
  "$work/windows-no-opencl.yc"
if [ "$status" -eq 0 ] && [[ $err == *", device: Vantreo emulated device (CPU); wrote "* ]] \
  && cmp -s "$work/linux-device.yc" "$work/windows-no-opencl.yc"; then pass
else fail "without OpenCL.dll: status $status, err '$err'"; fi
run "$build/vantreo-host.exe" --list-devices
if [ "$status" -eq 0 ] && [[ $out == "0  OpenCL    pthread-"*"1  emulated  Vantreo emulated device (CPU)" ]]; then pass
else fail "--list-devices through wine's opencl.dll: status $status, out '$out', err '$err'"; fi
run "$build/vantreo-host.exe" "${device_rows[@]}" "$work/small.yc" "$work/windows-pocl.yc"
if [ "$status" -eq 0 ] && [[ $err == *", device: pthread-"* ]] \
  && cmp -s "$work/linux-device.yc" "$work/windows-pocl.yc"; then pass
else fail "device rows on PoCL through wine's opencl.dll: status $status, err '$err'"; fi
unset OCL_ICD_VENDORS VANTREO_OPENCL_CPU LD_LIBRARY_PATH VANTREO_WINE

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
