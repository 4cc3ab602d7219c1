#!/usr/bin/env bash
# Takes a picture of every page of the wizard, as docs/screenshots/NN-page.png.
# Starts the real stage3 from the built demo medium on a private Xvfb screen,
# with a fresh private rpm database, and walks through it with key presses:
# welcome, license, setup type, components (custom chosen), review, the
# install while it runs (it really installs the demo packages into the private
# database), finish and the proxy notice; then the welcome page in the other
# languages of the medium.
#
# BUILD_DIR chooses the build directory (default: build); build it first
# (scripts/demo.sh does).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$top/$build ;; esac

if [ "${1:-}" != "--on-screen" ]; then
    cmake --build "$build" --target demo_medium >/dev/null
    [ -x "$build/demo-medium/stage3" ] || { echo "screenshots: no wizard on $build/demo-medium" >&2; exit 1; }
    exec "$top/tests/run-with-xvfb.sh" "$0" --on-screen
fi

# From here on: on the private screen that run-with-xvfb.sh set in DISPLAY.
out=$top/docs/screenshots
medium=$build/demo-medium
work=$(mktemp -d)
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
echo 'rpm alias -U -U --force-debian' >"$home/.popt"
fresh_database() {
    rm -rf "$work/rpmdb"
    HOME=$home rpm --initdb
    HOME=$home rpm -U "$build/demo-base/quorvel-demo-base-1.0-1.noarch.rpm"
}
fresh_database

# Saves the area of window $2 as $out/$1.png.
shoot() {
    local name=$1 window=$2 X Y WIDTH HEIGHT WINDOW SCREEN
    sleep 0.7 # let the page finish drawing
    eval "$(xdotool getwindowgeometry --shell "$window")"
    /usr/bin/python3 - "$out/$name.png" "$X" "$Y" "$WIDTH" "$HEIGHT" <<'PY'
import sys
import gi
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk
x, y, width, height = (int(v) for v in sys.argv[2:6])
picture = Gdk.pixbuf_get_from_window(Gdk.get_default_root_window(), x, y, width, height)
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

# Starts the wizard from the medium in language $1; sets wizard_pid and window.
start_wizard() {
    (cd "$medium" && HOME=$home LANG=$1 exec ./stage3 >"$work/wizard.log" 2>&1) &
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

start_wizard en_US.UTF-8
shoot 01-welcome "$window"
keys "$window" Return
shoot 02-license "$window"
keys "$window" Return
shoot 03-setup-type "$window"
# From Next back to the setup type radio buttons, down to Custom, on to Next.
keys "$window" shift+Tab shift+Tab Down Down
shoot 03-setup-type-custom "$window"
keys "$window" Tab Tab Return
shoot 04-components "$window"
keys "$window" Return
shoot 05-review "$window"
keys "$window" Return
sleep 1.5
shoot 06-installing "$window"
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
shoot 07-installed "$window"
keys "$window" Return
shoot 08-finish "$window"
keys "$window" Return
dialog=$(find_window)
shoot 09-proxy-notice "$dialog"
keys "$dialog" Return
wait_gone

# The demo application is installed now, so the wizard would refuse to start.
fresh_database
number=10
for lang in de_DE fr_FR ja_JP; do
    start_wizard "$lang.UTF-8"
    shoot "$number-welcome-$lang" "$window"
    keys "$window" Escape
    kill "$wizard_pid" 2>/dev/null || true
    wait_gone
    number=$((number + 1))
done
