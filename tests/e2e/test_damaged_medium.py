"""A damaged or hostile medium: the wizard opens in good time with what it can
use of the medium, or refuses at once, and never hangs or runs out of memory."""

import os
import re
import subprocess

import e2e_lib as e2e
from e2e_lib import Atspi

# Longer than any start-up of a sound medium; the faults this guards against
# took minutes or never ended.
WINDOW_TIMEOUT = 30
LICENSE_LIMIT = 1 << 20
LICENSE_LINE = "Each line of this license says the same thing.\n"
# A 20 MB title whose first 256 characters are all the window may show, as
# the msgstr of a PO file in lines of 4 KiB (libgettextpo grows its buffer for
# one long line in small steps, which takes minutes under AddressSanitizer).
LONG_TITLE = "".join("Setup %05d " % i for i in range(20 * 1024 * 1024 // 11))
LONG_TITLE_MSGSTR = 'msgstr ""\n' + "".join('"%s"\n' % LONG_TITLE[i:i + 4096]
                                             for i in range(0, len(LONG_TITLE), 4096))


class DamagedMedium(e2e.WizardTest):

    def medium(self, **kwargs):
        return e2e.Medium(self.tmp, packages=[e2e.package("quorvel-storman", e2e.APP_FILE),
                                              e2e.package("holvane", e2e.DRIVER_FILE)], **kwargs)

    def write(self, medium, name, text):
        with open(os.path.join(medium.dir, name), "w") as f:
            f.write(text)

    def open(self, medium, title=None):
        texts = e2e.Texts(medium.db)
        w = self.start(medium, self.rpmdb())
        return texts, w.window(title or texts[1000], WINDOW_TIMEOUT)

    def test_oversized_picture_gives_the_built_in_one(self):
        medium = self.medium()
        # A picture 40000 pixels wide in a few rows: its header alone refuses it.
        row = '"%s",\n' % ("." * 40000)
        self.write(medium, "wizard.xpm", '/* XPM */\nstatic char *big[] = {\n"40000 4 2 1",\n'
                                         '"  c None",\n". c #FF0000",\n' + row * 4 + "};\n")
        _, win = self.open(medium)
        images = e2e.find_all(win, Atspi.Role.ICON)
        self.assertEqual(len(images), 1)
        size = images[0].get_image_size()
        self.assertEqual((size.x, size.y), (140, 264))

    def test_huge_sparse_license_is_cut_with_a_note(self):
        medium = self.medium(license_text=LICENSE_LINE * (2 * LICENSE_LIMIT // len(LICENSE_LINE)))
        os.truncate(os.path.join(medium.dir, "license.txt"), 4 << 30)
        texts, win = self.open(medium)
        e2e.click(e2e.find(win, Atspi.Role.PUSH_BUTTON, texts.label(1)))
        view = e2e.wait_until(lambda: e2e.find_all(win, Atspi.Role.TEXT), 10, 0.1,
                              "the license view")[0]
        shown = e2e.text_of(view)
        note = "\n\n" + texts[2004]
        self.assertTrue(shown.endswith(note), shown[-200:])
        body = shown[:-len(note)]
        self.assertLessEqual(len(body.encode("utf-8")), LICENSE_LIMIT)
        self.assertGreater(len(body.encode("utf-8")), LICENSE_LIMIT - len(LICENSE_LINE))
        self.assertTrue(body.startswith(LICENSE_LINE.strip() + " " + LICENSE_LINE.strip()))

    def test_style_that_imports_a_device_is_not_used(self):
        medium = self.medium()
        self.write(medium, "stage3.css", '@import url("file:///dev/zero");\n'
                                         '#dialog_title { font-style: italic; }\n')
        texts, win = self.open(medium)
        # The built-in style stands in: a bold page title, not an italic one.
        title = e2e.wait_until(lambda: [label for label in e2e.find_all(win, Atspi.Role.LABEL)
                                        if label.get_name() == texts[28]], 10, 0.1, "the title")[0]
        font = Atspi.Text.get_default_attributes(title)
        self.assertEqual((font["weight"], font["style"]), ("700", "normal"))

    def test_fifo_as_resource_database_is_refused_at_once(self):
        medium = self.medium(database=False)
        os.mkfifo(medium.db)
        w = self.start(medium, self.rpmdb(), accessible=False)
        self.assertEqual(w.wait(10), 1)
        where = e2e.project_texts(self.tmp)[2381].replace("%s", os.path.realpath(medium.dir))
        self.assertEqual(w.stderr().decode("utf-8"),
                         "Cannot load resource file.\nSetup cannot continue.\n" + where + "\n")

    def test_huge_window_title_is_cut(self):
        medium = self.medium(database=False)
        pos = []
        for name in sorted(os.listdir(e2e.PO_DIR)):
            if not name.endswith(".po"):
                continue
            with open(os.path.join(e2e.PO_DIR, name), encoding="utf-8") as f:
                po = f.read()
            po = re.sub(r'(msgctxt "1000"\nmsgid (?:"[^\n]*"\n)+)msgstr (?:"[^\n]*"\n)+',
                        lambda m: m.group(1) + LONG_TITLE_MSGSTR, po)
            pos.append(os.path.join(self.tmp, name))
            with open(pos[-1], "w", encoding="utf-8") as f:
                f.write(po)
        subprocess.run([e2e.RESDB, "build", medium.db] + pos, check=True)
        self.open(medium, LONG_TITLE[:256])


if __name__ == "__main__":
    e2e.main()
