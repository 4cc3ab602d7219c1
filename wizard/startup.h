// The start-up sequence of the wizard, in the order main runs it.
#pragma once

#include <gtk/gtk.h>

// Loads the texts and checks that there is something to install and a license to show.
// Returns 0 when setup can go on; otherwise the refusal was written to standard error
// and the result is the exit status (1).
int checkStartupPreconditions();

// Adapts the typical setup type and the component offer to the host.
void adaptTablesToHost();

// Builds the main window with every included page and shows the first one. The window
// is returned unshown.
GtkWidget* buildWizard();

// Creates the start marker, which exists while the wizard runs.
void createStartMarker();
