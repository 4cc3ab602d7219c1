"""The stage3 program while the install script runs silently: it keeps
answering, the close box asks, and Yes there lets the install finish before
the wizard ends by itself."""

import os
import time

import e2e_lib as e2e
from e2e_lib import Atspi

BUTTON = Atspi.Role.PUSH_BUTTON
QUIET = "e2e-app: going quiet"
AWAKE = "e2e-app: awake again"
# Longest time the wizard may take to answer while the script is silent.
ANSWER_LIMIT = 1.0


class SilentInstall(e2e.WizardTest):

    def setUp(self):
        super().setUp()
        # No driver on the medium and no browser: the application package,
        # whose %post pauses 5 s without output, is the whole install.
        self.medium = e2e.Medium(self.tmp, packages=[
            e2e.package("quorvel-storman-silent", e2e.APP_FILE)])
        self.t = e2e.Texts(self.medium.db)
        self.rpm = self.rpmdb()
        self.w = self.start(self.medium, self.rpm)
        self.d = e2e.Driver(self.w, self.t)
        self.view = self.d.start_typical_install()
        self.d.wait_output(self.view, QUIET)

    def still_silent(self):
        return AWAKE not in e2e.text_of(self.view)

    def test_window_answers_while_the_script_is_silent(self):
        t, d, w = self.t, self.d, self.w
        # The run page during the run: Back hidden, Next and Cancel off.
        self.assertEqual(e2e.names(d.win, BUTTON), [t.label(1), t.label(2)])
        self.assertFalse(e2e.is_set(d.button(1), Atspi.StateType.SENSITIVE))
        self.assertFalse(e2e.is_set(d.button(2), Atspi.StateType.SENSITIVE))
        # The install files exist while the script runs.
        with open(e2e.SETTINGS_FILE) as f:
            self.assertEqual(f.read(), "QRVLAUTOWEBSERVER=yes\nQRVLAUTOMANAGEDSYSTEM=yes\n"
                                       "QRVLAUTONOTIFIER=yes\nQRVLAUTOSNMP=yes\n")
        self.assertEqual(len(e2e.install_scripts(w.pid)), 1)

        # Accessibility queries are answered by the wizard's own main loop.
        slowest = 0.0
        for _ in range(8):
            began = time.monotonic()
            e2e.text_of(self.view)
            slowest = max(slowest, time.monotonic() - began)
            time.sleep(0.1)
        # The close box opens the exit question at once.
        began = time.monotonic()
        self.x.request_close(w.pid, t[1000])
        w.window(t[16], timeout=5)
        opened = time.monotonic() - began
        self.assertTrue(self.still_silent(), "the script spoke again too early for this test")
        print("[slowest answer %.3f s, exit question after %.3f s] " % (slowest, opened), end="")
        self.assertLess(slowest, ANSWER_LIMIT)
        self.assertLess(opened, ANSWER_LIMIT)

        # Closing the question answers No: no notice, the install goes on.
        self.x.request_close(w.pid, t[16])
        e2e.wait_until(lambda: not w.has_window(t[16]), 5, 0.1, "exit question closed")
        self.assertTrue(w.has_marker())
        output = d.wait_end_of_install(30)
        self.assertIn(AWAKE, output)
        self.assertNotIn(t[23], output)
        self.assertTrue(output.endswith("Done!!!!\n"))
        self.assertEqual(e2e.install_files_left(w.pid), [])
        self.assertEqual(self.rpm.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")

        # Finish, then the proxy notice's close box also ends the wizard.
        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, Atspi.Role.LABEL), e2e.success_form(t, w))
        d.press(37)
        w.window(t[17])
        self.x.request_close(w.pid, t[17])
        self.assertEqual(w.wait(20), 0)
        self.assertFalse(w.has_marker())

    def test_close_box_during_the_install_lets_it_finish_then_ends(self):
        t, d, w = self.t, self.d, self.w
        self.x.request_close(w.pid, t[1000])
        exit_dialog = w.window(t[16], timeout=5)
        e2e.click(e2e.find(exit_dialog, BUTTON, t.label(19)))
        # The notice arrives while the script is still silent; the window stays.
        d.wait_output(self.view, t[23], timeout=3)
        self.assertTrue(self.still_silent(), "the script spoke again too early for this test")
        self.assertTrue(w.has_window(t[1000]))
        self.assertTrue(w.running())
        # From now on the close box is ignored.
        self.x.request_close(w.pid, t[1000])
        time.sleep(0.5)
        self.assertFalse(w.has_window(t[16]))
        # The install runs to its end, then the wizard ends by itself.
        self.assertEqual(w.wait(30), 0)
        self.assertFalse(w.has_marker())
        self.assertEqual(e2e.install_files_left(w.pid), [])
        self.assertFalse(os.path.exists(e2e.ERROR_FILE))
        self.assertEqual(self.rpm.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")


if __name__ == "__main__":
    e2e.main()
