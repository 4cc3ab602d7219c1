"""The checks before the first package, through the real rpm into a private database: a
medium whose files, packages, signatures or transaction are wrong installs nothing and
ends with status 1; the signed demo medium installs once its key is trusted; a medium of
before (no digest list, no key, unsigned packages, only the original texts) installs with
notes saying what could not be checked."""

import os
import re
import shutil
import struct
import subprocess

import e2e_lib as e2e

DEMO_MEDIUM = os.environ.get("E2E_DEMO_MEDIUM", "")
MAKE_MANIFEST = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "make_manifest.sh")
ALL = {"holvane", "quorvel-browser", "quorvel-storman"}


def truncate_app(directory):
    path = os.path.join(directory, e2e.APP_FILE)
    with open(path, "r+b") as f:
        f.truncate(os.path.getsize(path) // 2)


def spoil_browser_signature(directory):
    """Flips the last byte of the add-on's header signature: its digests still match, so
    only a check with the key finds that the signature does not verify."""
    path = os.path.join(directory, e2e.BROWSER_FILE)
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        count = struct.unpack(">I", data[104:108])[0]  # after the lead, magic and reserved
        store = 112 + 16 * count
        for i in range(count):
            tag, _, offset, size = struct.unpack(">IIII", data[112 + 16 * i:128 + 16 * i])
            if tag in (267, 268):  # the header's DSA or RSA signature
                data[store + offset + size - 1] ^= 0x5A
                f.seek(0)
                f.write(data)
                return
    raise AssertionError("no header signature in " + path)


def change_license(directory):
    with open(os.path.join(directory, "license.txt"), "a") as f:
        f.write("One more line.\n")


class Checks(e2e.WizardTest):

    def demo(self, name, change=None, remake_manifest=False):
        """A copy of the signed demo medium, changed by `change`."""
        directory = os.path.join(self.tmp, name)
        shutil.copytree(DEMO_MEDIUM, directory, symlinks=True)
        if change:
            change(directory)
        if remake_manifest:
            subprocess.run([MAKE_MANIFEST, directory], check=True)
        return directory

    def original(self, name, app="quorvel-storman"):
        """A medium of before: no digest list, no key, unsigned packages, original texts."""
        return e2e.Medium(self.tmp, name=name, original_texts=True,
                          packages=[e2e.package(app, e2e.APP_FILE),
                                    e2e.package("holvane", e2e.DRIVER_FILE),
                                    e2e.package("quorvel-browser", e2e.BROWSER_FILE)]).dir

    def run_stage3(self, directory, rpmdb, args):
        env = rpmdb.env()
        env.update(DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        env.pop("LC_ALL", None)
        p = subprocess.run(["./stage3"] + args, cwd=directory, env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        return p.returncode, p.stdout.decode("utf-8", "replace")

    def installed(self, rpmdb):
        return {name for name in ALL if rpmdb.installed(name)}

    def test_install_only_when_every_check_passes(self):
        if not os.path.exists(os.path.join(DEMO_MEDIUM, "RPM-GPG-KEY-quorvel-demo")):
            self.skipTest("the demo medium is not signed (no gpg at build time)")
        t = e2e.project_texts(self.tmp)
        said = self.rpmdb().rpm("-Kv", os.path.join(DEMO_MEDIUM, e2e.APP_FILE))
        key = "0x" + re.search(r"key ID ([0-9a-f]+)", said).group(1).upper()
        trust = ["--trust-medium-key"]
        cases = [
            # name, medium, options, status, a line of the output, installed
            ("key not trusted unattended", lambda: self.demo("untrusted"), [], 1,
             t[2124].replace("%s", key), set()),
            # --quiet keeps every line of a refusal.
            ("key not trusted, quiet", lambda: self.demo("untrusted-quiet"), ["--quiet"], 1,
             t[2124].replace("%s", key), set()),
            ("key trusted", lambda: self.demo("trusted"), trust, 0,
             t[2126].replace("%s", key), ALL),
            ("truncated package", lambda: self.demo("truncated", truncate_app, True), trust, 1,
             t[2116].replace("%s", os.path.join(self.tmp, "truncated", e2e.APP_FILE)), set()),
            # Its key is trusted, yet the install is refused: the key stays out of the keyring.
            ("add-on signature spoiled", lambda: self.demo("spoiled", spoil_browser_signature, True),
             trust, 1, t[2117].replace("%s", os.path.join(self.tmp, "spoiled", e2e.BROWSER_FILE)),
             set()),
            ("file changed after the list", lambda: self.demo("changed", change_license), trust, 1,
             "license.txt differs from the medium's list", set()),
            ("dependency nothing provides",
             lambda: self.original("needy", app="quorvel-storman-needy"), [], 1,
             "quorvel-firmware-tools >= 9 is needed by quorvel-storman-3.B-2.noarch", set()),
            ("medium of before", lambda: self.original("before"), [], 0, t[2102], ALL),
            ("medium of before, signatures required", lambda: self.original("required"),
             ["--require-signatures"], 1,
             t[2113].replace("%s", os.path.join(self.tmp, "required", e2e.DRIVER_FILE)), set()),
        ]
        for name, medium, args, status, line, installed in cases:
            with self.subTest(name):
                e2e.clear_tmp_files()
                directory = medium()
                rpmdb = e2e.RpmDb(os.path.join(self.tmp, name))
                log = os.path.join(self.tmp, name + ".log")
                result, out = self.run_stage3(directory, rpmdb,
                                              ["--unattended", "--accept-license", "--log", log] + args)
                self.assertEqual(result, status, out)
                self.assertIn(line, out)
                self.assertEqual(self.installed(rpmdb), installed)
                with open(log) as f:
                    result_line = [l for l in f.read().split("\n") if l.startswith("result: ")]
                self.assertEqual(result_line, ["result: installed"] if status == 0
                                 else ["result: refused before installing"])
                if status:
                    # The refusal says where its log is.
                    self.assertIn(log, out)
                    # Nothing changed: no key taken into rpm's keyring either.
                    self.assertIsNone(rpmdb.installed("gpg-pubkey"))

    def test_rpm_is_asked_once_before_the_first_package(self):
        """The installed versions in one rpm -q, every package in one rpm -Kv (the medium's
        key tried in the same pass), the install in one test transaction."""
        if not os.path.exists(os.path.join(DEMO_MEDIUM, "RPM-GPG-KEY-quorvel-demo")):
            self.skipTest("the demo medium is not signed (no gpg at build time)")
        # rpm found through PATH logs its arguments (each ended by \x1f, a run by \x1e: an
        # argument may hold a newline), then runs the real one.
        wrapper = os.path.join(self.tmp, "bin")
        os.makedirs(wrapper)
        calls = os.path.join(self.tmp, "rpm-calls")
        with open(os.path.join(wrapper, "rpm"), "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\037" "$@" >> %s\nprintf "\\036" >> %s\n'
                    'exec %s "$@"\n' % (calls, calls, shutil.which("rpm")))
        os.chmod(os.path.join(wrapper, "rpm"), 0o755)
        cases = [
            # name, medium, options
            ("signed demo, key trusted", lambda: self.demo("counted"), ["--trust-medium-key"]),
            ("medium of before", lambda: self.original("counted-before"), []),
        ]
        for name, medium, args in cases:
            with self.subTest(name):
                e2e.clear_tmp_files()
                open(calls, "w").close()
                directory = medium()
                rpmdb = e2e.RpmDb(os.path.join(self.tmp, name))
                env = rpmdb.env()
                env.update(DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8",
                           PATH=wrapper + os.pathsep + env["PATH"])
                p = subprocess.run(["./stage3", "--unattended", "--accept-license"] + args,
                                   cwd=directory, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
                self.assertEqual(p.returncode, 0, p.stdout.decode("utf-8", "replace"))
                self.assertEqual(self.installed(rpmdb), ALL)
                with open(calls) as f:
                    runs = [run.split("\x1f")[:-1] for run in f.read().split("\x1e")[:-1]]
                first = next(i for i, run in enumerate(runs) if "--percent" in run)
                before = runs[:first]
                for option in ("-q", "-Kv", "--test"):
                    self.assertEqual(len([run for run in before if option in run]), 1,
                                     "%s in %s" % (option, before))

    def test_verify_and_dry_run_check_without_changing_anything(self):
        if not os.path.exists(os.path.join(DEMO_MEDIUM, "RPM-GPG-KEY-quorvel-demo")):
            self.skipTest("the demo medium is not signed (no gpg at build time)")
        good, changed = self.demo("good"), self.demo("changed", change_license)
        spoiled = self.demo("spoiled", spoil_browser_signature, True)
        t = e2e.project_texts(self.tmp)
        rpmdb = self.rpmdb()
        cases = [
            # medium, options, status, a line of the output
            (good, ["--verify"], 0, "license.txt: OK"),
            (changed, ["--verify"], 1, "license.txt: license.txt differs from the medium's list"),
            # Checked against the medium's key, which rpm's keyring does not hold.
            (spoiled, ["--verify"], 1, t[2117].replace("%s", e2e.BROWSER_FILE)),
            (good, ["--dry-run", "--accept-license", "--trust-medium-key"], 0,
             "check transaction: ok"),
            (changed, ["--dry-run", "--accept-license", "--trust-medium-key"], 1,
             "check file: FAILED: license.txt differs"),
            (spoiled, ["--dry-run", "--accept-license", "--trust-medium-key"], 1,
             "check signature: FAILED: " +
             t[2117].replace("%s", os.path.join(spoiled, e2e.BROWSER_FILE))),
        ]
        for directory, args, status, line in cases:
            with self.subTest(args=args, medium=os.path.basename(directory)):
                result, out = self.run_stage3(directory, rpmdb, args)
                self.assertEqual(result, status, out)
                self.assertIn(line, out)
        result, out = self.run_stage3(good, rpmdb, ["--dry-run", "--json", "--accept-license"])
        self.assertEqual(result, 1, out)
        checks = e2e.stage3_json(out)["checks"]
        self.assertEqual({c["kind"] for c in checks}, {"manifest", "key", "signature", "transaction"})
        self.assertEqual({c["kind"] for c in checks if not c["ok"]}, {"key", "signature"})
        self.assertEqual(self.installed(rpmdb), set())
        self.assertIsNone(rpmdb.installed("gpg-pubkey"))


if __name__ == "__main__":
    e2e.main()
