"""A normal user's install: the wizard runs as a test account, and its install script
runs as root through pkexec. polkit really answers, on a system bus and a polkitd that
the test starts, by a rules file the test adds: allowed, refused, or asked on the
terminal (pkttyagent) for the account's own password. The packages go into a private
rpm database, which root's rpm reaches through /root/.rpmmacros (pkexec sets HOME=/root).

Everything the test changes on the machine (the account, the rules file, root's rpm
configuration, the daemons) is put back or stopped whatever happens.
"""

import contextlib
import fcntl
import glob
import json
import os
import pty
import pwd
import select
import shutil
import socket
import stat
import subprocess
import termios
import time
import types

import e2e_lib
from e2e_lib import (APP_FILE, ERROR_FILE, SETTINGS_FILE, START_MARKER, Medium, Texts,
                     WizardTest, package, wait_until)

ACCOUNT = "stage3-e2e-pk"
ACCOUNT_COMMENT = "stage3 e2e polkit test"
PASSWORD = "Stage3-e2e-pk"
RULES_FILE = "/etc/polkit-1/rules.d/49-stage3-e2e.rules"
BUS_SOCKET = "/run/dbus/system_bus_socket"
POLKITD = "/usr/lib/polkit-1/polkitd"
ROOT_RPM_FILES = ("/root/.rpmmacros", "/root/.popt")

RULE = """polkit.addRule(function(action, subject) {
    if (action.id == "org.freedesktop.policykit.exec" && subject.user == "%s")
        return polkit.Result.%s;
});
"""


def bus_served():
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        try:
            s.connect(BUS_SOCKET)
            return True
        except OSError:
            return False


def polkit_on_bus():
    out = subprocess.run(["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                          "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                          "string:org.freedesktop.PolicyKit1"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
    return b"boolean true" in out.stdout


def stop(proc):
    proc.terminate()
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


@contextlib.contextmanager
def kept_file(path):
    """Puts path back as it was (its content, or its absence) when the block ends."""
    try:
        with open(path, "rb") as f:
            original = f.read()
    except FileNotFoundError:
        original = None
    try:
        yield
    finally:
        if original is None:
            with contextlib.suppress(FileNotFoundError):
                os.unlink(path)
        else:
            with open(path, "wb") as f:
                f.write(original)


@contextlib.contextmanager
def system_bus():
    """The machine's system bus: the one that serves it, else a dbus-daemon of the test's
    own on its socket (pkexec, setuid, takes no other address), stopped afterwards."""
    if bus_served():
        yield
        return
    with contextlib.suppress(FileNotFoundError):
        os.unlink(BUS_SOCKET)  # a socket no daemon serves
    bus = subprocess.Popen(["dbus-daemon", "--system", "--nofork", "--nopidfile", "--nosyslog"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_until(bus_served, 10, 0.05, "the system bus")
        yield
    finally:
        stop(bus)
        with contextlib.suppress(FileNotFoundError):
            os.unlink(BUS_SOCKET)


@contextlib.contextmanager
def test_account():
    """A new account of the test's own (one a killed run left is replaced)."""
    with contextlib.suppress(KeyError):
        if pwd.getpwnam(ACCOUNT).pw_gecos != ACCOUNT_COMMENT:
            raise AssertionError("an account %s exists that is not the test's" % ACCOUNT)
        subprocess.run(["userdel", ACCOUNT], check=True)
    hashed = subprocess.run(["openssl", "passwd", "-6", PASSWORD], stdout=subprocess.PIPE,
                            check=True).stdout.decode().strip()
    subprocess.run(["useradd", "-M", "-N", "-d", "/nonexistent", "-s", "/bin/sh",
                    "-c", ACCOUNT_COMMENT, "-p", hashed, ACCOUNT], check=True)
    try:
        yield pwd.getpwnam(ACCOUNT)
    finally:
        subprocess.run(["userdel", ACCOUNT], check=False)


@contextlib.contextmanager
def polkit_rule(result):
    """The rules file answering the account's pkexec with result, and a polkitd that
    loaded it."""
    with open(RULES_FILE, "w") as f:
        f.write(RULE % (ACCOUNT, result))
    os.chmod(RULES_FILE, 0o644)
    daemon = None
    try:
        daemon = subprocess.Popen([POLKITD, "--no-debug"], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        wait_until(polkit_on_bus, 10, 0.1, "polkitd on the system bus")
        yield
    finally:
        if daemon:
            stop(daemon)
        os.unlink(RULES_FILE)


def terminal_agents():
    """The command lines of the account's polkit agents on a terminal."""
    out = subprocess.run(["pgrep", "-a", "-u", ACCOUNT, "pkttyagent"], stdout=subprocess.PIPE,
                         check=False)
    return out.stdout.decode().strip()


def answer_on_terminal(master, proc, password):
    """Reads the terminal until the console wizard ends, pressing Enter on each of its
    pages and typing password at polkit's prompt; returns what the terminal showed and the
    agents that ran when polkit asked."""
    shown = b""
    typed = False
    accepted = False
    agents = ""
    while proc.poll() is None or select.select([master], [], [], 0)[0]:
        if not select.select([master], [], [], 0.2)[0]:
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
        if not typed and b"Password:" in shown:
            agents = terminal_agents()
            os.write(master, password.encode() + b"\n")
            typed = True
        elif shown.endswith(b"> "):
            # The license is accepted by its own key; every other page by Enter.
            accept = not accepted and b"a: I Agree" in shown[-400:]
            accepted = accepted or accept
            os.write(master, b"a\n" if accept else b"\n")
    return shown.decode("utf-8", "replace"), agents


def press_enter_until_it_ends(proc, timeout=90):
    """Walks the graphical wizard with Enter alone, the default button of every page
    (Next, I Agree, Finish) and of the notice after Finish, until it ends. There is no
    window manager to give a window the focus: each visible window of the wizard is
    focused before the key."""
    deadline = time.monotonic() + timeout
    while proc.poll() is None and time.monotonic() < deadline:
        windows = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                 check=False).stdout.split()
        for window in windows:
            subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "Return"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        time.sleep(0.5)


class PolkitTest(WizardTest):
    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("the test adds an account and polkit rules: it runs as root")
        for program in ("/usr/bin/pkexec", "/usr/bin/pkttyagent", POLKITD):
            self.assertTrue(os.access(program, os.X_OK), "%s missing (scripts/setup.sh)" % program)
        super().setUp()
        # Put back after tearDown, and also when setUp ends early.
        machine = contextlib.ExitStack()
        self.addCleanup(machine.close)
        # Two runs of this test (from two build directories) take turns on the rules
        # directory, which holds nothing of theirs afterwards.
        lock = os.open(os.path.dirname(RULES_FILE), os.O_RDONLY)
        machine.callback(os.close, lock)
        fcntl.flock(lock, fcntl.LOCK_EX)
        machine.enter_context(system_bus())
        if polkit_on_bus():
            super().tearDown()
            self.skipTest("the machine's polkitd runs; its answers are not the test's to set")
        for path in ROOT_RPM_FILES:
            machine.enter_context(kept_file(path))
        self.user = machine.enter_context(test_account())

    def run_as_account(self, medium, rpmdb, terminal, graphical=False, args=()):
        """The install as the account: unattended, the console wizard on a terminal, or
        the graphical wizard on the test's X server. Returns its status, its output (the
        graphical wizard's: its install log) and (on a terminal) the polkit agents that
        ran when the password was asked."""
        own = os.path.join(self.tmp, "own")  # the account's runtime directory and log
        os.makedirs(own, exist_ok=True)
        os.chown(own, self.user.pw_uid, self.user.pw_gid)
        os.chmod(own, 0o700)
        log = os.path.join(own, "install.log")
        with contextlib.suppress(FileNotFoundError):
            os.unlink(log)
        # pkexec refuses to run with a SHELL that /etc/shells does not name: the wizard
        # must not pass its own environment on.
        env = {"PATH": "/usr/bin:/bin", "HOME": rpmdb.home, "LANG": "en_US.UTF-8",
               "XDG_RUNTIME_DIR": own, "SHELL": "/opt/unlisted/sh"}
        env.update({k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")})
        mode = ["--text"] if terminal else [] if graphical else ["--unattended", "--accept-license"]
        mode += list(args)
        argv = ["setpriv", "--reuid", str(self.user.pw_uid), "--regid", str(self.user.pw_gid),
                "--init-groups", "--", "./stage3", "--log", log,
                "--record-directory", os.path.join(os.path.dirname(medium.dir), "records")] + mode
        if graphical:
            env.update(DISPLAY=os.environ["DISPLAY"], NO_AT_BRIDGE="1")
            proc = subprocess.Popen(argv, cwd=medium.dir, env=env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    start_new_session=True)
            try:
                press_enter_until_it_ends(proc)
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
            with open(log, encoding="utf-8", errors="replace") as f:
                return proc.returncode, f.read(), ""
        if not terminal:
            out = subprocess.run(argv, cwd=medium.dir, env=env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120,
                                 start_new_session=True)
            return out.returncode, out.stdout.decode("utf-8", "replace"), ""
        master, slave = pty.openpty()
        try:
            # The terminal becomes the wizard's controlling terminal, where polkit's agent
            # asks.
            proc = subprocess.Popen(argv, cwd=medium.dir, env=env, stdin=slave, stdout=slave,
                                    stderr=slave, start_new_session=True,
                                    preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
            os.close(slave)
            slave = None
            shown, agents = answer_on_terminal(master, proc, PASSWORD)
            return proc.wait(120), shown, agents
        finally:
            os.close(master)
            if slave is not None:
                os.close(slave)

    def readable_by_account(self, case_dir):
        """The account reads the medium and the private database; root's rpm installs into
        that database."""
        for path in [self.tmp, case_dir] + glob.glob(case_dir + "/**", recursive=True):
            mode = stat.S_IMODE(os.stat(path).st_mode)
            os.chmod(path, mode | (0o755 if os.path.isdir(path) else 0o444))

    def test_signed_medium_key_imported_by_root(self):
        """The key the account trusted reaches the keyring of root's rpm, which the account's
        own rpm cannot write."""
        demo = os.environ.get("E2E_DEMO_MEDIUM", "")
        if not os.path.exists(os.path.join(demo, "RPM-GPG-KEY-quorvel-demo")):
            self.skipTest("the demo medium is not signed (no gpg at build time)")
        with polkit_rule("YES"):
            case_dir = os.path.join(self.tmp, "signed")
            rpmdb = e2e_lib.RpmDb(case_dir)
            medium = types.SimpleNamespace(dir=os.path.join(case_dir, "medium"))
            shutil.copytree(demo, medium.dir, symlinks=True)
            self.readable_by_account(case_dir)
            for path, rpm_file in zip(ROOT_RPM_FILES, (".rpmmacros", ".popt")):
                shutil.copy(os.path.join(rpmdb.home, rpm_file), path)
            code, output, _ = self.run_as_account(medium, rpmdb, False,
                                                  args=["--trust-medium-key"])
            self.assertEqual(code, 0, output)
            self.assertIsNotNone(rpmdb.installed("gpg-pubkey"), output)
            self.assertIsNotNone(rpmdb.installed("quorvel-storman"), output)

    def test_install_through_pkexec(self):
        # (case, polkit's answer, on a terminal, graphical, status, installed, a directory
        # planted at the settings name by another account)
        cases = [("allowed by a rule", "YES", False, False, 0, True, False),
                 ("refused by a rule", "NO", False, False, 2, False, False),
                 ("console, asked on the terminal", "AUTH_SELF", True, False, 0, True, False),
                 ("graphical, allowed by a rule", "YES", False, True, 0, True, False),
                 ("settings name taken by a directory", "YES", False, False, 0, True, True)]
        for case, answer, terminal, graphical, status, installed, planted in cases:
            with self.subTest(case), polkit_rule(answer):
                if planted:
                    subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                    "--", "mkdir", SETTINGS_FILE], check=True)
                case_dir = os.path.join(self.tmp, case.replace(" ", "-"))
                rpmdb = e2e_lib.RpmDb(case_dir)
                medium = Medium(case_dir, packages=[package("quorvel-storman", APP_FILE)])
                t = Texts(medium.db)
                self.readable_by_account(case_dir)
                for path, rpm_file in zip(ROOT_RPM_FILES, (".rpmmacros", ".popt")):
                    shutil.copy(os.path.join(rpmdb.home, rpm_file), path)
                started = time.time_ns()

                code, output, agents = self.run_as_account(medium, rpmdb, terminal, graphical)
                self.assertEqual(code, status, output)
                self.assertEqual(rpmdb.installed("quorvel-storman") is not None, installed, output)
                # The root side wrote the install record, root's own.
                record = os.path.join(case_dir, "records", "quorvel-storman.ini")
                self.assertEqual(os.path.exists(record), installed, output)
                if installed:
                    self.assertEqual((os.stat(record).st_uid, stat.S_IMODE(os.stat(record).st_mode)),
                                     (0, 0o644))
                    # And the run's line in the history beside it, root's own as well.
                    history = record[:-len(".ini")] + ".history"
                    with open(history) as f:
                        run = json.loads(f.read())
                    self.assertEqual((run["action"], run["application_after"], run["result"],
                                      os.stat(history).st_uid), ("install", "3.B-2", "succeeded", 0))
                    # Root's maintenance copy beside it, from root's checked copies.
                    copy = record[:-len(".ini")]
                    self.assertEqual((os.stat(copy).st_uid, stat.S_IMODE(os.stat(copy).st_mode)),
                                     (0, 0o700))
                    self.assertIn(APP_FILE, os.listdir(copy))
                    check = subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=copy)
                    self.assertEqual(check.returncode, 0)
                if installed:
                    self.assertIn("e2e-app: installed", output)
                    self.assertNotIn(t[2050], output)
                else:
                    self.assertIn(t[2050], output)
                    self.assertIn(t[2009], output)
                if terminal:
                    self.assertIn(t[13], output)  # the finish page's success form
                if planted:
                    # Root renamed it aside, said so, and installed.
                    asides = glob.glob(SETTINGS_FILE + ".*")
                    self.assertEqual(len(asides), 1, output)
                    self.assertIn(t[2061].replace("%s", SETTINGS_FILE, 1).replace("%s", asides[0]),
                                  output)
                    self.assertEqual(os.stat(asides[0]).st_uid, pwd.getpwnam("nobody").pw_uid)
                # The run leaves nothing in /tmp: the account wrote nothing there but its
                # install directory, which went; the fixed names root placed were removed.
                # (Another run on the machine may make them meanwhile, but not during this
                # run of a second or two.)
                left = [p for p in (SETTINGS_FILE, START_MARKER, ERROR_FILE)
                        if e2e_lib.made_since(p, started)]
                left += [os.path.join("/tmp", n) for n in os.listdir("/tmp")
                         if os.lstat(os.path.join("/tmp", n)).st_uid == self.user.pw_uid]
                self.assertEqual(left, [])
                if terminal:
                    # The wizard's own agent asked, for the wizard's process.
                    self.assertIn("--process", agents, output)
                # The agent on the terminal ended with the install.
                self.assertEqual(terminal_agents(), "")


if __name__ == "__main__":
    e2e_lib.main()
