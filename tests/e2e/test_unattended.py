"""stage3 without a display or a person: --unattended installs from the options and
an answers file into a private rpm database, --dry-run shows the plan, the install
log records the run, and the exit statuses tell a script what happened. No display
is reachable: DISPLAY and WAYLAND_DISPLAY are set empty, which names none."""

import os
import subprocess
import time

import e2e_lib as e2e

QRVL = "e2e-app: QRVLAUTOWEBSERVER=%s QRVLAUTOMANAGEDSYSTEM=%s QRVLAUTONOTIFIER=%s QRVLAUTOSNMP=%s"
# The line the install script prints last; a package may print it too.
CLOSING = "_" * 34
NEWER_APP_FILE = "quorvel-storman-3.C-1.noarch.rpm"


class Unattended(e2e.WizardTest):

    def medium(self, driver="holvane", app="quorvel-storman", browser="quorvel-browser", **kwargs):
        m = e2e.Medium(self.tmp, packages=[e2e.package(app, e2e.APP_FILE),
                                           e2e.package(driver, e2e.DRIVER_FILE),
                                           e2e.package(browser, e2e.BROWSER_FILE)],
                       **kwargs)
        return m, e2e.Texts(m.db)

    def run_stage3(self, medium, rpmdb, args, answers=None, wait=True, display=""):
        env = rpmdb.env()
        for name in ("LC_ALL", "LANGUAGE"):
            env.pop(name, None)
        # Set but empty: that names no display either.
        env.update(DISPLAY=display, WAYLAND_DISPLAY="")
        env["LANG"] = "en_US.UTF-8"
        if answers is not None:
            path = os.path.join(self.tmp, "answers.ini")
            with open(path, "w") as f:
                f.write(answers)
            args = args + ["--answers", path]
        p = subprocess.Popen(["./stage3"] + args, cwd=medium.dir, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if not wait:
            return p
        out, err = p.communicate(timeout=120)
        return p.returncode, out.decode("utf-8"), err.decode("utf-8")

    def installed(self, rpmdb):
        return {name for name in ("holvane", "quorvel-browser", "quorvel-storman") if rpmdb.installed(name)}

    def test_installs_by_setup_type(self):
        yes, no = "yes", "no"
        cases = [
            # name, options, answers file, packages, settings, line about an added component
            ("typical", ["--accept-license"], None,
             {"holvane", "quorvel-browser", "quorvel-storman"}, (yes, yes, yes, yes), None),
            ("compact", [], "[stage3]\naccept-license=true\nsetup-type=compact\n",
             {"quorvel-storman"}, (no, yes, no, no), None),
            ("custom", ["--accept-license", "--components", "notifier,driver"], None,
             {"holvane", "quorvel-storman"}, (no, yes, yes, no), (45, 46)),
            ("options over the file", ["--setup-type", "compact"],
             "[stage3]\naccept-license=true\nsetup-type=typical\n",
             {"quorvel-storman"}, (no, yes, no, no), None),
        ]
        for name, args, answers, packages, settings, added in cases:
            with self.subTest(name):
                medium, t = self.medium(name="medium " + name)
                rpmdb = e2e.RpmDb(os.path.join(self.tmp, name))
                log = os.path.join(self.tmp, name + ".log")
                status, out, err = self.run_stage3(medium, rpmdb, ["--unattended", "--log", log] + args,
                                                   answers)
                self.assertEqual((status, err), (0, ""), out)
                self.assertEqual(self.installed(rpmdb), packages)
                lines = out.split("\n")
                self.assertIn(QRVL % settings, lines)
                self.assertIn("e2e-app: RUNNING_FROM_GUI=1", lines)
                self.assertNotIn("\x1b", out)
                self.assertFalse([l for l in lines if l.startswith("_____")])
                # Without a display, the web server's proxy notice is a line after the result.
                proxy = [t.proxy_line()] if "quorvel-browser" in packages else []
                self.assertEqual(lines[-2 - len(proxy):],
                                 [t[2008] + " " + t[2007].replace("%s", log)] + proxy + [""])
                if added:
                    self.assertEqual(lines[0], t[2013].replace("%s", t[added[0]], 1).replace("%s", t[added[1]]))
                with open(log) as f:
                    self.assertIn("\n" + QRVL % settings + "\n", f.read())
                self.assertEqual(oct(os.stat(log).st_mode & 0o777), "0o600")

    def test_log_records_the_run(self):
        medium, t = self.medium(driver="holvane-failing")
        rpmdb = self.rpmdb()
        log = os.path.join(self.tmp, "install.log")
        status, out, err = self.run_stage3(medium, rpmdb, ["--unattended", "--accept-license", "--log", log])
        self.assertEqual(status, 2)
        self.assertEqual(out.split("\n")[-2], t[2009] + " " + t[2007].replace("%s", log))
        with open(log) as f:
            text = f.read()
        fields = dict(l.split(": ", 1) for l in text.split("--- install output ---")[0].split("\n")[1:] if ": " in l)
        self.assertEqual(fields["LANG"], "en_US.UTF-8")
        self.assertEqual(fields["medium"], medium.dir)
        self.assertTrue(fields["stage3 version"])
        self.assertEqual(fields["host"], os.uname().nodename)
        self.assertIn(e2e.APP_FILE + " (version 3.B-2); installed: none; check 5", fields["application"])
        self.assertIn(e2e.DRIVER_FILE + " (version 1.2.3-4); installed: none; check 5", fields["driver"])
        self.assertEqual(fields["setup type"], "typical")
        self.assertEqual(fields["components"], "web-server managed-system notifier snmp-agent driver")
        self.assertIn("e2e-driver: no controller found\n", text)
        # When each step began, and how long the whole took.
        self.assertRegex(text, r"\nstep 1 of \d+: \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\n")
        self.assertRegex(text, r"\nduration: \d+\.\d s\n")
        self.assertTrue(text.endswith("script exit status: 1\nresult: failed\n"), text[-200:])
        self.assertEqual(self.installed(rpmdb), set())
        # An existing file is never written through or over: nothing is installed without the log.
        again = self.rpmdb_again()
        status, out, err = self.run_stage3(medium, again, ["--unattended", "--accept-license", "--log", log])
        self.assertEqual((status, err),
                         (64, "stage3: the log %s cannot be created: File exists\n%s\n" % (log, t[2380])))
        self.assertEqual(self.installed(again), set())

    def test_failing_add_on_fails_the_run_and_its_lines_are_told(self):
        # The add-on prints a line like the script's closing line, then its own error.
        medium, t = self.medium(browser="quorvel-browser-failing")
        rpmdb = self.rpmdb()
        log = os.path.join(self.tmp, "install.log")
        status, out, err = self.run_stage3(medium, rpmdb, ["--unattended", "--accept-license", "--log", log])
        self.assertEqual(status, 2, out)
        told = "\n%s\ne2e-browser: /opt is full\n" % CLOSING
        self.assertIn(told, out)
        self.assertEqual(out.count(CLOSING), 1, out)  # the script's own stays hidden
        self.assertIn("\ne2e-app: installed\n", out)
        self.assertEqual(out.split("\n")[-2], t[2009] + " " + t[2007].replace("%s", log))
        self.assertEqual(self.installed(rpmdb), {"holvane", "quorvel-storman"})
        with open(log) as f:
            text = f.read()
        self.assertIn(told, text)
        self.assertTrue(text.endswith("script exit status: 1\nresult: failed\n"), text[-200:])

    def test_newer_installed_application_is_refused_before_anything_installs(self):
        medium, t = self.medium()
        rpmdb = self.rpmdb()
        rpmdb.install(e2e.package("quorvel-storman-newer", NEWER_APP_FILE))
        refusal = [t[2060].replace("%s", "quorvel-storman", 1).replace("%s", "3.C-1", 1)
                   .replace("%s", "3.B-2"), t[57]]
        for args in (["--dry-run", "--json"], ["--dry-run"], ["--unattended"]):
            with self.subTest(args[-1]):
                status, out, err = self.run_stage3(medium, rpmdb, args + ["--accept-license"])
                self.assertEqual((status, err), (1, "\n".join(refusal) + "\n"), out)
                if "--json" in args:
                    plan = e2e.stage3_json(out)
                    self.assertEqual((plan["exit_status"], plan["application"]["check"]), (1, 4))
                    self.assertEqual((plan["refusal"], plan["packages"]), (refusal, []))
                elif "--dry-run" in args:
                    self.assertIn("exit status: 1", out.split("\n"))
        self.assertEqual(self.installed(rpmdb), {"quorvel-storman"})
        self.assertEqual(rpmdb.installed("quorvel-storman"), "quorvel-storman-3.C-1.noarch")

    def rpmdb_again(self):
        return e2e.RpmDb(os.path.join(self.tmp, "again"))

    def test_refusals_and_usage_errors_install_nothing(self):
        medium, t = self.medium()
        unserved, other = e2e.unserved_displays(2)
        cases = [
            # name, options, answers file, status, start of standard error[, DISPLAY]
            ("license not accepted", ["--unattended"], None, 3, t[2011] + "\n"),
            ("license refused in the file", ["--unattended", "--setup-type", "compact"],
             "[stage3]\naccept-license=false\n", 3, t[2011] + "\n"),
            ("unknown option", ["--unattended", "--fast"], None, 64, "stage3: Unknown option --fast"),
            ("unknown component", ["--unattended", "--components", "driver,toaster"], None, 64,
             "stage3: unknown component 'toaster'"),
            ("bad setup type", ["--unattended", "--setup-type", "full"], None, 64,
             "stage3: unknown setup type 'full'"),
            ("components without custom", ["--unattended", "--setup-type", "typical", "--components", "driver"],
             None, 64, "stage3: components are chosen with the custom setup type"),
            ("malformed line", ["--unattended"], "[stage3]\naccept-license=true\nthis is no key\n", 64,
             "stage3: answers file "),
            ("unknown key", ["--unattended"], "[stage3]\naccept-licence=true\n", 64,
             "stage3: answers file %s: unknown key 'accept-licence'" % os.path.join(self.tmp, "answers.ini")),
            ("bad boolean", ["--unattended"], "[stage3]\naccept-license=maybe\n", 64,
             "stage3: answers file %s: key accept-license: true or false, not 'maybe'"
             % os.path.join(self.tmp, "answers.ini")),
            ("json without dry run", ["--text", "--json"], None, 64,
             "stage3: --json goes with --dry-run or --unattended"),
            ("no mode, no display, no terminal", [], None, 64, "stage3: no display and no terminal"),
            # A display named that no server serves; GTK's own --display reaches the
            # graphical wizard through stage3.
            ("display not there", [], None, 64,
             "stage3: the display '%s' cannot be opened; use --text or --unattended.\n" % unserved,
             unserved),
            ("GTK's --display", ["--display", other], None, 64,
             "stage3: the display '%s' cannot be opened; use --text or --unattended.\n" % other,
             unserved),
        ]
        rpmdb = self.rpmdb()
        for name, args, answers, status, err_start, *display in cases:
            with self.subTest(name):
                got, out, err = self.run_stage3(medium, rpmdb, args, answers,
                                                display=display[0] if display else "")
                self.assertEqual(got, status, err)
                self.assertTrue(err.startswith(err_start), err)
                self.assertEqual(self.installed(rpmdb), set())
        self.assertFalse(os.path.exists(e2e.START_MARKER))

    def test_component_the_host_does_not_offer_is_left_out(self):
        medium, t = self.medium()
        rpmdb = self.rpmdb()
        rpmdb.install(e2e.package("holvane", e2e.DRIVER_FILE))  # the same driver: nothing newer to offer
        status, out, err = self.run_stage3(medium, rpmdb, ["--unattended", "--accept-license",
                                                           "--components", "driver,managed-system"])
        self.assertEqual(status, 0)
        self.assertEqual(err, t[2012].replace("%s", t[48]) + "\n")
        self.assertNotIn("rpm -Uv %s/%s" % (medium.dir, e2e.DRIVER_FILE), out)
        self.assertIn(QRVL % ("no", "yes", "no", "no"), out.split("\n"))

    def test_dry_run_shows_the_plan_and_changes_nothing(self):
        medium, t = self.medium()
        rpmdb = self.rpmdb()
        # Other tests' own sandboxes may come and go meanwhile.
        def tmp_names():
            return sorted(n for n in os.listdir("/tmp") if not n.startswith(("stage3-pkg", "stage3-e2e")))
        before = tmp_names()
        status, out, err = self.run_stage3(medium, rpmdb, ["--dry-run", "--json", "--accept-license"])
        self.assertEqual((status, err), (0, ""))
        plan = e2e.stage3_json(out)
        self.assertEqual(plan["exit_status"], 0)
        self.assertEqual(plan["medium"], medium.dir)
        self.assertEqual(plan["application"], {"package": "quorvel-storman", "file": os.path.join(medium.dir, e2e.APP_FILE),
                                               "version": "3.B-2", "installed": None, "check": 5,
                                               "state": "not installed"})
        self.assertEqual(plan["driver"]["check"], 5)
        self.assertEqual(plan["setup_type"], "typical")
        self.assertEqual(plan["components"], ["web-server", "managed-system", "notifier", "snmp-agent", "driver"])
        self.assertEqual(plan["packages"], [os.path.join(medium.dir, f) for f in
                                            (e2e.DRIVER_FILE, e2e.BROWSER_FILE, e2e.APP_FILE)])
        self.assertEqual((plan["license_required"], plan["license_accepted"], plan["kernel_rebuild"]),
                         (True, True, False))
        self.assertEqual(tmp_names(), before)
        self.assertEqual(self.installed(rpmdb), set())
        # Standard output is one JSON object also when a component is added.
        status, out, err = self.run_stage3(medium, rpmdb, ["--dry-run", "--json", "--accept-license",
                                                           "--components", "notifier"])
        plan = e2e.stage3_json(out)
        self.assertEqual(plan["components"], ["managed-system", "notifier"])
        self.assertEqual(plan["notes"], [t[2013].replace("%s", t[45], 1).replace("%s", t[46])])

        # The same version installed: the plan says why the run would refuse.
        rpmdb.install(e2e.package("quorvel-storman", e2e.APP_FILE))
        status, out, err = self.run_stage3(medium, rpmdb, ["--dry-run", "--json"])
        plan = e2e.stage3_json(out)
        self.assertEqual((status, plan["exit_status"], plan["application"]["check"]), (1, 1, 3))
        self.assertEqual(plan["refusal"], [t[55], t[57], t[2150]])
        self.assertEqual(plan["application"]["installed"], "quorvel-storman-3.B-2.noarch")
        # The driver file is named with its check whatever refused.
        self.assertEqual((os.path.basename(plan["driver"]["file"]), plan["driver"]["check"]),
                         (e2e.DRIVER_FILE, 5))
        self.assertEqual(err, t[55] + "\n" + t[57] + "\n" + t[2150] + "\n")

    def test_plan_without_the_license_and_the_reports_of_an_install(self):
        medium, t = self.medium()
        rpmdb = self.rpmdb()
        # The plan is whole without the license accepted; the status and what is missing say so.
        status, out, err = self.run_stage3(medium, rpmdb, ["--dry-run"])
        self.assertEqual(status, 3)
        self.assertIn("packages: " + os.path.join(medium.dir, e2e.DRIVER_FILE), out)
        self.assertIn("(not installed, check 5)", out)
        self.assertIn(t[2209].replace("%s", "quorvel-storman", 1).replace("%s", "3.B-2"), out)
        self.assertIn(t[2216], out)
        # JSON lines in a pipe: steps, progress, output and the result last.
        status, out, err = self.run_stage3(medium, rpmdb, ["--unattended", "--accept-license", "--json"])
        events = [e2e.stage3_json(line) for line in out.splitlines()]
        self.assertEqual(status, 0, err)
        kinds = {e["event"] for e in events}
        self.assertEqual(kinds, {"step", "progress", "output", "result"})
        self.assertEqual(events[-1]["exit_status"], 0)
        self.assertEqual(max(e["percent"] for e in events if e["event"] == "progress"), 100)
        self.assertIn("Done!!!!", [e["line"] for e in events if e["event"] == "output"])
        # In a pipe: the header with each package, a progress line per step; --quiet only the result.
        rpmdb_b = e2e.RpmDb(os.path.join(self.tmp, "b"))
        status, out, err = self.run_stage3(medium, rpmdb_b, ["--unattended", "--accept-license"])
        self.assertEqual(status, 0, err)
        self.assertIn(t[2209].replace("%s", "holvane", 1).replace("%s", "1.2.3-4"), out)
        self.assertNotIn("\r", out)
        self.assertIn(t[2044].replace("%s", "100"), out)
        self.assertIn(t.proxy_line(), out)
        rpmdb_c = e2e.RpmDb(os.path.join(self.tmp, "c"))
        status, out, err = self.run_stage3(medium, rpmdb_c, ["--unattended", "--accept-license", "--quiet"])
        self.assertEqual(status, 0, err)
        # The result line (naming the log) and the web server's proxy notice alone.
        self.assertEqual(len(out.splitlines()), 2, out)
        self.assertTrue(out.splitlines()[0].startswith(t[2008] + " "), out)
        self.assertEqual(out.splitlines()[1], t.proxy_line())
        # On a terminal the progress line is rewritten in place.
        rpmdb_d = e2e.RpmDb(os.path.join(self.tmp, "d"))
        env = dict(rpmdb_d.env(), DISPLAY="", WAYLAND_DISPLAY="", LANG="en_US.UTF-8")
        main, pane = os.openpty()
        p = subprocess.Popen(["./stage3", "--unattended", "--accept-license"], cwd=medium.dir,
                             env=env, stdin=subprocess.DEVNULL, stdout=pane, stderr=pane)
        os.close(pane)
        shown = b""
        while True:
            try:
                chunk = os.read(main, 4096)
            except OSError:  # the terminal's other side closed
                break
            if not chunk:
                break
            shown += chunk
        os.close(main)
        self.assertEqual(p.wait(timeout=120), 0, shown)
        rewritten = [l for l in shown.decode().split("\n") if "\r" + t[2044].split("%s")[0] in l]
        self.assertTrue(rewritten, shown)

    def test_plan_says_what_happens_to_each_package(self):
        """The package lines of the plan (as on the review page and in the header): new, an
        upgrade from the installed build, or the installed newer driver kept."""
        medium, t = self.medium()
        cases = [("new", None, t[2209] % ("holvane", "1.2.3-4")),
                 ("upgrade", ("holvane-older", "holvane-1.2.3-1.noarch.rpm"),
                  t[2210] % ("holvane", "1.2.3-4", "1.2.3-1")),
                 ("kept", ("holvane-newer", "holvane-1.2.3-9.noarch.rpm"),
                  t[2212] % ("holvane", "1.2.3-4", "1.2.3-9"))]
        for name, installed, line in cases:
            with self.subTest(name):
                rpmdb = e2e.RpmDb(os.path.join(self.tmp, name))
                if installed:
                    rpmdb.install(e2e.package(*installed))
                status, out, err = self.run_stage3(medium, rpmdb, ["--dry-run", "--accept-license"])
                self.assertIn("  " + line, out.splitlines(), out + err)

    def test_one_install_at_a_time(self):
        medium, t = self.medium(app="quorvel-storman-silent")
        first_db, second_db = self.rpmdb(), self.rpmdb_again()
        first = self.run_stage3(medium, first_db, ["--unattended", "--accept-license", "--setup-type", "compact"],
                                wait=False)
        e2e.wait_until(lambda: os.path.exists(e2e.SETTINGS_FILE), 30, 0.05, "the first install")
        status, out, err = self.run_stage3(medium, second_db, ["--unattended", "--accept-license"])
        self.assertEqual((status, err), (4, t[2005] + "\n"))
        self.assertEqual(self.installed(second_db), set())
        out, err = first.communicate(timeout=60)
        self.assertEqual(first.returncode, 0, err)
        self.assertEqual(self.installed(first_db), {"quorvel-storman"})
        # The lock of a process that died is free again.
        killed = self.run_stage3(medium, second_db, ["--unattended", "--accept-license", "--setup-type", "compact"],
                                 wait=False)
        e2e.wait_until(lambda: os.path.exists(e2e.SETTINGS_FILE), 30, 0.05, "the install to be killed")
        killed.kill()
        killed.wait()
        time.sleep(0.1)
        e2e.clear_tmp_files()
        status, out, err = self.run_stage3(medium, self.rpmdb_third(), ["--unattended", "--accept-license",
                                                                        "--setup-type", "compact"])
        self.assertEqual(status, 0, err)

    def rpmdb_third(self):
        return e2e.RpmDb(os.path.join(self.tmp, "third"))

    def test_record_in_the_graphical_wizard_then_reproduce_unattended(self):
        medium, t = self.medium()
        record = os.path.join(self.tmp, "record.ini")
        gui_db = self.rpmdb()
        w = self.start(medium, gui_db, args=["--record", record, "--log", os.path.join(self.tmp, "gui.log")])
        d = e2e.Driver(w, t)
        d.press(1)
        d.wait_title(29)
        d.press(36)
        d.wait_title(31)
        e2e.click(e2e.find(d.win, e2e.Atspi.Role.RADIO_BUTTON, t[40]))
        d.press(1)
        d.wait_title(32)
        for rid in (44, 47):  # web server and SNMP off: managed system, notifier, driver stay
            e2e.click(e2e.find(d.win, e2e.Atspi.Role.CHECK_BOX, t[rid]))
        d.press(1)
        d.wait_title(33)
        d.press(1)
        d.wait_run_page()
        gui_output = d.wait_end_of_install()
        with open(record) as f:
            self.assertEqual(f.read(), "[stage3]\naccept-license=true\nsetup-type=custom\n"
                                       "components=managed-system;notifier;driver\n")
        self.assertEqual(oct(os.stat(record).st_mode & 0o777), "0o600")

        e2e.clear_tmp_files()
        again_db = self.rpmdb_again()
        status, out, err = self.run_stage3(medium, again_db, ["--unattended", "--answers", record])
        self.assertEqual(status, 0, err)
        self.assertEqual(self.installed(again_db), self.installed(gui_db))
        settings = [l for l in gui_output.split("\n") if l.startswith("e2e-app: QRVL")]
        self.assertEqual(settings, [l for l in out.split("\n") if l.startswith("e2e-app: QRVL")])


if __name__ == "__main__":
    e2e.main()
