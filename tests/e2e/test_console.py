"""The console wizard, stage3 --text, in a real terminal: a tmux server of its own with
one 80 by 24 pane and TERM=dumb, driven by keys. What the program writes is read back
as the raw bytes the pane received (pipe-pane) and as the screen (capture-pane); its
exit status comes from the shell line that runs it."""

import itertools
import os
import re
import shlex
import subprocess
import unicodedata

import e2e_lib as e2e

COLUMNS, ROWS = 80, 24
SILENT_QUIET = "e2e-app: going quiet"
SILENT_AWAKE = "e2e-app: awake again"
# Names of the consoles (tmux servers, raw output files) of this run.
CONSOLES = itertools.count()


def squeezed(text):
    """text without its whitespace, so that wrapped and unwrapped text compare equal."""
    return re.sub(r"\s+", "", text)


def columns(line):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in line)


def fill(text, *values):
    for value in values:
        text = text.replace("%s", value, 1)
    return text


class Console:
    """stage3 --text started from a medium in a new tmux pane."""

    def __init__(self, tmp, name, medium, rpmdb, lang, encoding, args="", mode="--text"):
        # A server of its own: one that is still shutting down takes no new session.
        self.socket = "stage3-%d-%s" % (os.getpid(), name)
        self.raw = os.path.join(tmp, name + ".raw")
        self.log = os.path.join(tmp, name + ".log")
        self.encoding = encoding
        self.env = rpmdb.env()
        for variable in ("DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LANGUAGE", "TMUX", "COLUMNS", "LINES"):
            self.env.pop(variable, None)
        self.mark = 0
        command = "LANG=%s TERM=dumb ./stage3 %s --log %s %s; echo EXIT=$?" % (
            lang, mode, shlex.quote(self.log), args)
        self.tmux("new-session", "-d", "-x", str(COLUMNS), "-y", str(ROWS), "-c", medium.dir, command,
                  ";", "set-option", "-g", "remain-on-exit", "on",
                  ";", "pipe-pane", "-o", "cat > " + shlex.quote(self.raw))

    def tmux(self, *args, check=True):
        return subprocess.run(["tmux", "-u", "-f", "/dev/null", "-L", self.socket] + list(args),
                              env=self.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              check=check).stdout.decode("utf-8", "replace")

    def close(self):
        path = self.tmux("display-message", "-p", "#{socket_path}", check=False).strip()
        self.tmux("kill-server", check=False)
        if path.startswith("/") and os.path.exists(path):
            os.unlink(path)

    def output(self):
        """Everything written to the terminal so far, decoded."""
        try:
            with open(self.raw, "rb") as f:
                return f.read().decode(self.encoding, "replace")
        except FileNotFoundError:
            return ""

    def screen(self):
        return self.tmux("capture-pane", "-p")

    def expect(self, *texts, timeout=30):
        """Waits until the texts were written, in this order, after the last one expected."""
        for text in texts:
            want = squeezed(text)
            try:
                found = e2e.wait_until(lambda: squeezed(self.output()).find(want, self.mark) + 1, timeout,
                                       0.1, "%r on the terminal" % text)
            except AssertionError as e:
                raise AssertionError("%s; the terminal ends with:\n%s" % (e, self.output()[-1500:]))
            self.mark = found - 1 + len(want)

    def key(self, *lines):
        """Types each line and Enter."""
        for line in lines:
            if line:
                self.tmux("send-keys", "-l", line)
            self.tmux("send-keys", "Enter")

    def control(self, letter):
        self.tmux("send-keys", "C-" + letter)

    def exit_status(self, timeout=30):
        match = e2e.wait_until(lambda: re.search(r"EXIT=(\d+)", self.output()), timeout, 0.1, "the exit status")
        return int(match.group(1))


class ConsoleWizard(e2e.WizardTest):

    def setUp(self):
        super().setUp()
        self.consoles = []

    def tearDown(self):
        for console in self.consoles:
            console.close()
        super().tearDown()

    def console(self, medium, rpmdb, lang="en_US.UTF-8", encoding="utf-8", args="", mode="--text"):
        name = "console%d" % next(CONSOLES)
        self.consoles.append(Console(self.tmp, name, medium, rpmdb, lang, encoding, args, mode))
        return self.consoles[-1]

    def medium(self, app_spec="quorvel-storman", license_text="E2E test license.\n"):
        packages = [e2e.package(app_spec, e2e.APP_FILE)]
        if app_spec == "quorvel-storman":
            packages += [e2e.package("holvane", e2e.DRIVER_FILE), e2e.package("quorvel-browser", e2e.BROWSER_FILE)]
        medium = e2e.Medium(self.tmp, license_text=license_text, packages=packages)
        return medium, e2e.Texts(medium.db)

    def test_remove_asks_first(self):
        """stage3 --remove on a terminal names what it removes and asks: Enter (No, the
        default) keeps everything with status 3, y removes."""
        medium, t = self.medium()
        rpmdb = self.rpmdb()
        for package in ("quorvel-storman", "quorvel-browser"):
            rpmdb.install(e2e.package(package, e2e.APP_FILE if package == "quorvel-storman"
                                      else e2e.BROWSER_FILE))
        for answer, status in (("", 3), ("y", 0)):
            with self.subTest(answer=answer):
                c = self.console(medium, rpmdb, mode="--remove")
                c.expect(t[2400], "quorvel-browser 1.0-1", "quorvel-storman 3.B-2",
                         t[2401] + " [y/N]")
                c.key(answer)
                if status:
                    c.expect(t[2402])
                self.assertEqual(c.exit_status(), status)
                self.assertEqual(rpmdb.installed("quorvel-storman") is None, status == 0)
                self.assertEqual(rpmdb.installed("quorvel-browser") is None, status == 0)

    def test_typical_install_to_the_end_with_back_once(self):
        clauses = ["Clause %02d of the test license." % n for n in range(1, 41)]
        medium, t = self.medium(license_text="\n\n".join(clauses) + "\n")
        rpmdb = self.rpmdb()
        c = self.console(medium, rpmdb)
        # The medium's welcome without its paragraph about the graphical buttons, then the
        # console's keys.
        welcome = t[1001].rsplit("\n\n", 1)[0]
        c.expect(t[28], welcome, t[2200], fill(t[2024], t.label(1)) + " " + fill(t[2026], t.label(2)))
        self.assertNotIn(squeezed(t[1001].rsplit("\n\n", 1)[1]), squeezed(c.output()))
        marker = e2e.file_identity(e2e.START_MARKER)
        c.key("")
        # The license a screenful at a time: the first one below the title, the next one
        # taking up where it stopped.
        c.expect(t[29], t[3], clauses[0], t[2020])
        first = c.screen()
        self.assertIn(t[29], first)
        self.assertNotIn(clauses[-1], c.output())
        last_shown = max(n for n, clause in enumerate(clauses) if clause in first)
        c.key("")
        c.expect(clauses[last_shown + 1], t[2020])
        second = c.screen()
        self.assertNotIn(clauses[last_shown], second)
        self.assertIn(clauses[last_shown + 1], second)
        c.key("s")
        # Enter alone pages through the license and never accepts it.
        c.expect(clauses[-1], t[2202], fill(t[2205], t.label(36)))
        c.key("")
        c.expect(t[2206])
        self.assertNotIn(t[31], c.output())
        c.key("a")
        c.expect(t[31], t[2203], "(*) " + t[38], t[41], "( ) " + t[39], "( ) " + t[40], t[2022])
        c.key("")
        # Typical passes over the components page, going on and going back.
        c.expect(t[33], t[2204], t[11], t[25], t[38], t[26], t[44], t[48], t[2208],
                 fill(t[2209], "holvane", "1.2.3-4"), fill(t[2209], "quorvel-browser", "1.0-1"),
                 fill(t[2209], "quorvel-storman", "3.B-2"), t[2207])
        c.key("b")
        c.expect(t[31])
        c.key("")
        c.expect(t[33])
        self.assertNotIn(t[32], c.output())
        c.key("")
        c.expect(t[34], t[12], "e2e-driver: installed", "e2e-app: coloured line", "Done!!!!", fill(t[2024], t.label(1)))
        c.key("")
        # Without a display the proxy notice is a line of the result, not a dialog.
        c.expect(t[35], t[13], t[15], t[1005], t.proxy_line(), fill(t[2007], c.log), fill(t[2024], t.label(37)))
        c.key("")
        self.assertEqual(c.exit_status(), 0)
        self.assertNotIn(t[17], c.output())
        self.assertNotIn("\x1b", c.output())
        self.assertEqual(rpmdb.installed("holvane"), "holvane-1.2.3-4.noarch")
        self.assertEqual(rpmdb.installed("quorvel-browser"), "quorvel-browser-1.0-1.noarch")
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")
        with open(c.log) as log:
            self.assertIn("result: installed", log.read())
        self.assertNotEqual(e2e.file_identity(e2e.START_MARKER), marker)

    def test_maintain_modifies_from_the_components_page(self):
        """--maintain on a version installed by hand: Modify, Back to the maintenance page
        once, then the web server taken away on the components page; the add-on goes and
        the record is written."""
        medium, t = self.medium()
        rpmdb = self.rpmdb()
        for package, name in (("quorvel-storman", e2e.APP_FILE), ("quorvel-browser", e2e.BROWSER_FILE)):
            rpmdb.install(e2e.package(package, name))
        records = os.path.join(self.tmp, "records")
        c = self.console(medium, rpmdb, args="--maintain --record-directory " + records)
        c.expect(t[2158], t[2159], "(*) " + t.label(2160), "( ) " + t.label(2161))
        c.key("2")
        c.expect("(*) " + t.label(2161))
        c.key("")
        c.expect(t[2152], t[32])
        c.key("b")
        c.expect(t[2158])
        c.key("")
        c.expect(t[32])
        c.key("1", "")
        c.expect(t[33], t.label(2161))
        c.key("")
        # The run's end is on the page once the record and the maintenance copy are
        # settled; what is typed before it is dropped.
        c.expect(t[34], "e2e-app: QRVLAUTOWEBSERVER=no", "Done!!!!", t[2473])
        c.key("", "")
        self.assertEqual(c.exit_status(), 0)
        self.assertIsNone(rpmdb.installed("quorvel-browser"))
        with open(os.path.join(records, "quorvel-storman.ini")) as f:
            self.assertNotIn("web-server", f.read())

    def test_custom_refuses_a_locked_component_with_its_reason(self):
        medium, t = self.medium()
        rpmdb = self.rpmdb()
        c = self.console(medium, rpmdb)
        c.expect(t[2200])
        c.key("")
        c.expect(t[2202])
        c.key("a")
        c.expect(t[2022])
        c.key("3")
        c.expect("(*) " + t[40], t[2022])
        c.key("")
        c.expect(t[32], t[9], "[x] " + t[45] + " " + t[2031], t[2023])
        # The notifier requires the managed system: it stays until the notifier is cleared.
        c.key("2")
        c.expect(fill(t[2015], t[45], t[46]))
        c.key("3")
        c.expect("[ ] " + t[46], t[2023])
        c.key("2")
        c.expect("[ ] " + t[45], "[ ] " + t[46], t[2023])
        c.key("")
        c.expect(t[33], t[25], t[40], t[26], t[44], t[47], t[48])
        self.assertNotIn(squeezed(t[45]), squeezed(c.output().rsplit(t[33], 1)[1]))
        # The end of input cancels without asking.
        c.control("d")
        self.assertEqual(c.exit_status(), 3)
        self.assertNotIn(t[16], c.output())
        self.assertIsNone(rpmdb.installed("quorvel-storman"))

    def test_cancel_asks_and_yes_ends_with_nothing_installed(self):
        medium, t = self.medium()
        rpmdb = self.rpmdb()
        question = [t[16], t[18], " 1 " + t.label(19), " 2 " + t.label(20), fill(t[2032], t.label(20))]
        # Each case: from the welcome page, the keys typed and what the terminal shows then.
        cases = {
            "q, Enter alone answers No, q again, Yes by its first letter": [
                ("q", question), ("", [t[2200]]), ("q", question), ("y", [])],
            "Ctrl-C on the license page, Yes by its number": [
                ("", [t[3]]), ("^C", question), ("1", [])],
        }
        for name, steps in cases.items():
            with self.subTest(name):
                c = self.console(medium, rpmdb)
                c.expect(t[2200])
                for keys, shown in steps:
                    if keys == "^C":
                        c.control("c")
                    else:
                        c.key(keys)
                    c.expect(*shown)
                self.assertEqual(c.exit_status(), 3)
                self.assertIsNone(rpmdb.installed("quorvel-storman"))
                c.close()

    def test_welcome_is_whole_unless_its_last_paragraph_names_the_buttons(self):
        # The medium's welcome, the part of it shown, the part not shown.
        cases = [
            ("Welcome, in a single paragraph.", "Welcome, in a single paragraph.", None),
            ("First paragraph.\n\nPlease close other programs.",
             "First paragraph.\n\nPlease close other programs.", None),
            ("First paragraph.\n\nPress Next when ready.", "First paragraph.", "Press Next when ready."),
        ]
        for n, (welcome, shown, left_out) in enumerate(cases):
            with self.subTest(welcome):
                root = os.path.join(self.tmp, "welcome%d" % n)
                os.makedirs(root)
                medium = e2e.Medium(root, texts={1001: welcome},
                                    packages=[e2e.package("quorvel-storman", e2e.APP_FILE)])
                t = e2e.Texts(medium.db)
                c = self.console(medium, e2e.RpmDb(root))
                c.expect(t[28], shown, t[2200])
                if left_out:
                    self.assertNotIn(squeezed(left_out), squeezed(c.output()))
                c.close()

    def test_the_medium_key_is_asked_about_and_imported_only_on_yes(self):
        demo = os.environ.get("E2E_DEMO_MEDIUM", "")
        key_file = os.path.join(demo, "RPM-GPG-KEY-quorvel-demo")
        if not os.path.exists(key_file):
            self.skipTest("the demo medium is not signed (no gpg at build time)")
        # The demo medium's signed packages and its key on a medium of the tests.
        medium = e2e.Medium(self.tmp, packages=[os.path.join(demo, name) for name in
                                                (e2e.APP_FILE, e2e.DRIVER_FILE, e2e.BROWSER_FILE)] + [key_file])
        t = e2e.Texts(medium.db)
        # answer, what follows it, exit status, installed
        cases = [("n", t[2123].split("%s")[0] + "0x", 1, None), ("y", "Done!!!!", 0, "quorvel-storman-3.B-2.noarch")]
        for answer, after, status, installed in cases:
            with self.subTest(answer):
                rpmdb = e2e.RpmDb(os.path.join(self.tmp, "db-" + answer))
                c = self.console(medium, rpmdb)
                for title in (28, 29, 31, 33):
                    c.expect(t[title])
                    c.key("a" if title == 29 else "")
                c.expect(t[34], t[2100], "Importing GPG key 0x",
                         os.path.join(medium.dir, os.path.basename(key_file)), t[2121] + " [y/N]:")
                c.key(answer)
                c.expect(after)
                c.expect(t[2130] if status else t[2040])
                c.key("")
                c.expect(t[35])
                c.key("", "")
                self.assertEqual(c.exit_status(), status)
                self.assertEqual(rpmdb.installed("quorvel-storman"), installed)
                self.assertEqual(rpmdb.installed("gpg-pubkey") is not None, status == 0)
                c.close()

    def test_pages_fit_the_dumb_terminal_in_every_locale(self):
        # (LANG, its encoding, the texts' language, a license line, that line as shown)
        cases = [
            ("en_US.UTF-8", "utf-8", "en_US", "Ünïcödé – 日本語", "Ünïcödé – 日本語"),
            ("de_DE.ISO-8859-1", "latin-1", "de_DE", "Ünïcödé – 日本語", "Ünïcödé ? ???"),
            ("ja_JP.EUC-JP", "euc-jp", "ja_JP", "日本語のライセンス条項", "日本語のライセンス条項"),
        ]
        long_word = "https://example.com/" + "x" * 150
        for lang, encoding, language, line, shown in cases:
            with self.subTest(lang):
                root = os.path.join(self.tmp, language)
                os.makedirs(root)
                medium = e2e.Medium(root, license_text="%s\n\n%s\n" % (line, long_word),
                                    packages=[e2e.package("quorvel-storman", e2e.APP_FILE)])
                t = e2e.Texts(medium.db, language)
                c = self.console(medium, e2e.RpmDb(root), lang, encoding)
                c.expect(t[28], t[2200])
                c.key("")
                c.expect(t[29], shown, long_word, t[2202])
                c.key("a")
                c.key("3")
                c.expect("(*) " + t[40])
                c.key("")
                c.expect(t[32], t[9], t[2023])
                c.key("q")
                c.expect(t[16])
                c.key("1")
                self.assertEqual(c.exit_status(), 3)
                output = c.output()
                self.assertNotIn("\x1b", output)
                lines = output.replace("\r", "").split("\n")
                widest = max(lines, key=columns)
                self.assertLessEqual(columns(widest), COLUMNS, widest)
                c.close()

    def test_ctrl_c_during_the_install_lets_it_finish_then_ends(self):
        medium, t = self.medium(app_spec="quorvel-storman-silent")
        rpmdb = self.rpmdb()
        c = self.console(medium, rpmdb)
        for page, key in ((t[2200], ""), (t[2202], "a"), (t[2022], ""), (t[2204], "")):
            c.expect(page)
            c.key(key)
        c.expect(t[34], SILENT_QUIET)
        c.control("c")
        c.expect(t[23])
        self.assertNotIn(SILENT_AWAKE, c.output(), "the script spoke again too early for this test")
        # The result and the log's place once it ended.
        c.expect(SILENT_AWAKE, "Done!!!!", t[13], t[15], fill(t[2007], c.log))
        self.assertEqual(c.exit_status(), 0)
        self.assertNotIn(t[35], c.output())
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")


if __name__ == "__main__":
    e2e.main()
