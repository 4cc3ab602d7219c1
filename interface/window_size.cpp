#include "interface/window_size.h"

#include <algorithm>

#include "interface/main_window.h"
#include "interface/widget_build.h"
#include "services/string_service.h"
#include "wizard/tables.h"

namespace {

// The size the window starts with when it has room: the size its pages were designed for.
const int DesignWidth = 532;
const int DesignHeight = 375;

// The work area of the monitor the window is on, or will be centred on before it is
// shown (GTK centres a new window on the middle monitor of the display). On Wayland,
// where the compositor places windows, that of the middle output: its whole size.
GdkRectangle windowWorkArea(GtkWidget* mainWindow) {
    GdkDisplay* display = gtk_widget_get_display(mainWindow);
    GdkMonitor* monitor =
        gtk_widget_get_mapped(mainWindow)
            ? gdk_display_get_monitor_at_window(display, gtk_widget_get_window(mainWindow))
            : gdk_display_get_monitor(display, gdk_display_get_n_monitors(display) / 2);
    GdkRectangle area = {0, 0, G_MAXINT / 2, G_MAXINT / 2};
    if (monitor)
        gdk_monitor_get_workarea(monitor, &area);
    return area;
}

// Next takes the width of its widest text, and at least that of Back, whose width it
// shares where Back is shown: so neither moves when Next's text changes or Back
// comes and goes from page to page.
void fitNextToItsTexts(GtkWidget* next, GtkWidget* back) {
    gtk_widget_set_size_request(next, -1, -1);
    int widest = 0;
    gtk_widget_get_preferred_width(back, nullptr, &widest);
    for (int i = 0; i < NumberOfDialogPages; ++i) {
        setButtonText(next, getString(DialogPages[i].config->nextLabelId));
        int natural = 0;
        gtk_widget_get_preferred_width(next, nullptr, &natural);
        widest = std::max(widest, natural);
    }
    gtk_widget_set_size_request(next, widest, -1);
}

// The buttons closer together, for a work area too narrow for the row as designed
// (a small screen at a scale of 2): Back and Next each as wide as its own text,
// smaller gaps before Cancel and around the row.
void compactButtonRow(GtkWidget* mainWindow) {
    GtkButtonBox* pair = GTK_BUTTON_BOX(lookupWidget(mainWindow, "hbuttonbox1"));
    gtk_button_box_set_child_non_homogeneous(pair, lookupWidget(mainWindow, "dialog_back_button"),
                                             TRUE);
    gtk_button_box_set_child_non_homogeneous(pair, lookupWidget(mainWindow, "dialog_next_button"),
                                             TRUE);
    gtk_box_set_spacing(GTK_BOX(lookupWidget(mainWindow, "hbox1")), 10);
    gtk_container_set_border_width(GTK_CONTAINER(lookupWidget(mainWindow, "dialog_action_area")),
                                   5);
}

// GTK 3 measures the content of a scrolled window without the width it will get, so a
// window asks for its pages' height at their narrowest, where their labels wrap into
// the most lines. The difference to their height at the width they do get, which is
// their natural width and `extraWidth` more (less when the window is narrower).
int pagesHeightCorrection(GtkWidget* pages, int extraWidth) {
    int minimum = 0, natural = 0;
    gtk_widget_get_preferred_width(pages, &minimum, &natural);
    int narrowHeight = 0, fittedHeight = 0;
    gtk_widget_get_preferred_height(pages, nullptr, &narrowHeight);
    gtk_widget_get_preferred_height_for_width(pages, std::max(minimum, natural + extraWidth),
                                              nullptr, &fittedHeight);
    return fittedHeight - narrowHeight;
}

// The window measured as gtk_window_set_default_size takes its size: its content and
// border. Where GTK draws the window's decorations itself (on Wayland), its own measure of
// the window also holds their shadow and title bar, which GTK adds to the default size.
void contentWidth(GtkWidget* mainWindow, int* minimum, int* natural) {
    int border = 2 * static_cast<int>(gtk_container_get_border_width(GTK_CONTAINER(mainWindow)));
    gtk_widget_get_preferred_width(gtk_bin_get_child(GTK_BIN(mainWindow)), minimum, natural);
    *minimum += border;
    *natural += border;
}

void contentHeightForWidth(GtkWidget* mainWindow, int width, int* minimum, int* natural) {
    int border = 2 * static_cast<int>(gtk_container_get_border_width(GTK_CONTAINER(mainWindow)));
    gtk_widget_get_preferred_height_for_width(gtk_bin_get_child(GTK_BIN(mainWindow)),
                                              width - border, minimum, natural);
    *minimum += border;
    *natural += border;
}

int minimumWidth(GtkWidget* mainWindow) {
    int minimum = 0, natural = 0;
    contentWidth(mainWindow, &minimum, &natural);
    return minimum;
}

void findTitleBar(GtkWidget* widget, gpointer found) {
    if (GTK_IS_HEADER_BAR(widget) && gtk_widget_get_visible(widget))
        *static_cast<GtkWidget**>(found) = widget;
}

// The height of the title bar that GTK draws above the content of a window whose
// decorations are its own (on Wayland; on X11 the window manager draws them, outside the
// window), at the window's width; 0 without one. GTK makes it when it realizes the window.
int titleBarHeight(GtkWidget* mainWindow, int width) {
    GtkWidget* titleBar = nullptr;
    gtk_container_forall(GTK_CONTAINER(mainWindow), findTitleBar, &titleBar);
    int height = 0;
    if (titleBar)
        gtk_widget_get_preferred_height_for_width(titleBar, width, nullptr, &height);
    return height;
}

}  // namespace

void fitWindowToPages(GtkWidget* mainWindow) {
    GtkWidget* back = lookupWidget(mainWindow, "dialog_back_button");
    GtkWidget* next = lookupWidget(mainWindow, "dialog_next_button");
    GdkRectangle area = windowWorkArea(mainWindow);
    // Measured with Back shown, as on most pages, and every page asking for the
    // height of the tallest.
    bool backShown = gtk_widget_get_visible(back);
    gtk_widget_show(back);
    fitNextToItsTexts(next, back);
    if (minimumWidth(mainWindow) > area.width)
        compactButtonRow(mainWindow);
    // The pages scroll sideways only where even their narrowest layout is too wide.
    auto* scrolled = GTK_SCROLLED_WINDOW(lookupWidget(mainWindow, "pages_scrolledwindow"));
    gtk_scrolled_window_set_policy(scrolled, GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    if (minimumWidth(mainWindow) > area.width)
        gtk_scrolled_window_set_policy(scrolled, GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    GtkStack* stack = GTK_STACK(lookupWidget(mainWindow, "pages_stack"));
    gtk_stack_set_vhomogeneous(stack, TRUE);
    int minimum = 0, natural = 0;
    contentWidth(mainWindow, &minimum, &natural);
    int width = std::max(minimum, std::min(std::max(natural, DesignWidth), area.width));
    int extraWidth = width - natural;
    contentHeightForWidth(mainWindow, width, &minimum, &natural);
    natural += pagesHeightCorrection(lookupWidget(mainWindow, "pages_viewport"), extraWidth);
    gtk_widget_realize(mainWindow);
    int room = area.height - titleBarHeight(mainWindow, width);
    int height = std::max(minimum, std::min(std::max(natural, DesignHeight), room));
    gtk_stack_set_vhomogeneous(stack, FALSE);
    gtk_widget_set_visible(back, backShown);
    gtk_window_set_default_size(GTK_WINDOW(mainWindow), width, height);
}
