// Page navigation and the setup-type and component selection of the graphical
// wizard: the rules of wizard/selection.h, and the widgets brought in line with them.
#pragma once

#include <gtk/gtk.h>

void adjustCurrentPage(GtkWidget* mainWindow, int index);
void onDialogBackButtonClicked(GtkButton* button, gpointer data);
void onDialogNextButtonClicked(GtkButton* button, gpointer data);
void adjustComponentsFromSetuptype();
void adjustComponents();
void onSetuptypeToggled(GtkToggleButton* button, gpointer data);
void onComponentEnableToggled(GtkToggleButton* button, gpointer data);
