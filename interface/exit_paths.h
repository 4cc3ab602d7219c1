// Cancel, close requests, the exit question and the end of the proxy notice.
#pragma once

#include <gtk/gtk.h>

int queryCancel();
void onDialogCancelButtonClicked(GtkButton* button, gpointer data);
gint onDialogDeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer data);
void onExitYesClicked(GtkButton* button, gpointer data);
void onExitNoClicked(GtkButton* button, gpointer data);
gint onExitDialogDelete(GtkWidget* widget, GdkEvent* event, gpointer data);
void onProxyOkClicked(GtkButton* button, gpointer data);

// Whether the user ended the wizard through the exit question before anything was
// installed (exit status 3), in the main window `window`.
bool wizardCancelled(GtkWidget* window);
