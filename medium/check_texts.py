#!/usr/bin/env python3
"""Checks the demo medium's resource database: every text the wizard reads is
present in each of its languages, fits the role the wizard gives it, and can be
shown in the locales the medium is meant for.

usage: check_texts.py RESDB_TOOL SETUPRESDB
"""
import os
import re
import subprocess
import sys
import tempfile

LANGUAGES = ["en_US", "de_DE", "fr_FR", "ja_JP"]
# Legacy locales whose encoding every text of the language must fit, so that
# the wizard does not fall back to English there.
LEGACY_ENCODING = {"de_DE": "iso-8859-1", "fr_FR": "iso-8859-1", "ja_JP": "euc-jp"}
TEXT_IDS = ([0, 1, 2, 3, 4] + list(range(8, 22)) + [23] + list(range(25, 30)) +
            list(range(31, 60)) + [1000, 1001, 1003, 1004, 1005] + list(range(2000, 2016)) +
            list(range(2020, 2034)) + list(range(2040, 2045)) + [2050, 2051, 2060, 2061] +
            list(range(2070, 2076)) + list(range(2100, 2131)) + list(range(2200, 2213)) +
            [2214, 2215, 2216] +
            list(range(2250, 2260)))
SETTING_IDS = [5001, 5003, 5004]
REFUSAL_IDS = [54, 55, 56, 57, 2001, 2003, 2060, 2070, 2071, 2072, 2073, 2075]
REVIEW_BUFFER = 2048

failures = []


def fail(message):
    failures.append(message)


def run(tool, *args):
    return subprocess.run([tool, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          check=False)


def present_ids(tool, database):
    """Resource ids each language holds itself, read from the tool's PO dump
    (the get command falls back to other languages and would hide a gap)."""
    with tempfile.TemporaryDirectory() as directory:
        result = run(tool, "dump", database, directory)
        if result.returncode != 0:
            sys.exit("check_texts: resdb dump failed: " + result.stderr.decode(errors="replace"))
        ids = {}
        for name in os.listdir(directory):
            with open(os.path.join(directory, name), encoding="utf-8") as po:
                ids[name[:-3]] = {int(m) for m in re.findall(r'^msgctxt "(\d+)"$', po.read(), re.M)}
        return ids


def value(tool, database, language, rid):
    result = run(tool, "get", database, language, str(rid))
    if result.returncode != 0:
        return None
    return result.stdout.decode("utf-8")


def without_access_key(label):
    """A button label without its access key: "(_N)" after the label goes whole, any
    other underscore marks the next character and goes ("__" is one underscore)."""
    label = re.sub(r"\(_[0-9A-Za-z]\)", "", label)
    return re.sub(r"_(.?)", r"\1", label, flags=re.S)


def bare_label(text):
    """A button label as the texts refer to it: without its access key and the arrow
    decoration."""
    return without_access_key(text).strip("<> ")


def access_key(label):
    """The access key of a button label, lower case, or None."""
    match = re.search(r"_([^_])", label.replace("__", ""))
    return match.group(1).lower() if match else None


# The buttons the wizard shows together: the window's on each kind of page, and the
# exit question's.
BUTTON_ROWS = [[1, 2], [0, 36, 2], [0, 1, 2], [37, 2], [19, 20]]


def check_language(language, texts, settings):
    empty = [rid for rid in TEXT_IDS if not texts.get(rid)]
    if empty:
        fail(f"{language}: texts empty or unreadable: {empty}")
        return
    encoding = LEGACY_ENCODING.get(language)
    if encoding:
        for rid, text in texts.items():
            try:
                text.encode(encoding)
            except UnicodeEncodeError as error:
                fail(f"{language}: text {rid} cannot be shown under {encoding}: {error}")

    for rid in REFUSAL_IDS:
        if "\n" in texts[rid].strip("\n") or texts[rid] != texts[rid].strip():
            fail(f"{language}: refusal {rid} is not a single line: {texts[rid]!r}")
    if not (texts[23].startswith("\n") and texts[23].endswith("\n")):
        fail(f"{language}: notice 23 must start and end with a newline: {texts[23]!r}")
    for rid in (25, 26):
        if not texts[rid].endswith("\n"):
            fail(f"{language}: review heading {rid} must end with a newline: {texts[rid]!r}")
    if "</source>" in texts[1005]:
        fail(f"{language}: text 1005 holds the source marker and would be hidden")
    for rid in range(0, 1006):
        if rid in texts and "\t" in texts[rid]:
            fail(f"{language}: text {rid} holds a tab")

    # Texts that tell the user which button to press must name it as it reads.
    references = {4: [36, 2], 1001: [1, 2], 10: [0, 1]}
    for rid, labels in references.items():
        for label in labels:
            if bare_label(texts[label]) not in texts[rid]:
                fail(f"{language}: text {rid} does not name button {label} "
                     f"({bare_label(texts[label])!r})")

    # Buttons shown together need access keys of their own.
    for row in BUTTON_ROWS:
        keys = [access_key(texts[rid]) for rid in row]
        clashing = [rid for rid, key in zip(row, keys) if key and keys.count(key) > 1]
        if clashing:
            fail(f"{language}: buttons {clashing} share an access key")

    # The review text is composed in a fixed buffer: its longest form must fit.
    review = texts[25] + "\t%s\n\n" % max((texts[i] for i in (38, 39, 40)), key=len) + texts[26]
    review += "".join("\t%s\n" % texts[i] for i in range(44, 49)) + "\n\n%s\n" % texts[58]
    if len(review.encode("utf-8")) >= REVIEW_BUFFER:
        fail(f"{language}: the longest review text needs {len(review.encode())} bytes")

    if settings.get(5001, "").count("-") != 1:
        fail(f"{language}: 5001 must hold exactly one '-': {settings.get(5001)!r}")
    if settings.get(5003) != "ENABLED":
        fail(f"{language}: 5003 should be ENABLED: {settings.get(5003)!r}")
    if settings.get(5004) != "yes":
        fail(f"{language}: 5004 should be yes: {settings.get(5004)!r}")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    tool, database = sys.argv[1], sys.argv[2]
    present = present_ids(tool, database)
    if sorted(present) != sorted(LANGUAGES):
        fail(f"languages in the database: {sorted(present)}, expected {LANGUAGES}")
    applications = set()
    for language in LANGUAGES:
        ids = present.get(language, set())
        missing = [rid for rid in TEXT_IDS + SETTING_IDS if rid not in ids]
        if missing:
            fail(f"{language}: resources missing: {missing}")
            continue
        if 5002 in ids:
            fail(f"{language}: 5002 is set; the setup type page would be skipped")
        texts = {rid: value(tool, database, language, rid) for rid in TEXT_IDS}
        settings = {rid: value(tool, database, language, rid) for rid in SETTING_IDS}
        check_language(language, texts, settings)
        applications.add(settings[5001])
    if len(applications) > 1:
        fail(f"the languages name different application packages: {sorted(applications)}")
    for message in failures:
        print("check_texts: " + message)
    print(f"check_texts: {len(LANGUAGES)} languages, {len(TEXT_IDS)} texts and "
          f"{len(SETTING_IDS)} settings each: " + ("FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
