"""The wizard runs as root. A second account (nobody) plants links, FIFOs, files
and directories at the names the wizard uses in /tmp and races it there; the
install output and the medium are hostile too. Nothing of theirs may run as
root, be written through, hang the wizard or decide the install's outcome."""

import glob
import os
import pwd
import shutil
import socket
import stat
import subprocess
import threading

import e2e_lib as e2e
from e2e_lib import Atspi

LABEL = Atspi.Role.LABEL
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]
# The third account, which can write the directory a normal user installs from.
THIRD = ["setpriv", "--reuid=daemon", "--regid=daemon", "--clear-groups", "--"]

# Stands in for pkexec, which the wizard finds at /usr/bin/pkexec only: bound there in a
# mount namespace of the wizard's own, it hands its arguments and its output to the test,
# which runs them as root (as polkit would allow) and passes the status back.
STAND_IN = """#!/usr/bin/python3
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(%r)
socket.send_fds(s, [b"\\0".join(a.encode() for a in sys.argv[1:])], [1, 2])
s.shutdown(socket.SHUT_WR)
sys.exit(int(s.recv(16) or b"127"))
"""


class RootRuns:
    """The test's end of the stand-in: each request runs as root, after `before(argv)`."""

    def __init__(self, directory, rpmdb, before):
        self.path = os.path.join(directory, "pkexec.sock")
        self.listener = socket.socket(socket.AF_UNIX)
        self.listener.bind(self.path)
        os.chmod(self.path, 0o777)
        self.listener.listen(1)
        self.listener.settimeout(120)
        self.env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "HOME": rpmdb.home,
                    "LANG": "en_US.UTF-8"}
        self.before = before
        self.runs = []
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        try:
            conn, _ = self.listener.accept()
        except OSError:
            return
        with conn:
            message, fds, _, _ = socket.recv_fds(conn, 65536, 2)
            argv = message.decode().split("\0")
            self.runs.append(argv)
            self.before(argv)
            status = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=fds[0], stderr=fds[1],
                                    env=self.env, cwd="/", check=False).returncode
            for fd in fds:
                os.close(fd)
            conn.sendall(str(status).encode())

    def close(self):
        self.listener.close()
        self.thread.join(10)


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
        self.assertEqual(e2e.names(d.win, LABEL), e2e.failure_form(t, w, rpmdb))
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
        self.assertEqual(e2e.names(d.win, LABEL), e2e.failure_form(t, w, rpmdb))

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

    def test_package_changed_after_the_checks_is_not_installed_as_root(self):
        # A normal user (nobody) installs through pkexec from a medium that a third account
        # (daemon) can change: between the user's checks and root's install, daemon puts
        # another add-on in place of the checked one, in the medium's directory or by
        # retargeting the link the user started from. Root installs what was checked. A
        # copy of the user's that is not the one checked stops the run, nothing installed.
        daemon = pwd.getpwnam("daemon")
        nobody = pwd.getpwnam("nobody")
        # (case, what changes, installed)
        cases = [("nothing changed", None, True),
                 ("add-on swapped in the medium's directory", "swap", True),
                 ("link to the medium retargeted", "link", True),
                 ("the user's copy changed", "copy", False)]
        for case, change, installed in cases:
            with self.subTest(case):
                root = os.path.join(self.tmp, case.replace(" ", "-").replace("'", ""))
                os.makedirs(root)
                rpmdb = e2e.RpmDb(root)
                packages = [e2e.package("quorvel-storman", e2e.APP_FILE),
                            e2e.package("quorvel-browser", e2e.BROWSER_FILE)]
                medium = e2e.Medium(root, packages=packages)
                t = e2e.Texts(medium.db)
                planted = e2e.Medium(root, name="planted", packages=[
                    e2e.package("quorvel-storman", e2e.APP_FILE),
                    e2e.package("quorvel-browser-planted", e2e.BROWSER_FILE)])
                # daemon's directory holds the link the user starts from; the medium's
                # directory is daemon's too.
                attacker = os.path.join(root, "attacker")
                os.makedirs(attacker)
                link = os.path.join(attacker, "medium")
                os.symlink(medium.dir, link)
                own = os.path.join(root, "own")  # nobody's runtime directory and log
                os.makedirs(own)
                for path in [self.tmp] + glob.glob(root + "/**", recursive=True) + [root]:
                    if not os.path.islink(path):
                        mode = stat.S_IMODE(os.stat(path).st_mode)
                        os.chmod(path, mode | (0o755 if os.path.isdir(path) else 0o444))
                os.lchown(link, daemon.pw_uid, daemon.pw_gid)
                for path in (attacker, medium.dir):
                    os.chown(path, daemon.pw_uid, daemon.pw_gid)
                os.chown(own, nobody.pw_uid, nobody.pw_gid)

                def change_medium(argv):
                    if change == "copy":
                        copy = os.path.join(os.path.dirname(argv[-1]), "packages", e2e.BROWSER_FILE)
                        shutil.copyfile(os.path.join(planted.dir, e2e.BROWSER_FILE), copy)
                        return
                    if change == "swap":
                        target = os.path.join(medium.dir, e2e.BROWSER_FILE)
                        script = "cp %s %s.new && mv -f %s.new %s" % (
                            os.path.join(planted.dir, e2e.BROWSER_FILE), target, target, target)
                    elif change == "link":
                        script = "ln -s %s %s.new && mv -T %s.new %s" % (planted.dir, link, link,
                                                                          link)
                    else:
                        return
                    subprocess.run(THIRD + ["/bin/sh", "-c", script], check=True)

                copies_before = set(glob.glob("/run/stage3-packages.*"))
                runs = RootRuns(root, rpmdb, change_medium)
                stand_in = os.path.join(root, "pkexec")
                with open(stand_in, "w") as f:
                    f.write(STAND_IN % runs.path)
                os.chmod(stand_in, 0o755)
                log = os.path.join(own, "install.log")
                env = {"PATH": "/usr/bin:/bin", "HOME": rpmdb.home, "LANG": "en_US.UTF-8",
                       "XDG_RUNTIME_DIR": own, "PWD": link}
                env.update({k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")})
                argv = ["unshare", "--mount", "--propagation", "private", "--", "/bin/sh", "-c",
                        'mount --bind "$0" /usr/bin/pkexec && exec "$@"', stand_in] + NOBODY + [
                        "./stage3", "--unattended", "--accept-license", "--log", log,
                        "--record-directory", os.path.join(root, "records")]
                try:
                    out = subprocess.run(argv, cwd=link, env=env, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                         timeout=120)
                finally:
                    runs.close()
                output = out.stdout.decode("utf-8", "replace")
                with open(log, encoding="utf-8") as f:
                    logged = f.read()
                self.assertEqual(len(runs.runs), 1, output)
                self.assertNotIn("e2e-planted", output + logged)
                self.assertEqual(rpmdb.installed("quorvel-browser") is not None, installed, output)
                self.assertEqual(rpmdb.installed("quorvel-storman") is not None, installed, output)
                self.assertEqual(out.returncode, 0 if installed else 1, output)
                changed = t[2320].replace("%s", os.path.join(medium.dir, e2e.BROWSER_FILE))
                for shown in (output, logged):
                    self.assertEqual(changed in shown, not installed, shown)
                    self.assertEqual(t[2321] in shown, not installed, shown)
                self.assertEqual("e2e-browser: installed" in output, installed, output)
                # Root's copies went with the run.
                self.assertEqual(set(glob.glob("/run/stage3-packages.*")) - copies_before, set())

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
