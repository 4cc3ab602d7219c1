"""The wizard runs as root. A second account (nobody) plants links, FIFOs, files
and directories at the names the wizard uses in /tmp and races it there; the
install output and the medium are hostile too. Nothing of theirs may run as
root, be written through, hang the wizard or decide the install's outcome."""

import glob
import os
import pwd
import stat
import subprocess

import e2e_lib as e2e
from e2e_lib import Atspi

LABEL = Atspi.Role.LABEL
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]


class RootSafety(e2e.WizardTest):

    def setUp(self):
        super().setUp()
        self.attackers = []

    def tearDown(self):
        for p in self.attackers:
            p.kill()
            p.wait()
        super().tearDown()

    def as_nobody(self, script, wait=True):
        """Runs a shell script as nobody; in the background unless wait."""
        p = subprocess.Popen(NOBODY + ["/bin/sh", "-c", script], cwd="/tmp")
        if wait:
            self.assertEqual(p.wait(10), 0, script)
        else:
            self.attackers.append(p)
        return p

    def typical_medium(self, driver="holvane", name="medium", app=e2e.APP_FILE, **kwargs):
        medium = e2e.Medium(self.tmp, name=name, packages=[e2e.package(driver, e2e.DRIVER_FILE)],
                            **kwargs)
        with open(e2e.package("quorvel-storman", e2e.APP_FILE), "rb") as src, \
                open(os.path.join(medium.dir, app), "wb") as dst:
            dst.write(src.read())
        return medium, e2e.Texts(medium.db)

    def root_only_file(self, name="victim"):
        """A file only root may write, in the test's own directory (mode 0700)."""
        path = os.path.join(self.tmp, name)
        with open(path, "w") as f:
            f.write("precious\n")
        os.chmod(path, 0o600)
        return path

    def assert_own_regular_file(self, path):
        st = os.lstat(path)
        self.assertTrue(stat.S_ISREG(st.st_mode), path)
        self.assertEqual(st.st_uid, 0, path)

    def install(self, medium, texts, rpmdb=None, before_install=None, **kwargs):
        rpmdb = rpmdb or self.rpmdb()
        w = self.start(medium, rpmdb, **kwargs)
        d = e2e.Driver(w, texts)
        if before_install:
            before_install(w)
        d.start_typical_install()
        return w, d, rpmdb, d.wait_end_of_install()

    def test_planted_settings_directory_is_moved_aside_and_the_install_goes_on(self):
        self.as_nobody("mkdir " + e2e.SETTINGS_FILE)
        medium, t = self.typical_medium()
        w, d, rpmdb, output = self.install(medium, t)
        asides = glob.glob(e2e.SETTINGS_FILE + ".*")
        self.assertEqual(len(asides), 1, output)
        note = t[2061].replace("%s", e2e.SETTINGS_FILE, 1).replace("%s", asides[0])
        lines = output.split("\n")
        # Before the install's output (the checks' notes may come first).
        self.assertIn(note, lines[:lines.index("Done!!!!")])
        self.assertEqual(lines[-2:], ["Done!!!!", ""])
        with open(w.log_path) as f:
            self.assertIn("\n" + note + "\n", f.read())
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")
        # nobody's own directory under the new name; root's settings file went with the install.
        self.assertEqual(os.stat(asides[0]).st_uid, pwd.getpwnam("nobody").pw_uid)
        self.assertFalse(os.path.lexists(e2e.SETTINGS_FILE))

    def test_links_at_the_fixed_names_are_replaced_not_written_through(self):
        victim = self.root_only_file()
        for name in ("quorvelInstallSettings", "quorvelInstallError"):
            self.as_nobody("ln -s %s /tmp/%s" % (victim, name))
        medium, t = self.typical_medium(driver="holvane-failing")
        w, d, rpmdb, output = self.install(medium, t)
        self.assertIn("e2e-driver: no controller found", output)
        with open(victim) as f:
            self.assertEqual(f.read(), "precious\n")
        self.assert_own_regular_file(e2e.ERROR_FILE)
        with open(e2e.ERROR_FILE) as f:
            self.assertNotEqual(int(f.read()), 0)
        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, LABEL), e2e.failure_form(t, w))
        # Finish after a failure: no proxy notice about using what was not installed.
        d.press(37)
        self.assertEqual(w.wait(20), 2)

    def test_fifos_at_the_fixed_names_never_hang_the_wizard(self):
        for name in ("stage3started", "quorvelInstallError"):
            self.as_nobody("mkfifo -m 666 /tmp/%s" % name)
        medium, t = self.typical_medium(driver="holvane-failing")
        w, d, rpmdb, output = self.install(medium, t)
        self.assert_own_regular_file(e2e.START_MARKER)
        self.assert_own_regular_file(e2e.ERROR_FILE)
        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, LABEL), e2e.failure_form(t, w))

    def test_directory_at_the_start_marker_is_a_warning(self):
        self.as_nobody("mkdir /tmp/stage3started")
        medium, t = self.typical_medium()
        w = self.start(medium, self.rpmdb())
        w.window(t[1000])
        self.assertEqual(w.stderr().decode("utf-8"), t[2001] + "\n")

    def test_other_users_files_do_not_decide_the_outcome(self):
        # nobody keeps writing a failure into an error file of their own, and
        # takes the script's old name once the wizard's process id is known.
        self.as_nobody("while :; do echo 1 > /tmp/quorvelInstallError; sleep 0.02; done", wait=False)

        def take_script_name(w):
            self.as_nobody("mkdir /tmp/quorvelInst.%d" % w.pid)
        medium, t = self.typical_medium()
        w, d, rpmdb, output = self.install(medium, t, before_install=take_script_name)
        self.assertEqual(output.split("\n")[-2:], ["Done!!!!", ""])
        self.assertEqual(rpmdb.installed("holvane"), "holvane-1.2.3-4.noarch")
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")
        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, LABEL), e2e.success_form(t, w))

    def test_endless_output_keeps_the_newest_lines_in_short_view_lines(self):
        medium, t = self.typical_medium(driver="holvane-noisy")
        w, d, rpmdb, output = self.install(medium, t)
        lines = output.split("\n")
        self.assertEqual(lines[0], t[2002])
        self.assertLessEqual(len(lines), 10000 + 500 + 2)
        self.assertEqual(lines[-2:], ["Done!!!!", ""])
        self.assertIn("e2e-driver: installed", lines)
        long_lines = [l for l in lines if l.startswith("xxxx")]
        self.assertGreater(len(long_lines), 200)
        self.assertLessEqual(max(len(l) for l in long_lines), 4096 + 254)
        self.assertEqual(rpmdb.installed("holvane"), "holvane-1.2.3-4.noarch")

    def test_long_medium_path_installs(self):
        name = "/".join(["m" * 150] * 4)
        medium, t = self.typical_medium(name=name)
        self.assertGreater(len(medium.dir), 600)
        w, d, rpmdb, output = self.install(medium, t, argv0=medium.program)
        self.assertEqual(output.split("\n")[-2:], ["Done!!!!", ""])
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")

    def test_package_file_that_rpm_cannot_take_is_refused_at_start_up(self):
        app = "quorvel-storman-3.B-2.it's.rpm"
        medium, t = self.typical_medium(app=app)
        rpmdb = self.rpmdb()
        w = self.start(medium, rpmdb, accessible=False)
        self.assertEqual(w.wait(30), 1)
        self.assertEqual(w.stderr().decode("utf-8"),
                         "%s\n%s/%s\n%s\n" % (t[2003], medium.dir, app, t[57]))
        self.assertIsNone(rpmdb.installed("holvane"))

    def test_lang_cannot_point_the_file_search_elsewhere(self):
        with open(os.path.join(self.tmp, "license.txt"), "w") as f:
            f.write("Not the medium's license.\n")
        medium, t = self.typical_medium(license_text="The medium's license.\n")
        w = self.start(medium, self.rpmdb(), extra_env={"LANG": ".."})
        d = e2e.Driver(w, t)
        d.press(1)
        d.wait_title(29)
        self.assertEqual(e2e.text_of(d.output_view()), "The medium's license.")

    def test_refusal_texts_cannot_command_the_terminal(self):
        medium = e2e.Medium(self.tmp, packages=[],
                            texts={56: "\x1b]0;owned\x07\x1b[2Jno package\x1b[H",
                                   57: "stop\x08\x08\x08\x08here"})
        w = self.start(medium, self.rpmdb(), accessible=False)
        self.assertEqual(w.wait(30), 1)
        self.assertEqual(w.stderr().decode("utf-8"), "]0;owned[2Jno package[H\nstophere\n")


if __name__ == "__main__":
    e2e.main()
