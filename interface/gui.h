// The graphical wizard: GTK 3 windows over the wizard's core.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "wizard/command_line.h"

struct HostFacts;
struct InstallRun;

// Builds the main window, starts its wizard for `host` and the medium's page rules, takes
// `choices` (those given, or an upgrade's recorded ones) before the pages are built, so
// that every page shows them (the setup type's radio button among them, with a line that
// says where they came from: `recordNote` for the recorded ones), shows the first page
// and sizes the window for the largest. The window is returned realized and unshown; the
// other pages are hidden until its first frame is painted.
// `run`: the program's, which outlives the window; none for a window with a run of its
// own (tests). With `lookAtDriver` false the driver package's file list (whether the
// kernel rebuild page stays) is read only once the window is mapped and its first page
// drawn, or at the first Next.
GtkWidget* buildWizard(const HostFacts& host, const Choices& choices = Choices(),
                       InstallRun* run = nullptr, const std::string& recordNote = "",
                       bool lookAtDriver = true);

// Styles check and radio buttons without their marks (pictures the theme decodes when
// it first styles one) until bringCheckMarksInAfterFirstFrame brings them in, once the
// window's first frame is painted: the first page has none. Null without a screen.
GtkCssProvider* leaveCheckMarksOut();
void bringCheckMarksInAfterFirstFrame(GtkWidget* window, GtkCssProvider* provider);

// Runs the graphical wizard after start-up has passed its checks (GTK initialised).
// Returns the exit status: 0 installed or nothing selected, 2 install failed,
// 3 cancelled, 4 another install was running. With `maintain`, the installed version's
// Repair, Modify or Remove is asked first, and the window opens on the pages after it;
// otherwise the pages start from `choices` (--setup-type, --components, --answers), or,
// on an upgrade, from the choices the installed version was made with.
int runGraphicalWizard(InstallRun& run, const Choices& choices = Choices(), bool maintain = false);
