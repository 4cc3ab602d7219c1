#include "interface/gui.h"

#include "interface/exit_paths.h"
#include "interface/main_window.h"
#include "interface/navigation.h"
#include "services/string_service.h"
#include "wizard/command_line.h"
#include "wizard/install_session.h"
#include "wizard/selection.h"
#include "wizard/startup.h"
#include "wizard/tables.h"

GtkWidget* buildWizard() {
    readRcFile();
    GtkWidget* window = createMainWindow();
    includeDialogPages();
    for (int i = 0; i < NumberOfDialogPages; ++i)
        DialogPages[i].widget = DialogPages[i].config->createMainArea(window);
    adjustCurrentPage(window, CurrentPage);
    adjustComponentsFromSetuptype();
    return window;
}

int runGraphicalWizard() {
    adaptTablesToHost(probeHost());
    GtkWidget* window = buildWizard();
    gtk_widget_show(window);
    createStartMarker();
    gtk_main();
    stringUnInit();
    removeStartMarker();
    if (wizardCancelled())
        return ExitCancelled;
    if (anotherInstallRunning())
        return ExitInstallRunning;
    return InstalledOK ? ExitInstalled : ExitInstallFailed;
}
