// Page navigation and the setup-type and component selection.
#pragma once

#include <gtk/gtk.h>

#include <string>

void adjustCurrentPage(GtkWidget* mainWindow, int index);
void onDialogBackButtonClicked(GtkButton* button, gpointer data);
void onDialogNextButtonClicked(GtkButton* button, gpointer data);
void adjustComponentsFromSetuptype();
void adjustComponents();
void onSetuptypeToggled(GtkToggleButton* button, gpointer data);
void onComponentEnableToggled(GtkToggleButton* button, gpointer data);

// The summary shown on the review page for the current selection, in the
// locale encoding, of any length.
std::string composeReviewText();
