#!/usr/bin/env bash
# Writes SHA256SUMS at the root of a medium directory: the SHA-256 digest of every file of
# the medium but SHA256SUMS itself, one line per file as sha256sum writes it, the paths
# relative to the root and in byte order.
#   scripts/make_manifest.sh [--follow-links] MEDIUM_DIR
# The wizard takes only regular files from a medium with such a list, so anything else (a
# link, a FIFO, a device) is refused. With --follow-links, links are followed instead: for
# a tree of links to a medium's files that an image is made from, where the links become
# the files.
set -euo pipefail
follow=()
if [ "${1:-}" = "--follow-links" ]; then
    follow=(-L)
    shift
fi
[ $# -eq 1 ] || { echo "usage: $0 [--follow-links] MEDIUM_DIR" >&2; exit 64; }
cd "$1"
odd=$(find "${follow[@]}" . -mindepth 1 ! -type f ! -type d -print)
if [ -n "$odd" ]; then
    echo "make_manifest: neither a file nor a directory: ${odd//$'\n'/, }" >&2
    exit 1
fi
list=$(mktemp .SHA256SUMS.XXXXXX)
trap 'rm -f "$list"' EXIT
find "${follow[@]}" . -type f ! -path ./SHA256SUMS ! -path "./$list" -print0 | LC_ALL=C sort -z |
    sed -z 's|^\./||' | xargs -0 -r sha256sum -- >"$list"
chmod 644 "$list"
mv -f "$list" SHA256SUMS
trap - EXIT
