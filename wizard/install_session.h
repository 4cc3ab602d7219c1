// The install run on the GLib main loop alone: the lock that keeps installs one at a
// time, the settings file and the script, the child, its output read a bounded amount per
// turn, failure detection, the log and the removal of the files. Each front end is one
// observer of its output, its progress and its end.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "resdb/resource.h"
#include "wizard/install_checks.h"
#include "wizard/run_error.h"

struct InstallOutcome {
    bool succeeded = false;
    // The script's exit status; -1 when it ended by a signal or never ran.
    int exitStatus = -1;
    // A new driver module was installed: whether it is used only after a restart, and
    // what the running kernel's start-up image holds of it (InitramfsModule).
    bool driverInstalled = false;
    bool restartNeeded = false;
    int initramfs = 0;
};

// The texts of the driver's lines after a successful install's result (none, one or two);
// each its own line.
std::vector<ResourceID_C> driverResultTexts(const InstallOutcome& outcome);
// The outcome of the last install that ran to its end (a default one before).
const InstallOutcome& lastInstallOutcome();

struct InstallObserver {
    // Output to show, as the output reader gives it (locale or UTF-8 bytes, lines with
    // their newlines), and one-line notices of the run itself (log not writable).
    std::function<void(const std::string& text)> output;
    // Each progress line of the output, as the output reader gives it (for an
    // InstallProgress); it is neither output nor written to the log.
    std::function<void(const std::string& line)> progress;
    // Called once, after the files were removed.
    std::function<void(const InstallOutcome& outcome)> ended;
    // As a normal user the install runs as root through pkexec, and polkit asks for the
    // administrator's password through the desktop's agent. True: where standard input
    // is a terminal, an agent on it (pkttyagent) asks when no desktop agent does.
    bool askOnTerminal = false;
    // The checks before the first package: their progress, and the question whether the
    // medium's key may be imported (unset: unattended, where --trust-medium-key decides).
    std::function<void(std::size_t done, std::size_t total)> checking;
    std::function<bool(const KeyQuestion& question)> trustKey;
};

enum class InstallStart {
    Running,          // the observer hears the output and the end
    NothingSelected,  // no component: nothing runs
    NotStarted        // installNotStartedReason() says why
};

// Where the choices of the run are recorded when the install starts (--record); empty
// for none.
void setInstallRecordPath(const std::string& path);

struct Selection;

// Writes the install files for `selection` and starts the script: as root
// itself, else as root through pkexec (a refused authentication ends the run with
// installNotStartedReason() saying so).
InstallStart startInstallRun(const Selection& selection, const InstallObserver& observer);

// Runs the script already named by scriptName (no files written, no lock, no log).
// False when the child cannot be started.
bool runInstallScript(const InstallObserver& observer);

// Why the last install did not start: the files could not be made safely, another
// install holds the lock, the administrator's authentication was refused or dismissed,
// there is no pkexec to ask for it, or the checks before the first package refused it
// (ChecksRefusedId); 0 when it started or had nothing to do.
ResourceID_C installNotStartedReason();
// The kind of why it did not start (None when it started). When the checks refused the
// last install, or its root side found a package that was not the one the checks passed
// (PackageChangedId), nothing was installed; the refusal's lines say why: each failed
// check's line, then rpm's own lines.
ErrorKind installNotStartedKind();
const std::vector<std::string>& installRefusalLines();

// Reads what the script has written so far (a bounded amount) and passes it on.
// Always returns TRUE.
int updateTextWindow(void* data);
