#!/usr/bin/env bash
# Builds stage3 and its demo installation medium, then runs the wizard from the
# medium as a user would, against a private rpm package database: the demo
# packages install into build/demo-rpmdb, never into the machine's own
# database, and every run starts from a fresh one so the demo can install again; a
# --repair, --modify or --remove works on what the run before installed.
#
# BUILD_DIR chooses the build directory (default: build).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
# Only what building the programs and the demo medium and running the wizard need: the
# tests' tools come with scripts/test.sh.
"$top/scripts/setup.sh" --demo

build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$top/$build ;; esac
# A new build directory leaves the tests out (they need libraries the demo does not); one
# that scripts/test.sh made keeps them, and only the programs and the medium are built.
tests=()
[ -f "$build/CMakeCache.txt" ] || tests=(-DSTAGE3_TESTS=OFF)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${tests[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target stage3 stage3-gtk demo_medium

medium=$build/demo-medium
if [ ! -x "$medium/stage3" ]; then
    echo "Built. The wizard window comes with a later change; for now the demo medium"
    echo "(texts, license and packages) is ready in $medium"
    exit 0
fi

# The wizard and its install script run `rpm` with HOME pointing here, so the
# macros below send every query and install to the private database.
home=$build/demo-home
rpmdb=$build/demo-rpmdb
fresh=yes
for arg in "$@"; do
    case $arg in --repair | --modify | --remove) [ -d "$rpmdb" ] && fresh=no ;; esac
done
rm -rf "$home"
[ "$fresh" = no ] || rm -rf "$rpmdb"
mkdir -p "$home"
printf '%%_dbpath %s\n' "$rpmdb" >"$home/.rpmmacros"
# Debian's rpm warns that rpm packages belong to Alien in every mode that changes the
# database (-U, -i, -F, -e and their --test runs); this database is meant for rpm, so
# each of them is aliased for the demo. Queries, -K and --import never warn.
for mode in -U --upgrade -i --install -F --freshen -e --erase; do
    echo "rpm alias $mode $mode --force-debian"
done >"$home/.popt"
if [ "$fresh" = yes ]; then
    HOME=$home rpm --initdb
    # An empty database lacks /bin/sh, which the packages' scriptlets need.
    HOME=$home rpm -U "$build/demo-base/quorvel-demo-base-1.0-1.noarch.rpm"
fi

# Options go to the wizard: scripts/demo.sh --text, or --unattended --accept-license.
if [ $# -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    if [ -t 0 ] && [ -t 1 ]; then
        echo "No display: starting the console wizard (scripts/demo.sh --unattended --accept-license installs without questions)."
    else
        cat >&2 <<MSG
The wizard is built, but there is no display to show it on (DISPLAY and
WAYLAND_DISPLAY are empty) and no terminal to ask in. Run
  - scripts/demo.sh --unattended --accept-license   to install without questions,
  - scripts/demo.sh --dry-run                       to see what would be installed,
  - from a terminal: scripts/demo.sh                (the console wizard), or
  - xvfb-run -a scripts/demo.sh on a virtual screen you cannot see
    (scripts/screenshots.sh does that and saves a picture of every page).
MSG
        exit 1
    fi
fi

echo "Starting the wizard from $medium (packages go to $rpmdb)"
cd "$medium"
# The install log goes next to the private database rather than to /var/log.
HOME=$home exec ./stage3 --log "$build/demo-install-$(date -u +%Y%m%dT%H%M%SZ).log" "$@"
