#!/usr/bin/env bash
# Runs the libobs tests on an X server of their own: an Xvfb that picks a free display
# number (-displayfd), stopped by its pid when the tests end, with Mesa's llvmpipe.
#   xvfb.sh OBS_PLUGIN_DIR OBS_DATA_DIR PROGRAM ARGS...
# Exits 77 (skipped) when Xvfb or OBS Studio's own modules are missing.
set -euo pipefail
obs_plugins=$1 obs_data=$2
shift 2
if ! command -v Xvfb >/dev/null; then
    echo "SKIPPED: Xvfb is not installed (Debian: xvfb); the libobs tests need an X server"
    exit 77
fi
for module in image-source obs-transitions; do
    if [ ! -f "$obs_plugins/$module.so" ]; then
        echo "SKIPPED: OBS Studio's $module module is not in $obs_plugins (Debian: obs-studio)"
        exit 77
    fi
done
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
stop() {
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap stop EXIT
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    if ! kill -0 "$xvfb" 2>/dev/null; then
        echo "Xvfb did not start:" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb gave no display number in 10 s" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
"$@"
