// The graphical wizard's buttons and choice widgets: each hands what the user did to the
// window's Wizard (wizard/wizard.h), then brings the widgets in line with it.
#pragma once

#include <gtk/gtk.h>

class Wizard;

// The Wizard the main window holds (made with the window, freed with it); `widget` is
// the window or any widget inside it.
Wizard& wizardOf(GtkWidget* widget);

// Shows the wizard's current page: its widget, title and buttons.
void showCurrentPage(GtkWidget* mainWindow);
void onDialogBackButtonClicked(GtkButton* button, gpointer data);
void onDialogNextButtonClicked(GtkButton* button, gpointer data);
// Builds the widget of every page of the wizard, unshown, in the main window's page stack.
void buildPages(GtkWidget* mainWindow);
// Settles what the wizard left to know about the driver (Wizard::settleKernelRebuild,
// which reads the driver package's file list) and takes the widget of a page that went.
void settleDriverPages(GtkWidget* mainWindow);
// The widget of the wizard's page `index`; null outside.
GtkWidget* pageWidget(GtkWidget* mainWindow, int index);
// Brings the component buttons in line with the wizard's selection and locks.
void showComponents(GtkWidget* mainWindow);
// `mainWindow` is the window the button's page belongs to.
void onSetuptypeToggled(GtkToggleButton* button, gpointer mainWindow);
void onComponentEnableToggled(GtkToggleButton* button, gpointer mainWindow);
