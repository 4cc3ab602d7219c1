"""The run history and the support bundle, through the real rpm: an install refused by its
checks, an install and a remove each leave a line that --history lists (as text and as JSON); --support-bundle writes a
compressed tar archive of root's, mode 0600, holding exactly what its MANIFEST names, and
refuses a name that exists and a directory others can write to without the sticky bit."""

import json
import os
import subprocess
import tarfile

import e2e_lib as e2e


class History(e2e.WizardTest):

    def stage3(self, medium, rpmdb, args):
        env = dict(rpmdb.env(), DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        run = subprocess.run(["./stage3"] + args, cwd=medium.dir, env=env,
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        return run.returncode, run.stdout, run.stderr

    def test_runs_listed_and_bundle_written(self):
        medium = e2e.Medium(self.tmp, packages=[
            e2e.package("quorvel-storman", e2e.APP_FILE),
            e2e.package("holvane", e2e.DRIVER_FILE)])
        rpmdb = self.rpmdb()
        records = os.path.join(os.path.dirname(rpmdb.path), "stage3-records")

        status, out, err = self.stage3(medium, rpmdb, ["--history"])
        self.assertEqual((status, out), (0, ""))
        self.assertIn("No run history in " + records, err)

        # Refused by the checks (the packages are not signed): kept too.
        status, out, err = self.stage3(medium, rpmdb, [
            "--unattended", "--accept-license", "--components", "driver", "--require-signatures"])
        self.assertEqual(status, 1, err)
        status, out, err = self.stage3(medium, rpmdb, [
            "--unattended", "--accept-license", "--components", "driver"])
        self.assertEqual(status, 0, err)

        # The bundle of the installed product.
        bundle = os.path.join(self.tmp, "support.tar.gz")
        status, out, err = self.stage3(medium, rpmdb, ["--support-bundle", bundle])
        self.assertEqual(status, 0, err)
        info = os.lstat(bundle)
        self.assertEqual((info.st_uid, info.st_mode & 0o7777), (os.geteuid(), 0o600))
        listed = subprocess.run(["tar", "tzf", bundle], capture_output=True, text=True,
                                check=True).stdout.split()
        with tarfile.open(bundle) as archive:
            manifest = archive.extractfile("stage3-support/MANIFEST").read().decode()
            record = archive.extractfile("stage3-support/record/quorvel-storman.ini").read()
            qi = archive.extractfile("stage3-support/packages/holvane.rpm-qi").read().decode()
        named = ["stage3-support/" + line.split("\t")[0] for line in manifest.splitlines()]
        self.assertEqual(sorted(listed), sorted(named))
        for name in ("record/quorvel-storman.history", "packages/quorvel-storman.rpm-V",
                     "system/secure-boot", "system/kernel-release", "system/os-release"):
            self.assertIn("stage3-support/" + name, listed)
        with open(os.path.join(records, "quorvel-storman.ini"), "rb") as f:
            self.assertEqual(record, f.read())
        self.assertIn("Version     : 1.2.3", qi)

        # Never over a file or a link that is there, nor where others may swap the name.
        link = os.path.join(self.tmp, "link.tar.gz")
        os.symlink(os.path.join(self.tmp, "elsewhere"), link)
        shared = os.path.join(self.tmp, "shared")
        os.mkdir(shared)
        os.chmod(shared, 0o777)
        for path, says in ((bundle, "exists"), (link, "exists"),
                           (os.path.join(shared, "b.tar.gz"), "not sticky")):
            status, out, err = self.stage3(medium, rpmdb, ["--support-bundle", path])
            self.assertEqual(status, 1, path)
            self.assertIn(says, err)
        self.assertFalse(os.path.lexists(os.path.join(self.tmp, "elsewhere")))
        self.assertEqual(os.listdir(shared), [])

        status, out, err = self.stage3(medium, rpmdb, ["--remove", "--yes"])
        self.assertEqual(status, 0, err)

        status, out, err = self.stage3(medium, rpmdb, ["--history"])
        self.assertEqual(status, 0, err)
        lines = out.splitlines()
        self.assertEqual(len(lines), 3, out)
        self.assertRegex(lines[0], r" install quorvel-storman: application none -> none, "
                                   r"driver none -> none, add-on none -> none; refused, "
                                   r"exit status 1")
        self.assertRegex(lines[1], r" install quorvel-storman: application none -> 3.B-2, "
                                   r"driver none -> 1.2.3-4, add-on none -> none; succeeded, "
                                   r"exit status 0, log /")
        self.assertRegex(lines[2], r" remove quorvel-storman: application 3.B-2 -> none, "
                                   r"driver 1.2.3-4 -> 1.2.3-4, .*; succeeded, exit status 0")
        status, out, err = self.stage3(medium, rpmdb, ["--history", "--json"])
        runs = [e2e.stage3_json(line) for line in out.splitlines()]
        self.assertEqual([(r["action"], r["application_after"], r["result"]) for r in runs],
                         [("install", None, "refused"), ("install", "3.B-2", "succeeded"),
                          ("remove", None, "succeeded")])
        history = os.path.join(records, "quorvel-storman.history")
        self.assertEqual(runs[1]["history"], history)
        info = os.stat(history)
        self.assertEqual((info.st_uid, info.st_mode & 0o7777), (0, 0o644))
        # The history needs no medium: only the records' directory is read.
        status, out, err = self.stage3(medium, rpmdb, ["--history", "--medium", self.tmp])
        self.assertEqual((status, len(out.splitlines())), (0, 3), err)


if __name__ == "__main__":
    e2e.main()
