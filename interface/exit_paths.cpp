#include "interface/exit_paths.h"

#include <unistd.h>

#include <cstring>

#include "interface/dialogs.h"
#include "interface/install_run.h"
#include "interface/main_window.h"
#include "services/string_service.h"
#include "wizard/startup.h"
#include "wizard/text_ids.h"

namespace {

bool cancelled = false;

void leaveWizard() {
    stringUnInit();
    removeStartMarker();
}

bool isCurrentPage(GtkWidget* mainWindow, const char* name) {
    auto* page =
        static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(mainWindow), "current_main_area"));
    return page && std::strcmp(gtk_widget_get_name(page), name) == 0;
}

}  // namespace

int queryCancel() {
    int oked = 0;
    GtkWidget* dialog = createExitDialog();
    g_object_set_data(G_OBJECT(dialog), "oked", &oked);
    gtk_widget_show(dialog);
    gtk_main();
    gtk_widget_destroy(dialog);
    return oked;
}

void onDialogCancelButtonClicked(GtkButton*, gpointer) {
    if (!queryCancel())
        return;
    cancelled = true;
    gtk_main_quit();
}

gint onDialogDeleteEvent(GtkWidget* widget, GdkEvent*, gpointer) {
    GObject* mainWindow = G_OBJECT(widget);
    if (g_object_get_data(mainWindow, "exit_on_child_died"))
        return TRUE;
    if (!isCurrentPage(widget, "finish_main_area") && !queryCancel())
        return TRUE;

    auto* output = static_cast<GtkWidget*>(g_object_get_data(mainWindow, "child_running"));
    if (output) {
        // Yes closed the string service; the wizard stays open until the install ends,
        // so the service is opened again for the notice and the texts still to come.
        stringInit();
        appendOutput(output, getString(InstallStillRunningId));
        g_object_set_data(mainWindow, "exit_on_child_died", GINT_TO_POINTER(1));
        return TRUE;
    }
    // Left before an install was tried: the exit status says cancelled. After one, it
    // is the install's own.
    if (!installAttempted())
        cancelled = true;
    gtk_main_quit();
    return TRUE;
}

bool wizardCancelled() {
    return cancelled;
}

void onExitYesClicked(GtkButton* button, gpointer) {
    GtkWidget* dialog = gtk_widget_get_toplevel(GTK_WIDGET(button));
    auto* oked = static_cast<int*>(g_object_get_data(G_OBJECT(dialog), "oked"));
    if (oked)
        *oked = 1;
    leaveWizard();
    gtk_main_quit();
}

void onExitNoClicked(GtkButton*, gpointer) {
    gtk_main_quit();
}

gint onExitDialogDelete(GtkWidget* widget, GdkEvent*, gpointer) {
    // Closing the exit question is not a confirmation: it answers No and leaves the
    // string service and the start marker alone, since the wizard goes on.
    if (g_object_get_data(G_OBJECT(widget), "oked")) {
        gtk_main_quit();
        return TRUE;
    }
    leaveWizard();
    gtk_main_quit();
    return TRUE;
}

void onProxyOkClicked(GtkButton*, gpointer) {
    leaveWizard();
    gtk_main_quit();
}
