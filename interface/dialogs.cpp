// The exit question and the proxy notice. Both are built afresh for each use
// and register their widgets on the dialog itself, never on the main window.
#include "interface/dialogs.h"

#include <cstring>
#include <string>

#include "interface/exit_paths.h"
#include "interface/main_window.h"
#include "interface/widget_build.h"
#include "services/glib_memory.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/text_ids.h"

namespace {

// The wizard's main window while it is on the screen; null once it is hidden
// (the proxy notice comes after Finish hid it) or before it exists.
GtkWindow* shownMainWindow() {
    GtkWindow* found = nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next) {
        GtkWidget* widget = GTK_WIDGET(item->data);
        if (gtk_widget_get_visible(widget) &&
            std::strcmp(gtk_widget_get_name(widget), "dialog_window") == 0) {
            found = GTK_WINDOW(widget);
            break;
        }
    }
    g_list_free(toplevels);
    return found;
}

// The names of one dialog's widgets; the two dialogs differ only in these,
// their texts and their buttons.
struct DialogNames {
    const char* dialog;
    const char* mainVbox;
    const char* hbox;
    const char* label;
    const char* actionArea;
    const char* buttonBox;
};

// Builds the dialog up to its empty button box: titled window, message label
// in a bordered box, action area. Returns the dialog; the button box through
// `buttonBox`.
GtkWidget* buildMessageDialog(const DialogNames& names, const ResourceID_C& titleId,
                              const ResourceID_C& messageId, GtkWidget** buttonBox) {
    GtkWidget* dialog = gtk_dialog_new();
    gtk_widget_set_name(dialog, names.dialog);
    registerPlain(dialog, names.dialog, dialog);
    setResourceTitle(dialog, titleId);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_type_hint(GTK_WINDOW(dialog), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(dialog), TRUE);
    if (GtkWindow* mainWindow = shownMainWindow()) {
        gtk_window_set_transient_for(GTK_WINDOW(dialog), mainWindow);
    }

    GtkWidget* mainVbox = dialogContentArea(dialog);
    gtk_widget_set_name(mainVbox, names.mainVbox);
    registerPlain(dialog, names.mainVbox, mainVbox);
    gtk_widget_show(mainVbox);

    GtkWidget* hbox =
        addNamedWidget(dialog, names.hbox, gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0));
    gtk_box_pack_start(GTK_BOX(mainVbox), hbox, FALSE, FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(hbox), 7);

    GtkWidget* label = addNamedWidget(dialog, names.label, newResourceLabel(messageId));
    gtk_box_pack_start(GTK_BOX(hbox), label, TRUE, FALSE, 0);

    GtkWidget* actionArea = dialogActionArea(dialog);
    gtk_widget_set_name(actionArea, names.actionArea);
    registerPlain(dialog, names.actionArea, actionArea);
    gtk_widget_show(actionArea);
    gtk_container_set_border_width(GTK_CONTAINER(actionArea), 10);

    *buttonBox =
        addNamedWidget(dialog, names.buttonBox, gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL));
    gtk_box_pack_start(GTK_BOX(actionArea), *buttonBox, FALSE, FALSE, 0);
    return dialog;
}

// The dialog opens with its last button focused and default, so that Enter
// takes the safe answer.
void makeFocusedDefault(GtkWidget* button) {
    gtk_widget_grab_focus(button);
    gtk_widget_grab_default(button);
}

void answerYes(GtkWidget*, gpointer dialog) {
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
}

void answerNo(GtkWidget*, gpointer dialog) {
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
}

// gpg's way of showing a fingerprint: groups of four digits, two blanks at its middle.
std::string fingerprintGroups(const std::string& fingerprint) {
    std::string shown;
    for (std::size_t i = 0; i < fingerprint.size(); i += 4) {
        if (i)
            shown += i * 2 == fingerprint.size() ? "  " : " ";
        shown += fingerprint.substr(i, 4);
    }
    return shown;
}

}  // namespace

bool askTrustMediumKey(const KeyQuestion& question) {
    static const DialogNames names = {"key_dialog", "key_main_vbox",          "key_hbox1",
                                      "key_label",  "key_dialog_action_area", "key_hbuttonbox1"};
    GtkWidget* buttonBox = nullptr;
    GtkWidget* dialog = buildMessageDialog(names, KeyDialogTitleId, KeyTrustQuestionId, &buttonBox);
    // The texts wrap at a width of their own: a wrapped label's height is taken for its
    // narrowest width, which would make the dialog tall and thin.
    auto wrapAt = [](GtkWidget* label, int chars) {
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
        gtk_label_set_width_chars(GTK_LABEL(label), chars);
        gtk_label_set_max_width_chars(GTK_LABEL(label), chars);
        gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    };
    GtkWidget* questionLabel = lookupWidget(dialog, "key_label");
    wrapAt(questionLabel, 64);
    gtk_box_set_child_packing(GTK_BOX(lookupWidget(dialog, "key_hbox1")), questionLabel, TRUE, TRUE,
                              0, GTK_PACK_START);

    // The key's fields, each value selectable; the fingerprint in a fixed-width font, in
    // groups of four digits as gpg shows it, so that it can be compared digit by digit.
    GtkWidget* fields = addNamedWidget(dialog, "key_fields", gtk_grid_new());
    gtk_grid_set_row_spacing(GTK_GRID(fields), 4);
    gtk_grid_set_column_spacing(GTK_GRID(fields), 12);
    gtk_container_set_border_width(GTK_CONTAINER(fields), 7);
    gtk_box_pack_start(GTK_BOX(lookupWidget(dialog, "key_main_vbox")), fields, FALSE, FALSE, 0);
    const struct {
        ResourceID_C nameId;
        const char* widget;
        std::string value;
    } rows[] = {
        {KeyIdFieldId, "key_id", question.keyId},
        {KeyUserIdFieldId, "key_user_id", question.key.userId},
        {KeyFingerprintFieldId, "key_fingerprint", fingerprintGroups(question.key.fingerprint)},
        {KeyFileFieldId, "key_file", question.key.file}};
    int row = 0;
    for (const auto& field : rows) {
        GtkWidget* name = newResourceLabel(field.nameId);
        gtk_label_set_xalign(GTK_LABEL(name), 0.0f);
        gtk_grid_attach(GTK_GRID(fields), name, 0, row, 1, 1);
        GCharPtr utf8(externalToUtf8(field.value.c_str(), -1));
        GtkWidget* value = addNamedWidget(dialog, field.widget, gtk_label_new(utf8.get()));
        wrapAt(value, 52);
        gtk_label_set_selectable(GTK_LABEL(value), TRUE);
        gtk_widget_set_can_focus(value, FALSE);
        gtk_grid_attach(GTK_GRID(fields), value, 1, row++, 1, 1);
    }
    PangoAttrList* fixed = pango_attr_list_new();
    pango_attr_list_insert(fixed, pango_attr_family_new("monospace"));
    gtk_label_set_attributes(GTK_LABEL(lookupWidget(dialog, "key_fingerprint")), fixed);
    pango_attr_list_unref(fixed);

    std::string stays = fillText(getString(KeyStaysInKeyringId), {keyRemoveCommand(question.key)});
    GtkWidget* note = addNamedWidget(dialog, "key_keyring_note", gtk_label_new(""));
    setLabelText(note, stays.c_str());
    wrapAt(note, 64);
    gtk_label_set_selectable(GTK_LABEL(note), TRUE);
    gtk_widget_set_can_focus(note, FALSE);
    gtk_widget_set_margin_start(note, 7);
    gtk_widget_set_margin_end(note, 7);
    gtk_box_pack_start(GTK_BOX(lookupWidget(dialog, "key_main_vbox")), note, FALSE, FALSE, 0);
    gtk_widget_show_all(fields);
    gtk_widget_show(note);

    GtkWidget* yes = addBoxButton(dialog, buttonBox, "key_yes_button", YesLabelId);
    GtkWidget* no = addBoxButton(dialog, buttonBox, "key_no_button", NoLabelId);
    g_signal_connect(yes, "clicked", G_CALLBACK(answerYes), dialog);
    g_signal_connect(no, "clicked", G_CALLBACK(answerNo), dialog);
    // No is the default: a key is taken only on purpose.
    makeFocusedDefault(no);
    gtk_widget_show(dialog);
    bool trusted = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_YES;
    gtk_widget_destroy(dialog);
    return trusted;
}

GtkWidget* createExitDialog() {
    static const DialogNames names = {"exit_dialog", "exit_main_vbox",          "exit_hbox1",
                                      "exit_label",  "exit_dialog_action_area", "exit_hbuttonbox1"};
    GtkWidget* buttonBox = nullptr;
    GtkWidget* dialog = buildMessageDialog(names, ExitDialogTitleId, ExitQuestionId, &buttonBox);
    GtkWidget* yes = addBoxButton(dialog, buttonBox, "exit_yes_button", YesLabelId);
    GtkWidget* no = addBoxButton(dialog, buttonBox, "exit_no_button", NoLabelId);

    g_signal_connect(dialog, "delete_event", G_CALLBACK(onExitDialogDelete), nullptr);
    g_signal_connect_after(yes, "clicked", G_CALLBACK(onExitYesClicked), nullptr);
    g_signal_connect_after(no, "clicked", G_CALLBACK(onExitNoClicked), nullptr);

    makeFocusedDefault(no);
    return dialog;
}

GtkWidget* createProxyIssueDialog() {
    static const DialogNames names = {
        "proxy_dialog", "proxy_main_vbox",          "proxy_hbox1",
        "proxy_label",  "proxy_dialog_action_area", "proxy_hbuttonbox1"};
    GtkWidget* buttonBox = nullptr;
    GtkWidget* dialog = buildMessageDialog(names, ProxyDialogTitleId, ProxyNoticeId, &buttonBox);
    GtkWidget* ok = addBoxButton(dialog, buttonBox, "proxy_ok_button", OkLabelId);

    g_signal_connect(dialog, "delete_event", G_CALLBACK(onExitDialogDelete), nullptr);
    g_signal_connect_after(ok, "clicked", G_CALLBACK(onProxyOkClicked), nullptr);

    makeFocusedDefault(ok);
    return dialog;
}
