// The size of the graphical wizard's main window, set once for all of its pages.
#pragma once

#include <gtk/gtk.h>

// Gives the window the size that its largest page needs, so that the buttons never
// move from page to page: at least the designed size, at most the work area of its
// monitor, title bar included where GTK draws one (a page that does not fit then
// scrolls), never less than the window's own minimum. Back and Next keep one width where
// the work area has room for that; on a narrower one each takes its own. Every page is
// in the window's page stack; the window is realized. Pages other than the one on
// screen are hidden until the window's first frame is painted.
void fitWindowToPages(GtkWidget* mainWindow);
