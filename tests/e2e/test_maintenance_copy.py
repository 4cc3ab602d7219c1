"""The maintenance copy an install leaves beside its record, through the real rpm: with the
medium gone, the copy's own stage3 tells the status, repairs a deleted file from the kept
packages and removes the installed version (taking the copy with it); a copy another
account could change is refused; a copy without packages says a repair needs the medium;
after an upgrade, --rollback from the copy returns to the version before."""

import os
import shutil
import stat
import subprocess

import configparser

import e2e_lib as e2e

APP_FILE_ON_DISK = "/usr/share/quorvel-e2e/storman.txt"
PACKAGES = [e2e.package("quorvel-storman-files", e2e.APP_FILE),
            e2e.package("holvane", e2e.DRIVER_FILE),
            e2e.package("quorvel-browser", e2e.BROWSER_FILE)]


class MaintenanceCopy(e2e.WizardTest):

    def stage3(self, directory, rpmdb, args):
        env = dict(rpmdb.env(), DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        run = subprocess.run([os.path.join(directory, "stage3")] + args, cwd="/",
                             env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                             timeout=120)
        return run.returncode, run.stdout, run.stderr

    def install(self, extra=()):
        medium = e2e.Medium(self.tmp, packages=PACKAGES)
        rpmdb = self.rpmdb()
        status, out, err = self.stage3(medium.dir, rpmdb, [
            "--unattended", "--accept-license", "--components", "web-server,notifier,driver"]
            + list(extra))
        self.assertEqual(status, 0, out + err)
        copy = os.path.join(os.path.dirname(rpmdb.path), "stage3-records", "quorvel-storman")
        # The medium is gone: every day-two action comes from the copy.
        shutil.rmtree(medium.dir)
        return rpmdb, copy

    def test_day_two_from_the_copy_alone(self):
        rpmdb, copy = self.install()
        info = os.lstat(copy)
        self.assertEqual((info.st_uid, stat.S_IMODE(info.st_mode)), (0, 0o700))
        self.assertEqual(sorted(os.listdir(copy)), sorted(
            ["stage3", "stage3-gtk", "setupresDB", "license.txt", "SHA256SUMS"]
            + [os.path.basename(p) for p in PACKAGES]))
        check = subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=copy,
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)

        status, out, err = self.stage3(copy, rpmdb, ["--status"])
        self.assertEqual(status, 0, err)
        self.assertIn("application: quorvel-storman, medium 3.B-2, installed 3.B-2", out)
        self.assertIn("maintenance copy: %s (" % copy, out)
        status, out, err = self.stage3(copy, rpmdb, ["--status", "--json"])
        state = e2e.stage3_json(out)
        self.assertEqual(state["maintenance_copy"]["path"], copy)
        self.assertGreater(state["maintenance_copy"]["size"], 0)

        os.unlink(APP_FILE_ON_DISK)
        status, out, err = self.stage3(copy, rpmdb, ["--repair"])
        self.assertEqual(status, 0, out + err)
        self.assertEqual(rpmdb.rpm("-V", "quorvel-storman"), "")
        # The repair made the copy again, whole, from its own kept packages.
        self.assertIn(e2e.APP_FILE, os.listdir(copy))

        # A copy that another account owns or could write to is not used.
        planted = [
            (lambda: os.chmod(copy, 0o777), lambda: os.chmod(copy, 0o700), "writ"),
            (lambda: os.chown(os.path.join(copy, "setupresDB"), 65534, 65534),
             lambda: os.chown(os.path.join(copy, "setupresDB"), 0, 0), "nobody"),
        ]
        for plant, restore, reason in planted:
            plant()
            try:
                status, out, err = self.stage3(copy, rpmdb, ["--repair"])
            finally:
                restore()
            self.assertEqual(status, 1, out + err)
            self.assertIn(reason, err)

        status, out, err = self.stage3(copy, rpmdb, ["--remove", "--yes"])
        self.assertEqual(status, 0, out + err)
        self.assertIsNone(rpmdb.installed("quorvel-storman"))
        self.assertFalse(os.path.lexists(copy))
        self.assertFalse(os.path.lexists(copy + ".ini"))

    def test_copy_without_packages(self):
        rpmdb, copy = self.install(["--keep-packages=no"])
        self.assertFalse([name for name in os.listdir(copy) if name.endswith(".rpm")])
        status, out, err = self.stage3(copy, rpmdb, ["--repair"])
        self.assertEqual(status, 1, out + err)
        self.assertIn("--keep-packages=no", err)
        status, out, err = self.stage3(copy, rpmdb, ["--remove", "--yes"])
        self.assertEqual(status, 0, out + err)
        self.assertIsNone(rpmdb.installed("quorvel-storman"))


    def test_rollback_after_an_upgrade(self):
        rpmdb, copy = self.install()
        nothing = e2e.project_texts(self.tmp)[2502]
        # Nothing kept from before: refused, nothing changed.
        status, out, err = self.stage3(copy, rpmdb, ["--rollback"])
        self.assertEqual((status, nothing in err), (1, True), out + err)

        newer = e2e.Medium(self.tmp, name="newer", packages=[
            e2e.package("quorvel-storman-newer", "quorvel-storman-3.C-1.noarch.rpm"), PACKAGES[1]])
        status, out, err = self.stage3(newer.dir, rpmdb, ["--unattended", "--accept-license"])
        self.assertEqual(status, 0, out + err)
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.C-1.noarch")
        self.assertIn(e2e.APP_FILE, os.listdir(os.path.join(copy, "previous")))
        shutil.rmtree(newer.dir)

        status, out, err = self.stage3(copy, rpmdb, ["--rollback", "--dry-run", "--json"])
        self.assertEqual(e2e.stage3_json(out)["steps"],
                         ["rpm -U --oldpackage " + os.path.join(copy, "previous", e2e.APP_FILE)])
        status, out, err = self.stage3(copy, rpmdb, ["--rollback"])
        self.assertEqual(status, 0, out + err)
        self.assertIn("--oldpackage", out)
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")
        self.assertEqual(rpmdb.rpm("-V", "quorvel-storman"), "")
        record = configparser.ConfigParser()
        record.read(copy + ".ini")
        self.assertEqual(record["install"]["application-version"], "3.B-2")
        # The copy now holds the version returned to, and the newer one as the one before.
        self.assertIn(e2e.APP_FILE, os.listdir(copy))
        self.assertIn("quorvel-storman-3.C-1.noarch.rpm", os.listdir(os.path.join(copy, "previous")))


if __name__ == "__main__":
    e2e.main()
