#include "interface/navigation.h"

#include <algorithm>
#include <cstdio>

#include "interface/install_run.h"
#include "interface/main_window.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_log.h"
#include "wizard/install_session.h"
#include "wizard/selection.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"

namespace {

// Replaces the review view's content with the summary of the current selection.
void fillReviewText(GtkWidget* anyWidget) {
    GtkWidget* view = lookupWidget(anyWidget, "review_text");
    if (!view)
        return;
    GCharPtr utf8(localeToUtf8(composeReviewText().c_str()));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    gtk_text_buffer_set_text(buffer, utf8.get(), -1);
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
}

void showFailedFinish(GtkWidget* anyWidget) {
    setLabelText(lookupWidget(anyWidget, "finish_label"), getString(FinishFailedId));
    // An install that never started says why in place of the read-me pointer; one the
    // checks refused names each failed check too.
    int note = installNotStartedNoteId();
    std::string why = note ? getString(note) : "";
    for (const std::string& line : installRefusalLines()) why += "\n" + line;
    setLabelText(lookupWidget(anyWidget, "see_read_me"), why.c_str());
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

// The page widget of each entry of DialogPages.
GtkWidget* pageWidgets[MAX_DIALOG_PAGES];

// Adds the pages of DialogPages that are in no container yet to the page stack.
// Returns whether it added any.
bool stackNewPages(GtkWidget* stack) {
    bool added = false;
    for (int i = 0; i < NumberOfDialogPages; ++i) {
        GtkWidget* page = pageWidgets[i];
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
    postInstallMessage();
    gtk_main_quit();
}

}  // namespace

void adjustCurrentPage(GtkWidget* mainWindow, int index) {
    GtkWidget* stack = lookupWidget(mainWindow, "pages_stack");
    bool newPages = stackNewPages(stack);
    const DialogPageEntry& page = DialogPages[index];
    g_object_set_data(G_OBJECT(mainWindow), "current_main_area", pageWidgets[index]);
    gtk_stack_set_visible_child(GTK_STACK(stack), pageWidgets[index]);
    showPageFromItsStart(mainWindow);

    setLabelText(lookupWidget(mainWindow, "dialog_title"), getString(page.config->titleId));

    GtkWidget* back = lookupWidget(mainWindow, "dialog_back_button");
    if (page.config->backEnabled)
        gtk_widget_show(back);
    else
        gtk_widget_hide(back);
    gtk_widget_set_sensitive(back, page.config->backEnabled);

    if (newPages)
        fitWindowToPages(mainWindow);
    GtkWidget* next = lookupWidget(mainWindow, "dialog_next_button");
    gtk_widget_grab_focus(next);
    setButtonText(next, getString(page.config->nextLabelId));

    gtk_widget_set_sensitive(lookupWidget(mainWindow, "dialog_cancel_button"),
                             page.config->cancelEnabled);
}

// The run page is shown before the install starts, so that the checks before the first
// package show their progress there.
static void enterRunPage(GtkWidget* mainWindow, int index, GtkWidget* nextButton) {
    adjustCurrentPage(mainWindow, index);
    startInstall(nextButton);
}

void onDialogBackButtonClicked(GtkButton* button, gpointer) {
    int target = pageBefore(CurrentPage);
    if (target < 0)
        return;
    adjustCurrentPage(gtk_widget_get_toplevel(GTK_WIDGET(button)), target);
    CurrentPage = target;
}

void onDialogNextButtonClicked(GtkButton* button, gpointer) {
    GtkWidget* mainWindow = gtk_widget_get_toplevel(GTK_WIDGET(button));
    int next = pageAfter(CurrentPage);
    if (next >= NumberOfDialogPages) {
        finishWizard(mainWindow);
        return;
    }
    if (isPage(CurrentPage, SetupTypeTitleId))
        adjustComponentsFromSetuptype(mainWindow);

    if (isPage(next, ReviewTitleId))
        fillReviewText(mainWindow);
    else if (isPage(next, RunTitleId))
        enterRunPage(mainWindow, next, GTK_WIDGET(button));

    adjustCurrentPage(mainWindow, next);
    if (isPage(next, FinishTitleId)) {
        if (!InstalledOK)
            showFailedFinish(mainWindow);
        else if (installHadNothingSelected())
            showNothingInstalled(mainWindow);
        showLogPlace(mainWindow);
    }
    CurrentPage = next;
}

void buildPages(GtkWidget* mainWindow) {
    for (int i = 0; i < NumberOfDialogPages; ++i)
        pageWidgets[i] = createMainArea(*DialogPages[i].config, mainWindow);
}

GtkWidget* pageWidget(int index) {
    return index >= 0 && index < NumberOfDialogPages ? pageWidgets[index] : nullptr;
}

void adjustComponentsFromSetuptype(GtkWidget* mainWindow) {
    applySetupType();
    adjustComponents(mainWindow);
}

void adjustComponents(GtkWidget* mainWindow) {
    closeSelection();
    char name[32];
    for (int i = 0; i < NumberOfComponents; ++i) {
        std::snprintf(name, sizeof name, "component%d_enable", i);
        if (GtkWidget* button = lookupWidget(mainWindow, name))
            // May emit "toggled", which runs this function again on a consistent selection.
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button),
                                         (ComponentsSelected & (1 << i)) != 0);
    }
    for (int i = 0; i < NumberOfComponents; ++i) {
        std::snprintf(name, sizeof name, "component%d_enable", i);
        GtkWidget* button = lookupWidget(mainWindow, name);
        if (!button)
            continue;
        // A component that a selected one requires cannot be cleared; the driver cannot be
        // chosen when the medium's is not newer than the installed one.
        bool free = componentLock(i) == ComponentLock::None;
        gtk_widget_set_sensitive(button, free);
        std::snprintf(name, sizeof name, "component%d_label", i);
        if (GtkWidget* label = lookupWidget(mainWindow, name))
            gtk_widget_set_sensitive(label, free);
    }
}

void onSetuptypeToggled(GtkToggleButton* button, gpointer) {
    int value = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "setuptype_index"));
    if (value <= 0)
        return;
    if (gtk_toggle_button_get_active(button))
        SetuptypeSelected = value - 1;
}

void onComponentEnableToggled(GtkToggleButton* button, gpointer mainWindow) {
    int value = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "component_index"));
    if (value < 1)
        return;
    int bit = 1 << (value - 1);
    if (gtk_toggle_button_get_active(button))
        ComponentsSelected |= bit;
    else
        ComponentsSelected &= ~bit;
    adjustComponents(static_cast<GtkWidget*>(mainWindow));
}
