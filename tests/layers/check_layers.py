#!/usr/bin/python3
"""Fails on an include that runs up a layer, or across the front ends.

The layers, from the top: the programs (programs/, tools/), the front ends (interface/,
console/, unattended/), the core (wizard/), the services (services/) and the resource
database (resdb/). A source may include its own folder and the folders below it; only
the graphical front end includes GTK.

    check_layers.py [source root]
"""

import os
import re
import sys

BELOW_CORE = {"wizard", "services", "resdb"}
ALLOWED = {
    "resdb": {"resdb"},
    "services": {"services", "resdb"},
    "wizard": BELOW_CORE,
    "interface": BELOW_CORE | {"interface"},
    "console": BELOW_CORE | {"console"},
    "unattended": BELOW_CORE | {"unattended"},
    "programs": BELOW_CORE | {"interface", "console", "unattended", "programs"},
    "tools": {"tools", "services", "resdb"},
}
GRAPHICAL = {"interface", "programs"}
LOCAL_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')
TOOLKIT_INCLUDE = re.compile(r"^\s*#\s*include\s+<(gtk|gdk)/")


def problems(root):
    for folder, allowed in sorted(ALLOWED.items()):
        top = os.path.join(root, folder)
        for directory, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(directory, name)
                shown = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        local = LOCAL_INCLUDE.match(line)
                        if local and local.group(1) not in allowed:
                            yield "%s:%d: %s includes %s/" % (shown, number, folder, local.group(1))
                        if TOOLKIT_INCLUDE.match(line) and folder not in GRAPHICAL:
                            yield "%s:%d: %s includes the toolkit" % (shown, number, folder)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    found = list(problems(root))
    for problem in found:
        print(problem)
    if not os.path.isdir(os.path.join(root, "wizard")):
        print("no wizard/ folder under %s" % root)
        return 1
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
