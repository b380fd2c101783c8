#!/usr/bin/env bash
# The frei0r plugins inside the real hosts, checked against the frame renderer.
#   hosts.sh melt|gstreamer PLUGIN_DIR FRAME_CHECK WQTRANS_TOOL
# melt: each of the 21 plugins joins two still pictures with progress animated 0 to 1,
# rendered to raw RGBA frames: the first frame is the first picture, the last the
# second, three middle frames the renderer's pictures; then two clips with sound are
# joined into an MP4 that keeps the sound. gstreamer: one pipeline per family of
# transitions, videotestsrc inputs, progress set as a property. Both: Stretch 2 at 30 fps
# given the host's rate equals the tool's `--fps 30 --at` frame, and the motion
# parameters (ease, reverse) the tool's --ease and --reverse; melt: which transitions
# survive MLT's sliced rendering.
# melt and gst-launch-1.0 exit 0 even when a plugin is missing: outputs are checked.
# Every consumer runs with real_time=0: it renders every frame however loaded the
# machine is, where by default it drops frames that come late.
set -euo pipefail
host=$1 plugins=$2 check=$3 tool=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export MLT_FREI0R_PLUGIN_PATH=$plugins FREI0R_PATH=$plugins GST_REGISTRY=$work/registry.bin
w=160 h=120
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# melt now and then stops at start-up under load without rendering anything: it waits
# forever, or ends with an empty output. The cause is melt's own: its avformat consumer
# (7.12) starts its thread before it sets its "running" flag, and a thread that looks
# at the flag first ends at once without a frame (its debug log shows "flushing video
# size 0" right after start), before any transition is asked for a frame. Each run is
# bounded (a run here takes a second or two) and tried up to three times until its
# output file has content; what it renders is checked as before.
melt() {
    local output="" argument try
    for argument in "$@"; do
        case "$argument" in avformat:*) output=${argument#avformat:} ;; esac
    done
    for try in 1 2 3; do
        if [ -n "$output" ]; then rm -f "$output"; fi
        if timeout 60 melt "$@" && { [ -z "$output" ] || [ -s "$output" ]; }; then
            return 0
        fi
        echo "melt gave no output (try $try of 3)" >&2
    done
    return 1
}

melt_tests() {
    "$tool" render Fade --size ${w}x${h} --at 0 -q --out a.png
    "$tool" render Fade --size ${w}x${h} --at 1000 -q --out b.png
    printf '%s\n' "description=${w}x${h}" frame_rate_num=25 frame_rate_den=1 width=$w height=$h progressive=1 \
        sample_aspect_num=1 sample_aspect_den=1 display_aspect_num=4 display_aspect_den=3 colorspace=709 >profile
    # Frames 0 to 10: progress 0, 0.1, ... 1, so frame k shows the moment k x 100 ms.
    for so in "$plugins"/wqtrans_*.so; do
        name=$(basename "$so" .so)
        name=${name#wqtrans_}
        rm -f out.rgba
        melt -silent -profile profile pixbuf:a.png out=10 -track pixbuf:b.png out=10 \
            -transition frei0r.wqtrans_$name in=0 out=10 a_track=0 b_track=1 'progress=0=0;10=1' \
            -consumer avformat:out.rgba real_time=0 f=rawvideo pix_fmt=rgba mlt_image_format=rgba >melt.log 2>&1 ||
            fail "melt with $name: $(tail -1 melt.log)"
        "$check" "$name" ${w}x${h} a.png b.png out.rgba 3=300 5=500 7=700 || fail "melt with $name"
    done
    [ "$(ls "$plugins"/wqtrans_*.so | wc -l)" -eq 21 ] || fail "not 21 plugins in $plugins"

    # A 30 fps profile: Stretch 2 (replayed from the start of the run) equals the tool's
    # frame at the same moment of a 30 fps run once the plugin is given the rate. MLT
    # turns the time 00:00:01.000 into the profile's frames, so "frame rate" follows the
    # profile; without it the plugin replays at 25 and some frame differs.
    sed 's/^frame_rate_num=.*/frame_rate_num=30/' profile >profile30
    at30=() at25=()
    for k in 5 10 15 20 25; do
        ms=$(((k * 1000 + 15) / 30))
        "$tool" render "Stretch 2" --size ${w}x${h} --fps 30 --at $ms -q --out s30-$ms.png
        "$tool" render "Stretch 2" --size ${w}x${h} --fps 25 --at $ms -q --out s25-$ms.png
        at30+=("$k=s30-$ms.png") at25+=("$k=s25-$ms.png")
    done
    for rate in "frame rate=00:00:01.000" "frame rate=30" ""; do
        melt -silent -profile profile30 pixbuf:a.png out=30 -track pixbuf:b.png out=30 \
            -transition frei0r.wqtrans_stretch_2 in=0 out=30 a_track=0 b_track=1 'progress=0=0;30=1' ${rate:+"$rate"} \
            -consumer avformat:out.rgba real_time=0 f=rawvideo pix_fmt=rgba mlt_image_format=rgba >melt.log 2>&1 ||
            fail "melt at 30 fps: $(tail -1 melt.log)"
        if [ -n "$rate" ]; then
            "$check" stretch_2 ${w}x${h} a.png b.png out.rgba "${at30[@]}" || fail "melt at 30 fps with '$rate'"
        else
            "$check" stretch_2 ${w}x${h} a.png b.png out.rgba "${at25[@]}" || fail "melt at 30 fps, no frame rate"
            if "$check" stretch_2 ${w}x${h} a.png b.png out.rgba "${at30[@]}" 2>/dev/null; then
                fail "Stretch 2 at 25 and 30 fps give the same frames: the check cannot tell the rates apart"
            fi
        fi
    done

    # The motion parameters, set by name: Door eased and Zoom reversed equal the tool's
    # --ease and --reverse frames at the same moments.
    door=() zoom=()
    for k in 3 5 7; do
        "$tool" render Door --size ${w}x${h} --fps 25 --at $((k * 100)) --ease ease-in -q --out door-$k.png
        "$tool" render Zoom --size ${w}x${h} --fps 25 --at $((k * 100)) --reverse -q --out zoom-$k.png
        door+=("$k=door-$k.png") zoom+=("$k=zoom-$k.png")
    done
    for motion in "door ease=ease-in" "zoom reverse=1"; do
        read -r name setting <<<"$motion"
        melt -silent -profile profile pixbuf:a.png out=10 -track pixbuf:b.png out=10 \
            -transition frei0r.wqtrans_$name in=0 out=10 a_track=0 b_track=1 'progress=0=0;10=1' "$setting" \
            -consumer avformat:out.rgba real_time=0 f=rawvideo pix_fmt=rgba mlt_image_format=rgba >melt.log 2>&1 ||
            fail "melt with $motion: $(tail -1 melt.log)"
        if [ $name = door ]; then frames=("${door[@]}"); else frames=("${zoom[@]}"); fi
        "$check" "$name" ${w}x${h} a.png b.png out.rgba "${frames[@]}" || fail "melt with $motion"
    done

    # The transition's "threads" property makes MLT 7.12 cut each frame into strips and
    # draw every strip as a whole picture of its own (the count here fixed by
    # MLT_SLICES_COUNT, whatever the machine's cores). Only transitions whose rows do not
    # depend on the picture's height survive it: Fade, and Bands, Door and Scrolling in a
    # horizontal direction. Every other one must be seen to differ, so that this list
    # stays the true one.
    # sliced NAME THREADS [SETTING...]: THREADS empty for MLT's default, no strips.
    sliced() {
        local name=$1 threads=$2
        shift 2
        MLT_SLICES_COUNT=4 melt -silent -profile profile pixbuf:a.png out=10 -track pixbuf:b.png out=10 \
            -transition frei0r.wqtrans_$name in=0 out=10 a_track=0 b_track=1 'progress=0=0;10=1' \
            ${threads:+threads=$threads} "$@" \
            -consumer avformat:strips$threads.rgba real_time=0 f=rawvideo pix_fmt=rgba mlt_image_format=rgba \
            >melt.log 2>&1 || fail "melt with $name, threads=$threads: $(tail -1 melt.log)"
    }
    safe=" fade bands door scrolling "
    for so in "$plugins"/wqtrans_*.so; do
        name=$(basename "$so" .so)
        name=${name#wqtrans_}
        sliced "$name" ""
        sliced "$name" 4
        if cmp -s strips.rgba strips4.rgba; then
            [[ $safe == *" $name "* ]] || fail "$name survives slicing: add it to the README's list"
        else
            [[ $safe != *" $name "* ]] || fail "$name is not whole when sliced"
        fi
    done
    for name in bands door scrolling; do
        sliced "$name" "" Direction=1
        sliced "$name" 4 Direction=1
        ! cmp -s strips.rgba strips4.rgba || fail "$name from the bottom survives slicing: the README says it does not"
    done

    # Two clips with sound, joined over 12 frames with Door and an audio mix.
    melt -silent -profile profile colour:0xff2040ff out=24 -track tone: frequency=440 out=24 \
        -transition mix a_track=0 b_track=1 -consumer avformat:one.mp4 real_time=0 vcodec=libx264 acodec=aac >/dev/null 2>&1
    melt -silent -profile profile pixbuf:b.png out=24 -track tone: frequency=660 out=24 \
        -transition mix a_track=0 b_track=1 -consumer avformat:two.mp4 real_time=0 vcodec=libx264 acodec=aac >/dev/null 2>&1
    join=(one.mp4 two.mp4 -mix 12 -mixer mix -mixer frei0r.wqtrans_door 'progress=0=0;-1=1')
    melt -silent -profile profile "${join[@]}" -consumer avformat:join.mp4 real_time=0 vcodec=libx264 acodec=aac >/dev/null 2>&1
    melt join.mp4 -consumer xml >join.xml 2>/dev/null
    grep -q '"meta.media.1.stream.type">audio' join.xml || fail "the joined MP4 has no sound"
    grep -q '"length">38<' join.xml || fail "the joined MP4 is not 25 + 25 - 12 frames long"
    # The same join to raw frames: halfway through the mix the picture is neither clip.
    melt -silent -profile profile "${join[@]}" -consumer avformat:join.rgba real_time=0 f=rawvideo pix_fmt=rgba \
        mlt_image_format=rgba >/dev/null 2>&1
    size=$((w * h * 4))
    frame() { dd if=join.rgba bs=$size skip="$1" count=1 2>/dev/null; }
    if cmp -s <(frame 18) <(frame 10); then fail "the join shows the first clip halfway through the mix"; fi
    if cmp -s <(frame 18) <(frame 30); then fail "the join shows the second clip halfway through the mix"; fi
}

gstreamer_tests() {
    caps="video/x-raw,format=RGBA,width=$w,height=$h,framerate=25/1"
    gst-launch-1.0 -q videotestsrc pattern=smpte num-buffers=1 ! "$caps" ! filesink location=a.rgba
    gst-launch-1.0 -q videotestsrc pattern=circular num-buffers=1 ! "$caps" ! filesink location=b.rgba
    # One transition of each family: frame, sliding, bands and lines, stretch and rotation.
    for name in mosaic push bands turn; do
        element=frei0r-mixer-wqtrans-$name
        gst-inspect-1.0 "$element" >/dev/null 2>&1 || { fail "GStreamer has no $element"; continue; }
        : >out.rgba
        for progress in 0 0.5 1; do
            gst-launch-1.0 -q videotestsrc pattern=smpte num-buffers=1 ! "$caps" ! mix.sink_0 \
                videotestsrc pattern=circular num-buffers=1 ! "$caps" ! mix.sink_1 \
                $element name=mix progress=$progress ! filesink location=part.rgba >gst.log 2>&1 ||
                fail "gst-launch-1.0 with $name: $(tail -1 gst.log)"
            cat part.rgba >>out.rgba
        done
        "$check" "$name" ${w}x${h} a.rgba b.rgba out.rgba 1=500 || fail "GStreamer with $name"
    done

    # 30 fps caps: Stretch 2 given the frame interval (GStreamer's properties stop at 1)
    # equals the tool's frame at the same moment of a 30 fps run of the same pictures.
    caps30=${caps/framerate=25\/1/framerate=30\/1}
    gst-launch-1.0 -q videotestsrc pattern=smpte num-buffers=1 ! "$caps30" ! pngenc ! filesink location=a.png
    gst-launch-1.0 -q videotestsrc pattern=circular num-buffers=1 ! "$caps30" ! pngenc ! filesink location=b.png
    "$tool" render "Stretch 2" --from a.png --to b.png --fps 30 --at 500 -q --out s30.png
    "$tool" render "Stretch 2" --from a.png --to b.png --fps 25 --at 500 -q --out s25.png
    for rate in 0.0333333 0; do
        : >out.rgba
        for progress in 0 0.5 1; do
            gst-launch-1.0 -q videotestsrc pattern=smpte num-buffers=1 ! "$caps30" ! mix.sink_0 \
                videotestsrc pattern=circular num-buffers=1 ! "$caps30" ! mix.sink_1 \
                frei0r-mixer-wqtrans-stretch-2 name=mix progress=$progress frame-rate=$rate ! filesink location=part.rgba \
                >gst.log 2>&1 || fail "gst-launch-1.0 at 30 fps: $(tail -1 gst.log)"
            cat part.rgba >>out.rgba
        done
        if [ $rate = 0 ]; then
            "$check" stretch_2 ${w}x${h} a.png b.png out.rgba 1=s25.png || fail "GStreamer at 30 fps, no frame rate"
        else
            "$check" stretch_2 ${w}x${h} a.png b.png out.rgba 1=s30.png || fail "GStreamer at 30 fps, frame-rate=$rate"
        fi
    done
    ! cmp -s s25.png s30.png || fail "Stretch 2 at 25 and 30 fps give the same frame: the check cannot tell them apart"

    # The motion properties: Door eased and reversed equals the tool's frame.
    "$tool" render Door --from a.png --to b.png --fps 25 --at 500 --ease ease-in --reverse -q --out door.png
    : >out.rgba
    for progress in 0 0.5 1; do
        gst-launch-1.0 -q videotestsrc pattern=smpte num-buffers=1 ! "$caps30" ! mix.sink_0 \
            videotestsrc pattern=circular num-buffers=1 ! "$caps30" ! mix.sink_1 \
            frei0r-mixer-wqtrans-door name=mix progress=$progress ease=ease-in reverse=true ! \
            filesink location=part.rgba >gst.log 2>&1 || fail "gst-launch-1.0 with ease and reverse: $(tail -1 gst.log)"
        cat part.rgba >>out.rgba
    done
    "$check" door ${w}x${h} a.png b.png out.rgba 1=door.png || fail "GStreamer with ease and reverse"
}

case $host in
melt) melt_tests ;;
gstreamer) gstreamer_tests ;;
*) echo "usage: hosts.sh melt|gstreamer PLUGIN_DIR FRAME_CHECK WQTRANS_TOOL" >&2; exit 2 ;;
esac
exit $failed
