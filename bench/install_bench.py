#!/usr/bin/python3
"""How long an unattended install of the demo medium takes, against the same rpm commands
typed by hand, as a ratio. Run after the build, as root, while no other install or e2e
test runs (the wizard takes the settings file's fixed place in /tmp and the machine's
install lock):

    bench/install_bench.py [build directory] [pairs]

Each run starts from a fresh private rpm database holding only the demo's base package,
reached through HOME as the wizard's runs are (never the machine's own database); making
it is not timed. The wizard: `./stage3 --unattended --accept-license --trust-medium-key`
on the demo medium (the typical setup: every component, the medium's key imported).
By hand: `rpm --import` of the medium's key, then `rpm -Uvh` of the driver, the browser
add-on (--nodeps) and the application, in the wizard's order, with the settings in the
environment as the wizard's install script exports them for the packages' scriptlets. The two alternate, which goes first changing from
pair to pair; the medians are compared (aim: at most 1.15)."""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
pairs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
medium = os.path.join(build, "demo-medium")
base = os.path.join(build, "demo-base", "quorvel-demo-base-1.0-1.noarch.rpm")
# The settings of the wizard's typical setup (every component; the demo driver's module
# drives no boot device, so no kernel image is made again), as its script exports them.
SETTINGS = {"QRVLAUTOWEBSERVER": "yes", "QRVLAUTOMANAGEDSYSTEM": "yes",
            "QRVLAUTONOTIFIER": "yes", "QRVLAUTOSNMP": "yes", "RUNNING_FROM_GUI": "1"}

home = tempfile.mkdtemp(prefix="stage3-install-bench-")
database = os.path.join(home, "rpmdb")
with open(os.path.join(home, ".rpmmacros"), "w") as f:
    f.write("%%_dbpath %s\n" % database)
# Debian's rpm asks for --force-debian in every mode that changes the database.
with open(os.path.join(home, ".popt"), "w") as f:
    for mode in ("-U", "--upgrade", "-i", "--install", "-e", "--erase"):
        f.write("rpm alias %s %s --force-debian\n" % (mode, mode))
env = dict(os.environ, HOME=home, LANG="C.UTF-8")
for name in ("DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LANGUAGE"):
    env.pop(name, None)


def run(argv, settings=None, **kwargs):
    result = subprocess.run(argv, env=dict(env, **(settings or {})), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            **kwargs)
    if result.returncode != 0:
        sys.exit("install_bench: %s failed (%d): %s" % (" ".join(argv), result.returncode,
                                                         result.stderr.decode(errors="replace")))


def fresh_database():
    shutil.rmtree(database, ignore_errors=True)
    run(["rpm", "--initdb"])
    run(["rpm", "-U", base])


def wizard(index):
    log = os.path.join(home, "install-%d.log" % index)
    run(["./stage3", "--unattended", "--accept-license", "--trust-medium-key", "--log", log],
        cwd=medium)


def by_hand(index):
    run(["rpm", "--import", "RPM-GPG-KEY-quorvel-demo"], cwd=medium)
    run(["rpm", "-Uvh", "holvane-1.2.3-4.noarch.rpm"], SETTINGS, cwd=medium)
    run(["rpm", "-Uvh", "--nodeps", "quorvel-browser-1.0-1.noarch.rpm"], SETTINGS, cwd=medium)
    run(["rpm", "-Uvh", "quorvel-storman-3.B-2.noarch.rpm"], SETTINGS, cwd=medium)


def timed(work, index):
    fresh_database()
    start = time.monotonic()
    work(index)
    return time.monotonic() - start


if not os.access(os.path.join(medium, "stage3"), os.X_OK):
    sys.exit("install_bench: no demo medium in %s (build the demo_medium target)" % build)
try:
    wizard_times, hand_times = [], []
    for index in range(pairs):
        if index % 2 == 0:
            wizard_times.append(timed(wizard, index))
            hand_times.append(timed(by_hand, index))
        else:
            hand_times.append(timed(by_hand, index))
            wizard_times.append(timed(wizard, index))
        print("pair %2d: wizard %.3f s, by hand %.3f s" % (index + 1, wizard_times[-1],
                                                          hand_times[-1]), flush=True)
finally:
    shutil.rmtree(home, ignore_errors=True)
wizard_median = statistics.median(wizard_times)
hand_median = statistics.median(hand_times)
print("unattended install: %.3f s, by hand: %.3f s (medians of %d pairs)" %
      (wizard_median, hand_median, pairs))
print("ratio: %.2f (aim: at most 1.15)" % (wizard_median / hand_median))
