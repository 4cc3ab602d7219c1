#include "interface/exit_paths.h"

#include <unistd.h>

#include <cstring>

#include "interface/dialogs.h"
#include "interface/install_run.h"
#include "interface/main_window.h"
#include "interface/navigation.h"
#include "services/string_service.h"
#include "wizard/install_session.h"
#include "wizard/startup.h"
#include "wizard/text_ids.h"

namespace {

// The user ended the wizard before anything was installed: a mark on its main window.
const char* const CancelledKey = "wizard_cancelled";

void setCancelled(GtkWidget* anyWidget) {
    g_object_set_data(G_OBJECT(gtk_widget_get_toplevel(anyWidget)), CancelledKey,
                      GINT_TO_POINTER(1));
}

// The wizard's main window is the one the dialog of `button` is transient for.
void leaveWizard(GtkWidget* button) {
    stringUnInit();
    GtkWindow* mainWindow =
        gtk_window_get_transient_for(GTK_WINDOW(gtk_widget_get_toplevel(button)));
    if (mainWindow && g_object_get_data(G_OBJECT(mainWindow), "wizard"))
        removeStartMarker(wizardOf(GTK_WIDGET(mainWindow)).run());
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

void onDialogCancelButtonClicked(GtkButton* button, gpointer) {
    if (!queryCancel())
        return;
    setCancelled(GTK_WIDGET(button));
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
    if (!installAttempted(widget))
        setCancelled(widget);
    gtk_main_quit();
    return TRUE;
}

bool wizardCancelled(GtkWidget* window) {
    return g_object_get_data(G_OBJECT(window), CancelledKey) != nullptr;
}

void onExitYesClicked(GtkButton* button, gpointer) {
    GtkWidget* dialog = gtk_widget_get_toplevel(GTK_WIDGET(button));
    auto* oked = static_cast<int*>(g_object_get_data(G_OBJECT(dialog), "oked"));
    if (oked)
        *oked = 1;
    leaveWizard(GTK_WIDGET(button));
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
    leaveWizard(widget);
    gtk_main_quit();
    return TRUE;
}

void onProxyOkClicked(GtkButton* button, gpointer) {
    leaveWizard(GTK_WIDGET(button));
    gtk_main_quit();
}
