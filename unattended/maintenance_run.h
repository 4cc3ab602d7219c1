// Day two without a person: --status, and --repair, --modify and --remove (or the plan
// of one with --dry-run).
#pragma once

#include "wizard/command_line.h"

struct InstallRun;

// The medium's and the installed versions, the install record and what a run would do,
// as text or as one JSON object. Changes nothing and takes no lock; returns 0.
int showStatus(InstallRun& run, bool json);

struct MaintenanceOptions {
    bool dryRun = false;  // show what would be done, change nothing
    bool json = false;    // the plan as one JSON object; a run as JSON lines
    bool quiet = false;   // a run: errors and the result only
    // A remove goes ahead without asking; otherwise it asks on a terminal and is refused
    // where nobody can answer.
    bool assumeYes = false;
};

// Repairs, modifies or removes this medium's installed version (the action set with
// setInstallAction), or shows what would be done. Returns the exit status.
// `run` is the program's, for the run's state (its log, its lock, the start-up refusal).
int runMaintenance(InstallRun& run, const Choices& choices, const MaintenanceOptions& options);
