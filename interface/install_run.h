// The run page as one observer of the install run (wizard/install_session.h).
#pragma once

#include <gtk/gtk.h>

// Writes the install files and starts the script; called by Next from the review page
// with the Next button. When nothing can run, the run page stays empty and Next stays
// sensitive; a script that could not be written or started counts as a failed install.
void startInstall(GtkWidget* nextButton);

// Whether an install was started (or tried) in this run of the wizard.
bool installAttempted();

// Runs the script named by scriptName and streams its output into the run page of
// the Next button's window. Returns false when the child could not be started.
bool runInstallScript(GtkWidget* nextButton);

// After Finish: the proxy notice, when the web server was installed.
void postInstallMessage(GtkWidget* mainWindow);

// Appends text (install output or a notice) to the output view, keeping the view at
// the newest line unless the user has scrolled away from the bottom.
void appendOutput(GtkWidget* view, const char* text);
