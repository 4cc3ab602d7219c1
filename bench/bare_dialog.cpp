// The yardstick of the start-up benchmark: a bare GTK 3 program that shows a dialog
// holding one label and waits until it is ended. It starts as the wizard does (GTK's
// options parsed, the default theme, the accessibility bridge) and does nothing else.
#include <gtk/gtk.h>

int main(int argc, char* argv[]) {
    gtk_init(&argc, &argv);
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), "Bare dialog");
    GtkWidget* label = gtk_label_new("Welcome");
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), label, TRUE, TRUE,
                       0);
    g_signal_connect(dialog, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(dialog);
    gtk_main();
    return 0;
}
