"""The window of the stage3 program on a small screen at a large font, seen from
outside: it keeps one size on every page, within the screen, and its buttons stay
in place; and the keyboard alone walks it with the buttons' access keys."""

import os
import subprocess

import e2e_lib as e2e
from e2e_lib import Atspi

BUTTON = Atspi.Role.PUSH_BUTTON
SCREEN = (800, 600)


class SmallScreen:
    """An X server of its own, SCREEN in size, for the wizard under test."""

    def __init__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as numbers:
            self.name = ":" + numbers.readline().strip()
        self.x = e2e.XServer(self.name)

    def keys(self, window, *keys):
        """Presses keys in X window `window` (there is no window manager to focus it)."""
        env = dict(os.environ, DISPLAY=self.name)
        subprocess.run(["xdotool", "windowfocus", "--sync", str(window.id)], env=env, check=True)
        for key in keys:
            subprocess.run(["xdotool", "key", key], env=env, check=True)

    def close(self):
        self.x.close()
        self.proc.kill()
        self.proc.wait()


class Layout(e2e.WizardTest):

    def setUp(self):
        super().setUp()
        self.screen = SmallScreen()

    def tearDown(self):
        self.screen.close()
        super().tearDown()

    def start_wizard(self, language):
        root = os.path.join(self.tmp, language)
        os.makedirs(root)
        medium = e2e.Medium(root, packages=[e2e.package("quorvel-storman", e2e.APP_FILE)])
        self.t = e2e.Texts(medium.db, language)
        self.w = self.start(medium, e2e.RpmDb(root), extra_env={
            "DISPLAY": self.screen.name, "GDK_DPI_SCALE": "1.5", "LANG": language + ".UTF-8"})
        self.d = e2e.Driver(self.w, self.t)
        self.window = e2e.wait_until(lambda: self.screen.x.top_level(self.w.pid, self.t[1000]),
                                     10, 0.1, "the wizard's X window")

    def placement(self, next_rid):
        """The window's size and where Next (of text next_rid) and Cancel are."""
        geometry = self.window.get_geometry()
        places = []
        for rid in (next_rid, 2):
            e = e2e.find(self.d.win, BUTTON, self.t.label(rid)).get_component_iface() \
                .get_extents(Atspi.CoordType.SCREEN)
            places.append((e.x, e.y, e.width, e.height))
            self.assertTrue(0 <= e.x and e.x + e.width <= SCREEN[0] and
                            0 <= e.y and e.y + e.height <= SCREEN[1],
                            "button %d at %r is off the screen" % (rid, places[-1]))
        return (geometry.width, geometry.height), tuple(places)

    def walk(self, steps):
        """Presses each step's keys and waits for its page; returns the window's size
        and the buttons' places on each page."""
        seen = []
        for keys, title in steps:
            self.screen.keys(self.window, *keys)
            self.d.wait_title(title)
            seen.append((title, self.placement(36 if title == 29 else 1)))
            if title == 32:
                self.components_scroll = any(
                    bar.get_role() == Atspi.Role.SCROLL_BAR for bar in e2e.descendants(self.d.win))
        return seen

    def test_one_size_within_the_screen_and_a_walk_by_access_keys(self):
        # From the welcome page to the review page under custom, and back; on the
        # setup type page the keys go from Next back to the radio buttons, down to
        # custom.
        steps = [((), 28), (("alt+n",), 29), (("alt+a",), 31),
                 (("shift+Tab", "shift+Tab", "Down", "Down", "alt+n"), 32),
                 (("alt+n",), 33), (("alt+b",), 32), (("alt+b",), 31), (("alt+b",), 29),
                 (("alt+b",), 28)]
        for language in ("en_US", "ja_JP"):
            with self.subTest(language):
                self.start_wizard(language)
                seen = self.walk(steps)
                sizes = {size for _, (size, _) in seen}
                self.assertEqual(len(sizes), 1, "sizes per page: %r" % seen)
                width, height = sizes.pop()
                self.assertLessEqual(width, SCREEN[0])
                self.assertLessEqual(height, SCREEN[1])
                # The window has the size of the largest page, the components page:
                # it scrolls only when the screen is too small for it.
                self.assertTrue(height == SCREEN[1] or not self.components_scroll,
                                "%dx%d and the components page scrolls" % (width, height))
                # Next and Cancel stay where they are on every page that shows Back.
                places = {p for title, (_, p) in seen if title != 28}
                self.assertEqual(len(places), 1, "buttons per page: %r" % seen)
                # Escape asks first; No (its access key) keeps the page, Yes ends.
                self.screen.keys(self.window, "Escape")
                question = self.w.window(self.t[16])
                self.assertEqual(e2e.names(question, BUTTON), [self.t.label(19), self.t.label(20)])
                dialog = e2e.wait_until(lambda: self.screen.x.top_level(self.w.pid, self.t[16]),
                                        10, 0.1, "the exit question's X window")
                self.screen.keys(dialog, "alt+n")
                e2e.wait_until(lambda: not self.w.has_window(self.t[16]), 10, 0.1,
                               "the exit question closed")
                self.d.wait_title(28)
                self.screen.keys(self.window, "Escape")
                self.w.window(self.t[16])
                dialog = e2e.wait_until(lambda: self.screen.x.top_level(self.w.pid, self.t[16]),
                                        10, 0.1, "the exit question's X window")
                self.screen.keys(dialog, "alt+y")
                self.assertEqual(self.w.wait(20), 3)  # cancelled


if __name__ == "__main__":
    e2e.main()
