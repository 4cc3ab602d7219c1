// Installs without a person (--unattended) and the plan of a dry run (--dry-run): no
// display, no questions; the choices come from the answers file and the command line.
#pragma once

#include "wizard/command_line.h"

struct InstallRun;

// Runs the start-up checks, applies the choices and installs (or, with dryRun, shows
// what would be installed, as text or as one JSON object, and changes nothing). An
// install reports as lines for a person, with `quiet` only errors and the result, with
// `json` one JSON object per line. Returns the exit status.
// `run` is the program's, for the run's state (its log, its lock, the start-up refusal).
int runUnattended(InstallRun& run, const Choices& choices, bool dryRun, bool json,
                  bool quiet = false);
