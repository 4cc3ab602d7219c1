#!/usr/bin/env bash
# Takes a picture of every page of the wizard, as docs/screenshots/NN-page.png.
# Starts the real stage3 from the built demo medium on a private Xvfb screen,
# with a fresh private rpm database, and walks through it with key presses:
# welcome, license, setup type, components (custom chosen), review, the
# question about the medium's key, the install while it runs (it really installs
# the demo packages into the private database), finish and the proxy notice; the
# maintenance window and a remove; then the welcome page in the other languages of
# the medium. The medium is copied out of the build directory first, so that no
# build path shows in the pictures.
#
# scripts/screenshots.sh --layout instead takes the layout pictures,
# docs/screenshots/layout/<screen>-<language>.png: the whole screen with the
# wizard on its components page (custom setup, the tallest page) in each
# language of the medium, on screens of 800x600 and 1024x768, at
# GDK_DPI_SCALE=1.5 and at GDK_SCALE=2 (on 2048x1536, saved at half size).
# Nothing is installed in this mode.
#
# BUILD_DIR chooses the build directory (default: build); build it first
# (scripts/demo.sh does).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$top/$build ;; esac

# The layout pictures: name, screen size, settings for the wizard, shrink factor.
layouts=(
    "800x600 800x600 - 1"
    "1024x768 1024x768 - 1"
    "1024x768-dpi1.5 1024x768 GDK_DPI_SCALE=1.5 1"
    "2048x1536-scale2 2048x1536 GDK_SCALE=2 2"
)

if [ "${1:-}" != "--on-screen" ]; then
    cmake --build "$build" --target demo_medium >/dev/null
    [ -x "$build/demo-medium/stage3" ] || { echo "screenshots: no wizard on $build/demo-medium" >&2; exit 1; }
    if [ "${1:-}" = "--layout" ]; then
        for layout in "${layouts[@]}"; do
            read -r _ screen _ _ <<<"$layout"
            XVFB_SCREEN=$screen "$top/tests/run-with-xvfb.sh" "$0" --on-screen "$layout"
        done
        exit 0
    fi
    exec "$top/tests/run-with-xvfb.sh" "$0" --on-screen
fi

# From here on: on the private screen that run-with-xvfb.sh set in DISPLAY.
out=$top/docs/screenshots
work=$(mktemp -d)
medium=$work/medium
cp -a "$build/demo-medium" "$medium"
wizard_pid=""
cleanup() {
    if [ -n "$wizard_pid" ]; then kill "$wizard_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out"

# A fresh private package database, reached through HOME like in the demo.
home=$work/home
mkdir -p "$home"
printf '%%_dbpath %s\n' "$work/rpmdb" >"$home/.rpmmacros"
# Debian's rpm warns in every mode that changes the database (as in scripts/demo.sh).
for mode in -U --upgrade -i --install -F --freshen -e --erase; do
    echo "rpm alias $mode $mode --force-debian"
done >"$home/.popt"
fresh_database() {
    rm -rf "$work/rpmdb"
    HOME=$home rpm --initdb
    HOME=$home rpm -U "$build/demo-base/quorvel-demo-base-1.0-1.noarch.rpm"
}
fresh_database

# Saves the area of window $2 (or the whole screen: "screen") as $out/$1.png,
# shrunk by the factor $3 (default 1).
shoot() {
    local name=$1 window=$2 shrink=${3:-1} X=0 Y=0 WIDTH=0 HEIGHT=0 WINDOW SCREEN
    sleep 0.7 # let the page finish drawing
    if [ "$window" != screen ]; then eval "$(xdotool getwindowgeometry --shell "$window")"; fi
    /usr/bin/python3 - "$out/$name.png" "$X" "$Y" "$WIDTH" "$HEIGHT" "$shrink" <<'PY'
import sys
import gi
gi.require_version("Gdk", "3.0")
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import Gdk, GdkPixbuf
x, y, width, height, shrink = (int(v) for v in sys.argv[2:7])
root = Gdk.get_default_root_window()
if width == 0:
    width, height = root.get_width(), root.get_height()
picture = Gdk.pixbuf_get_from_window(root, x, y, width, height)
if shrink > 1:
    picture = picture.scale_simple(width // shrink, height // shrink, GdkPixbuf.InterpType.HYPER)
picture.savev(sys.argv[1], "png", [], [])
PY
    echo "screenshots: $name.png"
}

# Presses keys in window $1 (there is no window manager to give it the focus).
keys() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window"
    for key in "$@"; do
        xdotool key "$key"
        sleep 0.3
    done
}

# Starts the wizard from the medium in language $1, with the settings
# VARIABLE=value that follow in its environment and the options in wizard_options;
# sets wizard_pid and window.
wizard_options=()
start_wizard() {
    (cd "$medium" && HOME=$home LANG=$1 exec env "${@:2}" ./stage3 "${wizard_options[@]}" \
        >"$work/wizard.log" 2>&1) &
    wizard_pid=$!
    window=$(find_window)
}

# Prints the id of the wizard's newest visible window.
find_window() {
    local found
    found=$(timeout 20 xdotool search --sync --onlyvisible --pid "$wizard_pid" 2>/dev/null | tail -n 1)
    [ -n "$found" ] || { echo "screenshots: no window of the wizard appeared" >&2; exit 1; }
    echo "$found"
}

wait_gone() {
    for _ in $(seq 50); do
        kill -0 "$wizard_pid" 2>/dev/null || { wizard_pid=""; return 0; }
        sleep 0.2
    done
    echo "screenshots: the wizard did not end" >&2
    exit 1
}

# Keys on the setup type page: from Next back to the radio buttons, down to
# Custom; then on to Next and the components page.
to_custom=(shift+Tab shift+Tab Down Down)
to_components=(Tab Tab Return)

# Ends a wizard that has not installed anything (Escape asks; the process is ended).
stop_wizard() {
    keys "$window" Escape
    kill "$wizard_pid" 2>/dev/null || true
    wait_gone
}

if [ "${2:-}" ]; then # a layout: name, screen size, settings, shrink factor
    read -r name _ settings shrink <<<"$2"
    environment=()
    [ "$settings" = - ] || environment=("$settings")
    mkdir -p "$out/layout"
    for lang in en_US de_DE fr_FR ja_JP; do
        start_wizard "$lang.UTF-8" "${environment[@]}"
        keys "$window" Return Return "${to_custom[@]}" "${to_components[@]}"
        shoot "layout/$name-$lang" screen "$shrink"
        stop_wizard
    done
    exit 0
fi

start_wizard en_US.UTF-8
shoot 01-welcome "$window"
keys "$window" Return
shoot 02-license "$window"
keys "$window" Return
shoot 03-setup-type "$window"
keys "$window" "${to_custom[@]}"
shoot 03-setup-type-custom "$window"
keys "$window" "${to_components[@]}"
shoot 04-components "$window"
keys "$window" Return
shoot 05-review "$window"
keys "$window" Return
# The demo medium is signed: its key is asked about before the install (No is the
# default; Alt+Y answers Yes).
if [ -f "$medium/RPM-GPG-KEY-quorvel-demo" ]; then
    dialog=$(find_window)
    shoot 06-key-question "$dialog"
    keys "$dialog" alt+y
else
    echo "screenshots: the demo medium is not signed: no picture of the key question" >&2
fi
sleep 1.5
shoot 07-installing "$window"
# The install has ended once the application is in the private database.
for _ in $(seq 60); do
    HOME=$home rpm -q quorvel-storman >/dev/null 2>&1 && break
    sleep 0.5
done
sleep 1.5
# Scroll the output to its end with the mouse wheel.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
xdotool click --repeat 15 --delay 50 5
shoot 08-installed "$window"
keys "$window" Return
shoot 09-finish "$window"
keys "$window" Return
dialog=$(find_window)
shoot 10-proxy-notice "$dialog"
keys "$dialog" Return
wait_gone

# Day two: --maintain asks what to do with the installed version; Remove is the
# third choice, and Next is after Cancel.
wizard_options=(--maintain)
start_wizard en_US.UTF-8
shoot 11-maintenance "$window"
keys "$window" Down Down
shoot 11-maintenance-remove "$window"
keys "$window" Tab Tab Return
window=$(find_window)
shoot 12-remove-review "$window"
keys "$window" Return
for _ in $(seq 60); do
    HOME=$home rpm -q quorvel-storman >/dev/null 2>&1 || break
    sleep 0.5
done
sleep 1.5
shoot 13-removed "$window"
keys "$window" Return
shoot 14-remove-finish "$window"
keys "$window" Return
wait_gone
wizard_options=()

fresh_database
number=15
for lang in de_DE fr_FR ja_JP; do
    start_wizard "$lang.UTF-8"
    shoot "$number-welcome-$lang" "$window"
    stop_wizard
    number=$((number + 1))
done
