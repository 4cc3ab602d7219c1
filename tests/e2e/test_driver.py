"""What the driver package means for the host, read from a prepared host tree (the
hidden --host-root): the kernel rebuild page's probe answers yes only when the driver
will be installed and its module drives a device that holds the root file system."""

import lzma
import os
import subprocess
import sys

import e2e_lib as e2e

KERNEL = "5.14.0-362.el9.x86_64"
HBA = "/sys/devices/pci0000:00/0000:00:01.0/0000:01:00.0"


GLOBAL_GUID = "8be4df61-93ca-11d2-aa0d-00e098032b8c"


def host_tree(root, root_behind_holvane, loaded=None, secure_boot=False, kernel=KERNEL):
    """A host with one kernel, / on sda1; sda's controller driven by holvane or by ahci."""

    def put(path, content=""):
        os.makedirs(os.path.dirname(root + path), exist_ok=True)
        with open(root + path, "w") as f:
            f.write(content)

    def link(path, target):
        os.makedirs(os.path.dirname(root + path), exist_ok=True)
        os.makedirs(root + target, exist_ok=True)
        os.symlink(os.path.relpath(target, os.path.dirname(path)), root + path)

    put("/proc/sys/kernel/osrelease", kernel + "\n")
    if secure_boot:
        efivars = "/sys/firmware/efi/efivars/"
        os.makedirs(root + efivars, exist_ok=True)
        for name, value in (("SecureBoot", b"\x01"), ("SetupMode", b"\x00")):
            with open(root + efivars + name + "-" + GLOBAL_GUID, "wb") as f:
                f.write(b"\x07\x00\x00\x00" + value)
    put("/lib/modules/%s/modules.dep" % KERNEL)
    disk = HBA + "/host0/target0:0:0/0:0:0:0/block/sda"
    link(disk + "/device", HBA + "/host0/target0:0:0/0:0:0:0")
    put(disk + "/sda1/partition", "1")
    link("/sys/class/block/sda1", disk + "/sda1")
    driver = "holvane" if root_behind_holvane else "ahci"
    link(HBA + "/driver", "/sys/bus/pci/drivers/" + driver)
    link("/sys/bus/pci/drivers/%s/module" % driver, "/sys/module/" + driver)
    put("/proc/mounts", "/dev/sda1 / xfs rw 0 0\n")
    if loaded:
        put("/proc/modules", "holvane 176128 2 - Live 0x0000000000000000\n")
        put("/sys/module/holvane/version", loaded + "\n")
        put("/sys/module/holvane/srcversion", "OLDSRC\n")
    return root


# Runs argv[2:] and writes the largest resident size (KiB) of any process of its tree to
# the file argv[1]; exits with its status.
MEASURED = ("import resource, subprocess, sys\n"
            "status = subprocess.run(sys.argv[2:]).returncode\n"
            "open(sys.argv[1], 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
            "sys.exit(status)\n")


def bomb_package(directory, unpacked_mib=512):
    """A driver package (the medium's driver file name) whose one module, holvane.ko.xz,
    is xz data of a few hundred KB that unpacks to unpacked_mib MiB of zeros: streams of
    16 MiB one after another, as xz writes and reads them, made in a second."""
    os.makedirs(directory)
    stream = lzma.compress(bytes(16 << 20), preset=0)
    bomb = os.path.join(directory, "holvane.ko.xz")
    with open(bomb, "wb") as f:
        for _ in range(unpacked_mib // 16):
            f.write(stream)
    spec = os.path.join(directory, "holvane.spec")
    with open(spec, "w") as f:
        f.write("%%define _build_id_links none\n%%define __os_install_post %%{nil}\n"
                "Name: holvane\nVersion: 1.2.3\nRelease: 4\nSummary: t\nLicense: MIT\n"
                "BuildArch: noarch\n%%description\nt\n%%install\n"
                "mkdir -p %%{buildroot}/lib/modules/%s/extra\n"
                "cp %s %%{buildroot}/lib/modules/%s/extra/\n"
                "%%files\n/lib/modules/%s/extra/holvane.ko.xz\n" % (KERNEL, bomb, KERNEL, KERNEL))
    subprocess.run(["rpmbuild", "-bb", "--quiet", "--define", "_topdir " + directory + "/top",
                    "--define", "_rpmdir " + directory, "--define",
                    "_rpmfilename " + e2e.DRIVER_FILE, spec], check=True, capture_output=True)
    return os.path.join(directory, e2e.DRIVER_FILE)


class Driver(e2e.WizardTest):

    def test_kernel_rebuild_follows_the_device_the_system_starts_from(self):
        medium = e2e.Medium(self.tmp, packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                                e2e.package("holvane-module", e2e.DRIVER_FILE)])
        rpmdb = e2e.RpmDb(os.path.join(self.tmp, "rpmdb"))
        env = dict(rpmdb.env(), DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        for behind, expected in ((True, True), (False, False)):
            with self.subTest(root_behind_holvane=behind):
                tree = host_tree(os.path.join(self.tmp, "host-%s" % behind), behind)
                run = subprocess.run(["./stage3", "--dry-run", "--json", "--accept-license",
                                      "--host-root", tree], cwd=medium.dir, env=env,
                                     capture_output=True, text=True, timeout=60)
                self.assertEqual(run.returncode, 0, run.stderr)
                plan = e2e.stage3_json(run.stdout)
                self.assertEqual(plan["kernel_rebuild"], expected)
                self.assertIn(os.path.join(medium.dir, e2e.DRIVER_FILE), plan["packages"])


    def test_restart_needed_is_told_and_is_status_5(self):
        """An older build of the module loaded now: the install succeeds with status 5, and
        the result line, the restart line and the log say so. The package's module path is
        kept off this machine's disk (rpm's _netsharedpath skips it)."""
        medium = e2e.Medium(self.tmp, packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                                e2e.package("holvane-module", e2e.DRIVER_FILE)])
        rpmdb = e2e.RpmDb(os.path.join(self.tmp, "rpmdb"))
        with open(os.path.join(rpmdb.home, ".rpmmacros"), "a") as f:
            f.write("%%_netsharedpath /lib/modules/%s\n" % KERNEL)
        env = dict(rpmdb.env(), DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        t = e2e.Texts(medium.db)
        cases = [("older build loaded", "2.0.1", 5), ("nothing loaded", None, 0)]
        for name, loaded, status in cases:
            with self.subTest(name):
                subprocess.run(["rpm", "-e", "--nodeps", "holvane", "quorvel-storman"], env=env,
                               capture_output=True)
                tree = host_tree(os.path.join(self.tmp, name), False, loaded)
                plan = e2e.stage3_json(subprocess.run(
                    ["./stage3", "--dry-run", "--json", "--accept-license", "--setup-type", "custom",
                     "--components", "managed-system,driver", "--host-root", tree],
                    cwd=medium.dir, env=env, capture_output=True, text=True, timeout=60).stdout)
                self.assertEqual(plan["restart_needed"], status == 5)
                log = os.path.join(self.tmp, name + ".log")
                run = subprocess.run(["./stage3", "--unattended", "--accept-license",
                                      "--setup-type", "custom", "--components",
                                      "managed-system,driver", "--log", log, "--host-root", tree],
                                     cwd=medium.dir, env=env, capture_output=True, text=True,
                                     timeout=120)
                self.assertEqual(run.returncode, status, run.stdout + run.stderr)
                self.assertTrue(rpmdb.installed("holvane"))
                self.assertEqual(t[2250] in run.stdout.splitlines(), status == 5, run.stdout)
                with open(log) as f:
                    self.assertIn("restart needed: %s" % ("yes" if status == 5 else "no"),
                                  f.read().splitlines())
                self.assertFalse(os.path.exists("/lib/modules/" + KERNEL))
                # Automation reads it from the result event of the JSON lines.
                subprocess.run(["rpm", "-e", "--nodeps", "holvane", "quorvel-storman"], env=env,
                               capture_output=True)
                events = subprocess.run(
                    ["./stage3", "--unattended", "--json", "--accept-license", "--setup-type",
                     "custom", "--components", "managed-system,driver", "--host-root", tree],
                    cwd=medium.dir, env=env, capture_output=True, text=True, timeout=120)
                result = [e2e.stage3_json(l) for l in events.stdout.splitlines()][-1]
                self.assertEqual((result["event"], result["exit_status"], result["restart_needed"]),
                                 ("result", status, status == 5))

    def test_a_driver_that_will_not_load_is_said_or_refused(self):
        """Secure Boot on with an unsigned module, or a running kernel the package has no
        module for: the plan and an unattended install say so before anything is installed;
        --require-loadable-driver refuses instead, and nothing is installed."""
        medium = e2e.Medium(self.tmp, packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                                e2e.package("holvane-module", e2e.DRIVER_FILE)])
        t = e2e.Texts(medium.db)
        other = "5.14.0-427.el9.x86_64"
        cases = [("secure boot, unsigned", dict(secure_boot=True), t[2255]),
                 ("another kernel running", dict(kernel=other), t[2253].replace("%s", other))]
        for name, host, note in cases:
            with self.subTest(name):
                rpmdb = e2e.RpmDb(os.path.join(self.tmp, name))
                with open(os.path.join(rpmdb.home, ".rpmmacros"), "a") as f:
                    f.write("%%_netsharedpath /lib/modules/%s\n" % KERNEL)
                env = dict(rpmdb.env(), DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
                tree = host_tree(os.path.join(self.tmp, name + " host"), False, **host)

                def stage3(*args):
                    return subprocess.run(["./stage3", "--accept-license", "--host-root", tree] +
                                          list(args), cwd=medium.dir, env=env,
                                          capture_output=True, text=True, timeout=120)
                plan = e2e.stage3_json(stage3("--dry-run", "--json").stdout)
                driver = os.path.join(medium.dir, e2e.DRIVER_FILE)
                self.assertIn({"kind": "driver", "subject": driver, "subjects": [driver],
                               "ok": True, "message": note}, plan["checks"])
                refused = stage3("--unattended", "--require-loadable-driver")
                self.assertEqual(refused.returncode, 1, refused.stdout + refused.stderr)
                self.assertIn(t[2259], refused.stdout + refused.stderr)
                self.assertFalse(rpmdb.installed("holvane") or rpmdb.installed("quorvel-storman"))
                installed = stage3("--unattended")
                self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
                self.assertIn(note, installed.stdout.splitlines())
                self.assertTrue(rpmdb.installed("holvane"))

    def test_a_module_that_unpacks_past_its_bound_is_named_not_inspected(self):
        """A few hundred KB of .ko.xz that unpack to 512 MiB: the dry run stops unpacking at
        the bound, no process of it grows near the module's size, and the plan names the
        module as not inspected; --require-loadable-driver refuses the install for it."""
        medium = e2e.Medium(self.tmp, packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                                bomb_package(os.path.join(self.tmp, "bomb"))])
        t = e2e.Texts(medium.db)
        rpmdb = e2e.RpmDb(os.path.join(self.tmp, "rpmdb"))
        env = dict(rpmdb.env(), DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        tree = host_tree(os.path.join(self.tmp, "host"), False)
        rss = os.path.join(self.tmp, "rss")
        run = subprocess.run([sys.executable, "-c", MEASURED, rss, "./stage3", "--dry-run",
                              "--json", "--accept-license", "--host-root", tree],
                             cwd=medium.dir, env=env, capture_output=True, text=True, timeout=120)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(rss) as f:
            self.assertLess(int(f.read()), 256 * 1024, "KiB at most of one process of the run")
        module = "/lib/modules/%s/extra/holvane.ko.xz" % KERNEL
        named = t[2340].replace("%s", module, 1).replace("%s", t[2341], 1)
        driver = os.path.join(medium.dir, e2e.DRIVER_FILE)
        self.assertIn({"kind": "driver", "subject": driver, "subjects": [driver], "ok": True,
                       "message": named},
                      e2e.stage3_json(run.stdout)["checks"])
        refused = subprocess.run(["./stage3", "--unattended", "--accept-license",
                                  "--require-loadable-driver", "--host-root", tree],
                                 cwd=medium.dir, env=env, capture_output=True, text=True,
                                 timeout=120)
        self.assertEqual(refused.returncode, 1, refused.stdout + refused.stderr)
        self.assertIn(t[2348], refused.stdout + refused.stderr)
        self.assertIn(named, refused.stdout + refused.stderr)
        self.assertFalse(rpmdb.installed("holvane") or rpmdb.installed("quorvel-storman"))


if __name__ == "__main__":
    e2e.main()
