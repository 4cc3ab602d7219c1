// Building blocks shared by the window, page and dialog constructors of the
// interface code. Every widget a constructor makes goes through one of them, so
// the registry convention (name, owning reference, registration, shown) and the
// UTF-8 rule hold in one place.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "resdb/resource.h"
#include "services/glib_memory.h"

// Names the new widget, registers it on `window` with an owning registration
// and shows it. The caller packs it afterwards.
GtkWidget* addNamedWidget(GtkWidget* window, const char* name, GtkWidget* widget);

// The outermost box of a page: named, given one extra reference that is never
// released (the page outlives being taken out of the window), shown, and not
// registered.
GtkWidget* newPageMainArea(const char* name, GtkOrientation orientation, int spacing);

// A label, push button, radio button or check button whose text is the
// string service's text of `id`, converted to UTF-8; a label's text is cut to
// LabelTextLimit characters, a button's to TitleTextLimit. In a button's text an
// underscore marks the access key (Alt and that key press the button) and "__"
// stands for one underscore; a text without an underscore shows as it is.
GtkWidget* newResourceLabel(const ResourceID_C& id);
GtkWidget* newResourceButton(const ResourceID_C& id);
GtkWidget* newResourceRadioButton(GSList* group, const ResourceID_C& id);
GtkWidget* newResourceCheckButton(const ResourceID_C& id);

// Replaces the text of a button made by newResourceButton with a locale-encoded
// text, cut to TitleTextLimit characters; its underscore marks the access key as well.
void setButtonText(GtkWidget* button, const char* localeText);

// Sets the title of a window or dialog to the text of `id`, cut to
// TitleTextLimit characters.
void setResourceTitle(GtkWidget* window, const ResourceID_C& id);

// The page label layout: left-justified lines, wrapping, `width` pixels wide
// with the natural height, and the given alignment of its text.
void setPageLabelLayout(GtkWidget* label, int width, float xalign, float yalign);

// The side picture of a page: made from "wizard.xpm", named, registered,
// shown, packed at the start of `box` (no expand, fill, no padding) and placed
// at the top, centred horizontally.
GtkWidget* addPagePicture(GtkWidget* window, GtkWidget* box, const char* name);

// A text view that the user cannot edit, with the given wrap mode. Views without
// word wrap still break lines that are too long for the view, between words where
// they can and inside a word (a long path) where they must: with the horizontal
// scroll bar never shown, an unbroken line would widen the whole window to its
// length. The view has a border of FocusFrameWidth pixels on each side, where the
// style shows that it has the keyboard focus.
const int FocusFrameWidth = 2;
GtkWidget* newReadOnlyTextView(GtkWrapMode wrap);

// A push button with the text of textId, registered on `window`, added to the
// button box `box` and allowed to become the default widget.
GtkWidget* addBoxButton(GtkWidget* window, GtkWidget* box, const char* name,
                        const ResourceID_C& textId);

// A read-only text view in a scrolled window (horizontal bar never, vertical as
// given; the view wraps at the width the window gets), both named and registered; the scrolled
// window is packed into `box` (expand, fill, no padding). Returns the view.
GtkWidget* addScrolledTextView(GtkWidget* window, GtkWidget* box, const char* scrolledName,
                               const char* viewName, GtkWrapMode wrap, GtkPolicyType vertical);

// The built-in boxes of a dialog. The action area has no current replacement in
// GTK 3 that keeps the dialog's bottom row, so the deprecated call lives here only.
GtkWidget* dialogContentArea(GtkWidget* dialog);
GtkWidget* dialogActionArea(GtkWidget* dialog);

// Decodes XPM data: the header, one colour line per colour and one row per
// line of pixels, without gdk-pixbuf's XPM loader module, which newer
// distributions may leave out. A colour is "None", "#RRGGBB" or any colour
// gdk_rgba_parse takes, such as an X colour name ("white"). The array ends
// with a null pointer or holds every line the header announces. Null when the
// data is not such a picture.
GdkPixbuf* pixbufFromXpmData(const char* const* data);

// Decodes the text of an XPM file ("/* XPM */" first, then the C string
// literals of the picture). Before anything is decoded the header must
// announce at most XpmMaxSide pixels each way, at most XpmMaxColours colours
// and no more colours than pixels, and at most 4 characters per pixel. Null
// when the text is not such a picture.
const int XpmMaxSide = 1024;
const int XpmMaxColours = 65536;
GdkPixbuf* pixbufFromXpmText(const std::string& text);
