"""Root starts stage3 by its path from anywhere, as an administrator does; a second
account (nobody) plants files where root stands, owns parts of a medium, and feeds
the program inputs that never end or command a terminal. The medium is the program's
own directory, a medium another account could change is refused, and every input is
read with limits and told about truthfully."""

import os
import pty
import pwd
import shutil
import subprocess
import tempfile

import e2e_lib as e2e

NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]
NOBODY_UID = pwd.getpwnam("nobody").pw_uid
SETUP = os.path.join(os.path.dirname(os.path.abspath(e2e.PO_DIR)), "setup")
ROOT_LOGS = "/var/log/stage3"


class MediumAndInputs(e2e.WizardTest):

    def medium(self, name="medium", app="quorvel-storman", root=None, **kwargs):
        m = e2e.Medium(root or self.tmp, name=name, packages=[e2e.package(app, e2e.APP_FILE)],
                       **kwargs)
        return m, e2e.Texts(m.db)

    def run_stage3(self, program, args, cwd, rpmdb=None, env=None, timeout=60):
        """Runs program without a display; (status, stdout, stderr) as bytes. A run that
        does not end within timeout is killed and fails the test."""
        full = (rpmdb or self.shared_rpmdb()).env()
        full.update(DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        for name in ("LC_ALL", "LANGUAGE", "SUDO_UID", "PKEXEC_UID"):
            full.pop(name, None)
        full.update(env or {})
        p = subprocess.Popen([program] + args, cwd=cwd, env=full, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            out, err = p.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            p.communicate()
            raise AssertionError("%s %s did not end within %d s" % (program, args, timeout))
        return p.returncode, out, err

    def rpmdb_in(self, name):
        return e2e.RpmDb(os.path.join(self.tmp, name))

    def shared_rpmdb(self):
        """One database for the runs that install nothing."""
        if not hasattr(self, "_shared"):
            self._shared = self.rpmdb_in("shared")
        return self._shared

    def plant(self, path, source):
        """nobody writes the bytes of source to path."""
        with open(source, "rb") as f:
            subprocess.run(NOBODY + ["/bin/sh", "-c", 'cat > "$0"', path], stdin=f, check=True)

    def test_started_from_anywhere_the_medium_is_the_programs_directory(self):
        medium, t = self.medium()
        # nobody's texts and package, where root stands (/tmp) and beside the medium.
        theirs = e2e.Medium(self.tmp, name="theirs", texts={2008: "nobody's texts"})
        home = tempfile.mkdtemp(prefix="stage3-e2e-home-", dir="/tmp")
        os.chown(home, NOBODY_UID, -1)
        planted = [os.path.join(place, name) for place in ("/tmp", home)
                   for name in ("setupresDB", "quorvel-storman-3.Z-9.noarch.rpm")]
        programs = os.path.join(self.tmp, "programs")
        os.makedirs(programs)
        for name in ("stage3", "stage3-gtk"):
            shutil.copy2(os.path.join(medium.dir, name), programs)
        # A directory CDPATH leads to holding a "medium" of nobody's.
        cdpath = os.path.join(self.tmp, "cdpath")
        os.makedirs(os.path.join(cdpath, "medium"))
        write(os.path.join(cdpath, "medium", "stage3"), "#!/bin/sh\necho planted\n")
        os.chmod(os.path.join(cdpath, "medium", "stage3"), 0o755)
        shutil.copy2(SETUP, medium.dir)
        try:
            for path in planted:
                self.plant(path, theirs.db if path.endswith("setupresDB")
                           else e2e.package("quorvel-storman", e2e.APP_FILE))
            cases = [
                # name, program, working directory, extra arguments, environment
                ("from /tmp", medium.program, "/tmp", [], {}),
                ("from /", medium.program, "/", [], {}),
                ("from a home", medium.program, home, [], {}),
                ("installed elsewhere, --medium", os.path.join(programs, "stage3"), "/tmp",
                 ["--medium", medium.dir], {}),
                ("the launcher, CDPATH set", "medium/setup", self.tmp, [], {"CDPATH": cdpath}),
            ]
            for name, program, cwd, args, env in cases:
                with self.subTest(name):
                    rpmdb = self.rpmdb_in(name)
                    log = os.path.join(self.tmp, name + ".log")
                    status, out, err = self.run_stage3(
                        program, ["--unattended", "--accept-license", "--log", log] + args,
                        cwd, rpmdb, env)
                    self.assertEqual((status, err), (0, b""), out)
                    # The result, then the web server's proxy notice.
                    self.assertEqual(out.decode().split("\n")[-3:-1],
                                     [t[2008] + " " + t[2007].replace("%s", log), t.proxy_line()])
                    with open(log) as f:
                        header = f.read().split("--- install output ---")[0]
                    self.assertIn("\nmedium: %s\n" % medium.dir, header)
                    self.assertIn("\napplication: %s/%s " % (medium.dir, e2e.APP_FILE), header)
                    self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.B-2.noarch")
        finally:
            for path in planted[:2]:  # those in home go with it
                if os.path.lexists(path):
                    os.unlink(path)
            shutil.rmtree(home)

    def test_a_medium_another_account_could_change_is_refused_as_root(self):
        def own(medium, path):
            os.chown(path, NOBODY_UID, -1)

        def broken_link(medium, path):
            os.makedirs(os.path.join(medium.dir, "de"))
            os.symlink("/tmp/stage3-e2e-nothing-here", path)

        def own_all(medium, path):
            subprocess.run(["chown", "-R", "nobody", medium.dir], check=True)

        nobody = "nobody (%d)" % NOBODY_UID
        cases = [
            # name, what is changed, change, environment, refusal line (None: passes)
            ("root's own copy", "", lambda m, p: None, {}, None),
            ("a package of another account", e2e.APP_FILE, own, {}, (2070, nobody)),
            ("the directory of another account", "", own, {}, (2070, nobody)),
            ("the directory writable by its group", "", lambda m, p: os.chmod(p, 0o770), {}, (2071,)),
            ("a link to nothing", "de/license.txt", broken_link, {}, (2072,)),
            ("a directory above writable by others", "..", lambda m, p: os.chmod(p, 0o777), {}, (2071,)),
            ("a directory above writable by others, sticky", "..", lambda m, p: os.chmod(p, 0o1777), {},
             None),
            ("the account that ran sudo", "", own_all, {"SUDO_UID": str(NOBODY_UID)}, None),
        ]
        refused = None
        for name, part, change, env, refusal in cases:
            with self.subTest(name):
                root = os.path.join(self.tmp, name)
                os.makedirs(root, 0o700)
                medium, t = self.medium(root=root)
                path = os.path.normpath(os.path.join(medium.dir, part))
                change(medium, path)
                refused = refused or (refusal and medium)
                status, out, err = self.run_stage3(
                    medium.program, ["--dry-run", "--json", "--accept-license"], medium.dir, env=env)
                plan = e2e.stage3_json(out)
                if refusal is None:
                    self.assertEqual((status, plan["refusal"]), (0, []), err)
                    continue
                first = t[refusal[0]].replace("%s", path, 1).replace("%s", "".join(refusal[1:]))
                self.assertEqual((status, plan["refusal"]), (1, [first, t[2073], t[2075]]))
                self.assertEqual(err.decode(), "\n".join(plan["refusal"]) + "\n")
        # Refused before anything is installed.
        rpmdb = self.rpmdb_in("refused")
        status, out, err = self.run_stage3(refused.program, ["--unattended", "--accept-license"],
                                           refused.dir, rpmdb)
        self.assertEqual(status, 1, err)
        self.assertIsNone(rpmdb.installed("quorvel-storman"))

    def test_answers_and_usage_errors_are_read_with_limits_and_told_safely(self):
        medium, t = self.medium()
        answers = os.path.join(self.tmp, "answers.ini")
        cases = [
            # name, make the answers file (None: no file), extra arguments, start of stderr
            ("a FIFO", lambda: os.mkfifo(answers), [],
             "stage3: cannot read the answers file %s: not a regular file" % answers),
            ("a link to /dev/zero", lambda: os.symlink("/dev/zero", answers), [],
             "stage3: cannot read the answers file %s: not a regular file" % answers),
            ("longer than 64 KiB", lambda: write(answers, "[stage3]\n" + "#" * 70000 + "\n"), [],
             "stage3: answers file %s: longer than 64 KiB" % answers),
            ("escape sequences in a line",
             lambda: write(answers, "[stage3]\n\x1b]0;owned\x07\x1b[2Jno key\n"), [],
             "stage3: answers file %s: " % answers),
            ("escape sequences in an option", None, ["--setup-type", "\x1b]0;owned\x07\x1b[2J"],
             "stage3: unknown setup type ']0;owned[2J'"),
        ]
        for name, make, args, err_start in cases:
            with self.subTest(name):
                if os.path.lexists(answers):
                    os.unlink(answers)
                if make:
                    make()
                    args = args + ["--answers", answers]
                status, out, err = self.run_stage3(medium.program, ["--unattended"] + args, medium.dir,
                                                   timeout=10)
                self.assertEqual(status, 64, err)
                self.assertTrue(err.decode().startswith(err_start), err)
                self.assertNotIn(b"\x1b", err)
                self.assertNotIn(b"\x07", err)

    def test_a_second_run_leaves_the_first_installs_marker(self):
        medium, t = self.medium(app="quorvel-storman-silent")
        first = subprocess.Popen([medium.program, "--unattended", "--accept-license", "--log",
                                  os.path.join(self.tmp, "first.log")],
                                 cwd=medium.dir, env=dict(self.rpmdb_in("first").env(), DISPLAY=""),
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            e2e.wait_until(lambda: os.path.exists(e2e.SETTINGS_FILE), 30, 0.05, "the first install")
            marker = e2e.file_identity(e2e.START_MARKER)
            self.assertIsNotNone(marker)
            status, out, err = self.run_stage3(medium.program, ["--unattended", "--accept-license"],
                                               medium.dir)
            self.assertEqual((status, err.decode()), (4, t[2005] + "\n"))
            self.assertEqual(e2e.file_identity(e2e.START_MARKER), marker)
            out, err = first.communicate(timeout=60)
        finally:
            if first.poll() is None:
                first.kill()
                first.wait()
        self.assertEqual(first.returncode, 0, err)
        self.assertFalse(os.path.exists(e2e.START_MARKER))

    def test_json_plan_is_utf8_for_any_path(self):
        name = "medium-" + b"\xff\xfe".decode("utf-8", "surrogateescape")
        medium, t = self.medium(name=name)
        status, out, err = self.run_stage3(medium.program, ["--dry-run", "--json", "--accept-license"],
                                           medium.dir)
        self.assertEqual(status, 0, err)
        plan = e2e.stage3_json(out.decode("utf-8"))
        shown = os.path.join(self.tmp, "medium-\ufffd\ufffd")
        self.assertEqual(plan["medium"], shown)
        self.assertEqual(plan["packages"], [os.path.join(shown, e2e.APP_FILE)])

    def test_a_log_that_cannot_be_made_stops_before_anything_is_installed(self):
        medium, t = self.medium()
        existing = os.path.join(self.tmp, "existing.log")
        write(existing, "kept\n")
        cases = [
            ("an existing file", existing, "File exists"),
            ("a link to nowhere", os.path.join(self.tmp, "link.log"), "File exists"),
        ]
        os.symlink(os.path.join(self.tmp, "nowhere.log"), cases[1][1])
        rpmdb = self.shared_rpmdb()
        for name, log, reason in cases:
            with self.subTest(name):
                status, out, err = self.run_stage3(medium.program, ["--unattended", "--accept-license",
                                                                    "--log", log], medium.dir, rpmdb)
                # The reason, then the way out.
                self.assertEqual((status, err.decode()),
                                 (64, "stage3: the log %s cannot be created: %s\n%s\n" % (log, reason, t[2380])))
                self.assertIsNone(rpmdb.installed("quorvel-storman"))
        with open(existing) as f:
            self.assertEqual(f.read(), "kept\n")
        self.assertFalse(os.path.lexists(os.path.join(self.tmp, "nowhere.log")))
        # A run that ends before its install leaves no empty log behind.
        rpmdb = self.rpmdb_in("installed")
        rpmdb.install(e2e.package("quorvel-storman", e2e.APP_FILE))
        log = os.path.join(self.tmp, "unused.log")
        status, out, err = self.run_stage3(medium.program, ["--unattended", "--log", log], medium.dir,
                                           rpmdb)
        self.assertEqual(status, 1, err)
        self.assertFalse(os.path.exists(log))

    def test_roots_log_directory_is_used_only_when_it_is_roots_alone(self):
        medium, t = self.medium()
        saved = ROOT_LOGS + ".e2e-saved-%d" % os.getpid()
        had = os.path.lexists(ROOT_LOGS)
        if had:
            os.rename(ROOT_LOGS, saved)
        try:
            cases = [
                # name, owner, mode, whether the log is written there
                ("another account's", NOBODY_UID, 0o755, False),
                ("root's, writable by its group", 0, 0o770, False),
                ("root's alone", 0, 0o700, True),
            ]
            for name, owner, mode, used in cases:
                with self.subTest(name):
                    if os.path.lexists(ROOT_LOGS):
                        shutil.rmtree(ROOT_LOGS)
                    os.mkdir(ROOT_LOGS)
                    os.chown(ROOT_LOGS, owner, -1)
                    os.chmod(ROOT_LOGS, mode)
                    status, out, err = self.run_stage3(medium.program, ["--unattended", "--accept-license"],
                                                       medium.dir, self.rpmdb_in(name))
                    self.assertEqual(status, 0, err)
                    logs = os.listdir(ROOT_LOGS)
                    # After the header; the result comes before the web server's proxy notice.
                    lines = out.decode().split("\n")
                    self.assertEqual(lines[-2], t.proxy_line())
                    if used:
                        self.assertEqual(len(logs), 1)
                        self.assertEqual(lines[-3], t[2008] + " " + t[2007].replace(
                            "%s", os.path.join(ROOT_LOGS, logs[0])))
                    else:
                        self.assertEqual(logs, [])
                        self.assertIn(t[2074].replace("%s", ROOT_LOGS), lines)
                        self.assertEqual(lines[-3], t[2008])
        finally:
            if os.path.lexists(ROOT_LOGS):
                shutil.rmtree(ROOT_LOGS)
            if had:
                os.rename(saved, ROOT_LOGS)

    def test_root_runs_no_graphical_program_another_account_could_change(self):
        # stage3 with a display runs stage3-gtk: a program root runs, so it must be a
        # file root alone can change, judged with the medium before it runs. Each
        # planted program would leave a mark that it ran.
        theirs = tempfile.mkdtemp(prefix="stage3-e2e-nobody-", dir="/tmp")
        os.chown(theirs, NOBODY_UID, -1)

        def program(path, mark):
            write(path, "#!/bin/sh\ntouch '%s'\n" % mark)
            os.chmod(path, 0o755)

        def nobodys_link(gtk, mark):
            program(os.path.join(theirs, "gtk"), mark)
            os.chown(os.path.join(theirs, "gtk"), NOBODY_UID, -1)
            os.symlink(os.path.join(theirs, "gtk"), gtk)

        def roots_link(gtk, mark):
            program(os.path.join(os.path.dirname(os.path.dirname(gtk)), "gtk"), mark)
            os.symlink("../gtk", gtk)

        def nobodys_file(gtk, mark):
            program(gtk, mark)
            os.chown(gtk, NOBODY_UID, -1)

        def group_writable(gtk, mark):
            program(gtk, mark)
            os.chmod(gtk, 0o775)

        nobody = "nobody (%d)" % NOBODY_UID
        cases = [
            # name, how stage3-gtk is made, refusal line (None: it runs)
            ("root's own program", program, None),
            ("a link to nobody's program", nobodys_link,
             (2070, os.path.join(theirs, "gtk"), nobody)),
            ("a link to root's own program", roots_link, (2300, "stage3-gtk")),
            ("a file of nobody's", nobodys_file, (2070, "stage3-gtk", nobody)),
            ("writable by its group", group_writable, (2071, "stage3-gtk")),
        ]
        try:
            for number, (name, make, refusal) in enumerate(cases):
                for launcher in ("stage3", "setup"):
                    with self.subTest(name, launcher=launcher):
                        root = os.path.join(self.tmp, "%d-%s" % (number, launcher))
                        os.makedirs(root, 0o700)
                        medium, t = self.medium(root=root)
                        shutil.copy2(SETUP, medium.dir)
                        gtk = os.path.join(medium.dir, "stage3-gtk")
                        mark = os.path.join(root, "ran")
                        os.unlink(gtk)
                        make(gtk, mark)
                        status, out, err = self.run_stage3(
                            os.path.join(medium.dir, launcher), [], "/tmp", env={"DISPLAY": ":99"})
                        if refusal is None:
                            self.assertEqual(status, 0, err)
                            self.assertTrue(os.path.exists(mark), err)
                            continue
                        first = t[refusal[0]].replace(
                            "%s", os.path.join(medium.dir, refusal[1]), 1).replace(
                            "%s", "".join(refusal[2:]))
                        self.assertEqual((status, err.decode()),
                                         (1, "\n".join([first, t[2073], t[2075]]) + "\n"))
                        self.assertFalse(os.path.exists(mark), "the planted program ran")
        finally:
            shutil.rmtree(theirs)

    def test_verify_shows_file_names_terminal_safe(self):
        # A package file named with a terminal command and a newline that forges a line
        # of its own: --verify on root's terminal shows neither.
        medium, t = self.medium()
        name = "q\x1b]0;owned\x07\x1b[2J\nforged.rpm: OK\nx.rpm"
        shutil.copy2(e2e.package("quorvel-storman", e2e.APP_FILE), os.path.join(medium.dir, name))
        env = dict(self.shared_rpmdb().env(), DISPLAY="", LANG="en_US.UTF-8")
        master, slave = pty.openpty()
        p = subprocess.Popen([medium.program, "--verify"], cwd=medium.dir, env=env,
                             stdin=subprocess.DEVNULL, stdout=slave, stderr=slave)
        os.close(slave)
        shown = b""
        try:
            while True:
                chunk = os.read(master, 65536)
                if not chunk:
                    break
                shown += chunk
        except OSError:  # EIO: the program closed the terminal
            pass
        finally:
            os.close(master)
        p.wait(60)
        self.assertIn(e2e.APP_FILE.encode(), shown)
        self.assertIn(b"forged.rpm: OK", shown)
        self.assertNotIn(b"\x1b", shown)
        self.assertNotIn(b"\x07", shown)
        lines = shown.decode().split("\r\n")
        self.assertFalse([line for line in lines if line.startswith("forged.rpm")], lines)

    def test_a_medium_on_a_loop_device_is_as_safe_as_its_image(self):
        # A read-only file system on a loop device: whoever can write the image file
        # changes the medium's files at will.
        medium, t = self.medium()
        image = os.path.join(self.tmp, "medium.img")
        made = subprocess.run(["mke2fs", "-q", "-t", "ext2", "-d", medium.dir, image, "64M"],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if made.returncode != 0:
            self.skipTest("no ext2 image can be made: %s" % made.stdout.decode())
        mount = os.path.join(self.tmp, "mnt")
        os.mkdir(mount)
        kept = os.path.join(self.tmp, "kept.img")
        shutil.copy2(image, kept)
        nobody = "nobody (%d)" % NOBODY_UID
        cases = [
            # name, change to the image, refusal line (None: passes)
            ("root's own image", lambda: None, None),
            ("an image of nobody's", lambda: os.chown(image, NOBODY_UID, -1), (2070, image, nobody)),
            ("an image others can write", lambda: os.chmod(image, 0o666), (2071, image)),
            ("an image that was deleted", lambda: os.unlink(image), (2301, mount)),
        ]
        for name, change, refusal in cases:
            with self.subTest(name):
                if os.path.exists(image):
                    os.unlink(image)
                shutil.copy2(kept, image)
                mounted = subprocess.run(["mount", "-o", "loop,ro", image, mount],
                                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                if mounted.returncode != 0:
                    self.skipTest("no loop device can be mounted: %s" % mounted.stdout.decode())
                try:
                    change()
                    status, out, err = self.run_stage3(
                        os.path.join(mount, "stage3"), ["--dry-run", "--json", "--accept-license"],
                        "/tmp")
                    plan = e2e.stage3_json(out)
                    if refusal is None:
                        self.assertEqual((status, plan["refusal"]), (0, []), err)
                        continue
                    first = t[refusal[0]].replace("%s", refusal[1], 1).replace(
                        "%s", "".join(refusal[2:]))
                    self.assertEqual((status, plan["refusal"]), (1, [first, t[2073], t[2075]]))
                finally:
                    subprocess.run(["umount", mount], check=True)


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


if __name__ == "__main__":
    e2e.main()
