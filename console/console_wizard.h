// The console wizard (--text): the graphical wizard's pages, texts and rules in a
// terminal, for servers without a display.
#pragma once

#include "wizard/command_line.h"

struct InstallRun;

// Runs the start-up checks and the pages; the choices preselect what the user is
// offered. With `maintain`, the installed version's maintenance page comes first (Repair,
// Modify, Remove). `run` is the program's, for the run's state. Returns the exit status.
int runConsoleWizard(InstallRun& run, const Choices& choices, bool maintain = false);
