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
#include "services/admin_run.h"
#include "services/files.h"
#include "wizard/install_checks.h"
#include "wizard/install_lock.h"
#include "wizard/install_log.h"
#include "wizard/install_script.h"
#include "wizard/output_reader.h"
#include "wizard/run_error.h"
#include "wizard/run_history.h"
#include "wizard/transaction.h"

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
    NotStarted        // InstallRun::notStartedReason says why
};

// The state of one run of the wizard, from its start-up checks to the end of its install:
// made by the program's main (or a test), passed down to the front end, and from there
// to the start-up checks, the start marker and the install. Nothing of a run outlives it.
struct InstallRun {
    InstallRun() = default;
    InstallRun(const InstallRun&) = delete;
    InstallRun& operator=(const InstallRun&) = delete;

    InstallLog log;
    InstallLock lock;
    // Where the choices of the run are recorded when the install starts (--record);
    // empty for none.
    std::string recordPath;

    // The lines of the refusal the start-up checks wrote, if they refused, and its kind
    // (None when they did not refuse).
    std::vector<std::string> startupRefusal;
    ErrorKind startupRefusalKind = ErrorKind::None;
    // The start marker this run made (startup.h).
    FileIdentity startMarker;
    // The host as this run found it and the run's transaction (runTransaction).
    RunTransactionCache transactions;

    // The run's choices: its action (Install unless a maintenance option chose another),
    // whether a remove takes the driver too (setInstallAction), whether the maintenance
    // copy keeps the packages (--keep-packages), and the checks' policy.
    Action action = Action::Install;
    bool removeDriver = false;
    bool keepPackages = true;
    CheckPolicy checkPolicy;
    // The record the running install, repair or modify leaves when it succeeds, and the
    // application package it is named after (prepareInstallRecord).
    InstallRecord preparedRecord;
    std::string preparedPackage;
    // The history line of the run that took the lock (beginRunHistory).
    BegunRun begun;
    // The run's private directory and the files in it (install_script.h).
    RunFiles files;

    // The install, as startInstallRun leaves it. Why it did not start: the files could
    // not be made safely, another install holds the lock, the administrator's
    // authentication was refused or dismissed, there is no pkexec to ask for it, or the
    // checks before the first package refused it (ChecksRefusedId); 0 when it started or
    // had nothing to do.
    ResourceID_C notStartedReason = 0;
    // The outcome of the install once it ran to its end (a default one before).
    InstallOutcome outcome;
    // Why the checks refused: each failed check's line, then rpm's own lines.
    std::vector<std::string> refusalLines;
    // The checks refused because the medium's key was not trusted.
    bool keyRefused = false;

    // The kind of why it did not start (None when it started). When the checks refused
    // the install, or its root side found a package that was not the one the checks
    // passed (PackageChangedId), nothing was installed.
    ErrorKind notStartedKind() const;

    // While the script runs (install_session.cpp's own).
    InstallObserver observer;
    OutputReader reader;
    int64_t startedAt = 0;  // monotonic, for the duration in the log
    // Polkit's agent on the terminal while a normal user's install runs.
    TerminalAgent terminalAgent;
    // The run installs the medium's driver package.
    bool installsDriver = false;
};

struct Selection;

// Writes the install files for `selection` and starts the script: as root
// itself, else as root through pkexec (a refused authentication ends the run with
// run.notStartedReason saying so). `run` outlives the script.
InstallStart startInstallRun(InstallRun& run, const Selection& selection,
                             const InstallObserver& observer);

// Runs the script already named by run.files.scriptName (no files written, no lock, no log).
// False when the child cannot be started.
bool runInstallScript(InstallRun& run, const InstallObserver& observer);
