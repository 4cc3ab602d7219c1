"""The Ansible role deploy/ansible/roles/stage3, through the example playbook,
against three inventory hosts reached over ssh: a private sshd on a loopback
port, each host with its own rpm database (HOME through stage3_environment)
and its own remote directory; one host's medium has a driver whose install
fails. Real ansible-playbook, sshd, sudo, stage3 and rpm. As a fleet is run,
the play logs in as an account of its own (made by the test) and becomes root
through sudo, with pipelining."""

import json
import os
import pwd
import re
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import e2e_lib as e2e  # noqa: E402

TOP = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
PLAYBOOK = os.path.join(TOP, "deploy", "ansible", "site.yml")
SSHD = os.environ.get("SSHD", "/usr/sbin/sshd")  # by its full path, as sshd wants
ANSIBLE_PLAYBOOK = os.environ.get("ANSIBLE_PLAYBOOK", "ansible-playbook")
PRIVSEP_DIR = "/run/sshd"  # sshd's compiled-in privilege separation directory
PRIVSEP_MARK = os.path.join(PRIVSEP_DIR, ".made-by-stage3-test")
PACKAGES = ("holvane", "quorvel-browser", "quorvel-storman")
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]
PARALLEL = ("--forks", "5")
# The test's login account: this prefix and the pid of the run that made it.
ACCOUNT_PREFIX = "stage3-test-"
SUDOERS_DIR = "/etc/sudoers.d"
RECAP = re.compile(r"^(\S+)\s+: ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)", re.M)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Account:
    """A login account of the test's own, which may run anything as root through
    sudo without a password (as a fleet's deploy account), with a home of its own
    for Ansible's files. Removed by remove(); one a killed run left behind goes
    with the next run."""

    def __init__(self):
        for entry in pwd.getpwall():
            pid = entry.pw_name[len(ACCOUNT_PREFIX):]
            if entry.pw_name.startswith(ACCOUNT_PREFIX) and pid.isdigit() and not os.path.exists("/proc/" + pid):
                remove_account(entry.pw_name, entry.pw_dir)
        self.name = ACCOUNT_PREFIX + str(os.getpid())
        self.home = tempfile.mkdtemp(prefix="stage3-ansible-account-")
        # A password of "*": no password logs in, yet the account is not locked (sshd
        # without PAM refuses a locked one).
        subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "--home-dir", self.home,
                        "--shell", "/bin/sh", "--password", "*", self.name], check=True)
        try:
            os.chown(self.home, pwd.getpwnam(self.name).pw_uid, pwd.getpwnam(self.name).pw_gid)
            sudoers = os.path.join(SUDOERS_DIR, self.name)
            with open(sudoers + ".new", "w") as f:
                f.write("%s ALL=(root) NOPASSWD: ALL\n" % self.name)
            os.chmod(sudoers + ".new", 0o440)
            subprocess.run(["visudo", "-c", "-q", "-f", sudoers + ".new"], check=True)
            os.rename(sudoers + ".new", sudoers)
        except BaseException:
            self.remove()
            raise

    def remove(self):
        remove_account(self.name, self.home)


def remove_account(name, home):
    for path in (os.path.join(SUDOERS_DIR, name), os.path.join(SUDOERS_DIR, name + ".new")):
        if os.path.exists(path):
            os.unlink(path)
    subprocess.run(["userdel", name], stderr=subprocess.DEVNULL)
    if os.path.basename(home).startswith("stage3-ansible-account-"):
        shutil.rmtree(home, ignore_errors=True)


class Sshd:
    """An sshd of the test's own on 127.0.0.1: its host key, one client key."""

    def __init__(self, root, account):
        self.port = free_port()
        self.client_key = os.path.join(root, "client_key")
        host_key = os.path.join(root, "host_key")
        for key in (host_key, self.client_key):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key], check=True)
        self.pid_file = os.path.join(root, "sshd.pid")
        # sshd reads it as the account logging in.
        authorized = os.path.join(account.home, "authorized_keys")
        shutil.copy(self.client_key + ".pub", authorized)
        config = os.path.join(root, "sshd_config")
        with open(config, "w") as f:
            f.write("\n".join([
                "ListenAddress 127.0.0.1", "Port %d" % self.port, "HostKey " + host_key,
                "PidFile " + self.pid_file, "AuthorizedKeysFile " + authorized,
                "PermitRootLogin no", "PubkeyAuthentication yes",
                "PasswordAuthentication no", "KbdInteractiveAuthentication no", "UsePAM no",
                # The keys live under /tmp, which everyone may write.
                "StrictModes no", "Subsystem sftp internal-sftp", "LogLevel ERROR", ""]))
        if not os.path.isdir(PRIVSEP_DIR):
            os.makedirs(PRIVSEP_DIR, 0o755)
            open(PRIVSEP_MARK, "w").close()
        self.proc = subprocess.Popen([SSHD, "-D", "-e", "-f", config], stdin=subprocess.DEVNULL)
        try:
            e2e.wait_until(self.listening, 10, 0.05, "sshd on port %d" % self.port)
        except AssertionError:
            self.stop()
            raise

    def listening(self):
        """sshd writes its pid file once it listens."""
        if self.proc.poll() is not None:
            raise AssertionError("sshd ended with status %d" % self.proc.returncode)
        return os.path.exists(self.pid_file)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        # A directory that a run of this test made goes with the last sshd (runs may overlap).
        if os.path.exists(PRIVSEP_MARK) and not any(sshd_running()):
            shutil.rmtree(PRIVSEP_DIR, ignore_errors=True)


def sshd_running():
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/comm" % pid) as f:
                yield f.read().strip() == "sshd"
        except OSError:
            pass


class AnsibleRole(unittest.TestCase):

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="stage3-ansible-")
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)
        self.addCleanup(e2e.clear_tmp_files)
        e2e.clear_tmp_files()
        self.account = Account()
        self.addCleanup(self.account.remove)
        self.sshd = Sshd(self.tmp, self.account)
        self.addCleanup(self.sshd.stop)
        self.logs = os.path.join(self.tmp, "logs")
        packages = [e2e.package("quorvel-storman", e2e.APP_FILE), e2e.package("quorvel-browser", e2e.BROWSER_FILE)]
        self.good_medium = e2e.Medium(self.tmp, "medium", packages=packages + [e2e.package("holvane", e2e.DRIVER_FILE)])
        self.failing_medium = e2e.Medium(self.tmp, "medium-failing",
                                         packages=packages + [e2e.package("holvane-failing", e2e.DRIVER_FILE)])
        self.inventory = os.path.join(self.tmp, "inventory.json")
        self.control_path = os.path.join(self.tmp, "ssh-%C")
        self.addCleanup(self.end_master_connection)
        config = os.path.join(self.tmp, "ansible.cfg")
        with open(config, "w") as f:
            f.write("\n".join([
                "[defaults]",
                "home = " + os.path.join(self.tmp, "ansible-home"),
                "local_tmp = " + os.path.join(self.tmp, "ansible-local"),
                "remote_tmp = " + os.path.join(self.tmp, "ansible-remote"),
                # One host at a time: installs on one machine are one at a time (a play that
                # installs nothing runs its hosts side by side: PARALLEL).
                "forks = 1", "host_key_checking = False", "retry_files_enabled = False", "nocolor = True",
                # sudo needs no terminal (no requiretty), so modules go to it on a pipe.
                "[ssh_connection]", "pipelining = True",
                # One master connection for the three hosts (they are one address, port and user),
                # ended by the test; no known_hosts entry.
                "control_path = " + self.control_path.replace("%", "%%"),
                "ssh_args = -F /dev/null -o ControlMaster=auto -o ControlPersist=yes "
                "-o UserKnownHostsFile=/dev/null -o StrictHostKeyChecking=no", ""]))
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": os.path.join(self.tmp, "controller-home"),
                    "ANSIBLE_CONFIG": config, "LANG": "C.UTF-8"}

    def write_inventory(self, hosts):
        """The inventory of hosts {name: their vars}, all reached through the test's sshd."""
        for host_vars in hosts.values():
            host_vars.update(ansible_host="127.0.0.1", ansible_port=self.sshd.port)
        with open(self.inventory, "w") as f:
            json.dump({"storage_servers": {"hosts": hosts, "vars": {
                "ansible_user": self.account.name, "ansible_ssh_private_key_file": self.sshd.client_key,
                "ansible_python_interpreter": sys.executable,
                # The account's own (the controller's tasks, as root, use ansible.cfg's).
                "ansible_remote_tmp": os.path.join(self.account.home, "ansible-remote"),
                "stage3_log_dir": self.logs}}}, f)

    def host_vars(self, name, medium, answers, rpmdb):
        """A host's medium, answers, private rpm database and remote directory."""
        return {"stage3_medium_dir": medium.dir, "stage3_answers": answers,
                "stage3_remote_dir": os.path.join(self.tmp, "host-" + name, "medium"),
                # TMPDIR: where check mode's scratch copy goes.
                "stage3_environment": {"HOME": rpmdb.home, "LANG": "en_US.UTF-8",
                                       "TMPDIR": os.path.join(self.tmp, "host-" + name)}}

    def end_master_connection(self):
        subprocess.run(["ssh", "-F", "/dev/null", "-o", "ControlPath=" + self.control_path, "-p", str(self.sshd.port),
                        "-l", self.account.name, "-O", "exit", "127.0.0.1"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def play(self, *args):
        """ansible-playbook on the example playbook: its status, output and recap by host."""
        started = time.monotonic()
        p = subprocess.run([ANSIBLE_PLAYBOOK, "-i", self.inventory, PLAYBOOK] + list(args), cwd=self.tmp,
                           env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=300)
        out = p.stdout.decode("utf-8", "replace")
        sys.stdout.write("ansible-playbook %s: status %d in %.1f s\n" % (" ".join(args), p.returncode,
                                                                         time.monotonic() - started))
        recap = {m.group(1): {"changed": int(m.group(3)), "unreachable": int(m.group(4)), "failed": int(m.group(5))}
                 for m in RECAP.finditer(out.split("PLAY RECAP")[-1])}
        return p.returncode, out, recap

    def installed(self):
        return {host: {p for p in PACKAGES if db.installed(p)} for host, db in self.rpmdbs.items()}

    def test_check_then_rolling_install_then_nothing_to_do(self):
        # host: medium, answers
        hosts = {
            "good1": (self.good_medium, {"accept_license": True, "setup_type": "typical"}),
            # The notifier needs the managed system, which stage3 adds with a line before the plan.
            "good2": (self.good_medium, {"accept_license": True, "setup_type": "custom",
                                         "components": ["notifier", "driver"]}),
            "failing": (self.failing_medium, {"accept_license": True}),
        }
        self.rpmdbs = {name: e2e.RpmDb(os.path.join(self.tmp, "host-" + name)) for name in hosts}
        inventory = {name: self.host_vars(name, medium, answers, self.rpmdbs[name])
                     for name, (medium, answers) in hosts.items()}
        self.remote_dirs = {name: host_vars["stage3_remote_dir"] for name, host_vars in inventory.items()}
        self.write_inventory(inventory)
        nothing = {"good1": set(), "good2": set(), "failing": set()}

        # Check mode: the dry run on every host, what would be installed, no change.
        status, out, recap = self.play("--check", *PARALLEL)
        self.assertEqual(status, 0, out)
        self.assertEqual({h: r["failed"] + r["unreachable"] for h, r in recap.items()},
                         {"good1": 0, "good2": 0, "failing": 0}, out)
        planned = dict(re.findall(r'changed: \[(\w+)\] => \{\n\s+"msg": "would install ([^"]*)"', out))
        both = "%s %s %s" % (e2e.DRIVER_FILE, e2e.BROWSER_FILE, e2e.APP_FILE)
        self.assertEqual(planned, {"good1": both + " (typical: web-server managed-system notifier snmp-agent driver)",
                                   "good2": "%s %s (custom: managed-system notifier driver)"
                                            % (e2e.DRIVER_FILE, e2e.APP_FILE),
                                   "failing": both + " (typical: web-server managed-system notifier snmp-agent driver)"},
                         out)
        self.assertEqual(self.installed(), nothing)
        # No medium, answers file or scratch copy left in the hosts' directories, no log fetched.
        self.assertEqual({h: sorted(os.listdir(os.path.dirname(d))) for h, d in self.remote_dirs.items()},
                         {h: ["home", "rpmdb"] for h in self.remote_dirs})
        self.assertFalse(os.path.exists(self.logs))

        # The real run: the good hosts install, the failing one fails with its log's end.
        status, out, recap = self.play()
        self.assertEqual(status, 2, out)
        self.assertEqual({h: (r["changed"] > 0, r["failed"]) for h, r in recap.items()},
                         {"good1": (True, 0), "good2": (True, 0), "failing": (True, 1)}, out)
        self.assertEqual(self.installed(), {"good1": set(PACKAGES), "good2": {"holvane", "quorvel-storman"},
                                            "failing": set()})
        failure = re.search(r"^fatal: \[failing\]: FAILED! => (.*)$", out, re.M)
        self.assertIsNotNone(failure, out)
        message = json.loads(failure.group(1))["msg"]
        self.assertEqual(message[0], "stage3 --unattended: exit status 2, the install failed; log: %s/failing.log"
                         % self.logs)
        self.assertIn("e2e-driver: no controller found", message)
        self.assertEqual(message[-2:], ["script exit status: 1", "result: failed"])
        self.assertEqual(sorted(os.listdir(self.logs)), ["failing.log", "good1.log", "good2.log"])
        for host in ("good1", "good2", "failing"):
            with open(os.path.join(self.logs, host + ".log")) as f:
                log = f.read()
            self.assertIn("medium: %s\n" % self.remote_dirs[host], log)
            self.assertTrue(log.endswith("result: failed\n" if host == "failing" else "result: installed\n"), log)
        # The medium keeps its files' modes on the host (stage3 and stage3-gtk executable), in
        # a directory of root's alone.
        remote = self.remote_dirs["good1"]
        self.assertEqual(stat.S_IMODE(os.stat(remote).st_mode), 0o700)
        for name in os.listdir(self.good_medium.dir):
            self.assertEqual(stat.S_IMODE(os.stat(os.path.join(remote, name)).st_mode),
                             stat.S_IMODE(os.stat(os.path.join(self.good_medium.dir, name)).st_mode), name)

        # Again: the good hosts have nothing to install and report no change but, on good1, the
        # removal of what an earlier medium left in the copy (last version's add-on package, a
        # locale directory); the answers file and the logs stay.
        os.mkdir(os.path.join(remote, "fr"))
        for name in ("quorvel-browser-0.9-1.noarch.rpm", "fr/license.txt"):
            open(os.path.join(remote, name), "w").close()
        status, out, recap = self.play()
        kept = {n for n in os.listdir(remote) if re.match(r"^(stage3-answers\.ini|install-.*\.log)$", n)}
        self.assertEqual((set(os.listdir(remote)) - kept, len(kept)), (set(os.listdir(self.good_medium.dir)), 2))
        self.assertEqual(status, 2, out)
        self.assertEqual({h: (r["changed"], r["failed"]) for h, r in recap.items() if h != "failing"},
                         {"good1": (1, 0), "good2": (0, 0)}, out)
        self.assertEqual(recap["failing"]["failed"], 1, out)
        self.assertIn('"msg": "up to date: quorvel-storman-3.B-2.noarch"', out)
        self.assertEqual(self.installed(), {"good1": set(PACKAGES), "good2": {"holvane", "quorvel-storman"},
                                            "failing": set()})

        # A plan that refuses fails the host with its meaning, and nothing is installed.
        with open(os.path.join(self.logs, "failing.log")) as f:
            last_log = f.read()
        status, out, recap = self.play("--limit", "failing", "-e", '{"stage3_answers": {"accept_license": false}}')
        failure = re.search(r"^fatal: \[failing\]: FAILED! => (.*)$", out, re.M)
        self.assertEqual((status, recap["failing"]["failed"], failure is not None), (2, 1, True), out)
        self.assertEqual(json.loads(failure.group(1))["msg"][0], "stage3 --dry-run: exit status 3, the license "
                         "agreement was not accepted (stage3_answers.accept_license)")
        with open(os.path.join(self.logs, "failing.log")) as f:
            self.assertEqual(f.read(), last_log)

        # A plan whose checks refuse fails the host with their lines: here rpm's test finds
        # a dependency that nothing provides.
        needy = e2e.Medium(self.tmp, "medium-needy", packages=[e2e.package("quorvel-storman-needy", e2e.APP_FILE)])
        status, out, recap = self.play("--limit", "failing", "-e", json.dumps({"stage3_medium_dir": needy.dir}))
        failure = re.search(r"^fatal: \[failing\]: FAILED! => (.*)$", out, re.M)
        self.assertEqual((status, recap["failing"]["failed"], failure is not None), (2, 1, True), out)
        message = json.loads(failure.group(1))["msg"]
        self.assertTrue(message[0].startswith("stage3 --dry-run: exit status 1, "), message)
        self.assertTrue([line for line in message
                         if "quorvel-firmware-tools >= 9 is needed by quorvel-storman-3.B-2.noarch" in line], message)
        self.assertEqual(self.installed()["failing"], set())

    def test_state_present_modifies_and_absent_removes_each_once(self):
        self.rpmdbs = {"host": e2e.RpmDb(os.path.join(self.tmp, "host-host"))}
        inventory = {"host": self.host_vars("host", self.good_medium,
                                            {"accept_license": True, "setup_type": "typical"},
                                            self.rpmdbs["host"])}
        self.write_inventory(inventory)
        custom = json.dumps({"stage3_answers": {"accept_license": True, "setup_type": "custom",
                                                "components": ["managed-system", "driver"]}})
        records = os.path.join(os.path.dirname(self.rpmdbs["host"].path), "stage3-records")
        no_medium = ["-e", "stage3_medium_dir=", "-e", "stage3_records_dir=" + records]
        steps = [
            # extra vars, changed, packages installed after
            ([], True, set(PACKAGES)),
            (["-e", custom], True, {"holvane", "quorvel-storman"}),
            (["-e", custom], False, {"holvane", "quorvel-storman"}),
            # Without a medium: from the maintenance copy stage3 keeps beside its records.
            (["-e", "stage3_state=repaired"] + no_medium, True, {"holvane", "quorvel-storman"}),
            (["-e", "stage3_state=absent"] + no_medium, True, {"holvane"}),
            (["-e", "stage3_state=absent"] + no_medium, False, {"holvane"}),
            (["-e", "stage3_state=absent"], False, {"holvane"}),
        ]
        for extra, changed, installed in steps:
            with self.subTest(extra=extra, changed=changed):
                status, out, recap = self.play(*extra)
                self.assertEqual((status, recap["host"]["failed"]), (0, 0), out)
                self.assertEqual(recap["host"]["changed"] > 0, changed, out)
                self.assertEqual(self.installed()["host"], installed, out)

    def test_hosts_fail_before_anything_is_written_or_copied(self):
        # Remote directories another account has a hold on: in a sticky directory everyone
        # may write (as /var/tmp), nobody made it first with an add-on package of theirs, or
        # put a link to a directory of root's there; below a directory that is not sticky;
        # below links: one of root's into a directory everyone may write, one of nobody's.
        # And settings that would add a line to the answers file or words to a command line.
        shared = tempfile.mkdtemp(prefix="stage3-ansible-shared-", dir="/tmp")
        self.addCleanup(shutil.rmtree, shared, ignore_errors=True)
        os.chmod(shared, 0o1777)
        linked, open_dir = os.path.join(self.tmp, "linked"), os.path.join(self.tmp, "open")
        os.mkdir(linked, 0o700)
        os.mkdir(open_dir)
        os.chmod(open_dir, 0o777)
        into_open = os.path.join(open_dir, "root-dir")
        os.mkdir(into_open, 0o755)
        os.symlink(into_open, os.path.join(self.tmp, "root-link"))
        planted, link = os.path.join(shared, "planted"), os.path.join(shared, "link")
        nobody_link = os.path.join(shared, "nobody-link")
        subprocess.run(NOBODY + ["sh", "-c", 'mkdir "$1" && touch "$1"/quorvel-browser-zz-1-1.noarch.rpm && '
                                 'ln -s "$3" "$2" && ln -s "$3" "$4"', "sh", planted, link, linked, nobody_link],
                       check=True)
        # Where an install would land, if one ran.
        rpmdb = e2e.RpmDb(os.path.join(self.tmp, "host"))
        accept = {"accept_license": True}
        # host: (vars, the lines of its message that say why)
        cases = {
            "planted": ({"stage3_remote_dir": planted},
                        ["it belongs to nobody (uid 65534), not root: another account made it"]),
            "link": ({"stage3_remote_dir": link},
                     ['it is a symbolic link (to "%s"), owned by nobody (uid 65534)' % linked]),
            "open": ({"stage3_remote_dir": os.path.join(open_dir, "medium")},
                     ["%s above it (mode 0777) is writable by other accounts, which can put another "
                      "directory in its place" % open_dir]),
            "root-link": ({"stage3_remote_dir": os.path.join(self.tmp, "root-link", "medium")},
                          ["%s above it (mode 0777) is writable by other accounts, which can put another "
                           "directory in its place" % open_dir]),
            "nobody-link": ({"stage3_remote_dir": os.path.join(nobody_link, "medium")},
                            ["%s above it is a symbolic link owned by nobody (uid 65534), who can point it "
                             "elsewhere" % nobody_link]),
            "newline": ({"stage3_answers": {"accept_license": True, "setup_type": "custom\naccept-license=true"}},
                        ['stage3_answers.setup_type: "custom\\naccept-license=true" is not one of typical, '
                         'compact, custom']),
            "words": ({"stage3_answers": {"accept_license": "yes", "components": "driver;web-server --log /x"},
                       "stage3_log_lines": "5 /etc/shadow"},
                      ['stage3_answers.components: "web-server --log /x" is not one of web-server, '
                       'managed-system, notifier, snmp-agent, driver',
                       'stage3_log_lines: "5 /etc/shadow" is not a number above 0']),
        }
        inventory = {}
        for name, (host_vars, _) in cases.items():
            inventory[name] = dict(self.host_vars(name, self.good_medium, accept, rpmdb), **host_vars)
        self.write_inventory(inventory)

        # Two plays, since the settings fail a host sooner and the play stops once a fifth
        # of the hosts have failed.
        for hosts in (["planted", "link", "open", "root-link", "nobody-link"], ["newline", "words"]):
            status, out, recap = self.play("--limit", ",".join(hosts), *PARALLEL)
            self.assertEqual((status, {h: r["failed"] for h, r in recap.items()}), (2, {h: 1 for h in hosts}), out)
            for name in hosts:
                reasons = cases[name][1]
                failure = re.search(r"^fatal: \[%s\]: FAILED! => (.*)$" % name, out, re.M)
                self.assertEqual(json.loads(failure.group(1))["msg"][1:1 + len(reasons)], reasons, out)
        self.assertEqual([p for p in PACKAGES if rpmdb.installed(p)], [])
        # Nothing copied, nothing written.
        self.assertEqual((os.listdir(planted), os.listdir(linked), sorted(os.listdir(open_dir)), os.listdir(into_open)),
                         (["quorvel-browser-zz-1-1.noarch.rpm"], [], ["root-dir"], []))
        self.assertEqual([h for h in ("newline", "words") if os.path.exists(inventory[h]["stage3_remote_dir"])], [])


if __name__ == "__main__":
    unittest.main(testRunner=unittest.TextTestRunner(stream=sys.stdout, verbosity=2))
