// Cancel, close requests, the exit question and the end of the proxy notice.
#pragma once

#include <gtk/gtk.h>

#include "services/shared_files.h"

int queryCancel();
void onDialogCancelButtonClicked(GtkButton* button, gpointer data);
gint onDialogDeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer data);
void onExitYesClicked(GtkButton* button, gpointer data);
void onExitNoClicked(GtkButton* button, gpointer data);
gint onExitDialogDelete(GtkWidget* widget, GdkEvent* event, gpointer data);
void onProxyOkClicked(GtkButton* button, gpointer data);

// The start marker that exists while the wizard runs, and the file this run made there.
extern const char* const StartMarkerPath;
extern FileIdentity StartMarkerMade;

// Removes the start marker when it is still the one this run made.
void removeStartMarker();
