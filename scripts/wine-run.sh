#!/usr/bin/env bash
# Runs one Windows program under wine, headless: wine32 as scripts/i386-root.sh unpacks it, 32-bit
# prefix, no display, no debugger, standard input from /dev/null (or the file VANTREO_WINE_STDIN) and
# a time limit (VANTREO_WINE_TIMEOUT seconds, default 600). Uses the prefix in WINEPREFIX when one is
# set (the caller then ends its wineserver), else a throwaway one.
# usage: wine-run.sh PROGRAM.exe [ARG]...
set -euo pipefail
export WINEARCH=win32 WINEDEBUG=-all
# No Gecko or Mono install prompts, and a crash ends the program instead of starting winedbg.
export WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe="
unset DISPLAY WAYLAND_DISPLAY
i386_environment=$(dirname "$0")/../build/i386-root/environment
if [ ! -f "$i386_environment" ]; then
  echo "wine-run: no 32-bit root ($i386_environment); run scripts/i386-root.sh" >&2
  exit 1
fi
wine_loader=$(sed -n 's/^VANTREO_WINE=//p' "$i386_environment")
LD_LIBRARY_PATH=$(sed -n 's/^LD_LIBRARY_PATH=//p' "$i386_environment")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
export LD_LIBRARY_PATH

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
