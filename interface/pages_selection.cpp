// The setup type and component pages: a button and a description per table
// row, laid out in a two-column grid whose rows follow each entry's rowSpan.
#include <cstdio>

#include "interface/main_window.h"
#include "interface/navigation.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

enum { NameBufferSize = 32 };

// The room between a choice button and its description, in pixels.
const guint ChoiceGap = 12;

// The grid that holds the choices: the buttons' column as wide as its widest
// button, ChoiceGap apart from the descriptions, which take the rest of the width.
// A row is never stretched in height.
GtkWidget* addChoiceGrid(GtkWidget* window, GtkWidget* box, const char* name, int rowSpacing) {
    GtkWidget* grid = addNamedWidget(window, name, gtk_grid_new());
    gtk_box_pack_start(GTK_BOX(box), grid, TRUE, TRUE, 0);
    gtk_grid_set_row_spacing(GTK_GRID(grid), static_cast<guint>(rowSpacing));
    gtk_grid_set_column_spacing(GTK_GRID(grid), ChoiceGap);
    return grid;
}

// A choice button in the first column, on the first row of its entry.
void attachChoiceButton(GtkWidget* grid, GtkWidget* button, int row) {
    gtk_grid_attach(GTK_GRID(grid), button, 0, row, 1, 1);
}

// The description beside it, over all rows of its entry: centred in a single
// row, placed higher (at `spanYalign`) in a taller space.
void attachDescription(GtkWidget* grid, GtkWidget* label, int row, int rowSpan, int width,
                       float spanYalign) {
    gtk_widget_set_hexpand(label, TRUE);
    gtk_grid_attach(GTK_GRID(grid), label, 1, row, 1, rowSpan);
    setPageLabelLayout(label, width, 0.0f, rowSpan == 1 ? 0.5f : spanYalign);
}

}  // namespace

GtkWidget* createSetuptypeMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("setuptype_main_area", GTK_ORIENTATION_HORIZONTAL, 5);
    addPagePicture(window, area, "setuptype_pixmap");

    GtkWidget* vbox4 = addNamedWidget(window, "vbox4", gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_box_pack_start(GTK_BOX(area), vbox4, TRUE, TRUE, 0);

    GtkWidget* intro =
        addNamedWidget(window, "setuptype_label", newResourceLabel(SetupTypeIntroId));
    gtk_box_pack_start(GTK_BOX(vbox4), intro, FALSE, FALSE, 0);
    setPageLabelLayout(intro, 367, 0.0f, 0.5f);

    // Where the chosen type came from, when not from the medium's defaults: the installed
    // version's record, the command line or the answers file.
    const Wizard& wizard = wizardOf(window);
    if (!wizard.preselectionNote().empty()) {
        GtkWidget* note = addNamedWidget(window, "setuptype_preselection", gtk_label_new(nullptr));
        setLabelText(note, wizard.preselectionNote().c_str());
        gtk_box_pack_start(GTK_BOX(vbox4), note, FALSE, FALSE, 6);
        setPageLabelLayout(note, 367, 0.0f, 0.5f);
    }

    GtkWidget* grid = addChoiceGrid(window, vbox4, "table2", 25);

    char name[NameBufferSize];
    GSList* group = nullptr;
    int row = 0;
    for (int t = 0; t < NumberOfSetupTypes; ++t) {
        const SetupTypeEntry& type = wizard.setupType(t);
        GtkWidget* radio = newResourceRadioButton(group, type.titleId);
        group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(radio));
        std::snprintf(name, sizeof name, "setuptype%d_enable", t);
        addNamedWidget(window, name, radio);
        attachChoiceButton(grid, radio, row);
        g_object_set_data(G_OBJECT(radio), "setuptype_index", GINT_TO_POINTER(t + 1));
        // Set before the handler is connected, so a button's own initial state
        // never reaches it.
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(radio), t == wizard.selection().setupType);
        g_signal_connect_after(radio, "toggled", G_CALLBACK(onSetuptypeToggled), window);

        std::snprintf(name, sizeof name, "setuptype%d_label", t);
        GtkWidget* label = addNamedWidget(window, name, newResourceLabel(type.descriptionId));
        attachDescription(grid, label, row, type.rowSpan, 252, 0.15f);
        row += type.rowSpan;
    }
    return area;
}

GtkWidget* createComponentsMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("components_main_area", GTK_ORIENTATION_HORIZONTAL, 5);
    addPagePicture(window, area, "components_pixmap");

    GtkWidget* vbox5 = addNamedWidget(window, "vbox5", gtk_box_new(GTK_ORIENTATION_VERTICAL, 12));
    gtk_box_pack_start(GTK_BOX(area), vbox5, TRUE, TRUE, 0);

    GtkWidget* intro =
        addNamedWidget(window, "components_label", newResourceLabel(ComponentsIntroId));
    gtk_box_pack_start(GTK_BOX(vbox5), intro, FALSE, FALSE, 0);
    setPageLabelLayout(intro, 367, 0.0f, 0.5f);

    GtkWidget* grid = addChoiceGrid(window, vbox5, "table3", 4);

    const Wizard& wizard = wizardOf(window);
    char name[NameBufferSize];
    int row = 0;
    for (int i = 0; i < NumberOfComponents; ++i) {
        const ComponentEntry& component = wizard.component(i);
        if (!component.available)
            continue;

        GtkWidget* check = newResourceCheckButton(component.nameId);
        std::snprintf(name, sizeof name, "component%d_enable", i);
        addNamedWidget(window, name, check);
        g_object_set_data(G_OBJECT(check), "component_index", GINT_TO_POINTER(i + 1));
        attachChoiceButton(grid, check, row);
        g_signal_connect_after(check, "toggled", G_CALLBACK(onComponentEnableToggled), window);

        GtkWidget* label = newResourceLabel(component.descriptionId);
        std::snprintf(name, sizeof name, "component%d_label", i);
        addNamedWidget(window, name, label);
        attachDescription(grid, label, row, component.rowSpan, 210, 0.4f);
        row += component.rowSpan;
    }
    return area;
}
