"""Installs by the stage3 program into a private rpm database: a typical
install to the end, a driver that fails, and a medium whose path holds
blanks and shell characters."""

import os
import time

import e2e_lib as e2e
from e2e_lib import Atspi

LABEL = Atspi.Role.LABEL
BUTTON = Atspi.Role.PUSH_BUTTON
UNDERSCORES = "_____"
PROGRESS = "%%"


def assert_in_order(test, lines, expected):
    """Every expected line occurs in lines, in this order."""
    at = 0
    for want in expected:
        try:
            at = lines.index(want, at) + 1
        except ValueError:
            test.fail("line %r missing (or out of order) in the output:\n%s"
                      % (want, "\n".join(lines)))


def follow_progress(d, timeout=60):
    """Reads the run page's progress bar, as often as the accessibility bus answers, until
    the install has ended (Next sensitive again); returns the readings, the last one
    taken after the end."""
    bars = e2e.find_all(d.win, Atspi.Role.PROGRESS_BAR)
    assert len(bars) == 1, "%d progress bars on the run page" % len(bars)
    value = bars[0].get_value_iface()
    next_button = d.button(1)
    readings = []
    deadline = time.monotonic() + timeout
    while True:
        ended = e2e.is_set(next_button, Atspi.StateType.SENSITIVE)
        readings.append(value.get_current_value())
        if ended:
            return readings
        if time.monotonic() > deadline:
            raise AssertionError("the install did not end within %d s" % timeout)


class Install(e2e.WizardTest):

    def check_progress_kept_out(self, output, wizard):
        """No progress line in the output view nor in the install log."""
        self.assertEqual([l for l in output.split("\n") if l.startswith(PROGRESS)], [])
        with open(wizard.log_path, encoding="utf-8", errors="replace") as f:
            log = f.read()
        self.assertIn("rpm -Uv", log)
        self.assertEqual([l for l in log.split("\n") if l.startswith(PROGRESS)], [])

    def typical_medium(self, name="medium", driver="holvane"):
        medium = e2e.Medium(self.tmp, name=name,
                            packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                      e2e.package(driver, e2e.DRIVER_FILE),
                                      e2e.package("quorvel-browser", e2e.BROWSER_FILE)])
        return medium, e2e.Texts(medium.db)

    def check_typical_output(self, output, medium):
        self.assertNotIn("\x1b", output)
        lines = output.split("\n")
        # The view ends with the last line and its newline.
        self.assertEqual(lines[-2:], ["Done!!!!", ""])
        self.assertEqual([l for l in lines if l.startswith(UNDERSCORES)], [])
        assert_in_order(self, lines, [
            "rpm -Uv %s/%s" % (medium.dir, e2e.DRIVER_FILE),
            "e2e-driver: preparing",
            "e2e-driver: installed",
            "rpm -Uv --nodeps %s/%s" % (medium.dir, e2e.BROWSER_FILE),
            "e2e-browser: installed",
            "rpm -Uv %s/%s" % (medium.dir, e2e.APP_FILE),
            "e2e-app: RUNNING_FROM_GUI=1",
            "e2e-app: QRVLAUTOWEBSERVER=yes QRVLAUTOMANAGEDSYSTEM=yes "
            "QRVLAUTONOTIFIER=yes QRVLAUTOSNMP=yes",
            "e2e-app: coloured line",
            "!!!EOF!!!",
            "e2e-app: installed",
            "Done!!!!"])

    def test_typical_install_to_the_end(self):
        medium, t = self.typical_medium()
        rpmdb = self.rpmdb()
        # An error file left by an earlier failed run says nothing about this one.
        with open(e2e.ERROR_FILE, "w") as f:
            f.write("1\n")
        w = self.start(medium, rpmdb)
        d = e2e.Driver(w, t)
        self.assertTrue(w.has_marker())
        view = d.start_typical_install()
        readings = follow_progress(d)
        self.assertEqual(readings, sorted(readings))
        self.assertEqual(readings[-1], 1.0)
        # The run page says that the install finished.
        self.assertEqual(e2e.names(d.win, LABEL), [t[2040], t[2042]])
        output = d.wait_end_of_install()
        self.check_typical_output(output, medium)
        self.check_progress_kept_out(output, w)
        self.assertEqual(e2e.install_files_left(w.pid), [])
        self.assertEqual(rpmdb.installed("holvane"), "holvane-1.2.3-4.noarch")
        self.assertEqual(rpmdb.installed("quorvel-browser"), "quorvel-browser-1.0-1.noarch")
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")
        self.assertEqual(e2e.text_of(view), output)

        d.press(1)
        d.wait_title(35)
        # The success form; Finish is the only way on, Cancel is off.
        self.assertEqual(e2e.names(d.win, LABEL), e2e.success_form(t, w))
        self.assertEqual(e2e.names(d.win, BUTTON), [t.label(37), t.label(2)])
        self.assertFalse(e2e.is_set(d.button(2), Atspi.StateType.SENSITIVE))
        d.press(37)
        # The web server was installed: the proxy notice, with the main window hidden.
        proxy = w.window(t[17])
        self.assertEqual(e2e.names(proxy, LABEL), [t[1004]])
        self.assertEqual(e2e.names(proxy, BUTTON), [t.label(21)])
        self.assertFalse(w.has_window(t[1000]))
        self.assertTrue(w.running())
        e2e.click(e2e.find(proxy, BUTTON, t.label(21)))
        self.assertEqual(w.wait(20), 0)
        self.assertFalse(w.has_marker())

    def test_command_line_choices_reach_the_pages(self):
        """--setup-type custom --components managed-system: the setup-type page has Custom
        chosen, the components page only the managed system, and just that is installed."""
        medium, t = self.typical_medium()
        rpmdb = self.rpmdb()
        w = self.start(medium, rpmdb, args=["--setup-type", "custom", "--components", "managed-system"])
        d = e2e.Driver(w, t)
        d.wait_title(28)
        d.press(1)
        d.wait_title(29)
        d.press(36)
        d.wait_title(31)
        chosen = [r.get_name() for r in e2e.find_all(d.win, Atspi.Role.RADIO_BUTTON)
                  if e2e.is_set(r, Atspi.StateType.CHECKED)]
        self.assertEqual(chosen, [t.label(40)])
        # The page says where that choice came from.
        self.assertIn(t[2487].replace("%s (%s)", "custom (managed-system)"),
                      e2e.names(d.win, Atspi.Role.LABEL))
        d.press(1)
        d.wait_title(32)
        checked = [c.get_name() for c in e2e.find_all(d.win, Atspi.Role.CHECK_BOX)
                   if e2e.is_set(c, Atspi.StateType.CHECKED)]
        self.assertEqual(checked, [t.label(45)])
        d.press(1)
        d.wait_title(33)
        d.press(1)
        d.wait_run_page()
        d.wait_end_of_install()
        self.assertIsNotNone(rpmdb.installed("quorvel-storman"))
        self.assertIsNone(rpmdb.installed("quorvel-browser"))
        self.assertIsNone(rpmdb.installed("holvane"))

    def test_failing_driver_stops_the_install_and_shows_the_failure_form(self):
        medium, t = self.typical_medium(driver="holvane-failing")
        rpmdb = self.rpmdb()
        w = self.start(medium, rpmdb)
        d = e2e.Driver(w, t)
        d.start_typical_install()
        # The bar stops where the failing driver step left it: within its first third.
        readings = follow_progress(d)
        self.assertEqual(readings, sorted(readings))
        self.assertLess(readings[-1], 1.0 / 3)
        self.assertEqual(e2e.names(d.win, LABEL), [t[2041], t[2043]])
        output = d.wait_end_of_install()
        self.check_progress_kept_out(output, w)
        lines = output.split("\n")
        assert_in_order(self, lines, ["rpm -Uv %s/%s" % (medium.dir, e2e.DRIVER_FILE),
                                      "e2e-driver: no controller found"])
        self.assertNotIn("Done!!!!", lines)
        self.assertNotIn("rpm -Uv %s/%s" % (medium.dir, e2e.APP_FILE), lines)
        with open(e2e.ERROR_FILE) as f:
            self.assertNotEqual(int(f.read().strip()), 0)
        self.assertEqual(e2e.install_files_left(w.pid), [])
        self.assertIsNone(rpmdb.installed("holvane"))
        self.assertIsNone(rpmdb.installed("quorvel-storman"))

        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, LABEL), e2e.failure_form(t, w, rpmdb))
        # The close box on the finish page ends the wizard at once, unasked.
        self.x.request_close(w.pid, t[1000])
        self.assertEqual(w.wait(20), 2)  # the install failed
        self.assertFalse(w.has_marker())
        self.assertTrue(os.path.exists(e2e.ERROR_FILE))

    def test_the_medium_key_is_asked_about_in_a_dialog(self):
        """The review page lists the packages where they are seen; the key's question names
        its fields and the keyring it stays in; No installs nothing and says why, and the
        finish page names what rpm has installed."""
        demo = os.environ.get("E2E_DEMO_MEDIUM", "")
        key_file = os.path.join(demo, "RPM-GPG-KEY-quorvel-demo")
        if not os.path.exists(key_file):
            self.skipTest("the demo medium is not signed (no gpg at build time)")
        # answer, the run page's title, a line of the output, exit status; No with an
        # older driver installed, which stays.
        cases = [(20, 2426, None, 1), (19, 2040, "Done!!!!", 0)]
        for answer, title, line, status in cases:
            with self.subTest(answer=answer):
                medium = e2e.Medium(self.tmp, name="medium%d" % answer,
                                    packages=[os.path.join(demo, name) for name in
                                              (e2e.APP_FILE, e2e.DRIVER_FILE, e2e.BROWSER_FILE)]
                                    + [key_file])
                t = e2e.Texts(medium.db)
                rpmdb = e2e.RpmDb(os.path.join(self.tmp, "db%d" % answer))
                if status:
                    rpmdb.install(e2e.package("holvane-older", "holvane-1.2.3-1.noarch.rpm"))
                w = self.start(medium, rpmdb)
                d = e2e.Driver(w, t)
                d.wait_title(28)
                d.press(1)
                d.wait_title(29)
                d.press(36)
                d.wait_title(31)
                d.press(1)
                d.wait_title(33)
                # The package lines: labels of their own, inside the window as it opens.
                labels = e2e.names(d.win, LABEL)
                heading = labels.index(t[2208])
                self.assertIn("holvane 1.2.3-4", " ".join(labels[heading + 1:]))
                bottom = d.win.get_extents(Atspi.CoordType.SCREEN)
                bottom = bottom.y + bottom.height
                for acc in e2e.find_all(d.win, LABEL):
                    if acc.get_name().startswith("holvane"):
                        box = acc.get_extents(Atspi.CoordType.SCREEN)
                        self.assertLessEqual(box.y + box.height, bottom, acc.get_name())
                d.press(1)
                d.wait_run_page()
                dialog = w.window(t[2122], 30)
                fields = e2e.names(dialog, LABEL)
                self.assertEqual(fields[0], t[2420])
                self.assertIn(os.path.join(medium.dir, os.path.basename(key_file)), fields)
                fingerprint = fields[fields.index(t[2423]) + 1]
                self.assertRegex(fingerprint, r"^([0-9A-F]{4} ){5} ([0-9A-F]{4} ){4}[0-9A-F]{4}$")
                note = fields[-1]
                self.assertTrue(note.startswith(t[2425].split("%s")[0]), note)
                e2e.click(e2e.find(dialog, BUTTON, t.label(answer)))
                output = d.wait_end_of_install()
                d.wait_title(title)
                self.assertIn(line or t[2123].split("%s")[0], output)
                key = rpmdb.installed("gpg-pubkey")
                self.assertEqual(key is not None, status == 0)
                if key:
                    # The command the dialog gave removes the key rpm imported.
                    self.assertTrue(note.endswith("rpm -e " + key.rsplit("-", 1)[0]), note)
                self.assertEqual(rpmdb.installed("holvane"),
                                 "holvane-1.2.3-%d.noarch" % (1 if status else 4))
                d.press(1)
                d.wait_title(35)
                if status:
                    labels = e2e.names(d.win, LABEL)
                    self.assertEqual(labels[1], t[2428])
                    self.assertTrue(labels[2].startswith(t[2130]), labels)
                    self.assertTrue(labels[2].endswith(e2e.installed_now(t, rpmdb)), labels)
                    self.assertIn("holvane 1.2.3-1", labels[2])
                self.x.request_close(w.pid, t[1000])
                self.assertEqual(w.wait(20), status)
                os.unlink(w.log_path)  # the next run's log is made new

    def test_medium_path_with_blanks_and_shell_characters(self):
        # rpm itself takes quotes and backslashes out of its file arguments, and the
        # package search must not read [1] as a pattern.
        name = "e2e medium 'q' \"d\" \\x [1] $HOME `id` ; x"
        medium, t = self.typical_medium(name=name)
        self.assertTrue(medium.dir.endswith(name))
        rpmdb = self.rpmdb()
        # Started by its full path, as from a file manager.
        w = self.start(medium, rpmdb, argv0=medium.program)
        d = e2e.Driver(w, t)
        d.start_typical_install()
        output = d.wait_end_of_install()
        self.check_typical_output(output, medium)
        self.assertEqual(rpmdb.installed("holvane"), "holvane-1.2.3-4.noarch")
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")
        self.assertFalse(os.path.exists(e2e.ERROR_FILE))
        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, LABEL), e2e.success_form(t, w))


if __name__ == "__main__":
    e2e.main()
