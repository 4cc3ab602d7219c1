// stage3: the installation wizard for the storage controller's driver and its
// management application. Started from the medium's directory: the graphical wizard,
// the console wizard, or an install without a person (--unattended), all over one core.
#include <gtk/gtk.h>

#include <clocale>

#include "console/console_wizard.h"
#include "interface/gui.h"
#include "services/file_search.h"
#include "unattended/unattended.h"
#include "wizard/command_line.h"
#include "wizard/install_log.h"
#include "wizard/install_session.h"
#include "wizard/startup.h"

int main(int argc, char* argv[]) {
    GOptionContext* context = newOptionContext();
    // GTK (and its options) only for the graphical wizard: the other modes never open a
    // display.
    bool graphical = !wantsModeWithoutDisplay(argc, argv) && (g_getenv("DISPLAY") || g_getenv("WAYLAND_DISPLAY"));
    if (graphical)
        g_option_context_add_group(context, gtk_get_option_group(TRUE));
    else
        setlocale(LC_ALL, "");
    CommandLine line;
    int status = parseCommandLine(context, &argc, &argv, &line);
    if (status >= 0) return status;

    setSearchDirectories(argv[0]);
    setInstallLogPath(line.logPath);
    setInstallRecordPath(line.recordPath);
    switch (line.mode) {
    case Mode::Graphical:
        if ((status = checkStartupPreconditions()) != 0) return status;
        return runGraphicalWizard();
    case Mode::Console:
        return runConsoleWizard(line.choices);
    case Mode::Unattended:
        return runUnattended(line.choices, false, false);
    case Mode::DryRun:
        return runUnattended(line.choices, true, line.json);
    }
    return ExitUsage;
}
