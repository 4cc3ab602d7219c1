#include "interface/window_size.h"

#include <algorithm>
#include <set>
#include <string>

#include "interface/main_window.h"
#include "interface/navigation.h"
#include "interface/widget_build.h"
#include "services/string_service.h"
#include "wizard/wizard.h"

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
// comes and goes from page to page. Each text is measured once, on the label Next was
// made with (a button with a text holds a label), which shows it as Next would, access
// key marked; Next's text is kept.
void fitNextToItsTexts(GtkWidget* next, GtkWidget* back) {
    gtk_widget_set_size_request(next, -1, -1);
    int widest = 0;
    gtk_widget_get_preferred_width(back, nullptr, &widest);
    GtkLabel* label = GTK_LABEL(gtk_bin_get_child(GTK_BIN(next)));
    const std::string shown = gtk_label_get_label(label);
    std::set<std::string> measured;
    const Wizard& wizard = wizardOf(next);
    for (int i = 0; i < wizard.pageCount(); ++i) {
        GCharPtr text(localeToUtf8(getString(wizard.page(i).nextLabelId), TitleTextLimit));
        if (!measured.insert(text.get()).second)
            continue;
        gtk_label_set_text_with_mnemonic(label, text.get());
        int natural = 0;
        gtk_widget_get_preferred_width(next, nullptr, &natural);
        widest = std::max(widest, natural);
    }
    gtk_label_set_text_with_mnemonic(label, shown.c_str());
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
// window asks for the height of the page on screen at its narrowest, where its labels
// wrap into the most lines. The difference to the height of the tallest page at the
// width the pages do get, which is their natural width and `extraWidth` more (less when
// the window is narrower). Only for that measure does every page ask for the height of
// the tallest: measured at its narrowest as well, each label would be laid out at three
// more widths.
int pagesHeightCorrection(GtkWidget* pages, GtkStack* stack, int extraWidth) {
    int minimum = 0, natural = 0;
    gtk_widget_get_preferred_width(pages, &minimum, &natural);
    int narrowHeight = 0, fittedHeight = 0;
    gtk_widget_get_preferred_height(pages, nullptr, &narrowHeight);
    gtk_stack_set_vhomogeneous(stack, TRUE);
    gtk_widget_get_preferred_height_for_width(pages, std::max(minimum, natural + extraWidth),
                                              nullptr, &fittedHeight);
    gtk_stack_set_vhomogeneous(stack, FALSE);
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

void showPage(GtkWidget* page, gpointer) {
    gtk_widget_show(page);
}

// Once the window's first frame is painted, every page is shown (and laid out in the
// next frame).
void showPagesAfterFirstFrame(GdkFrameClock* clock, gpointer stack) {
    g_signal_handlers_disconnect_by_func(
        clock, reinterpret_cast<gpointer>(showPagesAfterFirstFrame), stack);
    gtk_container_foreach(GTK_CONTAINER(stack), showPage, nullptr);
}

void hideOffScreenPage(GtkWidget* page, gpointer onScreen) {
    if (page != onScreen)
        gtk_widget_hide(page);
}

// Every page but the one on screen stays out of the window until its first frame is
// painted: GTK then lays out that page alone when it realizes and shows the window, which
// has the size of the largest already. A page the user reaches before that is shown on
// the way (showCurrentPage).
void leaveOtherPagesOutOfFirstFrame(GtkStack* stack) {
    gtk_container_foreach(GTK_CONTAINER(stack), hideOffScreenPage,
                          gtk_stack_get_visible_child(stack));
}

void bringPagesInAfterFirstFrame(GtkWidget* mainWindow, GtkStack* stack) {
    if (GdkFrameClock* clock = gtk_widget_get_frame_clock(mainWindow))
        g_signal_connect_object(clock, "after-paint", G_CALLBACK(showPagesAfterFirstFrame), stack,
                                static_cast<GConnectFlags>(0));
    else
        gtk_container_foreach(GTK_CONTAINER(stack), showPage, nullptr);
}

}  // namespace

void fitWindowToPages(GtkWidget* mainWindow) {
    GtkWidget* back = lookupWidget(mainWindow, "dialog_back_button");
    GtkWidget* next = lookupWidget(mainWindow, "dialog_next_button");
    GdkRectangle area = windowWorkArea(mainWindow);
    // Measured with Back shown, as on most pages.
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
    int minimum = 0, natural = 0;
    contentWidth(mainWindow, &minimum, &natural);
    int width = std::max(minimum, std::min(std::max(natural, DesignWidth), area.width));
    int extraWidth = width - natural;
    contentHeightForWidth(mainWindow, width, &minimum, &natural);
    GtkStack* stack = GTK_STACK(lookupWidget(mainWindow, "pages_stack"));
    natural += pagesHeightCorrection(lookupWidget(mainWindow, "pages_viewport"), stack, extraWidth);
    gtk_widget_set_visible(back, backShown);
    leaveOtherPagesOutOfFirstFrame(stack);
    // GTK creates the window with its default size: set before the window is realized, the
    // window has its final size from the start. Only where GTK draws a title bar, which it
    // makes on realizing the window, can the height still change before the window is shown.
    int height = std::max(minimum, std::min(std::max(natural, DesignHeight), area.height));
    gtk_window_set_default_size(GTK_WINDOW(mainWindow), width, height);
    gtk_widget_realize(mainWindow);
    int room = area.height - titleBarHeight(mainWindow, width);
    if (height > room)
        gtk_window_set_default_size(GTK_WINDOW(mainWindow), width, std::max(minimum, room));
    bringPagesInAfterFirstFrame(mainWindow, stack);
}
