// Day two without a person: --status, and --repair, --modify and --remove (or the plan
// of one with --dry-run).
#pragma once

#include "wizard/command_line.h"

// The medium's and the installed versions, the install record and what a run would do,
// as text or as one JSON object. Changes nothing and takes no lock; returns 0.
int showStatus(bool json);

// Repairs, modifies or removes this medium's installed version (the action set with
// setInstallAction), or with dryRun shows what would be done. Returns the exit status.
int runMaintenance(const Choices& choices, bool dryRun, bool json);
