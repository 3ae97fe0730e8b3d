#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, headless (CTest's cross-compiling emulator):
#   wine-run.sh BITS PREFIX PROGRAM [ARGS...]
# BITS is 64 or 32. A 32-bit program needs a 32-bit Wine, and that needs a kernel that
# starts 32-bit programs; where none can start the run is skipped with CTest's skip code 77.
set -u
bits=$1 prefix=$2
shift 2

unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all
# An empty override disables the Mono and Gecko installers, which would ask through a dialog.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$prefix
wineserver=/usr/lib/wine/wineserver
case $bits in
  64) loader=/usr/lib/wine/wine64 ;;
  32) loader=/usr/lib/wine/wine ;;
  *) echo "wine-run.sh: BITS must be 32 or 64, not $bits" >&2; exit 2 ;;
esac

if [ ! -x "$loader" ] || ! "$loader" --version >/dev/null 2>&1; then
  echo "SKIPPED: a $bits-bit Wine cannot start on this machine ($loader is missing or the kernel" \
       "refuses $bits-bit programs); ${1##*/} was built but is not run."
  exit 77
fi

# Tests run in parallel: the first one creates the prefix, the others wait for it.
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    "$loader" wineboot --init >/dev/null 2>&1
    "$wineserver" -w
    [ -f "$prefix/system.reg" ] || { echo "wine-run.sh: could not create the Wine prefix $prefix" >&2; exit 1; }
  fi
) 9>"$prefix.lock" || exit 1

"$loader" "$@"
status=$?
# Leave no wineserver behind once the last program has gone.
"$wineserver" -w
exit $status
