// The building blocks of the window, page and dialog constructors.
#include "interface/widget_build.h"

#include "interface/main_window.h"
#include "services/string_service.h"

namespace {

// The pixels of an average character in the font the page widths were laid out for.
// A page label asks for lines as long as its width holds of such characters, so
// that pages grow with a larger font (or a higher resolution) instead of wrapping
// into more and more lines.
const int DesignCharWidth = 7;

}  // namespace

GtkWidget* addNamedWidget(GtkWidget* window, const char* name, GtkWidget* widget) {
    gtk_widget_set_name(widget, name);
    registerOwned(window, name, widget);
    gtk_widget_show(widget);
    return widget;
}

GtkWidget* newPageMainArea(const char* name, GtkOrientation orientation, int spacing) {
    GtkWidget* area = gtk_box_new(orientation, spacing);
    gtk_widget_set_name(area, name);
    g_object_ref(area);
    gtk_widget_show(area);
    return area;
}

GtkWidget* newResourceLabel(const ResourceID_C& id) {
    GCharPtr text(localeToUtf8(getString(id)));
    return gtk_label_new(text.get());
}

GtkWidget* newResourceButton(const ResourceID_C& id) {
    GCharPtr text(localeToUtf8(getString(id), TitleTextLimit));
    return gtk_button_new_with_mnemonic(text.get());
}

GtkWidget* newResourceRadioButton(GSList* group, const ResourceID_C& id) {
    GCharPtr text(localeToUtf8(getString(id), TitleTextLimit));
    return gtk_radio_button_new_with_mnemonic(group, text.get());
}

GtkWidget* newResourceCheckButton(const ResourceID_C& id) {
    GCharPtr text(localeToUtf8(getString(id), TitleTextLimit));
    return gtk_check_button_new_with_mnemonic(text.get());
}

void setButtonText(GtkWidget* button, const char* localeText) {
    GCharPtr text(localeToUtf8(localeText, TitleTextLimit));
    gtk_button_set_label(GTK_BUTTON(button), text.get());
}

void setResourceTitle(GtkWidget* window, const ResourceID_C& id) {
    GCharPtr title(localeToUtf8(getString(id), TitleTextLimit));
    gtk_window_set_title(GTK_WINDOW(window), title.get());
}

void setPageLabelLayout(GtkWidget* label, int width, float xalign, float yalign) {
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_size_request(label, width, -1);
    gtk_label_set_max_width_chars(GTK_LABEL(label), width / DesignCharWidth);
    gtk_label_set_xalign(GTK_LABEL(label), xalign);
    gtk_label_set_yalign(GTK_LABEL(label), yalign);
}

GtkWidget* addPagePicture(GtkWidget* window, GtkWidget* box, const char* name) {
    GtkWidget* picture = addNamedWidget(window, name, createPixmap(window, "wizard.xpm"));
    gtk_box_pack_start(GTK_BOX(box), picture, FALSE, TRUE, 0);
    gtk_widget_set_halign(picture, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(picture, GTK_ALIGN_START);
    return picture;
}

GtkWidget* newReadOnlyTextView(GtkWrapMode wrap) {
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), wrap);
    // Without a cursor nothing in the view shows that it has the keyboard focus: the
    // style draws a frame in these borders instead (readRcFile).
    for (GtkTextWindowType side :
         {GTK_TEXT_WINDOW_LEFT, GTK_TEXT_WINDOW_RIGHT, GTK_TEXT_WINDOW_TOP, GTK_TEXT_WINDOW_BOTTOM})
        gtk_text_view_set_border_window_size(GTK_TEXT_VIEW(view), side, FocusFrameWidth);
    return view;
}

GtkWidget* addBoxButton(GtkWidget* window, GtkWidget* box, const char* name,
                        const ResourceID_C& textId) {
    GtkWidget* button = addNamedWidget(window, name, newResourceButton(textId));
    gtk_container_add(GTK_CONTAINER(box), button);
    gtk_widget_set_can_default(button, TRUE);
    return button;
}

GtkWidget* addScrolledTextView(GtkWidget* window, GtkWidget* box, const char* scrolledName,
                               const char* viewName, GtkWrapMode wrap, GtkPolicyType vertical) {
    GtkWidget* scrolled =
        addNamedWidget(window, scrolledName, gtk_scrolled_window_new(nullptr, nullptr));
    gtk_box_pack_start(GTK_BOX(box), scrolled, TRUE, TRUE, 0);
    // No horizontal bar, and (unlike GTK_POLICY_NEVER) no minimum width taken from the
    // view, whose wrapped text would otherwise keep the width of its widest layout.
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_EXTERNAL, vertical);
    // A bar that is always there is a plain bar at the edge, not an overlay shown on hover.
    if (vertical == GTK_POLICY_ALWAYS)
        gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scrolled), FALSE);
    GtkWidget* view = addNamedWidget(window, viewName, newReadOnlyTextView(wrap));
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    return view;
}

GtkWidget* dialogContentArea(GtkWidget* dialog) {
    return gtk_dialog_get_content_area(GTK_DIALOG(dialog));
}

GtkWidget* dialogActionArea(GtkWidget* dialog) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    return gtk_dialog_get_action_area(GTK_DIALOG(dialog));
    G_GNUC_END_IGNORE_DEPRECATIONS
}
