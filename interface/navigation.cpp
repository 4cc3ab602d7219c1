#include "interface/navigation.h"

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
    // An install that never started says why in place of the read-me pointer.
    int note = installNotStartedNoteId();
    setLabelText(lookupWidget(anyWidget, "see_read_me"), note ? getString(note) : "");
    setLabelText(lookupWidget(anyWidget, "register_controller"), "");
}

// Names the install log on the finish page when the install wrote one, after what the
// new driver needs (a restart, its start-up image).
void showLogPlace(GtkWidget* anyWidget) {
    GtkWidget* label = lookupWidget(anyWidget, "finish_log");
    if (!label)
        return;
    std::string text;
    for (ResourceID_C id : driverResultTexts(lastInstallOutcome()))
        text += std::string(getString(id)) + "\n";
    if (installLogWritten())
        text += fillText(getString(LogPlaceId), {installLogPath()});
    if (text.empty())
        return;
    setLabelText(label, text.c_str());
    gtk_widget_show(label);
}

// With no component selected the finish page says that nothing was installed.
void showNothingInstalled(GtkWidget* anyWidget) {
    setLabelText(lookupWidget(anyWidget, "finish_label"), getString(ResultNothingSelectedId));
    setLabelText(lookupWidget(anyWidget, "see_read_me"), "");
    setLabelText(lookupWidget(anyWidget, "register_controller"), "");
}

// The page widget of each entry of DialogPages.
GtkWidget* pageWidgets[MAX_DIALOG_PAGES];

// Every page starts at its top left corner, whatever an earlier visit scrolled to.
void showPageFromItsStart(GtkWidget* mainWindow) {
    auto* scrolled = GTK_SCROLLED_WINDOW(lookupWidget(mainWindow, "pages_scrolledwindow"));
    gtk_adjustment_set_value(gtk_scrolled_window_get_hadjustment(scrolled), 0);
    gtk_adjustment_set_value(gtk_scrolled_window_get_vadjustment(scrolled), 0);
}

void finishWizard(GtkWidget* mainWindow) {
    gtk_widget_hide(mainWindow);
    postInstallMessage();
    gtk_main_quit();
}

}  // namespace

void adjustCurrentPage(GtkWidget* mainWindow, int index) {
    GtkWidget* stack = lookupWidget(mainWindow, "pages_stack");
    const DialogPageEntry& page = DialogPages[index];
    g_object_set_data(G_OBJECT(mainWindow), "current_main_area", pageWidgets[index]);
    // Until the window's first frame is painted, pages off the screen are hidden
    // (window_size.cpp).
    gtk_widget_show(pageWidgets[index]);
    gtk_stack_set_visible_child(GTK_STACK(stack), pageWidgets[index]);
    showPageFromItsStart(mainWindow);

    setLabelText(lookupWidget(mainWindow, "dialog_title"), getString(page.config->titleId));

    GtkWidget* back = lookupWidget(mainWindow, "dialog_back_button");
    if (page.config->backEnabled)
        gtk_widget_show(back);
    else
        gtk_widget_hide(back);
    gtk_widget_set_sensitive(back, page.config->backEnabled);

    GtkWidget* next = lookupWidget(mainWindow, "dialog_next_button");
    gtk_widget_grab_focus(next);
    setButtonText(next, getString(page.config->nextLabelId));

    gtk_widget_set_sensitive(lookupWidget(mainWindow, "dialog_cancel_button"),
                             page.config->cancelEnabled);
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
        startInstall(GTK_WIDGET(button));

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
    GtkWidget* stack = lookupWidget(mainWindow, "pages_stack");
    for (int i = 0; i < NumberOfDialogPages; ++i) {
        pageWidgets[i] = createMainArea(*DialogPages[i].config, mainWindow);
        gtk_container_add(GTK_CONTAINER(stack), pageWidgets[i]);
    }
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
