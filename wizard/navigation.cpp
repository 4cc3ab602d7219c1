#include "wizard/navigation.h"

#include <cstring>

#include "interface/main_window.h"
#include "services/packages.h"
#include "services/string_service.h"
#include "wizard/install_run.h"
#include "wizard/install_script.h"
#include "wizard/tables.h"

namespace {

// The page widget's name, which identifies the page; "" for none.
const char* pageName(GtkWidget* page) {
    return page ? gtk_widget_get_name(page) : "";
}

const char* pageNameAt(int index) {
    if (index < 0 || index >= NumberOfDialogPages) return "";
    return pageName(DialogPages[index].widget);
}

bool isPage(const char* name, const char* wanted) {
    return std::strcmp(name, wanted) == 0;
}

// Replaces the review view's content with the summary of the current selection.
void fillReviewText(GtkWidget* anyWidget) {
    GtkWidget* view = lookupWidget(anyWidget, "review_text");
    if (!view) return;
    std::string text = composeReviewText();
    gchar* utf8 = localeToUtf8(text.c_str());
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    gtk_text_buffer_set_text(buffer, utf8, -1);
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
    g_free(utf8);
}

void showFailedFinish(GtkWidget* anyWidget) {
    setLabelText(lookupWidget(anyWidget, "finish_label"), getString(14));
    // An install that never started says why in place of the read-me pointer.
    int note = installNotStartedNoteId();
    setLabelText(lookupWidget(anyWidget, "see_read_me"), note ? getString(note) : "");
    setLabelText(lookupWidget(anyWidget, "register_controller"), "");
}

void finishWizard(GtkWidget* mainWindow) {
    gtk_widget_hide(mainWindow);
    postInstallMessage();
    gtk_main_quit();
}

}  // namespace

std::string composeReviewText() {
    // The string service hands out one shared buffer, so each text is copied at once.
    std::string text = getString(25);
    text += '\t';
    text += getString(SetupTypes[SetuptypeSelected].titleId);
    text += "\n\n";
    text += getString(26);
    if (ComponentsSelected == 0) {
        text += '\t';
        text += getString(27);
        text += '\n';
        return text;
    }
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (!(ComponentsSelected & (1 << i))) continue;
        text += '\t';
        text += getString(Components[i].nameId);
        text += '\n';
    }
    if (kernelRebuildNeeded()) {
        text += "\n\n";
        text += getString(58);
        text += '\n';
    }
    return text;
}

void adjustCurrentPage(GtkWidget* mainWindow, int index) {
    GtkWidget* vbox = lookupWidget(mainWindow, "vbox1");
    auto* current = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(mainWindow), "current_main_area"));
    if (current) {
        g_object_set_data(G_OBJECT(mainWindow), "current_main_area", nullptr);
        // The page keeps the extra reference its constructor took, so it survives removal.
        gtk_container_remove(GTK_CONTAINER(vbox), current);
    }
    const DialogPageEntry& page = DialogPages[index];
    g_object_set_data(G_OBJECT(mainWindow), "current_main_area", page.widget);
    gtk_box_pack_start(GTK_BOX(vbox), page.widget, TRUE, TRUE, 0);

    setLabelText(lookupWidget(mainWindow, "dialog_title"), getString(page.config->titleId));

    GtkWidget* back = lookupWidget(mainWindow, "dialog_back_button");
    if (page.config->backEnabled)
        gtk_widget_show(back);
    else
        gtk_widget_hide(back);
    gtk_widget_set_sensitive(back, page.config->backEnabled);

    GtkWidget* next = lookupWidget(mainWindow, "dialog_next_button");
    gtk_widget_grab_focus(next);
    setLabelText(gtk_bin_get_child(GTK_BIN(next)), getString(page.config->nextLabelId));

    gtk_widget_set_sensitive(lookupWidget(mainWindow, "dialog_cancel_button"),
                             page.config->cancelEnabled);
}

void onDialogBackButtonClicked(GtkButton* button, gpointer) {
    int target = CurrentPage - 1;
    if (isPage(pageNameAt(target), "components_main_area") && SetuptypeSelected != 2)
        target = CurrentPage - 2;
    if (target < 0) return;
    adjustCurrentPage(gtk_widget_get_toplevel(GTK_WIDGET(button)), target);
    CurrentPage = target;
}

void onDialogNextButtonClicked(GtkButton* button, gpointer) {
    GtkWidget* mainWindow = gtk_widget_get_toplevel(GTK_WIDGET(button));
    int next = CurrentPage + 1;
    if (next >= NumberOfDialogPages) {
        finishWizard(mainWindow);
        return;
    }
    const char* currentName =
        pageName(static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(mainWindow), "current_main_area")));
    const char* nextName = pageNameAt(next);
    if (isPage(nextName, "components_main_area") && SetuptypeSelected != 2) {
        next = CurrentPage + 2;
        nextName = pageNameAt(next);
    }
    if (isPage(currentName, "setuptype_main_area")) adjustComponentsFromSetuptype();

    if (isPage(nextName, "review_main_area"))
        fillReviewText(mainWindow);
    else if (isPage(nextName, "run_main_area"))
        startInstall(GTK_WIDGET(button));

    adjustCurrentPage(mainWindow, next);
    if (isPage(nextName, "finish_main_area") && !InstalledOK) showFailedFinish(mainWindow);
    CurrentPage = next;
}

void adjustComponentsFromSetuptype() {
    const SetupTypeEntry& type = SetupTypes[SetuptypeSelected];
    ComponentsSelected = (ComponentsSelected & type.keepMask) | type.presetMask;
    adjustComponents();
}

void adjustComponents() {
    int selection = ComponentsSelected;
    for (int i = 0; i < NumberOfComponents; ++i) {
        Components[i].dependentCount = 0;
        if (selection & (1 << i)) selection |= Components[i].requiresMask;
    }
    ComponentsSelected = selection;

    for (int i = 0; i < NumberOfComponents; ++i) {
        ComponentEntry& component = Components[i];
        if (component.enableButton)
            // May emit "toggled", which runs this function again on a consistent selection.
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(component.enableButton),
                                         (ComponentsSelected & (1 << i)) != 0);
        if ((ComponentsSelected & (1 << i)) && component.requiresMask != 0) {
            for (int j = 0; j < NumberOfComponents; ++j)
                if (component.requiresMask & (1 << j)) ++Components[j].dependentCount;
        }
    }

    for (int i = 0; i < NumberOfComponents; ++i) {
        ComponentEntry& component = Components[i];
        if (!component.enableButton) continue;
        gtk_widget_set_sensitive(component.enableButton, component.dependentCount == 0);
        if (component.label) gtk_widget_set_sensitive(component.label, component.dependentCount == 0);
    }

    ComponentEntry& driver = Components[4];
    if (driver.enableButton && driverUpdateCheck() <= 3) {
        gtk_widget_set_sensitive(driver.enableButton, FALSE);
        if (driver.label) gtk_widget_set_sensitive(driver.label, FALSE);
    }
}

void onSetuptypeToggled(GtkToggleButton* button, gpointer) {
    int value = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "setuptype_index"));
    if (value <= 0) return;
    if (gtk_toggle_button_get_active(button)) SetuptypeSelected = value - 1;
}

void onComponentEnableToggled(GtkToggleButton* button, gpointer) {
    int value = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "component_index"));
    if (value < 1) return;
    int bit = 1 << (value - 1);
    if (gtk_toggle_button_get_active(button))
        ComponentsSelected |= bit;
    else
        ComponentsSelected &= ~bit;
    adjustComponents();
}
