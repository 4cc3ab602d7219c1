// The side picture of the pages: the built-in picture drawn for the window's scale,
// and the medium's picture decoded once for a window.
#pragma once

#include <gtk/gtk.h>

// The built-in picture for a window of scale `scale`: at scale 1 the 140 x 264 pixels
// of the XPM data; from scale 2 up the picture drawn at twice the size, 280 x 528
// pixels with a device scale of 2, so that it takes the same 140 x 264 in the window.
// Made on the first call for its scale and kept for the life of the process; the
// caller does not own it.
cairo_surface_t* builtInPictureSurface(int scale);

// A new image widget showing the built-in picture for the widget's scale; it changes
// to the other picture when the scale changes (the window moved to a monitor of
// another scale).
GtkWidget* newBuiltInPictureImage();

// The picture `load(filename)` gives, loaded on the first call for the top-level
// window of `widget` and kept by that window for later calls, so that the pages of a
// window share one decoded picture; a load that gave none (null) is kept as such too.
// Without a widget the picture is loaded on each call. Returns a new reference, or null.
GdkPixbuf* windowPicture(GtkWidget* widget, const char* filename,
                         GdkPixbuf* (*load)(const char* filename));
