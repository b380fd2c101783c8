#!/bin/sh
# Wine for the Windows tests: one prefix per build directory, headless.
#
#   wine-prefix.sh setup    makes the prefix once (null graphics driver), then starts
#                           a persistent wineserver and wine's own processes
#   wine-prefix.sh cleanup  stops the prefix's wineserver
#
# WINEPREFIX names the prefix. Everything wine starts here writes to /dev/null:
# a process that kept ctest's output pipe open would hold up every test.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEPREFIX
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

case "${1:-}" in
setup)
    if [ ! -f "$WINEPREFIX/.wqtrans-ready" ]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")"
        wineboot -i </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
        # A crash prints its backtrace and ends the test instead of waiting on a dialog.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
        wineserver -k </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        touch "$WINEPREFIX/.wqtrans-ready"
    fi
    # A server of an earlier run may still be there; then it serves.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine wineboot </dev/null >/dev/null 2>&1
    ;;
cleanup)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: $0 setup|cleanup" >&2
    exit 2
    ;;
esac
