#!/usr/bin/env bash
# Makes the installation medium's image, ISO 9660 with Rock Ridge and Joliet, from a
# medium directory:
#   scripts/make_medium_iso.sh MEDIUM_DIR OUTPUT.iso [VOLUME_ID]
#
# The image holds what the wizard reads from its medium: stage3 and stage3-gtk,
# setupresDB, license.txt, the rpm packages, and stage3.css, wizard.xpm and README
# where the directory has them, with the same support files in the locale
# subdirectories (de/, fr/, ...); and the launchers `setup` and `autorun.sh`, the
# directory's own or else those of medium/ in the source tree. Anything else in the
# directory is named and left out. On the image every file belongs to root and is
# readable by everyone; the programs and launchers are executable, nothing is
# writable. The image is written into a new directory of its own beside OUTPUT.iso
# (mode 0700, so no other account can make or change a file there) and renamed to
# OUTPUT.iso once whole; VOLUME_ID (default STAGE3) is the name desktops show for
# the medium.
# XORRISO names the xorriso program (default: xorriso from PATH).
# The image also carries the packages' signing keys (RPM-GPG-KEY-*) where the directory
# has them, and SHA256SUMS, the digests of its files (scripts/make_manifest.sh).
set -euo pipefail

usage() {
    echo "usage: $0 MEDIUM_DIR OUTPUT.iso [VOLUME_ID]" >&2
    exit 64
}
fail() {
    echo "make_medium_iso: $*" >&2
    exit 1
}
[ $# -eq 2 ] || [ $# -eq 3 ] || usage
medium=$1
output=$2
volume=${3:-STAGE3}
xorriso=${XORRISO:-xorriso}
launchers=$(cd "$(dirname "$0")/../medium" && pwd)

[ -d "$medium" ] || fail "$medium is not a directory"
medium=$(cd "$medium" && pwd)
missing=()
for program in stage3 stage3-gtk; do
    [ -f "$medium/$program" ] && [ -x "$medium/$program" ] || missing+=("$program (executable)")
done
for file in setupresDB license.txt; do
    [ -f "$medium/$file" ] || missing+=("$file")
done
packages=("$medium"/*.rpm)
[ -f "${packages[0]}" ] || missing+=("a package (*.rpm)")
if [ ${#missing[@]} -gt 0 ]; then
    fail "$medium has no $(printf '%s, ' "${missing[@]}" | sed 's/, $//')"
fi
command -v "$xorriso" >/dev/null || fail "$xorriso not found (Debian package xorriso)"

# The image's tree, as symbolic links to the medium's files (xorriso follows them).
stage=$(mktemp -d)
partial=""
cleanup() {
    rm -rf "$stage"
    [ -z "$partial" ] || rm -rf "$partial"
}
trap cleanup EXIT

support=(license.txt stage3.css wizard.xpm README)
link() { # the path of a file in the medium, the same in the image
    ln -s "$medium/$1" "$stage/$1"
}
for name in stage3 stage3-gtk setupresDB "${support[@]}"; do
    [ ! -f "$medium/$name" ] || link "$name"
done
for path in "${packages[@]}" "$medium"/RPM-GPG-KEY-*; do
    [ ! -f "$path" ] || link "${path##*/}"
done
for launcher in setup autorun.sh; do
    if [ -f "$medium/$launcher" ]; then
        link "$launcher"
    else
        ln -s "$launchers/$launcher" "$stage/$launcher"
    fi
done
# Locale subdirectories: the file search takes the first two letters of LANG.
for dir in "$medium"/[a-z][a-z]; do
    [ -d "$dir" ] || continue
    sub=${dir##*/}
    mkdir "$stage/$sub"
    for name in "${support[@]}"; do
        [ ! -f "$dir/$name" ] || link "$sub/$name"
    done
done
"$(dirname "$0")/make_manifest.sh" --follow-links "$stage"
for path in "$medium"/* "$medium"/.[!.]* "$medium"/[a-z][a-z]/* "$medium"/[a-z][a-z]/.[!.]*; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    name=${path#"$medium"/}
    [ -e "$stage/$name" ] || echo "make_medium_iso: left out: $name" >&2
done

# Beside the output, for a rename on the same file system.
partial=$(mktemp -d "$(dirname "$output")/.${output##*/}.XXXXXX")
image=$partial/${output##*/}
# -r: owner root, read for all, execute for all where the file has it, no write.
# xorriso's messages are passed on without its start banner.
status=0
messages=$("$xorriso" -report_about SORRY -as mkisofs -quiet -follow-links -r -J -joliet-long \
    -iso-level 3 -V "$volume" -o "$image" "$stage" 2>&1) || status=$?
printf '%s\n' "$messages" | grep -v -e '^xorriso [0-9.]* : ' -e '^$' >&2 || true
[ "$status" -eq 0 ] || fail "xorriso could not write the image"
# -T: a directory at the output's name is an error, not a place to move the image into.
mv -fT "$image" "$output" || fail "could not rename the image to $output"
