// Page constructors. Each takes the main window, registers its widgets on it and
// returns the page's top widget, shown and holding one extra reference.
#pragma once

#include <gtk/gtk.h>

#include "wizard/tables.h"

GtkWidget* createIntroMainArea(GtkWidget* window);
GtkWidget* createLicenseMainArea(GtkWidget* window);
GtkWidget* createFinishMainArea(GtkWidget* window);
GtkWidget* createSetuptypeMainArea(GtkWidget* window);
GtkWidget* createComponentsMainArea(GtkWidget* window);
GtkWidget* createKernelRebuildMainArea(GtkWidget* window);
GtkWidget* createReviewMainArea(GtkWidget* window);
GtkWidget* createRunMainArea(GtkWidget* window);

// The page that draws `page` of the wizard's page table, built by its constructor above;
// null for a page without one.
GtkWidget* createMainArea(const DialogPageConfig& page, GtkWidget* window);

// The license text, newly allocated with g_malloc (released with g_free), never null.
char* getLicenseText();
