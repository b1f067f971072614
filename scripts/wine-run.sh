#!/usr/bin/env bash
# Runs one Windows program under wine, headless: a 64-bit program (by its PE header) under Debian's
# wine64 in a 64-bit prefix, any other under wine32 as scripts/i386-root.sh unpacks it in a 32-bit
# prefix; a command that is no file (wineboot) under the one WINEARCH names (win32 unless win64). No
# display, no debugger, standard input from /dev/null (or the file VANTREO_WINE_STDIN) and a time
# limit (VANTREO_WINE_TIMEOUT seconds, default 600). Wine's debug channels are off unless
# VANTREO_WINEDEBUG names some (e.g. +loaddll). Uses the prefix in WINEPREFIX when one is set (the
# caller then ends its wineserver), else a throwaway one.
# usage: wine-run.sh PROGRAM.exe [ARG]...
set -euo pipefail
export WINEDEBUG=${VANTREO_WINEDEBUG:--all}
# No Gecko or Mono install prompts, and a crash ends the program instead of starting winedbg.
export WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe="
unset DISPLAY WAYLAND_DISPLAY

# Prints the machine type of a PE file's header (8664 for x86-64, 014c for i386), nothing for another file.
pe_machine() {
  local header_offset
  [ "$(head -c 2 "$1" 2>/dev/null)" = "MZ" ] || return 0
  header_offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  [ "$(od -An -c -j"$header_offset" -N2 "$1" | tr -d ' ')" = "PE" ] || return 0
  od -An -tx2 -j$((header_offset + 4)) -N2 "$1" | tr -d ' '
}

if [ -f "${1:-}" ]; then
  [ "$(pe_machine "$1")" = 8664 ] && WINEARCH=win64 || WINEARCH=win32
elif [ "${WINEARCH:-}" != win64 ]; then
  WINEARCH=win32
fi
export WINEARCH
if [ "$WINEARCH" = win64 ]; then
  wine_loader=/usr/lib/wine/wine64
  if [ ! -x "$wine_loader" ]; then
    echo "wine-run: no $wine_loader; install wine64 (scripts/setup.sh)" >&2
    exit 1
  fi
  # As Debian's wine script sets it: the loader wine starts further programs with.
  export WINELOADER=$wine_loader
else
  i386_environment=$(dirname "$0")/../build/i386-root/environment
  if [ ! -f "$i386_environment" ]; then
    echo "wine-run: no 32-bit root ($i386_environment); run scripts/i386-root.sh" >&2
    exit 1
  fi
  wine_loader=$(sed -n 's/^VANTREO_WINE=//p' "$i386_environment")
  LD_LIBRARY_PATH=$(sed -n 's/^LD_LIBRARY_PATH=//p' "$i386_environment")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
  export LD_LIBRARY_PATH
fi

if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d)
  export WINEPREFIX
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
  trap 'exit 1' INT TERM
fi

status=0
timeout --kill-after=10 "${VANTREO_WINE_TIMEOUT:-600}" "$wine_loader" "$@" <"${VANTREO_WINE_STDIN:-/dev/null}" || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "wine-run: $1 did not finish within ${VANTREO_WINE_TIMEOUT:-600} s" >&2
fi
exit "$status"
