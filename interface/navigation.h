// Page navigation and the setup-type and component selection of the graphical
// wizard: the rules of wizard/selection.h, and the widgets brought in line with them.
#pragma once

#include <gtk/gtk.h>

void adjustCurrentPage(GtkWidget* mainWindow, int index);
void onDialogBackButtonClicked(GtkButton* button, gpointer data);
void onDialogNextButtonClicked(GtkButton* button, gpointer data);
// Builds the page of every entry of DialogPages, unshown, in the main window's page stack.
void buildPages(GtkWidget* mainWindow);
// The page widget of entry `index` of DialogPages; null outside.
GtkWidget* pageWidget(int index);
void adjustComponentsFromSetuptype(GtkWidget* mainWindow);
void adjustComponents(GtkWidget* mainWindow);
void onSetuptypeToggled(GtkToggleButton* button, gpointer data);
// `mainWindow` is the window the button's page belongs to.
void onComponentEnableToggled(GtkToggleButton* button, gpointer mainWindow);
