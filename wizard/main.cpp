// stage3: the installation wizard for the storage controller's driver and its
// management application. Started from the medium's directory.
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdlib>

#include "services/file_search.h"
#include "services/string_service.h"
#include "wizard/exit_paths.h"
#include "wizard/startup.h"

int main(int argc, char* argv[]) {
    gtk_init(&argc, &argv);
    setSearchDirectories(argv[0]);
    if (int status = checkStartupPreconditions()) exit(status);
    adaptTablesToHost(probeHost());
    GtkWidget* window = buildWizard();
    gtk_widget_show(window);
    createStartMarker();
    gtk_main();
    stringUnInit();
    removeStartMarker();
    return 0;
}
