"""Start-up refusals of the stage3 program: exact lines on standard error,
exit status 1, no window mapped and no start marker left; with --refusal-dialog,
the same lines in an error dialog as well."""

import os
import time

import e2e_lib as e2e
from e2e_lib import Atspi


def answer_refusal_dialog(test, wizard, lines):
    """Checks that wizard shows the refusal lines in an error dialog and that OK
    ends it with status 1."""
    def dialog():
        return next((w for w in wizard.windows() if w is not None and
                     w.get_role() == Atspi.Role.ALERT and
                     w.get_state_set().contains(Atspi.StateType.SHOWING)), None)
    alert = e2e.wait_until(dialog, 20, 0.2, "the refusal dialog")
    test.assertEqual(e2e.names(alert, Atspi.Role.LABEL), ["\n".join(lines)])
    e2e.click(e2e.find(alert, Atspi.Role.PUSH_BUTTON, "OK"))
    test.assertEqual(wizard.wait(30), 1)


class StartupRefusals(e2e.WizardTest):

    def refuse(self, medium, rpmdb, expected):
        self.x.watch_maps()
        began = time.time_ns()
        # No accessibility bridge: the refusal lines are all that may reach
        # standard error.
        w = self.start(medium, rpmdb, accessible=False)
        self.assertEqual(w.wait(30), 1)
        self.assertEqual(w.stderr().decode("utf-8"), expected)
        self.x.d.sync()
        self.assertEqual(self.x.mapped_since_watch(), [], "a window was shown")
        self.assertFalse(e2e.made_since(e2e.START_MARKER, began))

    def app_medium(self, **kwargs):
        return e2e.Medium(self.tmp, packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                              e2e.package("holvane", e2e.DRIVER_FILE)], **kwargs)

    def test_no_resource_database(self):
        medium = self.app_medium(database=False)
        # The two fixed lines, then where the file was looked for (from the program's texts).
        where = e2e.project_texts(self.tmp)[2381].replace("%s", os.path.realpath(medium.dir))
        self.refuse(medium, self.rpmdb(), "Cannot load resource file.\nSetup cannot continue.\n" + where + "\n")

    def test_no_application_package(self):
        medium = e2e.Medium(self.tmp, packages=[e2e.package("holvane", e2e.DRIVER_FILE)])
        texts = e2e.Texts(medium.db)
        self.refuse(medium, self.rpmdb(), texts[56] + "\n" + texts[57] + "\n")

    def test_same_application_version_installed(self):
        rpmdb = self.rpmdb()
        rpmdb.install(e2e.package("quorvel-storman", e2e.APP_FILE))
        medium = self.app_medium()
        texts = e2e.Texts(medium.db)
        # The specified refusal, then the line naming the way to maintain it.
        self.refuse(medium, rpmdb, texts[55] + "\n" + texts[57] + "\n" + texts[2150] + "\n")

    def test_no_license_text(self):
        medium = self.app_medium(license_text=None)
        texts = e2e.Texts(medium.db)
        self.refuse(medium, self.rpmdb(), texts[54] + "\n" + texts[57] + "\n")

    def test_refusal_texts_follow_the_language(self):
        # The refusal comes from the database in the user's language.
        medium = e2e.Medium(self.tmp, packages=[])
        texts = e2e.Texts(medium.db, "de_DE")
        self.assertNotEqual(texts[56], e2e.Texts(medium.db)[56])
        self.x.watch_maps()
        w = self.start(medium, self.rpmdb(), accessible=False, extra_env={"LANG": "de_DE.UTF-8"})
        self.assertEqual(w.wait(30), 1)
        self.assertEqual(w.stderr().decode("utf-8"), texts[56] + "\n" + texts[57] + "\n")

    def test_refusal_dialog(self):
        # The fixed lines of a medium without texts, and the database's texts in an
        # EUC-JP locale: the dialog shows what standard error got, in UTF-8.
        rpmdb = self.rpmdb()
        no_db = self.app_medium(database=False)
        no_app = e2e.Medium(self.tmp, name="no-app",
                            packages=[e2e.package("holvane", e2e.DRIVER_FILE)])
        ja = e2e.Texts(no_app.db, "ja_JP")
        where = e2e.project_texts(self.tmp)[2381].replace("%s", os.path.realpath(no_db.dir))
        cases = [(no_db, "en_US.UTF-8", "utf-8",
                  ["Cannot load resource file.", "Setup cannot continue.", where]),
                 (no_app, "ja_JP.eucJP", "euc-jp", [ja[56], ja[57]])]
        for medium, lang, encoding, lines in cases:
            with self.subTest(lang=lang):
                w = self.start(medium, rpmdb, extra_env={"LANG": lang},
                               args=["--refusal-dialog"])
                answer_refusal_dialog(self, w, lines)
                self.assertEqual(w.stderr().decode(encoding).splitlines()[-len(lines):], lines)


if __name__ == "__main__":
    e2e.main()
