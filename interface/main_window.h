// The main window, its style, the widget registry and the side picture.
#pragma once

#include <gtk/gtk.h>

void readRcFile();
GtkWidget* lookupWidget(GtkWidget* widget, const char* name);
GtkWidget* createPixmap(GtkWidget* widget, const char* filename);
GtkWidget* createMainWindow();

// Registry helpers. A plain registration holds no reference; an owning one holds
// the widget's extra reference until the window is destroyed.
void registerPlain(GtkWidget* window, const char* name, GtkWidget* widget);
void registerOwned(GtkWidget* window, const char* name, GtkWidget* widget);

// Texts from the string service are in the locale encoding; widgets take UTF-8.
// Returns a newly allocated UTF-8 copy (never null; invalid bytes become U+FFFD).
gchar* localeToUtf8(const char* text);
// Text from outside the database (license file, install output): kept when it is
// valid UTF-8, converted from the locale encoding otherwise, invalid bytes as U+FFFD.
gchar* externalToUtf8(const char* text, gssize length);

// Sets a label's text from a locale-encoded string.
void setLabelText(GtkWidget* label, const char* localeText);
// Appends locale-encoded or external text at the end of a text view.
void appendTextView(GtkWidget* view, const char* localeText);
