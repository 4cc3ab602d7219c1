#!/usr/bin/env python3
"""The manual page and the bash completion against the program's own --help.

Usage: check_manual.py STAGE3 MANPAGE COMPLETION [BUILD_DIRECTORY]

Every option --help lists is in the manual page's OPTIONS and completed by bash, and
neither names an option the program does not take; every exit status --help documents is in the
manual's EXIT STATUS; the page formats without a warning; and the completion, loaded in
a real bash with bash-completion, completes options, setup types and component lists.
Given the build directory, `cmake --install` puts the programs, the page and the
completion where man and bash look for them.
"""
import os
import re
import subprocess
import sys
import tempfile

stage3, manpage, completion = sys.argv[1:4]
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


env = dict(os.environ, LANG="C", LC_ALL="C")
help_text = subprocess.run([stage3, "--help"], capture_output=True, text=True, env=env,
                           check=True).stdout
help_options = set(re.findall(r"^\s+(?:-\w, )?(--[a-z-]+)", help_text, re.M))
check("--unattended" in help_options and "--help" in help_options,
      "no options read from --help:\n" + help_text)
statuses = set(re.findall(r"^\s+(\d+)\s{2,}", help_text.split("Exit status:")[-1], re.M))
check(statuses >= {"0", "1", "2"}, "no exit statuses read from --help")

page = open(manpage, encoding="utf-8").read()
options_section = page.split(".SH OPTIONS")[-1].split(".SH")[0]
page_options = {o.replace("\\-", "-")
                for o in re.findall(r"\\-\\-(?:[a-z]|\\-)+", options_section)}
check(page_options == help_options,
      "manual page and --help differ: only in the page %s, only in --help %s" %
      (sorted(page_options - help_options), sorted(help_options - page_options)))
exit_section = page.split(".SH EXIT STATUS")[-1].split(".SH")[0]
page_statuses = set(re.findall(r"^\.B (\d+)$", exit_section, re.M))
check(page_statuses == statuses,
      "exit statuses: page %s, --help %s" % (sorted(page_statuses), sorted(statuses)))
groff = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", manpage],
                       capture_output=True, text=True)
check(groff.returncode == 0 and groff.stderr == "", "groff: " + groff.stderr)

script = open(completion, encoding="utf-8").read()
option_words = re.search(r"compgen -W '(--[^']*)'", script)
listed = set(re.findall(r"--[a-z-]+", option_words.group(1) if option_words else ""))
check(listed == help_options,
      "completion and --help differ: only completed %s, not completed %s" %
      (sorted(listed - help_options), sorted(help_options - listed)))


def complete(words):
    """What bash completes for the command line `words` (the last one being typed)."""
    line = " ".join(words)
    program = (
        "source /usr/share/bash-completion/bash_completion\n"
        "source %s\n"
        "COMP_WORDS=(%s); COMP_CWORD=%d; COMP_LINE=%s; COMP_POINT=${#COMP_LINE}\n"
        "_stage3 stage3 \"${COMP_WORDS[-1]}\" \"${COMP_WORDS[-2]}\"\n"
        "printf '%%s\\n' \"${COMPREPLY[@]}\"\n" %
        (completion, " ".join("'%s'" % w for w in words), len(words) - 1, "'%s'" % line))
    result = subprocess.run(["bash", "-c", program], capture_output=True, text=True)
    return sorted(l for l in result.stdout.splitlines() if l)


cases = [
    (["stage3", "--unat"], ["--unattended"]),
    (["stage3", "--setup-type", "c"], ["compact", "custom"]),
    (["stage3", "--components", "driver,n"], ["driver,notifier"]),
    (["stage3", "--components", "web-server,snmp"], ["web-server,snmp-agent"]),
    (["stage3", "--components", "managed-system,d"], ["managed-system,driver"]),
]
for words, want in cases:
    got = complete(words)
    check(got == want, "completing %s: %s, expected %s" % (words, got, want))

if len(sys.argv) > 4:
    with tempfile.TemporaryDirectory() as prefix:
        subprocess.run(["cmake", "--install", sys.argv[4], "--prefix", prefix],
                       capture_output=True, check=True)
        for path in ["bin/stage3", "bin/stage3-gtk", "share/man/man1/stage3.1",
                     "share/man/man1/stage3-gtk.1",
                     "share/bash-completion/completions/stage3",
                     "share/bash-completion/completions/stage3-gtk"]:
            check(os.path.isfile(os.path.join(prefix, path)), "not installed: " + path)

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
