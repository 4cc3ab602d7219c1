"""Start-up refusals of the stage3 program: exact lines on standard error,
exit status 1, no window mapped and no start marker left."""

import time

import e2e_lib as e2e


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
        self.refuse(medium, self.rpmdb(), "Cannot load resource file.\nSetup cannot continue.\n")

    def test_no_application_package(self):
        medium = e2e.Medium(self.tmp, packages=[e2e.package("holvane", e2e.DRIVER_FILE)])
        texts = e2e.Texts(medium.db)
        self.refuse(medium, self.rpmdb(), texts[56] + "\n" + texts[57] + "\n")

    def test_same_application_version_installed(self):
        rpmdb = self.rpmdb()
        rpmdb.install(e2e.package("quorvel-storman", e2e.APP_FILE))
        medium = self.app_medium()
        texts = e2e.Texts(medium.db)
        self.refuse(medium, rpmdb, texts[55] + "\n" + texts[57] + "\n")

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


if __name__ == "__main__":
    e2e.main()
