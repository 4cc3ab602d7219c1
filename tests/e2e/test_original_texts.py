"""A medium made before the programs' added texts: its database holds only the original
texts and the settings (ids below 2000, 5001 to 5004). The programs answer the others
from the texts they carry, in the language LANG asks for: the graphical wizard, the
console wizard and an unattended install show no empty title, prompt or message."""

import os
import subprocess

import e2e_lib as e2e
from e2e_lib import Atspi
from test_console import Console, fill

LABEL = Atspi.Role.LABEL


class OriginalTexts(e2e.WizardTest):

    def medium(self, root=None):
        root = root or self.tmp
        return e2e.Medium(root, original_texts=True,
                          packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                    e2e.package("holvane", e2e.DRIVER_FILE),
                                    e2e.package("quorvel-browser", e2e.BROWSER_FILE)])

    def test_graphical_wizard_says_how_the_install_ended(self):
        medium = self.medium()
        t = e2e.project_texts(self.tmp)
        rpmdb = self.rpmdb()
        w = self.start(medium, rpmdb)
        d = e2e.Driver(w, t)
        d.start_typical_install()
        d.wait_end_of_install()
        self.assertEqual(e2e.names(d.win, LABEL), [t[2040], t[2042]])
        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, LABEL), e2e.success_form(t, w))

    def test_console_wizard_prompts_in_the_users_language(self):
        medium = self.medium()
        t = e2e.project_texts(self.tmp, "de_DE")
        rpmdb = self.rpmdb()
        c = Console(self.tmp, "console", medium, rpmdb, "de_DE.UTF-8", "utf-8")
        try:
            c.expect(t[28], fill(t[2024], t.label(1)) + " " + fill(t[2026], t.label(2)))
            c.key("")
            c.expect(t[29], t[2202], fill(t[2205], t.label(36)))
            c.key("a")
            c.expect(t[31], "(*) " + t[38], t[2022])
            c.key("")
            c.expect(t[33], fill(t[2025], t.label(0)))
            c.key("")
            c.expect(t[34], "Done!!!!", fill(t[2044], "100"), t[2040], t[2042],
                     fill(t[2024], t.label(1)))
            c.key("")
            c.expect(t[35], fill(t[2007], c.log))
        finally:
            c.close()

    def test_program_texts_take_the_closest_language_as_the_mediums_do(self):
        """The refusal of an installed version: the medium's two lines and the program's
        line naming --maintain, all three in the language closest to LANG, also where LANG
        names a UTF-8 locale that is not made (de_AT, fr_CA)."""
        medium = self.medium()
        rpmdb = self.rpmdb()
        rpmdb.install(e2e.package("quorvel-storman", e2e.APP_FILE))
        for lang, language in (("de_AT.UTF-8", "de_DE"), ("fr_CA.UTF-8", "fr_FR"),
                               ("ja_JP.UTF-8", "ja_JP"), ("C", "en_US")):
            with self.subTest(lang):
                t = e2e.project_texts(self.tmp, language)
                env = rpmdb.env()
                for name in ("LC_ALL", "LC_CTYPE", "LANGUAGE"):
                    env.pop(name, None)
                env.update(LANG=lang, DISPLAY="", WAYLAND_DISPLAY="")
                run = subprocess.run(["./stage3", "--dry-run"], cwd=medium.dir, env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, timeout=120)
                self.assertEqual(run.returncode, 1)
                self.assertEqual(run.stderr.decode("utf-8"), "%s\n%s\n%s\n" % (t[55], t[57], t[2150]))

    def test_unattended_results_and_refusals_in_the_users_language(self):
        cases = [
            # LANG, the texts' language, options, exit status (0 installed, 3 license refused)
            ("de_DE.UTF-8", "de_DE", ["--accept-license"], 0),
            ("fr_FR.UTF-8", "fr_FR", [], 3),
        ]
        for lang, language, options, status in cases:
            with self.subTest(lang):
                root = os.path.join(self.tmp, language)
                os.makedirs(root)
                medium = self.medium(root)
                t = e2e.project_texts(root, language)
                rpmdb = e2e.RpmDb(root)
                log = os.path.join(root, "install.log")
                env = rpmdb.env()
                for name in ("LC_ALL", "LANGUAGE"):
                    env.pop(name, None)
                env.update(LANG=lang, DISPLAY="", WAYLAND_DISPLAY="")
                run = subprocess.run(["./stage3", "--unattended", "--log", log] + options,
                                     cwd=medium.dir, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
                out, err = run.stdout.decode("utf-8"), run.stderr.decode("utf-8")
                self.assertEqual(run.returncode, status, out + err)
                if status == 0:
                    # The typical setup's web server adds its proxy notice after the result.
                    self.assertEqual(out.split("\n")[-3:],
                                     [t[2008] + " " + fill(t[2007], log), t.proxy_line(), ""])
                    self.assertEqual(err, "")
                else:
                    self.assertEqual((out, err), ("", t[2011] + "\n"))

if __name__ == "__main__":
    e2e.main()
