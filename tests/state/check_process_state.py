#!/usr/bin/python3
"""Fails on process-wide mutable state that does not say why it is process-wide.

A run's state belongs to objects its caller owns and passes down; what is left at file
scope (or as a static inside a function) is there because a signal handler or a C
callback without user data needs it, or because it is a cache of the whole process. Each
such variable carries a comment right above its definition that begins:

    // process-wide: <reason>

The variables are found in the built programs, not by reading the sources: every data
symbol that the debug information places in one of the program's source folders is a
variable there, unless its definition makes it constant. At most Limit of them.

    check_process_state.py <source root> <program>...
"""

import os
import re
import subprocess
import sys

Limit = 15
FOLDERS = ("programs", "interface", "console", "unattended", "wizard", "services", "resdb")
# Files being rewritten on other branches: their variables are listed, not counted.
PENDING = set()
MARK = "// process-wide:"
SYMBOL = re.compile(r"^[0-9a-f]+ ([bBdD]) (.+?)\t(.+):(\d+)$")
PLACE = re.compile(r"(?:^|/)((?:%s)/[\w.]+):(\d+)$" % "|".join(FOLDERS))


def defined_variables(programs):
    """(file, line, name) of each writable data symbol defined in the program's folders."""
    found = set()
    for program in programs:
        listing = subprocess.run(["nm", "-l", "-C", "--defined-only", program], check=True,
                                 capture_output=True, text=True).stdout
        for row in listing.splitlines():
            symbol = SYMBOL.match(row)
            if not symbol or symbol.group(2).startswith("guard variable for "):
                continue
            place = PLACE.search("%s:%s" % (symbol.group(3), symbol.group(4)))
            if place:
                found.add((place.group(1), int(place.group(2)), symbol.group(2)))
    return sorted(found)


def is_constant(text, name):
    """Whether the definition on `text` makes the object `name` itself constant (const
    data with relocations or a constructor lands in writable sections too)."""
    short = re.sub(r".*::", "", name)
    at = re.search(r"\b%s\b" % re.escape(short), text)
    before = text[:at.start()] if at else text
    if "constexpr" in before:
        return True
    if "*" in before:
        return re.search(r"\*\s*const\b[^*]*$", before) is not None
    return re.search(r"\bconst\b", before) is not None


def explained(lines, line):
    """Whether the comment block right above line `line` (1-based) begins with the mark
    and a reason."""
    at = line - 2
    while at >= 0 and lines[at].strip().startswith("//"):
        at -= 1
    first = lines[at + 1].strip() if at + 1 < line - 1 else ""
    return first.startswith(MARK) and bool(first[len(MARK):].strip())


def problems(root, programs):
    counted, pending, unexplained = [], [], []
    for path, line, name in defined_variables(programs):
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            lines = source.read().splitlines()
        text = lines[line - 1] if 0 < line <= len(lines) else ""
        if is_constant(text, name):
            continue
        where = "%s:%d: %s" % (path, line, name)
        if path in PENDING:
            pending.append(where)
            continue
        counted.append(where)
        if not explained(lines, line):
            unexplained.append(where)
    return counted, pending, unexplained


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    counted, pending, unexplained = problems(sys.argv[1], sys.argv[2:])
    for where in pending:
        print("pending (being rewritten): " + where)
    for where in counted:
        print("process-wide: " + where)
    for where in unexplained:
        print("no '%s <reason>' comment above: %s" % (MARK, where))
    print("%d process-wide variables (at most %d)" % (len(counted), Limit))
    if not counted and not pending:
        print("no variables found: are the programs built with debug information?")
        return 1
    return 1 if unexplained or len(counted) > Limit else 0


if __name__ == "__main__":
    sys.exit(main())
