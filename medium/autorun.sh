#!/bin/sh
# What a desktop file manager offers to run when the medium is inserted: the
# wizard, through the launcher beside this file.
case $0 in
    */*) exec "${0%/*}/setup" "$@" ;;
    *) exec ./setup "$@" ;;
esac
