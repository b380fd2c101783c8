#!/usr/bin/env bash
# The release build installed as the README says, into /usr, /usr/local and a prefix of
# the user's, and each program that loads an installed file asked whether it finds it,
# with no search path set: libobs (the OBS module), melt and gst-inspect-1.0 (the
# frei0r plugins), Debian's python3 (the Python module), the dynamic loader (the
# pkg-config example, without LD_LIBRARY_PATH).
#   system-installs.sh BUILD OBS_FIND_MODULE WORK
# Run as root by scripts/check-install: each install happens in a mount namespace of its
# own in which /usr and /etc are overlays over the machine's, so what the install and
# ldconfig write lands in WORK and the machine's /usr and /etc stay as they were.
set -euo pipefail
build=$1 obs_find=$2 work=$3
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

fail() { echo "system-installs: $*" >&2; exit 1; }

# One install and its checks, in a namespace of their own: in_overlay NAME COMMAND...
in_overlay() {
    local name=$1
    shift
    mkdir -p "$work/$name"/{usr,usr-work,etc,etc-work,home}
    # shellcheck disable=SC2016
    unshare --mount --propagation private bash -c '
        set -e
        top=$1
        shift
        mount -t overlay overlay -o "lowerdir=/usr,upperdir=$top/usr,workdir=$top/usr-work" /usr
        mount -t overlay overlay -o "lowerdir=/etc,upperdir=$top/etc,workdir=$top/etc-work" /etc
        "$@"
    ' system-installs "$work/$name" "$@"
}

# What every program sees: a home of its own (no ~/.frei0r-1, ~/.config/obs-studio or
# GStreamer registry of the user's) and none of the search variables.
clean_env() {
    env -u LD_LIBRARY_PATH -u PYTHONPATH -u FREI0R_PATH -u MLT_FREI0R_PLUGIN_PATH -u PKG_CONFIG_PATH \
        -u OBS_PLUGINS_PATH -u OBS_PLUGINS_DATA_PATH -u XDG_CONFIG_HOME -u XDG_DATA_DIRS \
        HOME="$home" GST_REGISTRY="$home/gst-registry.bin" "$@"
}

check_obs() { # EXPECTED_PATH [ENV...]
    local expected=$1 listing
    shift
    listing=$(clean_env "$@" "$root/tests/obs/xvfb.sh" /usr/lib/x86_64-linux-gnu/obs-plugins /usr/share/obs/obs-plugins \
        "$obs_find" wqtrans-obs 2>"$home/obs.log") || {
        tail -n 5 "$home/obs.log" >&2
        fail "$prefix: libobs did not load wqtrans-obs"
    }
    # libobs writes its own folder with a double slash: /usr//lib/...
    [ "$(realpath -m "$(head -n1 <<<"$listing")")" = "$expected" ] ||
        fail "$prefix: libobs loaded $(head -n1 <<<"$listing"), not $expected"
    grep -qx $'wqtrans_fade\tFade (wqtrans)' <<<"$listing" || fail "$prefix: no wqtrans_fade named \"Fade (wqtrans)\" in OBS"
    [ "$(grep -c $'^wqtrans_.*\t.* (wqtrans)$' <<<"$listing")" -eq 21 ] || fail "$prefix: OBS does not list the 21"
    grep -qx $'wqtrans_random\twqtrans Random' <<<"$listing" || fail "$prefix: no \"wqtrans Random\" in OBS"
}

check_frei0r() { # [ENV...]
    [ "$(clean_env "$@" melt -query transitions 2>/dev/null | grep -c 'frei0r\.wqtrans_')" -eq 21 ] ||
        fail "$prefix: melt -query transitions does not list the 21 plugins"
    clean_env "$@" gst-inspect-1.0 frei0r-mixer-wqtrans-door >/dev/null 2>&1 ||
        fail "$prefix: gst-inspect-1.0 does not find frei0r-mixer-wqtrans-door"
}

check_python() { # EXPECTED_FOLDER [ENV...]
    local expected=$1 file
    shift
    file=$(cd "$home" && clean_env "$@" /usr/bin/python3 -c '
import numpy, wqtrans
old, new = numpy.zeros((9, 16, 3), numpy.uint8), numpy.full((9, 16, 3), 255, numpy.uint8)
assert len(wqtrans.transitions()) == 21 and wqtrans.frame_at("Fade", old, new, 1000).min() == 255
print(wqtrans.__file__)') || fail "$prefix: Debian's python3 cannot import wqtrans"
    [ "$(dirname "$file")" = "$expected" ] || fail "$prefix: python3 imported $file, not from $expected"
}

check_example() { # [ENV...]
    # shellcheck disable=SC2016
    clean_env "$@" bash -c 'g++ -std=c++17 "$1/examples/host/main.cpp" $(pkg-config --cflags --libs wqtrans-host) \
        -o "$HOME/example" && "$HOME/example" Door "$HOME/door.png" >/dev/null' example "$root" ||
        fail "$prefix: the pkg-config example does not build or run"
}

# cmake --install, its summary kept in $home/install.log.
install_at() {
    clean_env cmake --install "$build" --prefix "$prefix" >"$home/install.log" ||
        fail "cmake --install --prefix $prefix failed"
}

summary_says() { # TEXT: the install's summary has a line with TEXT
    grep -qF -- "$1" "$home/install.log" || { cat "$home/install.log" >&2; fail "$prefix: the summary does not say $1"; }
}

at_usr() {
    prefix=/usr home=$work/usr/home
    install_at
    grep -q 'wqtrans: installed where' "$home/install.log" && fail "/usr: a summary where every program looks"
    check_obs "/usr/lib/x86_64-linux-gnu/obs-plugins/wqtrans-obs.so"
    check_frei0r
    check_python /usr/lib/python3/dist-packages
    check_example
    echo "system-installs: /usr: OBS, melt, GStreamer, python3 and the loader find what was installed" >&2
}

at_usr_local() {
    prefix=/usr/local home=$work/usr-local/home
    install_at
    # OBS Studio searches no folder under /usr/local: the summary says what to set.
    summary_says "OBS_PLUGINS_PATH=/usr/local/lib/obs-plugins OBS_PLUGINS_DATA_PATH=/usr/local/share/obs/obs-plugins"
    ! grep -qE 'FREI0R_PATH|PYTHONPATH|LD_LIBRARY_PATH' "$home/install.log" ||
        fail "/usr/local: the summary names a variable for a folder the program searches"
    check_obs "/usr/local/lib/obs-plugins/wqtrans-obs.so" OBS_PLUGINS_PATH=/usr/local/lib/obs-plugins \
        OBS_PLUGINS_DATA_PATH=/usr/local/share/obs/obs-plugins
    check_frei0r
    check_python "/usr/local/lib/$(/usr/bin/python3 -c 'import sys; print("python3.%d" % sys.version_info[1])')/dist-packages"
    check_example
    echo "system-installs: /usr/local: melt, GStreamer, python3 and the loader find what was installed; OBS as the summary says" >&2
}

# A prefix of the user's: every program finds its file with what the summary says.
at_home() {
    prefix=$work/opt home=$work/opt-home
    mkdir -p "$home"
    install_at
    local pythondir
    pythondir=$(sed -n 's/.*PYTHONPATH=\([^ ]*\).*/\1/p' "$home/install.log")
    [ -n "$pythondir" ] || fail "$prefix: the summary does not name PYTHONPATH"
    summary_says "LD_LIBRARY_PATH=$prefix/lib"
    check_obs "$prefix/lib/obs-plugins/wqtrans-obs.so" OBS_PLUGINS_PATH="$prefix/lib/obs-plugins" \
        OBS_PLUGINS_DATA_PATH="$prefix/share/obs/obs-plugins"
    check_frei0r FREI0R_PATH="$(sed -n 's/.*FREI0R_PATH=\([^ ,]*\).*/\1/p' "$home/install.log")"
    check_python "$pythondir" PYTHONPATH="$pythondir"
    check_example PKG_CONFIG_PATH="$prefix/lib/pkgconfig" LD_LIBRARY_PATH="$prefix/lib"
    echo "system-installs: $prefix: every program finds what was installed with what the summary says" >&2
}

case "${4:-}" in
at_usr | at_usr_local) "$4" ;;
"")
    in_overlay usr "$0" "$build" "$obs_find" "$work" at_usr
    in_overlay usr-local "$0" "$build" "$obs_find" "$work" at_usr_local
    at_home
    ;;
*) fail "unknown step $4" ;;
esac
