# Sourced by the scripts that check Windows programs under wine. start_wine_prefix ARCH (win32 or
# win64) makes one throwaway prefix for every program of the run (WINEPREFIX, exported) and a work
# folder ($work), both removed on exit with the prefix's wineserver, and sets the prefix up before any
# program starts; it fails, printing wine's own output, when wine cannot. pass and fail "WHAT" count
# the checks in $passed and $failed, fail saying what failed.
passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAILED: $*" >&2
}

start_wine_prefix() {
  local arch=$1
  WINEPREFIX=$(mktemp -d)
  export WINEPREFIX
  work=$(mktemp -d)
  trap 'WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX" "$work"' EXIT
  trap 'exit 1' INT TERM
  # One wine server for the whole run. A server left to itself exits a few seconds after its last
  # program; a program starting in that moment loses its connection ("wine client error:0: recvmsg:
  # Connection reset by peer") and fails for no fault of its own.
  WINEARCH=$arch WINEDEBUG=-all wineserver --persistent
  if ! WINEARCH=$arch VANTREO_WINE_TIMEOUT=300 "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" wineboot --init \
    >"$work/wineboot.log" 2>&1; then
    cat "$work/wineboot.log" >&2
    echo "wine could not set up a $arch prefix" >&2
    exit 1
  fi
}
