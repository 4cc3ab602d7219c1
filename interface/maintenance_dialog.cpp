#include "interface/maintenance_dialog.h"

#include <gtk/gtk.h>

#include "interface/widget_build.h"
#include "wizard/text_ids.h"

bool askMaintenanceAction(Action* chosen) {
    GtkWidget* dialog = gtk_dialog_new();
    gtk_widget_set_name(dialog, "maintenance_dialog");
    setResourceTitle(dialog, MaintainTitleId);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    gtk_box_pack_start(GTK_BOX(dialogContentArea(dialog)), box, TRUE, TRUE, 0);
    GtkWidget* question = newResourceLabel(MaintainQuestionId);
    gtk_widget_set_halign(question, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(box), question, FALSE, FALSE, 0);
    const Action actions[] = {Action::Repair, Action::Modify, Action::Remove};
    const ResourceID_C labels[] = {MaintainRepairId, MaintainModifyId, MaintainRemoveId};
    GtkWidget* buttons[3];
    GSList* group = nullptr;
    for (int i = 0; i < 3; ++i) {
        buttons[i] = newResourceRadioButton(group, labels[i]);
        group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(buttons[i]));
        gtk_box_pack_start(GTK_BOX(box), buttons[i], FALSE, FALSE, 0);
    }
    GtkWidget* cancel = newResourceButton(CancelLabelId);
    GtkWidget* next = newResourceButton(NextLabelId);
    gtk_dialog_add_action_widget(GTK_DIALOG(dialog), cancel, GTK_RESPONSE_CANCEL);
    gtk_dialog_add_action_widget(GTK_DIALOG(dialog), next, GTK_RESPONSE_OK);
    gtk_widget_set_can_default(next, TRUE);
    gtk_widget_grab_default(next);
    gtk_widget_show_all(dialog);

    const bool ok = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK;
    for (int i = 0; i < 3; ++i)
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(buttons[i])))
            *chosen = actions[i];
    gtk_widget_destroy(dialog);
    return ok;
}
