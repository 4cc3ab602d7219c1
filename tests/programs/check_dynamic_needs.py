#!/usr/bin/env python3
"""Checks that the built programs run on the systems docs/admin-guide.md names: every
shared library they need is one those systems have (a GTK 3 desktop for
stage3-gtk, a server with GLib for stage3), and no symbol asks for a newer C or
C++ library than theirs (RHEL/Rocky/Alma 9: glibc 2.34, GCC 11's libstdc++).

usage: check_dynamic_needs.py STAGE3 STAGE3_GTK
"""
import re
import subprocess
import sys

NEWEST = {"GLIBC": (2, 34), "GLIBCXX": (3, 4, 29), "CXXABI": (1, 3, 13)}
SERVER = {"libc.so.6", "libm.so.6", "libgcc_s.so.1", "libstdc++.so.6",
          "libglib-2.0.so.0", "libgobject-2.0.so.0", "libgio-2.0.so.0",
          "libjson-glib-1.0.so.0",
          # The driver's modules are unpacked in the process; rpm links these, so every
          # server that installs packages has them.
          "liblzma.so.5", "libzstd.so.1", "libz.so.1"}
DESKTOP = SERVER | {"libgtk-3.so.0", "libgdk-3.so.0", "libgdk_pixbuf-2.0.so.0",
                    "libpango-1.0.so.0", "libpangocairo-1.0.so.0", "libcairo.so.2",
                    "libcairo-gobject.so.2", "libatk-1.0.so.0", "libharfbuzz.so.0"}


def needed(program):
    out = subprocess.run(["readelf", "-d", program], check=True, stdout=subprocess.PIPE).stdout.decode()
    return set(re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", out))


def versions(program):
    out = subprocess.run(["objdump", "-T", program], check=True, stdout=subprocess.PIPE).stdout.decode()
    return set(re.findall(r"\b(GLIBC|GLIBCXX|CXXABI)_([0-9.]+)\b", out))


def check(program, allowed):
    failures = []
    for library in sorted(needed(program) - allowed):
        failures.append("%s needs %s, which the supported systems do not all have" % (program, library))
    for name, version in sorted(versions(program)):
        if tuple(int(part) for part in version.split(".")) > NEWEST[name]:
            failures.append("%s asks for %s_%s, newer than %s_%s" % (
                program, name, version, name, ".".join(map(str, NEWEST[name]))))
    return failures


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    failures = check(sys.argv[1], SERVER) + check(sys.argv[2], DESKTOP)
    for failure in failures:
        print("check_dynamic_needs: " + failure)
    print("check_dynamic_needs: " + ("FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
