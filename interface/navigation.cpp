#include "interface/navigation.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "interface/install_run.h"
#include "interface/main_window.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_log.h"
#include "wizard/install_session.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

// Replaces the review view's content with the summary of the current selection.
void fillReviewText(GtkWidget* anyWidget) {
    GtkWidget* view = lookupWidget(anyWidget, "review_text");
    if (!view)
        return;
    GCharPtr utf8(localeToUtf8(wizardOf(anyWidget).reviewText().c_str()));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    gtk_text_buffer_set_text(buffer, utf8.get(), -1);
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
}

void showFailedFinish(GtkWidget* anyWidget) {
    setLabelText(lookupWidget(anyWidget, "finish_label"), getString(FinishFailedId));
    // An install that never started says why in place of the read-me pointer.
    int note = installNotStartedNoteId();
    setLabelText(lookupWidget(anyWidget, "see_read_me"), note ? getString(note) : "");
    setLabelText(lookupWidget(anyWidget, "register_controller"), "");
}

// Names the install log on the finish page when the install wrote one.
void showLogPlace(GtkWidget* anyWidget) {
    GtkWidget* label = lookupWidget(anyWidget, "finish_log");
    if (!label || !installLogWritten())
        return;
    setLabelText(label, fillText(getString(LogPlaceId), {installLogPath()}).c_str());
    gtk_widget_show(label);
}

// With no component selected the finish page says that nothing was installed.
void showNothingInstalled(GtkWidget* anyWidget) {
    setLabelText(lookupWidget(anyWidget, "finish_label"), getString(ResultNothingSelectedId));
    setLabelText(lookupWidget(anyWidget, "see_read_me"), "");
    setLabelText(lookupWidget(anyWidget, "register_controller"), "");
}

// The size the window starts with when it has room: the size its pages were designed for.
const int DesignWidth = 532;
const int DesignHeight = 375;

// The widget of each page of the wizard, in its order, as the main window keeps them.
using PageWidgets = std::vector<GtkWidget*>;

// Empty before buildPages.
PageWidgets pageWidgets(GtkWidget* mainWindow) {
    auto* pages =
        static_cast<PageWidgets*>(g_object_get_data(G_OBJECT(mainWindow), "page_widgets"));
    return pages ? *pages : PageWidgets();
}

// Adds the wizard's pages that are in no container yet to the page stack.
// Returns whether it added any.
bool stackNewPages(GtkWidget* stack) {
    bool added = false;
    for (GtkWidget* page : pageWidgets(gtk_widget_get_toplevel(stack))) {
        if (page && !gtk_widget_get_parent(page)) {
            gtk_container_add(GTK_CONTAINER(stack), page);
            added = true;
        }
    }
    return added;
}

// Every page starts at its top left corner, whatever an earlier visit scrolled to.
void showPageFromItsStart(GtkWidget* mainWindow) {
    auto* scrolled = GTK_SCROLLED_WINDOW(lookupWidget(mainWindow, "pages_scrolledwindow"));
    gtk_adjustment_set_value(gtk_scrolled_window_get_hadjustment(scrolled), 0);
    gtk_adjustment_set_value(gtk_scrolled_window_get_vadjustment(scrolled), 0);
}

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
    const Wizard& wizard = wizardOf(next);
    for (int i = 0; i < wizard.pageCount(); ++i) {
        setButtonText(next, getString(wizard.page(i).nextLabelId));
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

// Gives the window the size that its largest page needs, so that the buttons never
// move from page to page: at least the designed size, at most the work area of its
// monitor, title bar included where GTK draws one (a page that does not fit then
// scrolls), never less than the window's own minimum. Back and Next keep one width where
// the work area has room for that; on a narrower one each takes its own.
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

void finishWizard(GtkWidget* mainWindow) {
    gtk_widget_hide(mainWindow);
    postInstallMessage(mainWindow);
    gtk_main_quit();
}

}  // namespace

void showCurrentPage(GtkWidget* mainWindow) {
    const Wizard& wizard = wizardOf(mainWindow);
    int index = wizard.currentPage();
    GtkWidget* stack = lookupWidget(mainWindow, "pages_stack");
    bool newPages = stackNewPages(stack);
    const DialogPageConfig& page = wizard.page(index);
    GtkWidget* pageWidget = pageWidgets(mainWindow)[index];
    g_object_set_data(G_OBJECT(mainWindow), "current_main_area", pageWidget);
    gtk_stack_set_visible_child(GTK_STACK(stack), pageWidget);
    showPageFromItsStart(mainWindow);

    setLabelText(lookupWidget(mainWindow, "dialog_title"), getString(page.titleId));

    GtkWidget* back = lookupWidget(mainWindow, "dialog_back_button");
    if (page.backEnabled)
        gtk_widget_show(back);
    else
        gtk_widget_hide(back);
    gtk_widget_set_sensitive(back, page.backEnabled);

    if (newPages)
        fitWindowToPages(mainWindow);
    GtkWidget* next = lookupWidget(mainWindow, "dialog_next_button");
    gtk_widget_grab_focus(next);
    setButtonText(next, getString(page.nextLabelId));

    gtk_widget_set_sensitive(lookupWidget(mainWindow, "dialog_cancel_button"), page.cancelEnabled);
}

void onDialogBackButtonClicked(GtkButton* button, gpointer) {
    GtkWidget* mainWindow = gtk_widget_get_toplevel(GTK_WIDGET(button));
    if (wizardOf(mainWindow).back())
        showCurrentPage(mainWindow);
}

void onDialogNextButtonClicked(GtkButton* button, gpointer) {
    GtkWidget* mainWindow = gtk_widget_get_toplevel(GTK_WIDGET(button));
    Wizard& wizard = wizardOf(mainWindow);
    if (!wizard.next()) {
        finishWizard(mainWindow);
        return;
    }
    // Leaving the setup type page may have changed the components.
    showComponents(mainWindow);
    if (wizard.onPage(ReviewTitleId))
        fillReviewText(mainWindow);
    else if (wizard.onPage(RunTitleId))
        startInstall(GTK_WIDGET(button));

    showCurrentPage(mainWindow);
    if (wizard.onPage(FinishTitleId)) {
        if (!wizard.installed())
            showFailedFinish(mainWindow);
        else if (wizard.selection().components == 0)
            showNothingInstalled(mainWindow);
        showLogPlace(mainWindow);
    }
}

void buildPages(GtkWidget* mainWindow) {
    const Wizard& wizard = wizardOf(mainWindow);
    auto* pages = new PageWidgets;
    for (int i = 0; i < wizard.pageCount(); ++i)
        pages->push_back(createMainArea(wizard.page(i), mainWindow));
    g_object_set_data_full(G_OBJECT(mainWindow), "page_widgets", pages,
                           [](gpointer widgets) { delete static_cast<PageWidgets*>(widgets); });
}

GtkWidget* pageWidget(GtkWidget* mainWindow, int index) {
    PageWidgets pages = pageWidgets(mainWindow);
    return index >= 0 && index < static_cast<int>(pages.size()) ? pages[index] : nullptr;
}

void showComponents(GtkWidget* mainWindow) {
    const Wizard& wizard = wizardOf(mainWindow);
    char name[32];
    for (int i = 0; i < NumberOfComponents; ++i) {
        std::snprintf(name, sizeof name, "component%d_enable", i);
        GtkWidget* button = lookupWidget(mainWindow, name);
        if (!button)
            continue;
        // Set quietly: the wizard already holds the state the button takes.
        g_signal_handlers_block_by_func(
            button, reinterpret_cast<gpointer>(onComponentEnableToggled), mainWindow);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), wizard.selection().has(i));
        g_signal_handlers_unblock_by_func(
            button, reinterpret_cast<gpointer>(onComponentEnableToggled), mainWindow);
        // A component that a selected one requires cannot be cleared; the driver cannot be
        // chosen when the medium's is not newer than the installed one.
        bool free = wizard.lock(i) == ComponentLock::None;
        gtk_widget_set_sensitive(button, free);
        std::snprintf(name, sizeof name, "component%d_label", i);
        if (GtkWidget* label = lookupWidget(mainWindow, name))
            gtk_widget_set_sensitive(label, free);
    }
}

void onSetuptypeToggled(GtkToggleButton* button, gpointer mainWindow) {
    int value = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "setuptype_index"));
    if (value > 0 && gtk_toggle_button_get_active(button))
        wizardOf(static_cast<GtkWidget*>(mainWindow)).chooseSetupType(value - 1);
}

void onComponentEnableToggled(GtkToggleButton* button, gpointer mainWindow) {
    int value = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "component_index"));
    auto* window = static_cast<GtkWidget*>(mainWindow);
    if (value < 1)
        return;
    wizardOf(window).toggleComponent(value - 1, gtk_toggle_button_get_active(button));
    showComponents(window);
}

Wizard& wizardOf(GtkWidget* widget) {
    GtkWidget* window = gtk_widget_get_toplevel(widget);
    return *static_cast<Wizard*>(g_object_get_data(G_OBJECT(window), "wizard"));
}
