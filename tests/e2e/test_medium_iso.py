"""The medium's ISO image made by scripts/make_medium_iso.sh: its Rock Ridge and
Joliet trees, and the wizard started through `setup` from the image's files
extracted into a read-only tree, from another working directory."""

import json
import os
import shutil
import stat
import subprocess
import tempfile
import types

import e2e_lib as e2e
from test_startup import answer_refusal_dialog

TOP = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
MAKE_ISO = os.path.join(TOP, "scripts", "make_medium_iso.sh")
EXECUTABLE = "-r-xr-xr-x"
READABLE = "-r--r--r--"
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]


def xorriso(*args):
    return subprocess.run(["xorriso"] + list(args), stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, check=True).stdout.decode()


def snapshot(tree):
    """Every path under tree with its mode, size and modification time."""
    entries = {}
    for top, dirs, files in os.walk(tree):
        for name in dirs + files:
            st = os.lstat(os.path.join(top, name))
            entries[os.path.relpath(os.path.join(top, name), tree)] = \
                (st.st_mode, st.st_size, st.st_mtime_ns)
    return entries


class MediumImage(e2e.WizardTest):

    def setUp(self):
        super().setUp()
        self.medium = e2e.Medium(self.tmp, packages=[
            e2e.package("quorvel-storman", e2e.APP_FILE), e2e.package("holvane", e2e.DRIVER_FILE),
            e2e.package("quorvel-browser", e2e.BROWSER_FILE)])
        os.makedirs(os.path.join(self.medium.dir, "de"))
        for name in ("de/license.txt", "README", "install-old.log"):
            with open(os.path.join(self.medium.dir, name), "w") as f:
                f.write(name + "\n")
        self.iso = os.path.join(self.tmp, "medium.iso")
        made = subprocess.run([MAKE_ISO, self.medium.dir, self.iso], stderr=subprocess.PIPE)
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertEqual(made.stderr.decode(), "make_medium_iso: left out: install-old.log\n")
        self.tree = os.path.join(self.tmp, "tree")
        self.mounted = False

    def tearDown(self):
        # The wizards go first: a mount they work in cannot be taken away.
        for w in self.wizards:
            w.kill()
        if self.mounted:
            subprocess.run(["umount", self.tree], check=True)
        if os.path.isdir(self.tree):
            subprocess.run(["chmod", "-R", "u+w", self.tree], check=True)
        super().tearDown()

    def test_image_holds_the_medium_with_modes_and_joliet_names(self):
        listing = {}
        for line in xorriso("-indev", self.iso, "-find", "/", "-exec", "lsdl").splitlines():
            mode, path = line.split()[0], line.split("'")[1]
            listing[path] = mode
        expected = {"/" + f: READABLE for f in ("README", "de/license.txt", "license.txt",
                                                 "setupresDB", e2e.APP_FILE, e2e.DRIVER_FILE,
                                                 e2e.BROWSER_FILE, "SHA256SUMS")}
        expected.update({"/" + f: EXECUTABLE for f in ("stage3", "stage3-gtk", "setup",
                                                       "autorun.sh")})
        expected.update({"/": "dr-xr-xr-x", "/de": "dr-xr-xr-x"})
        self.assertEqual(listing, expected)
        # The Joliet tree alone (Rock Ridge not read) keeps the names as they are.
        joliet = xorriso("-read_fs", "norock", "-indev", self.iso, "-ls", "/")
        self.assertIn("'%s'" % e2e.APP_FILE, joliet.splitlines())
        # Its digest list names every other file of the image, with its digest there.
        xorriso("-osirrox", "on", "-indev", self.iso, "-extract", "/", self.tree)
        subprocess.run(["sha256sum", "--quiet", "--strict", "-c", "SHA256SUMS"], cwd=self.tree,
                       check=True)
        with open(os.path.join(self.tree, "SHA256SUMS")) as f:
            listed = sorted("/" + line.split("  ", 1)[1] for line in f.read().splitlines())
        self.assertEqual(listed, sorted(path for path, mode in expected.items()
                                        if mode != "dr-xr-xr-x" and path != "/SHA256SUMS"))

        # A medium the graphical wizard could not start from gets no image.
        os.unlink(os.path.join(self.medium.dir, "stage3-gtk"))
        broken = os.path.join(self.tmp, "broken.iso")
        made = subprocess.run([MAKE_ISO, self.medium.dir, broken], stderr=subprocess.PIPE)
        self.assertEqual(made.returncode, 1)
        self.assertIn(b"stage3-gtk", made.stderr)
        self.assertEqual([f for f in os.listdir(self.tmp) if "broken" in f], [])

    def test_another_account_gets_no_hold_on_the_image(self):
        # The image made in a directory every account may write (sticky, as /tmp):
        # another account that makes the file xorriso is to write first (it wins
        # the race for the name every time here, through a wrapper around xorriso)
        # or a directory at the output's name gets no hold on root's image.
        shared = tempfile.mkdtemp(prefix="stage3-e2e-shared-", dir="/tmp")
        self.addCleanup(shutil.rmtree, shared, ignore_errors=True)
        os.chmod(shared, 0o1777)
        raced_xorriso = os.path.join(self.tmp, "xorriso")
        with open(raced_xorriso, "w") as f:
            f.write('#!/bin/sh\n'
                    'for arg; do [ "$previous" != -o ] || image=$arg; previous=$arg; done\n'
                    '%s sh -c \': > "$1" && chmod 666 "$1"\' sh "$image" 2>/dev/null\n'
                    'exec xorriso "$@"\n' % " ".join(NOBODY))
        os.chmod(raced_xorriso, 0o755)

        def make(output, xorriso_program):
            return subprocess.run([MAKE_ISO, self.medium.dir, output], stderr=subprocess.PIPE,
                                  env=dict(os.environ, XORRISO=xorriso_program)).returncode

        raced, taken = os.path.join(shared, "raced.iso"), os.path.join(shared, "taken.iso")
        self.assertEqual(make(raced, raced_xorriso), 0)
        st = os.lstat(raced)
        self.assertEqual((stat.S_ISREG(st.st_mode), st.st_uid, st.st_mode & 0o022), (True, 0, 0))
        subprocess.run(NOBODY + ["mkdir", taken], check=True)
        self.assertEqual(make(taken, "xorriso"), 1)
        self.assertEqual(os.listdir(taken), [])
        # Nothing else is left beside them.
        self.assertEqual(sorted(os.listdir(shared)), ["raced.iso", "taken.iso"])

    def mount_read_only(self):
        """A read-only mount over the tree, where that can be made (as root): root
        writes through missing write permissions."""
        if subprocess.run(["mount", "--bind", self.tree, self.tree]).returncode == 0:
            self.mounted = True
            subprocess.run(["mount", "-o", "remount,bind,ro", self.tree], check=True)

    def launch(self, rpmdb, args, caller):
        """The wizard started through setup from the directory caller."""
        start = types.SimpleNamespace(dir=caller, program=os.path.join(self.tree, "setup"))
        return self.start(start, rpmdb, argv0="setup", args=args)

    def test_wizard_runs_from_the_read_only_tree(self):
        xorriso("-osirrox", "on", "-indev", self.iso, "-extract", "/", self.tree)
        subprocess.run(["chmod", "-R", "a-w", self.tree], check=True)
        before = snapshot(self.tree)
        caller = os.path.join(self.tmp, "caller")
        os.mkdir(caller)
        rpmdb = self.rpmdb()
        t = e2e.Texts(os.path.join(self.tree, "setupresDB"))

        w = self.launch(rpmdb, ["--dry-run", "--json", "--accept-license"], caller)
        self.assertEqual(w.wait(30), 0, w.stderr())
        with open(w.out_path) as f:
            plan = json.load(f)
        self.assertEqual((plan["medium"], plan["exit_status"]), (self.tree, 0))
        # Before the mount, a write of root's would have landed.
        self.assertEqual(snapshot(self.tree), before)
        self.mount_read_only()

        # A relative --log names a file in the caller's directory, not on the medium.
        w = self.launch(rpmdb, ["--log", "install.log"], caller)
        w.log_path = os.path.join(caller, "install.log")
        d = e2e.Driver(w, t)
        d.start_typical_install()
        output = d.wait_end_of_install()
        self.assertTrue(output.endswith("Done!!!!\n"), output)
        for name, nvr in (("holvane", "holvane-1.2.3-4.noarch"),
                          ("quorvel-browser", "quorvel-browser-1.0-1.noarch"),
                          ("quorvel-storman", "quorvel-storman-3.B-2.noarch")):
            self.assertEqual(rpmdb.installed(name), nvr)
        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, e2e.Atspi.Role.LABEL), e2e.success_form(t, w))
        self.x.request_close(w.pid, t[1000])
        self.assertEqual(w.wait(20), 0)
        self.assertTrue(os.path.getsize(w.log_path) > 0)

        # Installed now: the refusal goes to a terminal when standard error is one ...
        refusal = [t[55], t[57], t[2150]]
        env = dict(rpmdb.env(), LANG="en_US.UTF-8")
        env.pop("LC_ALL", None)
        master, slave = os.openpty()
        self.x.watch_maps()
        # (A dialog there would hold it until the time runs out.)
        ran = subprocess.run([os.path.join(self.tree, "setup")], cwd=caller, env=env,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=slave,
                             timeout=30)
        os.close(slave)
        self.assertEqual(ran.returncode, 1)
        shown = os.read(master, 65536).decode()  # all there is, a few lines
        os.close(master)
        self.assertEqual(shown.split("\r\n")[-4:], refusal + [""])
        self.x.d.sync()
        self.assertEqual(self.x.mapped_since_watch(), [], "a window was shown")
        # ... and into a dialog when no terminal shows it.
        answer_refusal_dialog(self, self.launch(rpmdb, [], caller), refusal)

        self.assertEqual(snapshot(self.tree), before)


if __name__ == "__main__":
    e2e.main()
