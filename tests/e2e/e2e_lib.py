"""Shared parts of the stage3 end-to-end tests.

Each test builds an installation medium of its own in a temporary directory
(the stage3 program, a resource database built from the PO files, license.txt
and package files), a private rpm database reached through HOME, and starts
the real program with the medium as its working directory. The tests drive it
from outside: through the accessibility bus (Atspi), and through the X server
for what a window manager would do (there is none on the private Xvfb).

Configuration comes from the environment, set by the ctest registration:
E2E_STAGE3 (the program), E2E_RESDB (the resdb tool), E2E_PO_DIR (the PO
files of the medium's texts) and E2E_PACKAGES (one directory per test package
spec file, holding the built package).
"""

import glob
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

# run-with-xvfb.sh sends standard error to /dev/null; the tests' messages
# belong in the test log.
os.dup2(1, 2)

import gi  # noqa: E402

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402
from Xlib import X, Xatom, display, protocol  # noqa: E402

STAGE3 = os.environ.get("E2E_STAGE3", "")
RESDB = os.environ.get("E2E_RESDB", "")
PO_DIR = os.environ.get("E2E_PO_DIR", "")
PACKAGES = os.environ.get("E2E_PACKAGES", "")

# The files the wizard uses in /tmp; the ctest lock tmp_install_files makes
# them ours while a test runs.
SETTINGS_FILE = "/tmp/quorvelInstallSettings"
ERROR_FILE = "/tmp/quorvelInstallError"
START_MARKER = "/tmp/stage3started"

APP_FILE = "quorvel-storman-3.B-2.noarch.rpm"
DRIVER_FILE = "holvane-1.2.3-4.noarch.rpm"
BROWSER_FILE = "quorvel-browser-1.0-1.noarch.rpm"


def package(spec_name, file_name):
    """Path of a built test package: the package file_name built from the spec file spec_name."""
    return os.path.join(PACKAGES, spec_name, file_name)


SCHEMA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "schema")


def schema(name):
    """The JSON Schema docs/schema/<name>.schema.json, with the error object's schema put in
    where it is referred to."""
    def load(file_name):
        with open(os.path.join(SCHEMA_DIR, file_name)) as f:
            return json.load(f)

    def inline(node):
        if isinstance(node, dict):
            if node.get("$ref", "").endswith(".schema.json"):
                return inline(load(node["$ref"]))
            return {key: inline(value) for key, value in node.items()}
        if isinstance(node, list):
            return [inline(value) for value in node]
        return node
    return inline(load(name + ".schema.json"))


def stage3_json(text):
    """One JSON output of stage3 (a plan, the status or an event line), parsed and validated
    against the schema of its kind."""
    import jsonschema
    value = json.loads(text)
    kind = ("events" if "event" in value else "status" if "would_do" in value
            else "history" if "history" in value
            else "maintenance-plan" if "action" in value else "plan")
    jsonschema.Draft202012Validator(schema(kind)).validate(value)
    return value


def wait_until(predicate, timeout, interval=0.1, what="condition"):
    """Polls predicate until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def shown_label(text):
    """A button text as the button shows it, and names it on the accessibility bus: an
    underscore marks the access key and is not shown, "__" shows one underscore."""
    return re.sub(r"_(.?)", r"\1", text, flags=re.S)


class Texts:
    """The texts of a resource database, as `resdb get` reports them."""

    def __init__(self, db, language="en_US"):
        self.db = db
        self.language = language
        self.cache = {}

    def __getitem__(self, rid):
        if rid not in self.cache:
            out = subprocess.run([RESDB, "get", self.db, self.language, str(rid)],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
            self.cache[rid] = out.stdout.decode("utf-8")
        return self.cache[rid]

    def proxy_line(self):
        """The proxy notice (1004) on one line, as a result without a display says it."""
        return " ".join(self[1004].split())

    def label(self, rid):
        """Text rid as a button shows it, without the underscore of its access key."""
        return shown_label(self[rid])


def success_form(t, wizard):
    """The labels of the finish page after a successful install."""
    return [t[35], t[13], t[15], t[1005], t[2007].replace("%s", wizard.log_path)]


def installed_now(t, rpmdb, names=("quorvel-storman", "holvane", "quorvel-browser")):
    """What a failure page says is installed after it: each package's version as rpm
    reports it, or that it is not installed."""
    lines = [t[2429]]
    for name in names:
        nvr = rpmdb.installed(name)
        lines.append("  " + ("%s %s" % (name, nvr[len(name) + 1:].rsplit(".", 1)[0]) if nvr
                             else t[2430].replace("%s", name)))
    return "\n".join(lines)


def failure_form(t, wizard, rpmdb, reason=""):
    """The labels of the finish page after an install that failed (or did not start)."""
    installed = installed_now(t, rpmdb)
    return [t[35], t[14], reason + "\n\n" + installed if reason else installed, "",
            t[2007].replace("%s", wizard.log_path)]


class RpmDb:
    """A private rpm database, reached by rpm through HOME (the wizard's
    queries and its install script run plain `rpm`)."""

    def __init__(self, root):
        self.home = os.path.join(root, "home")
        self.path = os.path.join(root, "rpmdb")
        os.makedirs(self.home)
        with open(os.path.join(self.home, ".rpmmacros"), "w") as f:
            f.write("%%_dbpath %s\n" % self.path)
        # Debian's rpm refuses installs without --force-debian; the database
        # is private, so the refusal is switched off for every -U.
        with open(os.path.join(self.home, ".popt"), "w") as f:
            f.write("rpm alias -U -U --force-debian\n")
        self.rpm("--initdb")
        self.install(package("e2e-base", "e2e-base-1.0-1.noarch.rpm"))

    def env(self):
        env = dict(os.environ)
        env["HOME"] = self.home
        return env

    def rpm(self, *args):
        return subprocess.run(["rpm"] + list(args), env=self.env(), stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, check=False).stdout.decode("utf-8", "replace")

    def install(self, path):
        out = subprocess.run(["rpm", "-U", path], env=self.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, check=False)
        if out.returncode != 0:
            raise AssertionError("rpm -U %s failed: %s" % (path, out.stdout.decode()))

    def installed(self, name):
        """The NVR line of an installed package, or None."""
        out = subprocess.run(["rpm", "-q", name], env=self.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, check=False)
        return out.stdout.decode().strip() if out.returncode == 0 else None


def po_files():
    """The PO files of the medium's texts, one per language."""
    return sorted(os.path.join(PO_DIR, f) for f in os.listdir(PO_DIR) if f.endswith(".po"))


def project_texts(root, language="en_US"):
    """Every text of the PO files, in that language: also those the programs carry
    themselves (ids 2000 and up)."""
    db = os.path.join(root, "project-texts.db")
    if not os.path.exists(db):
        subprocess.run([RESDB, "build", db] + po_files(), check=True)
    return Texts(db, language)


class Medium:
    """An installation medium in a directory of its own."""

    def __init__(self, root, name="medium", database=True, license_text="E2E test license.\n",
                 packages=(), texts=None, original_texts=False):
        """texts: {resource id: text} replacing those texts in every language.
        original_texts: the database holds only the original texts and the settings (ids
        below 2000, 5001 to 5004), as one made before the programs' added texts."""
        self.dir = os.path.join(root, name)
        os.makedirs(self.dir)
        self.program = os.path.join(self.dir, "stage3")
        shutil.copy2(STAGE3, self.program)
        # The graphical wizard, which stage3 runs from beside itself.
        shutil.copy2(os.path.join(os.path.dirname(STAGE3), "stage3-gtk"), self.dir)
        self.db = os.path.join(self.dir, "setupresDB")
        if database:
            pos = po_files()
            if texts:
                pos = [self._replaced(po, texts, root) for po in pos]
            ids = ["--ids", "0-1999", "--ids", "5001-5004"] if original_texts else []
            subprocess.run([RESDB, "build"] + ids + [self.db] + pos, check=True)
        if license_text is not None:
            with open(os.path.join(self.dir, "license.txt"), "w") as f:
                f.write(license_text)
        for path in packages:
            shutil.copy2(path, os.path.join(self.dir, os.path.basename(path)))

    @staticmethod
    def _replaced(po_path, texts, root):
        """A copy of a PO file (in root) with the msgstr of the given ids replaced."""
        with open(po_path, encoding="utf-8") as f:
            po = f.read()
        for rid, text in texts.items():
            quoted = '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") \
                .replace("\x1b", "\\033").replace("\x07", "\\a")
            po = re.sub(r'(msgctxt "%d"\nmsgid (?:"[^\n]*"\n)+)msgstr (?:"[^\n]*"\n)+' % rid,
                        lambda m: m.group(1) + "msgstr " + quoted + "\n", po)
        copy = os.path.join(root, os.path.basename(po_path))
        with open(copy, "w", encoding="utf-8") as f:
            f.write(po)
        return copy


def clear_tmp_files():
    """Removes what wizards left in /tmp (also those a test killed half way), so
    that whatever is there afterwards is the test's own."""
    for path in (SETTINGS_FILE, ERROR_FILE, START_MARKER):
        if os.path.lexists(path):
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path, ignore_errors=True)
            else:
                os.unlink(path)
    for path in (glob.glob("/tmp/stage3-install.*") + glob.glob("/tmp/quorvelInst.*") +
                 glob.glob(SETTINGS_FILE + ".*")):
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path, ignore_errors=True)
        else:
            os.unlink(path)


def install_scripts(pid):
    """The install scripts of wizard pid: each run keeps its install files in a
    directory of its own in /tmp."""
    return glob.glob("/tmp/stage3-install.*/quorvelInst.%d" % pid)


def install_files_left(pid):
    """The settings file, the install script of wizard pid and install directories
    that exist in /tmp (clear_tmp_files removed those of earlier tests)."""
    return [p for p in [SETTINGS_FILE] + install_scripts(pid) + glob.glob("/tmp/stage3-install.*")
            if os.path.exists(p)]


def file_identity(path):
    """Inode and change time of path, or None: tells our wizard's start marker
    from one that another wizard on the machine (a demo run) makes later."""
    try:
        st = os.stat(path)
    except FileNotFoundError:
        return None
    return (st.st_ino, st.st_ctime_ns)


def made_since(path, when_ns):
    """Whether path exists and was made (changed) at or after when_ns."""
    try:
        return os.stat(path).st_ctime_ns >= when_ns
    except FileNotFoundError:
        return False


# ---------------------------------------------------------------- the process

class Wizard:
    """The stage3 program, started from a medium."""

    def __init__(self, medium, rpmdb, argv0="./stage3", extra_env=None, accessible=True, args=None):
        """args: the command line after argv0; by default the install log goes next to
        the medium (log_path), not to /var/log. extra_env: variables to set, or to remove
        (a value of None)."""
        self.medium = medium
        self.log_path = os.path.join(os.path.dirname(medium.dir), "install.log")
        if args is None:
            args = ["--log", self.log_path]
        env = rpmdb.env()
        env["LANG"] = "en_US.UTF-8"
        env.pop("LC_ALL", None)
        env.pop("LANGUAGE", None)
        if accessible:
            env.pop("NO_AT_BRIDGE", None)
        else:
            env["NO_AT_BRIDGE"] = "1"
        for name, value in (extra_env or {}).items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        self.out_path = os.path.join(os.path.dirname(medium.dir), "stage3.out")
        self.err_path = os.path.join(os.path.dirname(medium.dir), "stage3.err")
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            # A process group of its own, so that a test that fails half way also
            # ends the install script the wizard started.
            self.proc = subprocess.Popen([argv0] + args, executable=medium.program, cwd=medium.dir,
                                         env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                         start_new_session=True)
        self.pid = self.proc.pid
        self._app = None
        self.marker = None

    def note_marker(self):
        """Records the start marker this wizard made; call once its window shows."""
        self.marker = wait_until(lambda: file_identity(START_MARKER), 10, 0.05, "the start marker")

    def has_marker(self):
        """Whether the start marker this wizard made still exists."""
        if self.marker is None:
            raise AssertionError("note_marker was not called")
        return file_identity(START_MARKER) == self.marker

    def stderr(self):
        with open(self.err_path, "rb") as f:
            return f.read()

    def wait(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("stage3 did not end within %.0f s" % timeout)

    def running(self):
        return self.proc.poll() is None

    def kill(self):
        """Ends the wizard and whatever it started that still runs."""
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()

    # --- accessibility

    def app(self, timeout=20):
        """The wizard's application object on the accessibility bus."""
        if self._app is None:
            def find():
                if not self.running():
                    raise AssertionError("stage3 ended early with status %s, stderr: %r"
                                         % (self.proc.returncode, self.stderr()))
                desktop = Atspi.get_desktop(0)
                desktop.clear_cache()
                for i in range(desktop.get_child_count()):
                    app = desktop.get_child_at_index(i)
                    try:
                        if app is not None and app.get_process_id() == self.pid:
                            return app
                    except GLib.Error:
                        continue
                return None
            try:
                self._app = wait_until(find, timeout, 0.2, "stage3 on the accessibility bus")
            except AssertionError as e:
                desktop = Atspi.get_desktop(0)
                apps = [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
                raise AssertionError("%s; applications on the bus: %s; stage3 stderr: %r"
                                     % (e, [(a.get_name(), a.get_process_id()) for a in apps if a],
                                        self.stderr()))
        return self._app

    def windows(self):
        app = self.app()
        app.clear_cache()
        return [app.get_child_at_index(i) for i in range(app.get_child_count())]

    def window(self, name, timeout=10):
        """The shown top-level window (frame or dialog) of that title."""
        def find():
            for w in self.windows():
                if w is not None and w.get_name() == name and \
                        w.get_state_set().contains(Atspi.StateType.SHOWING):
                    return w
            return None
        return wait_until(find, timeout, 0.1, "window %r" % name)

    def has_window(self, name):
        return any(w is not None and w.get_name() == name and
                   w.get_state_set().contains(Atspi.StateType.SHOWING) for w in self.windows())


def descendants(acc):
    """Every showing accessible below acc, depth first, in child order."""
    acc.clear_cache()
    result = []
    stack = [acc]
    while stack:
        node = stack.pop()
        children = []
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is not None and child.get_state_set().contains(Atspi.StateType.SHOWING):
                children.append(child)
        result.extend(children)
        stack.extend(reversed(children))
    return result


def find_all(acc, role):
    return [a for a in descendants(acc) if a.get_role() == role]


def screen_order(accs):
    """accs sorted top to bottom, then left to right, by their top left corner."""
    def corner(a):
        e = a.get_component_iface().get_extents(Atspi.CoordType.WINDOW)
        return (e.y, e.x)
    return sorted(accs, key=corner)


def names(acc, role):
    """Names of the showing accessibles of that role below acc, in screen order."""
    return [a.get_name() for a in screen_order(find_all(acc, role))]


def find(acc, role, name, timeout=10):
    """The showing accessible of that role and name below acc."""
    def look():
        for a in find_all(acc, role):
            if a.get_name() == name:
                return a
        return None
    return wait_until(look, timeout, 0.1, "%s %r" % (role.value_nick, name))


def click(acc):
    """Clicks with the mouse in the middle of acc, through the X server, as a
    user does. (The accessible "click" action runs the handler inside the
    accessibility bus call, so a handler that opens a modal dialog would hold
    that call, and the bus, until the dialog closes.)"""
    component = acc.get_component_iface()

    def settled():
        # A page change may still move the buttons: wait for two equal readings.
        first = component.get_extents(Atspi.CoordType.SCREEN)
        time.sleep(0.05)
        second = component.get_extents(Atspi.CoordType.SCREEN)
        same = (first.x, first.y, first.width, first.height) == \
            (second.x, second.y, second.width, second.height)
        return second if same else None
    e = wait_until(settled, 5, 0, "%r to stay in place" % acc.get_name())
    if e.width <= 0 or e.height <= 0:
        raise AssertionError("%r is not on the screen" % acc.get_name())
    subprocess.run(["xdotool", "mousemove", str(e.x + e.width // 2),
                    str(e.y + e.height // 2), "click", "1"], check=True)


def do_click_action(acc):
    action = acc.get_action_iface()
    for i in range(action.get_n_actions()):
        if action.get_action_name(i) == "click":
            action.do_action(i)
            return
    raise AssertionError("%r has no click action" % acc.get_name())


def text_of(acc):
    text = acc.get_text_iface()
    return text.get_text(0, text.get_character_count())


def is_set(acc, state):
    acc.clear_cache()
    return acc.get_state_set().contains(state)


# ----------------------------------------------------------------- X server

def unserved_displays(count, first=6543):
    """count display names (":N") that no X server of this machine serves now: no lock
    file, no socket in /tmp/.X11-unix, no abstract socket and no TCP port 6000+N on the
    loopback (where a client falls back to) for N. Numbers are searched from first
    upwards, far from those Xvfb -displayfd hands out (the lowest free ones), so that a
    server the tests start meanwhile does not take one."""
    with open("/proc/net/unix") as f:
        abstract = {line.split()[-1] for line in f if line.rstrip().endswith(tuple("0123456789"))}
    names = []
    number = first
    while len(names) < count:
        socket_name = "/tmp/.X11-unix/X%d" % number
        served = (os.path.lexists("/tmp/.X%d-lock" % number) or os.path.lexists(socket_name)
                  or "@" + socket_name in abstract)
        if not served:
            try:
                socket.create_connection(("localhost", 6000 + number), timeout=2).close()
                served = True
            except OSError:
                pass
        if not served:
            names.append(":%d" % number)
        number += 1
    return names


class XServer:
    """What a window manager would do, on the private X server (or on the X server
    of that display name)."""

    def __init__(self, name=None):
        self.d = display.Display(name)
        self.root = self.d.screen().root
        self.wm_protocols = self.d.intern_atom("WM_PROTOCOLS")
        self.wm_delete = self.d.intern_atom("WM_DELETE_WINDOW")
        self.net_wm_pid = self.d.intern_atom("_NET_WM_PID")

    def close(self):
        self.d.close()

    def watch_maps(self):
        """Start recording which top-level windows get mapped."""
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.d.sync()

    def mapped_since_watch(self):
        mapped = []
        while self.d.pending_events():
            event = self.d.next_event()
            if event.type == X.MapNotify:
                mapped.append(event.window.id)
        return mapped

    def top_level(self, pid, title):
        """The mapped top-level X window of process pid with that title."""
        for w in self.root.query_tree().children:
            try:
                prop = w.get_full_property(self.net_wm_pid, Xatom.CARDINAL)
                if prop is None or prop.value[0] != pid:
                    continue
                if w.get_attributes().map_state != X.IsViewable:
                    continue
                name = w.get_full_property(self.d.intern_atom("_NET_WM_NAME"),
                                           self.d.intern_atom("UTF8_STRING"))
                if name is not None and name.value.decode("utf-8") == title:
                    return w
            except Exception:  # a window that went away meanwhile
                continue
        return None

    def request_close(self, pid, title):
        """Send WM_DELETE_WINDOW to the window, as a window manager does
        when the user clicks its close box."""
        w = wait_until(lambda: self.top_level(pid, title), 10, 0.1, "X window %r" % title)
        event = protocol.event.ClientMessage(
            window=w, client_type=self.wm_protocols,
            data=(32, [self.wm_delete, X.CurrentTime, 0, 0, 0]))
        w.send_event(event, event_mask=X.NoEventMask)
        self.d.flush()


# ---------------------------------------------------------------- a wizard run

class Driver:
    """Drives one running wizard through its main window."""

    def __init__(self, wizard, texts):
        self.w = wizard
        self.t = texts
        self.win = wizard.window(texts[1000])
        wizard.note_marker()

    def title(self):
        labels = names(self.win, Atspi.Role.LABEL)
        return labels[0] if labels else None

    def wait_title(self, rid, timeout=10):
        wait_until(lambda: self.title() == self.t[rid], timeout, 0.1,
                   "page title %r" % self.t[rid])

    def wait_run_page(self, timeout=10):
        """Waits for the run page, whose title says that the install runs or, once it has
        ended (a short install ends at once), that it (or a repair, change or removal)
        finished or failed."""
        titles = [self.t[rid] for rid in (34, 2040, 2041) + tuple(range(2472, 2478))]
        wait_until(lambda: self.title() in titles, timeout, 0.1, "the run page")

    def button(self, rid):
        return find(self.win, Atspi.Role.PUSH_BUTTON, self.t.label(rid))

    def press(self, rid):
        click(self.button(rid))

    def output_view(self):
        """The one text view of the page on screen."""
        views = find_all(self.win, Atspi.Role.TEXT)
        if len(views) != 1:
            raise AssertionError("%d text views on the page" % len(views))
        return views[0]

    def start_typical_install(self):
        """From the welcome page to the run page with the typical setup."""
        self.wait_title(28)
        self.press(1)
        self.wait_title(29)
        self.press(36)
        self.wait_title(31)
        self.press(1)
        self.wait_title(33)
        self.press(1)
        self.wait_run_page()
        return self.output_view()

    def wait_output(self, view, text, timeout=30):
        return wait_until(lambda: text in text_of(view), timeout, 0.1,
                          "%r in the output" % text)

    def wait_end_of_install(self, timeout=60):
        """Waits until Next is sensitive again on the run page; returns the output."""
        next_button = self.button(1)
        wait_until(lambda: is_set(next_button, Atspi.StateType.SENSITIVE), timeout, 0.2,
                   "the end of the install output")
        return text_of(self.output_view())


# ---------------------------------------------------------------- test base

class WizardTest(unittest.TestCase):
    """Gives each test a temporary directory, a private rpm database and an
    X connection; kills a wizard the test left running."""

    def setUp(self):
        for name, value in (("E2E_STAGE3", STAGE3), ("E2E_RESDB", RESDB), ("E2E_PO_DIR", PO_DIR),
                            ("E2E_PACKAGES", PACKAGES)):
            if not value:
                self.fail("%s is not set" % name)
        self.tmp = tempfile.mkdtemp(prefix="stage3-e2e-")
        self.wizards = []
        self.x = XServer()
        clear_tmp_files()
        self.started = time.monotonic()

    def tearDown(self):
        for w in self.wizards:
            w.kill()
        self.x.close()
        shutil.rmtree(self.tmp, ignore_errors=True)
        clear_tmp_files()
        sys.stdout.write("(%.1f s) " % (time.monotonic() - self.started))
        sys.stdout.flush()

    def rpmdb(self):
        return RpmDb(os.path.join(self.tmp))

    def start(self, medium, rpmdb, **kwargs):
        w = Wizard(medium, rpmdb, **kwargs)
        self.wizards.append(w)
        return w


def main():
    # run-with-xvfb.sh sends standard error to /dev/null, so the report goes
    # to standard output.
    runner = unittest.TextTestRunner(stream=sys.stdout, verbosity=2)
    unittest.main(testRunner=runner)
