// --maintain in the graphical wizard: the question what to do with the installed version,
// asked before the wizard's window opens.
#pragma once

#include "wizard/command_line.h"

// Asks Repair, Modify or Remove in a modal window of its own (Repair chosen first).
// False when the user cancelled or closed it.
bool askMaintenanceAction(Action* chosen);
