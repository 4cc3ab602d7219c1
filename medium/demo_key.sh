#!/usr/bin/env bash
# The demo medium's signing key, made at build time in a GnuPG home of the build
# directory (no passphrase: it signs demo packages only), and the signing of a package
# with it:
#   demo_key.sh make GPG GNUPGHOME PUBLIC_KEY   a new key; its public part, armored, to PUBLIC_KEY
#   demo_key.sh sign GPG GNUPGHOME PACKAGE SIGNED   SIGNED: a copy of PACKAGE signed with it
# GPG is the gpg program (a path, or a name looked up in PATH). gpg's agent for GNUPGHOME is ended before the script ends.
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 make|sign GPG GNUPGHOME FILE..." >&2; exit 64; }
action=$1
gpg=$(command -v "$2") || { echo "demo_key: no $2" >&2; exit 1; }
export GNUPGHOME=$3
shift 3
name="Quorvel Demo Signing Key (stage3 demo medium) <demo-signing@quorvel.invalid>"
trap 'gpgconf --kill gpg-agent >/dev/null 2>&1 || true' EXIT

case $action in
make)
    public=$1
    rm -rf "$GNUPGHOME"
    mkdir -m 700 -p "$GNUPGHOME"
    "$gpg" --batch --quiet --gen-key <<KEY
%no-protection
Key-Type: RSA
Key-Length: 3072
Key-Usage: sign
Name-Real: Quorvel Demo Signing Key
Name-Comment: stage3 demo medium
Name-Email: demo-signing@quorvel.invalid
Expire-Date: 0
%commit
KEY
    "$gpg" --batch --quiet --armor --export "$name" >"$public.new"
    [ -s "$public.new" ] || { echo "demo_key: no key was made" >&2; exit 1; }
    mv -f "$public.new" "$public"
    ;;
sign)
    package=$1
    signed=$2
    # One signing at a time: the agent that one ends on its way out is the one the others
    # sign through (a parallel build signs the packages at once).
    exec 9>"$GNUPGHOME.lock"
    flock 9
    log=$(mktemp)
    cp -f "$package" "$signed.new"
    if ! rpmsign --addsign --define "__gpg $gpg" --define "_gpg_path $GNUPGHOME" \
        --define "_gpg_name $name" "$signed.new" </dev/null >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log" "$signed.new"
        exit 1
    fi
    rm -f "$log"
    mv -f "$signed.new" "$signed"
    ;;
*)
    echo "usage: $0 make|sign GPG GNUPGHOME FILE..." >&2
    exit 64
    ;;
esac
