#include "interface/refusal_dialog.h"

#include <gtk/gtk.h>

#include "interface/main_window.h"
#include "interface/widget_build.h"
#include "services/string_service.h"
#include "wizard/text_ids.h"

namespace {

std::string joinedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
    return text;
}

// The text of `id` in UTF-8, or `fallback` when the medium has no such text (without
// the database there are none).
GCharPtr textOr(const ResourceID_C& id, const char* fallback) {
    const char* text = getString(id);
    return GCharPtr(*text ? localeToUtf8(text, TitleTextLimit) : g_strdup(fallback));
}

}  // namespace

void showRefusalDialog(const std::vector<std::string>& lines) {
    GCharPtr text(localeToUtf8(joinedLines(lines).c_str()));
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_NONE, "%s", text.get());
    gtk_widget_set_name(dialog, "refusal_dialog");
    gtk_window_set_title(GTK_WINDOW(dialog), textOr(WindowTitleId, "").get());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    // Like every button of the wizard: an underscore marks the access key.
    GtkWidget* ok = gtk_button_new_with_mnemonic(textOr(OkLabelId, "_OK").get());
    gtk_widget_set_can_default(ok, TRUE);
    gtk_widget_show(ok);
    gtk_dialog_add_action_widget(GTK_DIALOG(dialog), ok, GTK_RESPONSE_OK);
    gtk_widget_grab_default(ok);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}
