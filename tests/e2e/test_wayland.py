"""The graphical wizard on Wayland: the stage3 program on a headless weston, with no X
display in its environment, walked from the welcome page to Finish through the
accessibility bus, installing into a private rpm database. There GTK draws the window's
title bar itself: its close button asks before the wizard quits, and the window, title
bar included, keeps one size within the output on every page."""

import os
import subprocess
import tempfile

import e2e_lib as e2e
from e2e_lib import Atspi

BUTTON = Atspi.Role.PUSH_BUTTON
LABEL = Atspi.Role.LABEL
# Small for the pages at GDK_DPI_SCALE=1.5: the window is as tall as the output.
OUTPUT = (640, 480)
SOCKET = "wayland-stage3-e2e"


class Weston:
    """weston's headless backend, in a runtime directory of its own (mode 0700)."""

    def __init__(self, root):
        self.runtime = tempfile.mkdtemp(prefix="weston-", dir=root)
        self.log_path = os.path.join(root, "weston.log")
        with open(self.log_path, "wb") as log:
            self.proc = subprocess.Popen(
                ["weston", "--backend=headless-backend.so", "--socket=" + SOCKET,
                 "--idle-time=0", "--no-config", "--width=%d" % OUTPUT[0],
                 "--height=%d" % OUTPUT[1]],
                env=dict(os.environ, XDG_RUNTIME_DIR=self.runtime),
                stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        try:
            e2e.wait_until(lambda: self.proc.poll() is not None or
                           os.path.exists(os.path.join(self.runtime, SOCKET)),
                           10, 0.05, "weston's socket")
            if self.proc.poll() is not None:
                raise AssertionError("weston ended at once: %s" % self.log())
        except BaseException:
            self.stop()
            raise

    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class WaylandDriver(e2e.Driver):
    """Drives the wizard by the buttons' accessible click actions: on weston's headless
    backend no pointer or keyboard reaches a window. The frame holds the title bar GTK
    draws (a panel) beside the content (a filler)."""

    def part(self, role):
        self.win.clear_cache()
        parts = [self.win.get_child_at_index(i) for i in range(self.win.get_child_count())]
        found = [p for p in parts if p is not None and p.get_role() == role]
        if len(found) != 1:
            raise AssertionError("%d parts of role %s in the window" % (len(found), role))
        return found[0]

    def title(self):
        labels = e2e.names(self.part(Atspi.Role.FILLER), LABEL)
        return labels[0] if labels else None

    def press(self, rid):
        e2e.do_click_action(self.button(rid))

    def visible_size(self):
        """Width and height of the title bar and content together, without the shadow
        around them that the frame's extents hold."""
        boxes = [p.get_component_iface().get_extents(Atspi.CoordType.WINDOW)
                 for p in (self.part(Atspi.Role.PANEL), self.part(Atspi.Role.FILLER))]
        return (max(b.x + b.width for b in boxes) - min(b.x for b in boxes),
                max(b.y + b.height for b in boxes) - min(b.y for b in boxes))


class Wayland(e2e.WizardTest):

    def setUp(self):
        super().setUp()
        self.weston = Weston(self.tmp)

    def tearDown(self):
        try:
            for w in self.wizards:
                w.kill()
        finally:
            self.weston.stop()
            super().tearDown()

    def test_walk_to_finish_and_install(self):
        medium = e2e.Medium(self.tmp, packages=[e2e.package("quorvel-storman", e2e.APP_FILE)])
        t = e2e.Texts(medium.db)
        rpmdb = self.rpmdb()
        w = self.start(medium, rpmdb, extra_env={
            "DISPLAY": None, "XAUTHORITY": None, "GDK_BACKEND": "wayland",
            "WAYLAND_DISPLAY": SOCKET, "XDG_RUNTIME_DIR": self.weston.runtime,
            "GDK_DPI_SCALE": "1.5"})
        d = WaylandDriver(w, t)
        sizes = {}

        def on_page(rid):
            d.wait_title(rid)
            sizes[rid] = d.visible_size()

        on_page(28)
        # The title bar's close button asks first; No keeps the wizard on its page.
        e2e.do_click_action(e2e.find(d.part(Atspi.Role.PANEL), BUTTON, "Close"))
        question = w.window(t[16])
        e2e.do_click_action(e2e.find(question, BUTTON, t.label(20)))
        e2e.wait_until(lambda: not w.has_window(t[16]), 5, 0.1, "the exit question closed")
        self.assertTrue(w.running())

        # The compact setup: the application alone, so no proxy notice follows Finish.
        on_page(28)
        d.press(1)
        on_page(29)
        d.press(36)
        on_page(31)
        e2e.do_click_action(e2e.find(d.win, Atspi.Role.RADIO_BUTTON, t[39]))
        d.press(1)
        on_page(33)
        d.press(1)
        d.wait_run_page()
        sizes[34] = d.visible_size()
        self.assertTrue(d.wait_end_of_install().endswith("Done!!!!\n"))
        d.press(1)
        on_page(35)
        self.assertEqual(e2e.names(d.part(Atspi.Role.FILLER), LABEL), e2e.success_form(t, w))
        d.press(37)
        self.assertEqual(w.wait(20), 0)
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")

        self.assertEqual(len(set(sizes.values())), 1, "window sizes per page: %r" % sizes)
        width, height = sizes[28]
        self.assertLessEqual(width, OUTPUT[0], sizes)
        self.assertLessEqual(height, OUTPUT[1], sizes)


if __name__ == "__main__":
    e2e.main()
