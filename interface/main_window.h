// The main window, its style, the widget registry and the side picture.
#pragma once

#include <gtk/gtk.h>

struct InstallRun;

void readRcFile();
GtkWidget* lookupWidget(GtkWidget* widget, const char* name);
// The side picture as a new image widget: the medium's picture `filename` when it is
// one the wizard takes, decoded once for the window of `widget` (see windowPicture) and
// shown at its size; else the built-in picture, drawn for the widget's scale.
GtkWidget* createPixmap(GtkWidget* widget, const char* filename);
// The window holds the wizard of `run` (the program's, which outlives the window), or
// without one a wizard with a run of its own (tests).
GtkWidget* createMainWindow(InstallRun* run = nullptr);

// Registry helpers. A plain registration holds no reference; an owning one holds
// the widget's extra reference until the window is destroyed.
void registerPlain(GtkWidget* window, const char* name, GtkWidget* widget);
void registerOwned(GtkWidget* window, const char* name, GtkWidget* widget);

// The most characters a text of the database may show: in a window title, a
// page title or a button label, and in any other label or text view. A medium
// whose text is longer still gets a window (an X server refuses a title of
// megabytes), and no label is laid out over megabytes.
const glong TitleTextLimit = 256;
const glong LabelTextLimit = 16384;

// Texts from the string service are in the locale encoding; widgets take UTF-8.
// Returns a newly allocated UTF-8 copy of at most `maxChars` characters (never
// null; invalid bytes become U+FFFD).
gchar* localeToUtf8(const char* text, glong maxChars = LabelTextLimit);
// Text from outside the database (license file, install output): kept when it is
// valid UTF-8, converted from the locale encoding otherwise, invalid bytes as U+FFFD.
gchar* externalToUtf8(const char* text, gssize length);

// Sets a label's text from a locale-encoded string: the page title
// ("dialog_title") and a button's label take at most TitleTextLimit
// characters, other labels LabelTextLimit.
void setLabelText(GtkWidget* label, const char* localeText);
// Appends locale-encoded or external text at the end of a text view.
void appendTextView(GtkWidget* view, const char* localeText);
