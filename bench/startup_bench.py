#!/usr/bin/python3
"""How long the graphical wizard takes to show its first page, against a bare GTK 3
program that shows a dialog with one label (bench/bare_dialog.cpp), as a ratio. Run
after the build:

    bench/startup_bench.py [build directory] [runs]

Both run on one private Xvfb server with a session bus of their own, so the
accessibility bridge connects as on a desktop. The wizard is `./stage3` started on the
demo medium with a fresh private rpm database holding only the demo's base package; it
runs its start-up checks, the two `rpm -q` queries among them, then hands over to
`stage3-gtk`. A run's time is from starting the program to the X server mapping its
first top-level window (the wizard's with the welcome page); then the program is ended.
Runs alternate between the two; the medians are compared. Needs python3-xlib."""

import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 21
medium = os.path.join(build, "demo-medium")
base = os.path.join(build, "demo-base", "quorvel-demo-base-1.0-1.noarch.rpm")
bare = os.path.join(build, "bench", "bare_dialog")
START_MARKER = "/tmp/stage3started"


def start_xvfb():
    """A private X server; returns the process and its display name."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                               "1024x768x24", "-nolisten", "tcp"], pass_fds=[write_end],
                              stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    if not number:
        raise SystemExit("startup_bench: Xvfb did not start")
    return server, ":" + number


def start_session_bus(runtime):
    """A private session bus; returns the process and its address."""
    read_end, write_end = os.pipe()
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork",
                            "--print-address=%d" % write_end], pass_fds=[write_end],
                           env=dict(os.environ, XDG_RUNTIME_DIR=runtime),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        address = f.readline().strip()
    if not address:
        raise SystemExit("startup_bench: dbus-daemon did not start")
    return bus, address


def file_identity(path):
    try:
        st = os.stat(path)
    except FileNotFoundError:
        return None
    return (st.st_ino, st.st_ctime_ns)


class Screen:
    """The X server as the benchmark sees it: every top-level window mapped on it."""

    def __init__(self, name):
        self.display = display.Display(name)
        self.root = self.display.screen().root
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.display.sync()

    def drain(self):
        while self.display.pending_events():
            self.display.next_event()

    def wait_for_map(self, process, timeout=20.0):
        """The first top-level window mapped, and when (time.perf_counter)."""
        deadline = time.monotonic() + timeout
        while True:
            while self.display.pending_events():
                event = self.display.next_event()
                if event.type == X.MapNotify and not event.override:
                    return event.window, time.perf_counter()
            if process.poll() is not None:
                raise SystemExit("startup_bench: %s ended with status %d before its window "
                                 "showed" % (process.args[0], process.returncode))
            left = deadline - time.monotonic()
            if left <= 0:
                raise SystemExit("startup_bench: no window from %s" % process.args[0])
            select.select([self.display.fileno()], [], [], min(left, 0.05))


def main():
    for program in (os.path.join(medium, "stage3"), bare, base):
        if not os.path.exists(program):
            raise SystemExit("startup_bench: %s is missing; build first" % program)
    scratch = tempfile.mkdtemp(prefix="stage3-startup-bench-")
    runtime = os.path.join(scratch, "runtime")
    home = os.path.join(scratch, "home")
    os.mkdir(runtime, 0o700)
    os.mkdir(home)
    server = bus = None
    try:
        server, display_name = start_xvfb()
        bus, bus_address = start_session_bus(runtime)
        with open(os.path.join(home, ".rpmmacros"), "w") as f:
            f.write("%%_dbpath %s/rpmdb\n" % home)
        with open(os.path.join(home, ".popt"), "w") as f:
            f.write("rpm alias -U -U --force-debian\n")
        env = dict(os.environ, HOME=home, LANG="en_US.UTF-8", DISPLAY=display_name,
                   DBUS_SESSION_BUS_ADDRESS=bus_address, XDG_RUNTIME_DIR=runtime)
        for name in ("WAYLAND_DISPLAY", "LC_ALL", "LANGUAGE", "NO_AT_BRIDGE", "GDK_SCALE",
                     "GTK_DEBUG", "GTK_THEME"):
            env.pop(name, None)
        subprocess.run(["rpm", "--initdb"], env=env, check=True)
        subprocess.run(["rpm", "-U", base], env=env, check=True, stdout=subprocess.DEVNULL)

        screen = Screen(display_name)
        titles = {}

        def timed(command):
            marker = file_identity(START_MARKER)
            screen.drain()
            start = time.perf_counter()
            process = subprocess.Popen(command, cwd=medium, env=env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       start_new_session=True)
            window, mapped = screen.wait_for_map(process)
            titles[command[0]] = window.get_wm_name()
            os.killpg(process.pid, signal.SIGTERM)
            process.wait()
            # The wizard's start marker, left by the ended wizard (a file made during
            # the run; anything else there is not ours).
            if file_identity(START_MARKER) not in (None, marker) and \
                    os.path.isfile(START_MARKER) and not os.path.islink(START_MARKER):
                os.unlink(START_MARKER)
            return mapped - start

        wizard = ["./stage3"]
        dialog = [bare]
        for _ in range(2):  # warm the caches and start the accessibility bus
            timed(wizard), timed(dialog)
        wizard_times, dialog_times = [], []
        for _ in range(runs):
            wizard_times.append(timed(wizard))
            dialog_times.append(timed(dialog))
        w, d = statistics.median(wizard_times), statistics.median(dialog_times)
        print("window shown: %s" % ", ".join("%s %r" % (os.path.basename(k), v)
                                             for k, v in titles.items()))
        print("stage3, first page:      %.1f ms (median of %d; %.1f to %.1f)"
              % (w * 1000, runs, min(wizard_times) * 1000, max(wizard_times) * 1000))
        print("bare GTK 3 dialog:       %.1f ms (%.1f to %.1f)"
              % (d * 1000, min(dialog_times) * 1000, max(dialog_times) * 1000))
        print("ratio:                   %.2f (aim: at most 1.5)" % (w / d))
    finally:
        for process in (bus, server):
            if process is not None:
                process.terminate()
                process.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
