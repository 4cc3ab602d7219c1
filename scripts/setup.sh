#!/usr/bin/env bash
# Installs what stage3 needs on a Debian machine: the Debian packages that are missing
# and, for the tests, the locales they use.
#
#   scripts/setup.sh          everything: building, running, testing (scripts/test.sh)
#   scripts/setup.sh --demo   only what building the programs and the demo medium and
#                             running the wizard need (scripts/demo.sh)
set -euo pipefail

# Building the programs and the demo medium (its texts, signed packages), and running
# the wizard on a display or a terminal.
demo_packages=(
  build-essential cmake ninja-build pkg-config python3
  libgtk-3-dev libglib2.0-dev libjson-glib-dev libgettextpo-dev
  liblzma-dev libzstd-dev zlib1g-dev
  rpm gpg gpg-agent fonts-dejavu-core
)
# The tests besides: compilers and sanitizer runtimes, test and benchmark libraries, a
# virtual X server and the accessibility bus, locales and fonts of every language,
# terminals, Ansible over ssh with sudo for its become, ISO images, Wayland, polkit, the
# host probes' tools, and groff and bash-completion for the manual page's and the
# completion's test.
test_packages=(
  clang libclang-rt-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool
  at-spi2-core dbus dbus-x11 python3-gi python3-xlib gir1.2-atspi-2.0 gir1.2-gtk-3.0
  gettext locales tmux fonts-noto-cjk
  ansible-core openssh-server openssh-client sudo
  xorriso weston
  pkexec polkitd dbus-daemon passwd util-linux openssl procps
  rpm2cpio kmod cpio xz-utils mokutil dracut-core initramfs-tools-core e2fsprogs mount
  bash-completion groff-base python3-jsonschema
)

packages=("${demo_packages[@]}")
demo_only=no
if [ "${1:-}" = "--demo" ]; then
  demo_only=yes
else
  packages+=("${test_packages[@]}")
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

[ "$demo_only" = yes ] && exit 0

# Locales: a UTF-8 one, Latin-1 German, Japanese EUC-JP and the UTF-8 forms the demo offers.
have_locale() { locale -a 2>/dev/null | grep -qix "$1"; }
make_locale() { # input charset name
  local want_alias="$3"
  have_locale "$want_alias" || $SUDO localedef -i "$1" -f "$2" "$3" || echo "setup: locale $3 could not be made"
}
make_locale en_US UTF-8 en_US.utf8
make_locale de_DE ISO-8859-1 de_DE
make_locale de_DE ISO-8859-1 de_DE.iso88591
make_locale de_DE UTF-8 de_DE.utf8
make_locale fr_FR UTF-8 fr_FR.utf8
make_locale ja_JP EUC-JP ja_JP.eucjp
make_locale ja_JP UTF-8 ja_JP.utf8
exit 0
