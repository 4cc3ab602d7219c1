"""An installed version on its second day, through the real rpm: the install leaves a
record, --status tells what is installed, --repair puts back a deleted file, --modify
takes the web server's add-on in and out with the application's scriptlet seeing the
new settings, --remove takes the application away and the driver only when asked."""

import configparser
import os
import subprocess
import time

import e2e_lib as e2e
from gi.repository import Atspi

APP_FILE_ON_DISK = "/usr/share/quorvel-e2e/storman.txt"
SETTINGS = "e2e-app: QRVLAUTOWEBSERVER=%s QRVLAUTOMANAGEDSYSTEM=yes QRVLAUTONOTIFIER=%s QRVLAUTOSNMP=%s"


class DayTwo(e2e.WizardTest):

    def stage3(self, medium, rpmdb, args):
        env = dict(rpmdb.env(), DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        run = subprocess.run(["./stage3"] + args, cwd=medium.dir,
                             env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                             timeout=120)
        return run.returncode, run.stdout, run.stderr

    def test_install_status_repair_modify_remove(self):
        medium = e2e.Medium(self.tmp, packages=[
            e2e.package("quorvel-storman-files", e2e.APP_FILE),
            e2e.package("holvane", e2e.DRIVER_FILE),
            e2e.package("quorvel-browser", e2e.BROWSER_FILE)])
        t = e2e.Texts(medium.db)
        rpmdb = self.rpmdb()
        # The records of a private rpm database are kept beside it.
        record = os.path.join(os.path.dirname(rpmdb.path), "stage3-records", "quorvel-storman.ini")

        def recorded():
            parser = configparser.ConfigParser()
            parser.read(record)
            return parser["install"]

        status, out, err = self.stage3(medium, rpmdb, [
            "--unattended", "--accept-license", "--components", "web-server,notifier,driver"])
        self.assertEqual(status, 0, err)
        self.assertEqual(recorded()["components"], "web-server;managed-system;notifier;driver;")
        self.assertEqual(os.stat(record).st_mode & 0o777, 0o644)

        # A plain start now refuses, naming the way to maintain it.
        status, out, err = self.stage3(medium, rpmdb, ["--unattended", "--accept-license"])
        self.assertEqual(status, 1)
        self.assertIn("--maintain", err)

        status, out, err = self.stage3(medium, rpmdb, ["--status"])
        self.assertEqual(status, 0, err)
        self.assertIn("application: quorvel-storman, medium 3.B-2, installed 3.B-2", out)
        self.assertIn("components: web-server managed-system notifier driver", out)
        status, out, err = self.stage3(medium, rpmdb, ["--status", "--json"])
        state = e2e.stage3_json(out)
        self.assertEqual((state["driver"]["installed"], state["add-on"]["installed"],
                          state["record"]["state"], state["record"]["setup_type"]),
                         ("1.2.3-4", "1.0-1", "read", "custom"))

        self.assertEqual(state["record_state"], "matches")

        os.unlink(APP_FILE_ON_DISK)
        self.assertNotEqual(rpmdb.rpm("-V", "quorvel-storman"), "")
        status, out, err = self.stage3(medium, rpmdb, ["--repair"])
        self.assertEqual(status, 0, out + err)
        self.assertIn(t[2155], out)
        self.assertEqual(rpmdb.rpm("-V", "quorvel-storman"), "")
        self.assertIn("--replacepkgs", out)
        # The day-two actions report as an install does: only JSON lines with --json.
        status, out, err = self.stage3(medium, rpmdb, ["--unattended", "--repair", "--json"])
        events = [e2e.stage3_json(line) for line in out.splitlines()]
        self.assertEqual(status, 0, out + err)
        self.assertEqual((events[-1]["event"], events[-1]["exit_status"], events[-1]["succeeded"],
                          events[-1]["installed"]), ("result", 0, True, True))
        self.assertTrue(events[-1]["lines"][0].startswith(t[2155]), events[-1])
        self.assertIn("output", {event["event"] for event in events})

        cases = [
            # components, add-on installed after, the scriptlet's settings
            ("notifier,snmp-agent", False, ("no", "yes", "yes")),
            ("web-server,notifier", True, ("yes", "yes", "no")),
        ]
        for components, addon, settings in cases:
            with self.subTest(modify=components):
                status, out, err = self.stage3(medium, rpmdb,
                                               ["--modify", "--components", components])
                self.assertEqual(status, 0, out + err)
                self.assertIn(SETTINGS % settings, out)
                self.assertEqual(rpmdb.installed("quorvel-browser") is not None, addon)
                self.assertEqual(bool(recorded().get("addon-version")), addon)
                self.assertIsNotNone(rpmdb.installed("holvane"))

        # Nobody can answer the question of a remove here: only --yes lets it.
        status, out, err = self.stage3(medium, rpmdb, ["--remove"])
        self.assertEqual(status, 64, out + err)
        self.assertIn("--yes", err)
        self.assertIsNotNone(rpmdb.installed("quorvel-storman"))

        for args, driver_after in ((["--remove", "--yes", "--json"], True),
                                   (["--remove", "--remove-driver", "--yes"], False)):
            with self.subTest(remove=args):
                if rpmdb.installed("quorvel-storman") is None:
                    self.stage3(medium, rpmdb, ["--unattended", "--accept-license"])
                status, out, err = self.stage3(medium, rpmdb, args)
                self.assertEqual(status, 0, out + err)
                if "--json" in args:
                    # Done, and the product is no longer installed.
                    result = e2e.stage3_json(out.splitlines()[-1])
                    self.assertEqual((result["succeeded"], result["installed"]), (True, False), result)
                self.assertIsNone(rpmdb.installed("quorvel-storman"))
                self.assertIsNone(rpmdb.installed("quorvel-browser"))
                self.assertEqual(rpmdb.installed("holvane") is not None, driver_after)
                self.assertFalse(os.path.exists(record))
        self.assertFalse(os.path.exists(APP_FILE_ON_DISK))

        # The application removed by hand: the record no longer matches rpm, and says so.
        status, out, err = self.stage3(medium, rpmdb, ["--unattended", "--accept-license"])
        self.assertEqual(status, 0, out + err)
        rpmdb.rpm("-e", "--nodeps", "quorvel-storman")
        status, out, err = self.stage3(medium, rpmdb, ["--status", "--json"])
        self.assertEqual(e2e.stage3_json(out)["record_state"], "stale")
        status, out, err = self.stage3(medium, rpmdb, ["--status"])
        self.assertIn("stale: rpm has application none", out)

    def test_newer_medium_upgrades_keeping_the_addon_and_removes(self):
        """A medium with a newer application and the same add-on: the upgrade keeps the
        add-on as it is, a repair says why it cannot, and a remove takes the older version
        that is installed."""
        old = e2e.Medium(self.tmp, name="old", packages=[
            e2e.package("quorvel-storman", e2e.APP_FILE),
            e2e.package("quorvel-browser", e2e.BROWSER_FILE)])
        new = e2e.Medium(self.tmp, name="new", packages=[
            e2e.package("quorvel-storman-newer", "quorvel-storman-3.C-1.noarch.rpm"),
            e2e.package("quorvel-browser", e2e.BROWSER_FILE)])
        t = e2e.Texts(new.db)
        for removing in (True, False):
            rpmdb = e2e.RpmDb(os.path.join(self.tmp, "remove" if removing else "upgrade"))
            status, out, err = self.stage3(old, rpmdb, [
                "--unattended", "--accept-license", "--components", "web-server"])
            self.assertEqual(status, 0, out + err)
            addon_time = rpmdb.rpm("-q", "--qf", "%{INSTALLTIME}", "quorvel-browser")
            if removing:
                status, out, err = self.stage3(new, rpmdb, ["--remove", "--yes"])
                self.assertEqual(status, 0, out + err)
                self.assertIn("rpm -ev quorvel-storman", out)
                self.assertEqual([rpmdb.installed(name) for name in
                                  ("quorvel-storman", "quorvel-browser")], [None, None])
                continue
            status, out, err = self.stage3(new, rpmdb, ["--status"])
            self.assertEqual(status, 0, err)
            self.assertIn("medium 3.C-1, installed 3.B-2", out)
            self.assertIn("--remove removes 3.B-2", out)
            status, out, err = self.stage3(new, rpmdb, ["--repair"])
            self.assertEqual(status, 1, out + err)
            self.assertIn(t[2442].replace("%s", "quorvel-storman", 1).replace("%s", "3.B-2", 1)
                          .replace("%s", "3.C-1"), err)
            status, out, err = self.stage3(new, rpmdb, ["--dry-run", "--json", "--accept-license"])
            steps = {step["package"]: step for step in e2e.stage3_json(out)["steps"]}
            self.assertEqual((steps["quorvel-browser"]["action"], steps["quorvel-storman"]["action"],
                              steps["quorvel-storman"]["installed"]), ("keep", "upgrade", "3.B-2"))
            time.sleep(1.1)  # a reinstall would show in the add-on's install time
            status, out, err = self.stage3(new, rpmdb, ["--unattended", "--accept-license"])
            self.assertEqual(status, 0, out + err)
            self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.C-1.noarch")
            self.assertEqual(rpmdb.rpm("-q", "--qf", "%{INSTALLTIME}", "quorvel-browser"),
                             addon_time)
            self.assertNotIn("--nodeps", out)

    def test_graphical_maintain_removes(self):
        """--maintain in the graphical wizard: Remove chosen in its window, then the review,
        run and finish pages of the main window, each in the words of a removal, and no
        proxy notice about the web pages just removed."""
        medium = e2e.Medium(self.tmp, packages=[
            e2e.package("quorvel-storman-files", e2e.APP_FILE),
            e2e.package("quorvel-browser", e2e.BROWSER_FILE)])
        t = e2e.Texts(medium.db)
        rpmdb = self.rpmdb()
        rpmdb.install(e2e.package("quorvel-storman-files", e2e.APP_FILE))
        rpmdb.install(e2e.package("quorvel-browser", e2e.BROWSER_FILE))
        records = os.path.join(self.tmp, "records")
        log = os.path.join(self.tmp, "install.log")
        w = self.start(medium, rpmdb, args=["--log", log, "--maintain",
                                            "--record-directory", records])
        ask = w.window(t[2158])
        e2e.click(e2e.find(ask, Atspi.Role.RADIO_BUTTON, t.label(2162)))
        e2e.click(e2e.find(ask, Atspi.Role.PUSH_BUTTON, t.label(1)))
        d = e2e.Driver(w, t)
        d.wait_title(33)
        # Without a record the typical components (the web server among them) are removed.
        self.assertEqual(e2e.names(d.win, Atspi.Role.LABEL)[:3], [t[33], t[2462], t[2465]])
        self.assertIn(t[44], e2e.text_of(d.output_view()))
        d.press(1)
        d.wait_run_page()
        self.assertIn("rpm -ev quorvel-storman", d.wait_end_of_install())
        self.assertEqual(e2e.names(d.win, Atspi.Role.LABEL), [t[2474], t[2480]])
        d.press(1)
        d.wait_title(35)
        self.assertEqual(e2e.names(d.win, Atspi.Role.LABEL),
                         [t[35], t[2480], "", "", t[2007].replace("%s", log)])
        d.press(37)
        # A proxy notice would keep the wizard waiting for its OK.
        self.assertEqual(w.wait(20), 0)
        self.assertIsNone(rpmdb.installed("quorvel-storman"))
        self.assertIsNone(rpmdb.installed("quorvel-browser"))
        with open(log) as f:
            self.assertIn("result: removed\n", f.read())


if __name__ == "__main__":
    e2e.main()
