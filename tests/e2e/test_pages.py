"""The pages of the stage3 program before the install, seen from outside:
titles, every label and button with its text on the accessibility bus, the
review text, the selection shown on the components page, and leaving through
Cancel or the close box."""

import os

import e2e_lib as e2e
from e2e_lib import Atspi

LABEL = Atspi.Role.LABEL
BUTTON = Atspi.Role.PUSH_BUTTON
RADIO = Atspi.Role.RADIO_BUTTON
CHECK = Atspi.Role.CHECK_BOX
TEXT = Atspi.Role.TEXT

LICENSE = "Line A\nline B\n\nC\n\n\n"
LICENSE_SHOWN = "Line A line B\n\nC"


class Pages(e2e.WizardTest):

    def setUp(self):
        super().setUp()
        self.medium = e2e.Medium(self.tmp, license_text=LICENSE,
                                 packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                           e2e.package("holvane", e2e.DRIVER_FILE)])
        self.t = e2e.Texts(self.medium.db)
        self.rpm = self.rpmdb()

    def open(self):
        self.x.watch_maps()
        self.w = self.start(self.medium, self.rpm)
        self.win = self.w.window(self.t[1000])
        self.w.note_marker()
        self.assertTrue(self.x.mapped_since_watch(), "no window mapped")
        return self.win

    def title(self):
        labels = e2e.names(self.win, LABEL)
        return labels[0] if labels else None

    def wait_title(self, rid):
        e2e.wait_until(lambda: self.title() == self.t[rid], 10, 0.1,
                       "page title %r (now %r)" % (self.t[rid], self.title()))

    def press(self, rid):
        e2e.click(e2e.find(self.win, BUTTON, self.t.label(rid)))

    def expect_page(self, title, labels, buttons, radios=(), checks=()):
        """The page on screen shows exactly these texts: labels after the
        title, push buttons, radio buttons and check boxes, in screen order."""
        self.wait_title(title)
        t = self.t
        shown = e2e.names(self.win, LABEL)
        if title == 33 and t[2208] in shown:
            # The review page's package list: its heading, then a label per package.
            packages = shown.index(t[2208])
            self.assertGreater(len(shown), packages + 1, shown)
            shown = shown[:packages]
        self.assertEqual(shown, [t[title]] + [t[i] for i in labels])
        self.assertEqual(e2e.names(self.win, BUTTON), [t.label(i) for i in buttons])
        self.assertEqual(e2e.names(self.win, RADIO), [t[i] for i in radios])
        self.assertEqual(e2e.names(self.win, CHECK), [t[i] for i in checks])

    def review_text(self):
        """The review page's summary (the package lines are a list of their own)."""
        views = e2e.find_all(self.win, TEXT)
        self.assertEqual(len(views), 1)
        return e2e.text_of(views[0])

    def expected_review(self, setup_type, components):
        t = self.t
        text = t[25] + "\t%s\n\n" % t[setup_type] + t[26]
        if not components:
            return text + "\t%s\n" % t[27]
        return text + "".join("\t%s\n" % t[c] for c in components)

    def checked(self):
        """Name to (checked, sensitive) of every check box on the page."""
        return {c.get_name(): (e2e.is_set(c, Atspi.StateType.CHECKED),
                               e2e.is_set(c, Atspi.StateType.SENSITIVE))
                for c in e2e.find_all(self.win, CHECK)}

    def test_walk_from_welcome_to_review_with_every_text_on_the_accessibility_bus(self):
        self.open()
        t = self.t
        self.assertTrue(self.w.has_marker())
        # Welcome: no Back button.
        self.expect_page(28, [1001], [1, 2])
        self.press(1)
        # License: Back appears, Next reads "I Agree"; the file's single line
        # breaks are folded, the blank line stays.
        self.expect_page(29, [3, 4], [0, 36, 2])
        self.assertEqual(e2e.text_of(e2e.find_all(self.win, TEXT)[0]), LICENSE_SHOWN)
        self.press(36)
        # Setup type: typical preselected.
        self.expect_page(31, [8, 41, 42, 43], [0, 1, 2], radios=[38, 39, 40])
        radios = e2e.screen_order(e2e.find_all(self.win, RADIO))
        self.assertEqual([e2e.is_set(r, Atspi.StateType.CHECKED) for r in radios],
                         [True, False, False])
        self.press(1)
        # Typical goes straight to the review. SNMP is asked for under typical
        # and the driver is not installed: every component is listed.
        self.expect_page(33, [10, 11], [0, 1, 2])
        self.assertEqual(self.review_text(), self.expected_review(38, [44, 45, 46, 47, 48]))

        # Back returns to the setup type page; compact replaces the list.
        self.press(0)
        self.expect_page(31, [8, 41, 42, 43], [0, 1, 2], radios=[38, 39, 40])
        e2e.click(e2e.find(self.win, RADIO, t[39]))
        self.press(1)
        self.wait_title(33)
        self.assertEqual(self.review_text(), self.expected_review(39, [45]))

        # Custom shows the components page with compact's selection.
        self.press(0)
        self.wait_title(31)
        e2e.click(e2e.find(self.win, RADIO, t[40]))
        self.press(1)
        self.expect_page(32, [9, 49, 50, 51, 52, 53], [0, 1, 2], checks=[44, 45, 46, 47, 48])
        self.assertEqual(self.checked(), {t[44]: (False, True), t[45]: (True, True),
                                          t[46]: (False, True), t[47]: (False, True),
                                          t[48]: (False, True)})
        # The notifier needs the managed system, which is then locked.
        e2e.click(e2e.find(self.win, CHECK, t[46]))
        e2e.wait_until(lambda: self.checked()[t[46]] == (True, True), 5, 0.1, "notifier checked")
        self.assertEqual(self.checked()[t[45]], (True, False))
        e2e.click(e2e.find(self.win, CHECK, t[44]))
        e2e.wait_until(lambda: self.checked()[t[44]] == (True, True), 5, 0.1, "web server checked")
        self.press(1)
        self.expect_page(33, [10, 11], [0, 1, 2])
        self.assertEqual(self.review_text(), self.expected_review(40, [44, 45, 46]))

        # Unlocking: without the notifier the managed system can be cleared,
        # and an empty selection says so.
        self.press(0)
        self.wait_title(32)
        for name in (46, 45, 44):
            e2e.click(e2e.find(self.win, CHECK, t[name]))
            e2e.wait_until(lambda: not self.checked()[t[name]][0], 5, 0.1, "%d cleared" % name)
        self.assertEqual(self.checked()[t[45]], (False, True))
        self.press(1)
        self.wait_title(33)
        self.assertEqual(self.review_text(), self.expected_review(40, []))
        # Back from the review goes to the components page under custom.
        self.press(0)
        self.wait_title(32)
        self.press(0)
        self.wait_title(31)
        self.press(0)
        self.expect_page(29, [3, 4], [0, 36, 2])
        self.w.kill()

    def test_cancel_then_no_stays_then_yes_ends(self):
        self.open()
        t = self.t
        self.press(1)
        self.expect_page(29, [3, 4], [0, 36, 2])
        self.press(2)
        exit_dialog = self.w.window(t[16])
        self.assertEqual(e2e.names(exit_dialog, LABEL), [t[18]])
        self.assertEqual(e2e.names(exit_dialog, BUTTON), [t.label(19), t.label(20)])
        e2e.click(e2e.find(exit_dialog, BUTTON, t.label(20)))
        e2e.wait_until(lambda: not self.w.has_window(t[16]), 10, 0.1, "exit question closed")
        # Same page, every text intact, and the wizard still answers.
        self.expect_page(29, [3, 4], [0, 36, 2])
        self.assertEqual(e2e.text_of(e2e.find_all(self.win, TEXT)[0]), LICENSE_SHOWN)
        self.assertTrue(self.w.running())
        self.assertTrue(self.w.has_marker())
        self.press(36)
        self.expect_page(31, [8, 41, 42, 43], [0, 1, 2], radios=[38, 39, 40])

        self.press(2)
        exit_dialog = self.w.window(t[16])
        e2e.click(e2e.find(exit_dialog, BUTTON, t.label(19)))
        self.assertEqual(self.w.wait(20), 3)  # cancelled
        self.assertFalse(self.w.has_marker())
        self.assertEqual(e2e.install_files_left(self.w.pid), [])

    def test_close_box_asks_first_and_closing_the_question_answers_no(self):
        self.open()
        t = self.t
        self.press(1)
        self.wait_title(29)
        self.x.request_close(self.w.pid, t[1000])
        self.w.window(t[16])
        # The close box of the question itself: the answer is No.
        self.x.request_close(self.w.pid, t[16])
        e2e.wait_until(lambda: not self.w.has_window(t[16]), 10, 0.1, "exit question closed")
        self.expect_page(29, [3, 4], [0, 36, 2])
        self.assertTrue(self.w.running())
        self.assertTrue(self.w.has_marker())
        # Asked again, Yes ends the wizard as Cancel does.
        self.x.request_close(self.w.pid, t[1000])
        e2e.click(e2e.find(self.w.window(t[16]), BUTTON, t.label(19)))
        self.assertEqual(self.w.wait(20), 3)  # cancelled
        self.assertFalse(self.w.has_marker())


if __name__ == "__main__":
    e2e.main()
