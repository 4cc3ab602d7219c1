#!/usr/bin/env bash
# Runs one end-to-end test script on a session bus and an X server of its own:
#   run-e2e.sh PYTHON SCRIPT
# The accessibility bus launcher puts its socket in XDG_RUNTIME_DIR, else in
# ~/.cache/at-spi, which every session of the user shares: there a launcher
# of an earlier session that is still shutting down removes the socket of the
# next one. Each run therefore gets a runtime directory of its own.
set -u
here=$(cd "$(dirname "$0")" && pwd)
runtime=$(mktemp -d /tmp/stage3-e2e-runtime.XXXXXX) || exit 1
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
dbus-run-session -- "$here/../run-with-xvfb.sh" "$@"
status=$?
rm -rf "$runtime"
exit $status
