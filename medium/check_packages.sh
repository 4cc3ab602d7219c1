#!/usr/bin/env bash
# Checks the demo medium's packages: the file names the wizard's searches and
# version parsing expect, their signatures by the medium's key and the medium's
# digest list, and that every package installs into a private rpm database
# (never the machine's own) and prints its progress lines.
#
# usage: check_packages.sh MEDIUM_DIR BASE_RPM
set -u
medium=$1
base=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
db=$work/rpmdb
failures=0

fail() { echo "check_packages: $*" >&2; failures=$((failures + 1)); }

# Exactly one file per search pattern of the wizard.
one_match() { # pattern
    local matches=("$medium"/$1)
    if [ ${#matches[@]} -ne 1 ] || [ ! -f "${matches[0]}" ]; then
        fail "pattern $1 should match exactly one file, matches: ${matches[*]}"
        return 1
    fi
    echo "${matches[0]}"
}
app=$(one_match 'quorvel-storman*.rpm') || exit 1
driver=$(one_match 'holvane*.rpm') || exit 1
browser=$(one_match 'quorvel-browser*.rpm') || exit 1
for other in 'pirsel*.rpm' 'dumaro*.rpm'; do
    compgen -G "$medium/$other" >/dev/null && fail "unexpected driver package $other on the medium"
done
# The application's version text starts after the second '-' of its base name.
name=$(basename "$app")
[ "$(echo "$name" | cut -d- -f3-)" = "3.B-2.noarch.rpm" ] || fail "application file name $name"
[ "$(basename "$driver")" = "holvane-1.2.3-4.noarch.rpm" ] || fail "driver file name $(basename "$driver")"

# Debian's rpm warns about installing rpm packages at all; the private
# database is meant for rpm, so the warning is switched off through HOME.
mkdir -p "$work/home"
echo 'rpm alias -U -U --force-debian' >"$work/home/.popt"
r() { HOME=$work/home rpm --dbpath "$db" "$@"; }

expect() { # output-file text...
    local file=$1
    shift
    for text in "$@"; do
        grep -qF -- "$text" "$file" || fail "$(basename "$file" .out): no line with '$text'"
    done
}

r --initdb || { fail "cannot create the private database"; exit 1; }
r -Uv "$base" >"$work/base.out" 2>&1 || fail "base package: $(cat "$work/base.out")"

# Signed with the key the medium carries; the digest list names every other file.
keys=("$medium"/RPM-GPG-KEY-*)
if [ -f "${keys[0]}" ]; then
    [ ${#keys[@]} -eq 1 ] || fail "more than one key file: ${keys[*]}"
    r -K "$driver" >"$work/nokey.out" 2>&1 && fail "signature checked without the key"
    r --import "${keys[0]}" || fail "the key ${keys[0]} cannot be imported"
    for package in "$driver" "$app" "$browser"; do
        r -K "$package" >"$work/sig.out" 2>&1 || fail "$(basename "$package"): $(cat "$work/sig.out")"
        grep -q "signatures OK" "$work/sig.out" || fail "$(basename "$package") is not signed"
    done
else
    echo "check_packages: the medium has no key file (gpg or rpmsign missing at build time)"
fi
(cd "$medium" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS does not match"
listed=$(sed 's/^[0-9a-f]*  //' "$medium/SHA256SUMS")
present=$(cd "$medium" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS lists $listed, the medium holds $present"
r -q quorvel-storman >"$work/query.out" 2>&1
expect "$work/query.out" "not installed"

r -Uv "$driver" >"$work/driver.out" 2>&1 || fail "driver install failed: $(cat "$work/driver.out")"
expect "$work/driver.out" "holvane: checking for Quorvel storage controllers" \
    "holvane: driver 1.2.3-4 is installed"

r -Uv --nodeps "$browser" >"$work/browser.out" 2>&1 || fail "browser install failed"
expect "$work/browser.out" "quorvel-browser: add-on 1.0-1 is installed"

QRVLAUTOWEBSERVER=yes QRVLAUTOMANAGEDSYSTEM=yes QRVLAUTONOTIFIER=no QRVLAUTOSNMP=yes \
    RUNNING_FROM_GUI=1 r -Uv "$app" >"$work/app.out" 2>&1 || fail "application install failed"
expect "$work/app.out" "started by the setup wizard" "QRVLAUTOWEBSERVER=yes" \
    "QRVLAUTOMANAGEDSYSTEM=yes" "QRVLAUTONOTIFIER=no" "QRVLAUTOSNMP=yes" \
    "registering the SNMP agent" "Quorvel Storage Manager 3.B-2 is installed"
grep -q "setting up the event notifier" "$work/app.out" && fail "notifier set up although not asked for"
grep -q "Alien" "$work"/*.out && fail "Debian's rpm warning was not switched off"

# The wizard reads the installed version from the first line of this query.
r -q quorvel-storman >"$work/query.out" 2>&1
case $(head -n 1 "$work/query.out") in
    quorvel-storman-3.B-2*) ;;
    *) fail "installed version query says: $(cat "$work/query.out")" ;;
esac
# Installing the same version again is refused, as the wizard's start-up expects.
r -Uv "$app" >"$work/again.out" 2>&1 && fail "the same version installed twice"

if [ $failures -ne 0 ]; then
    echo "check_packages: FAILED ($failures)"
    exit 1
fi
echo "check_packages: ok"
