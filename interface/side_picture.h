// The side picture of the pages: the built-in picture drawn for the window's scale,
// and the medium's picture decoded once for a window.
#pragma once

#include <gtk/gtk.h>

// The built-in picture at its size, 140 x 264 pixels: the XPM data decoded at build
// time. Made on the first call and kept for the life of the process; the caller does
// not own it.
GdkPixbuf* builtInPicturePixbuf();

// The built-in picture drawn at twice its size for windows of scale 2 and above:
// 280 x 528 pixels with a device scale of 2, so that it takes the same 140 x 264 in
// the window. Kept like the picture at its size.
cairo_surface_t* builtInPictureSurface();

// A new image widget showing the built-in picture for the widget's scale; it changes
// to the other picture when the scale changes (the window moved to a monitor of
// another scale). At scale 1 the image holds the picture as a pixbuf, whose size the
// accessibility bridge reports; GTK 3's image accessible has no size for a surface.
GtkWidget* newBuiltInPictureImage();

// The picture `load(filename)` gives, loaded on the first call for the top-level
// window of `widget` and kept by that window for later calls, so that the pages of a
// window share one decoded picture; a load that gave none (null) is kept as such too.
// Without a widget the picture is loaded on each call. Returns a new reference, or null.
GdkPixbuf* windowPicture(GtkWidget* widget, const char* filename,
                         GdkPixbuf* (*load)(const char* filename));
