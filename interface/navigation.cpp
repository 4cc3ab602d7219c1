#include "interface/navigation.h"

#include <cstdio>
#include <vector>

#include "interface/install_run.h"
#include "interface/main_window.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_log.h"
#include "wizard/install_plan.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/run_result.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"
#include "wizard/wizard.h"

namespace {

// One label of the review page's package list, packed into `box`.
void addPackageLabel(GtkWidget* box, const std::string& text, int indent) {
    GCharPtr utf8(localeToUtf8(text.c_str()));
    GtkWidget* label = gtk_label_new(utf8.get());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_widget_set_margin_start(label, indent);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    gtk_widget_show(label);
}

// The review page's package list: its heading and one line per package the selection
// installs; empty when none is.
void fillReviewPackages(GtkWidget* anyWidget) {
    GtkWidget* box = lookupWidget(anyWidget, "review_packages");
    if (!box)
        return;
    GList* old = gtk_container_get_children(GTK_CONTAINER(box));
    for (GList* item = old; item; item = item->next) gtk_widget_destroy(GTK_WIDGET(item->data));
    g_list_free(old);
    const Selection& selection = wizardOf(anyWidget).selection();
    // A remove lists the installed packages it removes, with their versions.
    const bool remove = installAction(wizardOf(anyWidget).run()) == Action::Remove;
    std::vector<std::string> lines;
    if (remove) {
        for (const TransactionStep& step :
             runTransaction(wizardOf(anyWidget).run(), selection).steps)
            lines.push_back(step.package + " " + step.installed);
    } else {
        lines = packagePlanLines(wizardOf(anyWidget).run(), selection);
    }
    if (lines.empty())
        return;
    addPackageLabel(box, getString(remove ? RemoveSummaryId : PackagesHeadingId), 0);
    for (const std::string& line : lines) addPackageLabel(box, line, 12);
}

// Replaces the review view's content with the summary of the current selection, and the
// package list with its packages.
void fillReviewText(GtkWidget* anyWidget) {
    fillReviewPackages(anyWidget);
    // The introduction and the summary's heading name the action that runs.
    const ActionWords& words = actionWords(installAction(wizardOf(anyWidget).run()));
    setLabelText(lookupWidget(anyWidget, "review_label"), getString(words.reviewIntro));
    setLabelText(lookupWidget(anyWidget, "review_current_settings"),
                 getString(words.reviewHeading));
    GtkWidget* view = lookupWidget(anyWidget, "review_text");
    if (!view)
        return;
    const Wizard& wizard = wizardOf(anyWidget);
    GCharPtr utf8(localeToUtf8(wizard.reviewText().c_str()));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    gtk_text_buffer_set_text(buffer, utf8.get(), -1);
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
}

void showFailedFinish(GtkWidget* anyWidget) {
    const RunResult& result = wizardOf(anyWidget).result();
    setLabelText(lookupWidget(anyWidget, "finish_label"), getString(result.finishText));
    // An install that never started says why in place of the read-me pointer; one the
    // checks refused names each failed check too. Then what is installed now.
    std::string why = result.reason ? getString(result.reason) : "";
    for (const std::string& line : wizardOf(anyWidget).run().refusalLines) why += "\n" + line;
    std::vector<std::string> installed = installedNowLines(readInstalledState());
    for (std::size_t i = 0; i < installed.size(); ++i)
        why += (i ? "\n" : why.empty() ? "" : "\n\n") + installed[i];
    setLabelText(lookupWidget(anyWidget, "see_read_me"), why.c_str());
    setLabelText(lookupWidget(anyWidget, "register_controller"), "");
}

// Names the install log on the finish page when the install wrote one, after what the
// new driver needs (a restart, its start-up image).
void showLogPlace(GtkWidget* anyWidget) {
    GtkWidget* label = lookupWidget(anyWidget, "finish_log");
    if (!label)
        return;
    const RunResult& result = wizardOf(anyWidget).result();
    std::string text;
    for (ResourceID_C id : result.driverTexts) text += std::string(getString(id)) + "\n";
    text += result.logLine();
    if (text.empty())
        return;
    setLabelText(label, text.c_str());
    gtk_widget_show(label);
}

// The finish page after a run that did not fail: its first line in the words of the
// action. With no component selected it says that nothing was installed; after a remove
// the read-me and the registration are nothing to the user any more.
void showDoneFinish(GtkWidget* anyWidget) {
    const RunResult& result = wizardOf(anyWidget).result();
    setLabelText(lookupWidget(anyWidget, "finish_label"), getString(result.finishText));
    if (!result.nothingSelected && result.action != Action::Remove)
        return;
    setLabelText(lookupWidget(anyWidget, "see_read_me"), "");
    setLabelText(lookupWidget(anyWidget, "register_controller"), "");
}

// The widget of each page of the wizard, in its order, as the main window keeps them.
using PageWidgets = std::vector<GtkWidget*>;

// Empty before buildPages.
PageWidgets pageWidgets(GtkWidget* mainWindow) {
    auto* pages =
        static_cast<PageWidgets*>(g_object_get_data(G_OBJECT(mainWindow), "page_widgets"));
    return pages ? *pages : PageWidgets();
}

// Every page starts at its top left corner, whatever an earlier visit scrolled to.
void showPageFromItsStart(GtkWidget* mainWindow) {
    auto* scrolled = GTK_SCROLLED_WINDOW(lookupWidget(mainWindow, "pages_scrolledwindow"));
    gtk_adjustment_set_value(gtk_scrolled_window_get_hadjustment(scrolled), 0);
    gtk_adjustment_set_value(gtk_scrolled_window_get_vadjustment(scrolled), 0);
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
    const DialogPageConfig& page = wizard.page(index);
    GtkWidget* pageWidget = pageWidgets(mainWindow)[index];
    g_object_set_data(G_OBJECT(mainWindow), "current_main_area", pageWidget);
    // The review is of the choices as they are now, also where a maintenance run starts.
    if (wizard.onPage(ReviewTitleId))
        fillReviewText(mainWindow);
    // Until the window's first frame is painted, pages off the screen are hidden
    // (window_size.cpp).
    gtk_widget_show(pageWidget);
    gtk_stack_set_visible_child(GTK_STACK(stack), pageWidget);
    showPageFromItsStart(mainWindow);

    setLabelText(lookupWidget(mainWindow, "dialog_title"), getString(page.titleId));

    GtkWidget* back = lookupWidget(mainWindow, "dialog_back_button");
    if (page.backEnabled)
        gtk_widget_show(back);
    else
        gtk_widget_hide(back);
    gtk_widget_set_sensitive(back, page.backEnabled);

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
    settleDriverPages(mainWindow);  // a click before the first page's idle came
    if (!wizard.next()) {
        finishWizard(mainWindow);
        return;
    }
    // Leaving the setup type page may have changed the components.
    showComponents(mainWindow);
    if (wizard.onPage(RunTitleId)) {
        // The run page is shown before the install starts, so that the checks before the
        // first package show their progress there.
        showCurrentPage(mainWindow);
        startInstall(GTK_WIDGET(button));
        return;
    }

    showCurrentPage(mainWindow);
    if (wizard.onPage(FinishTitleId)) {
        if (!wizard.installed())
            showFailedFinish(mainWindow);
        else
            showDoneFinish(mainWindow);
        showLogPlace(mainWindow);
    }
}

void buildPages(GtkWidget* mainWindow) {
    const Wizard& wizard = wizardOf(mainWindow);
    GtkWidget* stack = lookupWidget(mainWindow, "pages_stack");
    auto* pages = new PageWidgets;
    for (int i = 0; i < wizard.pageCount(); ++i) {
        pages->push_back(createMainArea(wizard.page(i), mainWindow));
        gtk_container_add(GTK_CONTAINER(stack), pages->back());
    }
    g_object_set_data_full(G_OBJECT(mainWindow), "page_widgets", pages,
                           [](gpointer widgets) { delete static_cast<PageWidgets*>(widgets); });
}

void settleDriverPages(GtkWidget* mainWindow) {
    const int gone = wizardOf(mainWindow).settleKernelRebuild();
    auto* pages =
        static_cast<PageWidgets*>(g_object_get_data(G_OBJECT(mainWindow), "page_widgets"));
    if (gone < 0 || !pages || gone >= static_cast<int>(pages->size()))
        return;
    gtk_widget_destroy((*pages)[gone]);
    pages->erase(pages->begin() + gone);
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
