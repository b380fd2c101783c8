#!/usr/bin/env bash
# shellcheck disable=SC2034  # the lists are read by the scripts that source this file
# Installs the Debian packages that a build needs, when they are missing, one line per
# step: apt's own output goes to a log under build/logs, shown when a step fails.
# Sourced by the other scripts (after they set `root`): `ensure_packages NAME...`; run
# alone, `scripts/deps.sh` installs what the Linux build needs (see the end).

# The compiler and build tools.
WQ_BUILD_PACKAGES=(g++ cmake ninja-build pkg-config)
# What the reference surface and the wqtrans tool link with (GIF palettes from
# libimagequant, video and scaling through FFmpeg's libraries; HEIC and AVIF pictures
# through libheif, their EXIF orientation through libexif, colour profiles through
# Little CMS, the faces `join --motion auto` aims at through OpenCV's objdetect), the
# tool's font and face cascades (opencv-data), and what makes its man page from the
# README (lowdown, preconv).
WQ_TOOL_PACKAGES=(libpng-dev libcli11-dev libgif-dev libwebp-dev libjpeg-dev libcairo2-dev fonts-dejavu-core
                  libimagequant-dev libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
                  libheif-dev libexif-dev liblcms2-dev libopencv-objdetect-dev libopencv-imgproc-dev opencv-data
                  lowdown groff-base)
# The tests and benchmarks: the frei0r plugins and the hosts the tests run them in
# (melt, GStreamer; Xvfb for MLT's Qt module in a Kdenlive project), the man page's
# lint (groff, mandoc) and the Debian packages' dependencies (dpkg-shlibdeps, and file,
# with which CPack finds the libraries), ffmpeg, which makes the join tests' clips,
# heif-enc (libheif-examples), which makes their HEIC and AVIF pictures, and OpenCV's
# sample photographs (opencv-doc), in which the face search's tests look for faces.
WQ_TEST_PACKAGES=(ccache libgtest-dev libgmock-dev libbenchmark-dev
                  frei0r-plugins-dev melt gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
                  gstreamer1.0-plugins-bad mandoc dpkg-dev file xvfb ffmpeg libheif-examples opencv-doc)
# The OBS Studio module (libobs) and its tests inside libobs: OBS Studio's own
# image-source and obs-transitions modules (obs-studio), an X server of the tests' own
# (Xvfb, Xlib) and Mesa's software OpenGL (llvmpipe).
WQ_OBS_PACKAGES=(libobs-dev obs-studio xvfb libx11-dev libgl1-mesa-dri)
# The README's picture of OBS Studio (scripts/obs-screenshot): clicks and a screen grab
# on the Xvfb.
WQ_OBS_SCREENSHOT_PACKAGES=(xdotool imagemagick)
# scripts/kdenlive-screenshot: Kdenlive itself (a large install, never in CI), the
# frei0r plugins and mediainfo it asks for on a first run, D-Bus and an Xvfb.
WQ_KDENLIVE_SCREENSHOT_PACKAGES=(kdenlive frei0r-plugins mediainfo dbus xvfb xdotool imagemagick)
# scripts/openshot-luma: libopenshot's Python module and Pillow (never in CI).
WQ_OPENSHOT_PACKAGES=(python3-openshot python3-pil)
# The Python module (pybind11, for Debian's Python 3) and its tests: pytest, Pillow for
# the PNGs the tool writes, PyAV for the join example, and venv, pip and wheel for the
# `pip install ./python` check.
WQ_PYTHON_PACKAGES=(python3-dev python3-pybind11 python3-numpy python3-pytest python3-pil python3-av
                    python3-venv python3-pip python3-setuptools python3-wheel)
# The Linux build, tests, benchmarks, tool, OBS module and Python module.
WQ_PACKAGES=("${WQ_BUILD_PACKAGES[@]}" "${WQ_TOOL_PACKAGES[@]}" "${WQ_TEST_PACKAGES[@]}" "${WQ_OBS_PACKAGES[@]}"
             "${WQ_PYTHON_PACKAGES[@]}")
# The libFuzzer targets (the module, the picture readers): clang with its sanitizer and
# fuzzer runtimes.
WQ_FUZZ_PACKAGES=(clang libclang-rt-dev)
# The browser build (Emscripten) and its tests in a real browser.
WQ_WEB_PACKAGES=(emscripten chromium)
# The 32-bit Windows build and its tests under Wine.
WQ_WINDOWS_PACKAGES=(g++-mingw-w64-i686 wine wine32:i386 fonts-wine)

WQ_LOG_DIR="${root:-.}/build/logs"

# Runs a command as root: directly, or through sudo.
wq_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Runs one step with its output appended to LOG: one line on stderr, and the end of the
# log when the step fails.
#   wq_step "Building the tool" LOG COMMAND...
wq_step() {
    local message="$1" log="$2"
    shift 2
    mkdir -p "$(dirname "$log")"
    echo "$message..." >&2
    if ! "$@" >>"$log" 2>&1; then
        echo "$message failed; the end of its log ($log):" >&2
        tail -n 40 "$log" | sed 's/^/  /' >&2
        return 1
    fi
}

ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    local as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "These Debian packages are needed and not installed: ${missing[*]}" >&2
            echo "Install them as root, then run $(basename "$0") again:" >&2
            echo "  su -c 'apt-get update && apt-get install ${missing[*]}'" >&2
            return 1
        fi
        as_root=(sudo)
    fi
    # Appended to: an earlier step's log stays for reading.
    local log="$WQ_LOG_DIR/apt.log"
    mkdir -p "$WQ_LOG_DIR"
    echo "=== $(date -u '+%Y-%m-%d %H:%M:%S UTC') $(basename "$0"): ${missing[*]}" >>"$log"
    for package in "${missing[@]}"; do
        if [[ "$package" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            wq_step "Adding the i386 architecture" "$log" "${as_root[@]}" dpkg --add-architecture i386
        fi
    done
    wq_step "Updating the package lists" "$log" \
        "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=900 update
    wq_step "Installing ${missing[*]}" "$log" \
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y "${missing[@]}"
}

# Run rather than sourced (`scripts/deps.sh`): installs the packages of the Linux build
# (WQ_PACKAGES) that are missing, as root or through sudo, for a build by hand.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    WQ_LOG_DIR="$(cd "$(dirname "$0")/.." && pwd)/build/logs"
    ensure_packages "${WQ_PACKAGES[@]}"
fi
