#!/usr/bin/env bash
# A Kdenlive project with a wqtrans composition, rendered by melt: Door ("Vertical, from
# center to top & bottom") between two image clips on tracks V1 and V2 over frames 25
# to 35 of a 25 fps project, progress keyframed 0 to 1 ("0=0;-1=1", i / 10 at frame
# 25 + i). door.kdenlive is the file Kdenlive 22.12.3 saved with the composition
# (composition first, then the tracks' own compositing), its profile narrowed to
# 320x240 and its folder written @ROOT@. Each frame of the composition must be
# `render --at` at 100 x i ms, pixel for pixel; the frames before are the first clip,
# after it the second.
# Kdenlive's image clips (qimage) and track compositing (qtblend) come from MLT's Qt
# module, which needs an X display: melt runs on an Xvfb of its own.
#   project.sh PROJECT.kdenlive PLUGIN_DIR WQTRANS_TOOL LUMA_CHECK
set -euo pipefail
project=$1 plugins=$2 tool=$3 check=$4
work=$(mktemp -d)
xvfb=""
stop() {
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop EXIT
cd "$work"
export MLT_FREI0R_PLUGIN_PATH=$plugins
if ! command -v Xvfb >/dev/null; then
    echo "SKIPPED: Xvfb is not installed (Debian: xvfb); MLT's Qt module needs an X display"
    exit 77
fi
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>display 2>xvfb.log &
xvfb=$!
for _ in $(seq 100); do
    [ -s display ] && break
    sleep 0.1
done
[ -s display ] || { echo "FAIL: Xvfb did not start: $(tail -3 xvfb.log)" >&2; exit 1; }
export DISPLAY=:$(cat display)
"$tool" render Fade --size 320x240 --at 0 -q --out a.png
"$tool" render Fade --size 320x240 --at 1000 -q --out b.png
sed "s|@ROOT@|$work|g" "$project" >door.kdenlive

rendered=0
for try in 1 2 3; do
    rm -f out.rgba
    if timeout 120 melt -silent door.kdenlive in=20 out=40 -consumer avformat:out.rgba real_time=0 f=rawvideo \
        pix_fmt=rgba mlt_image_format=rgba >melt.log 2>&1 && [ -s out.rgba ]; then
        rendered=1
        break
    fi
    echo "melt gave no output (try $try of 3)" >&2
done
[ $rendered = 1 ] || { echo "FAIL: melt: $(tail -3 melt.log)" >&2; exit 1; }

expected=()
for ((frame = 20; frame <= 40; frame++)); do
    if ((frame < 25)); then
        expected+=(a.png)
    elif ((frame > 35)); then
        expected+=(b.png)
    else
        "$tool" render Door --block 0200 --size 320x240 --at $(((frame - 25) * 100)) -q --out e$frame.png
        expected+=(e$frame.png)
    fi
done
"$check" same 320x240 out.rgba "${expected[@]}"
