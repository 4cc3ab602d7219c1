#!/usr/bin/env python3
"""How long `stage3 --dry-run` takes on the demo medium, against the two `rpm -q`
queries it has to make (application and driver), as a ratio. Run after the build:

    bench/dry_run_bench.py [build directory] [runs]

Each run alternates the two, on a fresh private rpm database holding only the demo's
base package; the medians are compared."""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 21
medium = os.path.join(build, "demo-medium")
base = os.path.join(build, "demo-base", "quorvel-demo-base-1.0-1.noarch.rpm")

home = tempfile.mkdtemp(prefix="stage3-bench-")
try:
    with open(os.path.join(home, ".rpmmacros"), "w") as f:
        f.write("%%_dbpath %s/rpmdb\n" % home)
    with open(os.path.join(home, ".popt"), "w") as f:
        f.write("rpm alias -U -U --force-debian\n")
    env = dict(os.environ, HOME=home, LANG="C.UTF-8")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    subprocess.run(["rpm", "--initdb"], env=env, check=True)
    subprocess.run(["rpm", "-U", base], env=env, check=True)

    def timed(commands):
        start = time.perf_counter()
        for command in commands:
            subprocess.run(command, cwd=medium, env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        return time.perf_counter() - start

    dry_run = [["./stage3", "--dry-run", "--accept-license"]]
    queries = [["rpm", "-q", "quorvel-storman"], ["rpm", "-q", "holvane"]]
    timed(dry_run), timed(queries)  # warm the caches
    stage3_times, rpm_times = [], []
    for _ in range(runs):
        stage3_times.append(timed(dry_run))
        rpm_times.append(timed(queries))
    s, r = statistics.median(stage3_times), statistics.median(rpm_times)
    print("stage3 --dry-run:        %.1f ms (median of %d)" % (s * 1000, runs))
    print("rpm -q, twice:           %.1f ms" % (r * 1000))
    print("ratio:                   %.2f (aim: at most 2)" % (s / r))
finally:
    shutil.rmtree(home, ignore_errors=True)
