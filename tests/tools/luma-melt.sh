#!/usr/bin/env bash
# `wqtrans luma` maps in MLT's own wipe (melt's `luma` transition, softness 0): for
# every transition the tool makes a map of, at 25 and 30 frames a second, a one-second
# wipe between two flat greys must show the new grey exactly where `render --at` does
# at each frame's moment (frame i of n at floor(i x 1000 / n) ms). The 16-bit PGM at
# both rates, the 8-bit PGM at 25, and inputs with a little transparency (alpha 0xfe),
# which the wipe compares another way, at 30; and an eased, reversed map of Door and an
# eased one of Line. At least Bands, Door, Line and Cell have maps; Fade is refused
# with one line. The wipe is asked to be progressive: by default it wipes the
# two fields of each frame at moments half a frame apart.
#   luma-melt.sh WQTRANS_TOOL LUMA_CHECK
set -euo pipefail
tool=$1 check=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
w=160 h=120 old=64 new=192
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# melt now and then ends at start-up without a frame under load (its avformat consumer
# starts its thread before it is running): each run is tried up to three times until
# its output has content.
melt_frames() {
    local output=$1 try
    shift
    for try in 1 2 3; do
        rm -f "$output"
        if timeout 60 melt "$@" -consumer "avformat:$output" real_time=0 f=rawvideo pix_fmt=rgba \
            mlt_image_format=rgba >melt.log 2>&1 && [ -s "$output" ]; then
            return 0
        fi
        echo "melt gave no output (try $try of 3)" >&2
    done
    return 1
}

"$check" grey $old ${w}x${h} old.png
"$check" grey $new ${w}x${h} new.png
if "$tool" luma Fade --size ${w}x${h} --out fade.pgm 2>fade.err; then
    fail "Fade made a map"
fi
[ "$(wc -l <fade.err)" -eq 1 ] && grep -q "not a pure reveal" fade.err || fail "Fade's refusal: $(cat fade.err)"

# The map in map.pgm in melt's wipe against `render --at` at each frame's moment, with
# the motion options in the arguments after the first four.
check_map() {
    local id=$1 fps=$2 bits=$3 alpha=$4 n=$2 last=$(($2 - 1)) i
    shift 4
    printf '%s\n' "description=${w}x${h}" frame_rate_num=$fps frame_rate_den=1 width=$w height=$h \
        progressive=1 sample_aspect_num=1 sample_aspect_den=1 display_aspect_num=4 display_aspect_den=3 \
        colorspace=709 >profile
    melt_frames out.rgba -silent -profile profile "color:0x$(printf %02x%02x%02x $old $old $old)$alpha" \
        out=$last -track "color:0x$(printf %02x%02x%02x $new $new $new)$alpha" out=$last \
        -transition luma in=0 out=$last a_track=0 b_track=1 resource="$work/map.pgm" softness=0 progressive=1 ||
        { fail "melt with $id $*: $(tail -1 melt.log)"; return; }
    local expected=()
    for ((i = 0; i < n; i++)); do
        "$tool" render "$id" --from old.png --to new.png --fps $fps --at $((i * 1000 / n)) "$@" -q --out e$i.png
        expected+=(e$i.png)
    done
    "$check" compare ${w}x${h} $old $new out.rgba "${expected[@]}" ||
        fail "$id $* at $fps fps, $bits-bit map, alpha $alpha: melt's wipe is not the run"
}

made=()
for id in $("$tool" list --json | sed -n 's/.*"id": "\([A-Z0-9]*\)".*/\1/p'); do
    for run in 25:16:ff 30:16:ff 25:8:ff 30:16:fe; do
        IFS=: read -r fps bits alpha <<<"$run"
        if ! "$tool" luma "$id" --size ${w}x${h} --fps $fps --bits $bits -q --out map.pgm 2>luma.err; then
            grep -q "not a pure reveal" luma.err || fail "$id: $(cat luma.err)"
            break
        fi
        [ $run = 25:16:ff ] && made+=("$id")
        check_map "$id" $fps $bits $alpha
    done
done
# Curved and reversed maps follow the curve's moments: Door closing, Line speeding up.
for motion in "DOOR --ease ease-in-out --reverse" "SE03 --ease expo-in"; do
    read -r id options <<<"$motion"
    # shellcheck disable=SC2086
    "$tool" luma "$id" --size ${w}x${h} --fps 25 $options -q --out map.pgm || fail "no map of $motion"
    # shellcheck disable=SC2086
    check_map "$id" 25 16 ff $options
done
echo "maps made: ${made[*]}"
for id in BAND DOOR SE03 SE12; do
    [[ " ${made[*]} " == *" $id "* ]] || fail "no map of $id"
done
exit $failed
