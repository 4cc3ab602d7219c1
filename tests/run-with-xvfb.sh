#!/usr/bin/env bash
# Runs a command on a private Xvfb server of its own, so tests can run side by side.
# XVFB_SCREEN chooses the screen's size (default: 1024x768).
set -u
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 5 -screen 0 "${XVFB_SCREEN:-1024x768}x24" -nolisten tcp 5>"$fifo" 2>/dev/null &
xpid=$!
read -r dnum <"$fifo"
rm -f "$fifo"
if [ -z "${dnum:-}" ]; then echo "run-with-xvfb: Xvfb did not start" >&2; kill $xpid 2>/dev/null; exit 1; fi
export DISPLAY=":$dnum"
"$@"
status=$?
kill $xpid 2>/dev/null
wait $xpid 2>/dev/null
exit $status
