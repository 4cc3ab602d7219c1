#include "interface/main_window.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "interface/exit_paths.h"
#include "interface/navigation.h"
#include "interface/side_picture.h"
#include "interface/widget_build.h"
#include "services/file_search.h"
#include "services/files.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

// Makes the page title bold when the medium brings no style file of its own.
const char BuiltInStyle[] = "#dialog_title { font-weight: bold; }\n";

// The screen holds the provider readRcFile installed last; a second call replaces it
// instead of stacking a second style on the screen.
const char* const InstalledStyleKey = "stage3_style";

// Shows which read-only text view has the keyboard focus: a frame in the borders
// that newReadOnlyTextView gives them, in the colour of the base otherwise. It is a
// style of its own, beside the built-in style or the medium's, which replaces only
// the built-in one; and below them, so a medium's style may still draw it its way.
const char FocusStyle[] =
    "textview border { background-color: @theme_base_color; }\n"
    "textview:focus border { background-color: @theme_selected_bg_color; }\n";
const char* const FocusStyleKey = "stage3_focus_style";

// Longest style file and side picture file taken from the medium, in bytes.
const std::size_t StyleFileLimit = 256 * 1024;
const std::size_t PictureFileLimit = 4 * 1024 * 1024;

// Whether a style text is all there is to it: GTK would read the file that an
// @import or a url() names, whatever it is (/dev/zero), and a CSS escape could
// spell either of them.
bool styleIsSelfContained(const std::string& text) {
    if (text.find('\\') != std::string::npos)
        return false;
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return g_ascii_tolower(c); });
    return lower.find("@import") == std::string::npos && lower.find("url(") == std::string::npos;
}

// Loads the medium's "stage3.css". Null when it is absent, unreadable, longer
// than StyleFileLimit or not self-contained, so that the built-in style stands
// in. A file that is used replaces the built-in style entirely, even when
// some of its rules do not parse.
GtkCssProvider* loadMediumStyle() {
    GCharPtr path(findFile("stage3.css"));
    if (!path)
        return nullptr;
    std::string text;
    bool longer = false;
    if (!readRegularFile(path.get(), StyleFileLimit, &text, &longer) || longer ||
        !styleIsSelfContained(text)) {
        return nullptr;
    }
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, text.data(), static_cast<gssize>(text.size()),
                                    nullptr);
    return provider;
}

// The medium's side picture; null when the file is absent, unreadable, longer
// than PictureFileLimit or not an XPM picture the wizard's own decoder takes.
// gdk-pixbuf's loaders never see the file: they take any image format and
// allocate a picture of whatever size it claims before anything could refuse it.
GdkPixbuf* loadMediumPicture(const char* filename) {
    GCharPtr path(findFile(filename));
    if (!path)
        return nullptr;
    std::string text;
    bool longer = false;
    if (!readRegularFile(path.get(), PictureFileLimit, &text, &longer) || longer)
        return nullptr;
    return pixbufFromXpmText(text);
}

GtkCssProvider* loadBuiltInStyle() {
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, BuiltInStyle, -1, nullptr);
    return provider;
}

// The limit of a label's text: a title's for the page title and a button's
// own label, a text's for any other.
glong labelTextLimit(GtkWidget* label) {
    GtkWidget* parent = gtk_widget_get_parent(label);
    bool title = std::strcmp(gtk_widget_get_name(label), "dialog_title") == 0 ||
                 (parent && GTK_IS_BUTTON(parent));
    return title ? TitleTextLimit : LabelTextLimit;
}

// Length of the text before its first NUL, looking at no more than `length`
// bytes (all of a NUL-terminated text when `length` is negative).
gsize lengthUpToNul(const char* text, gssize length) {
    if (length < 0)
        return std::strlen(text);
    const void* nul = std::memchr(text, '\0', static_cast<size_t>(length));
    return nul ? static_cast<gsize>(static_cast<const char*>(nul) - text)
               : static_cast<gsize>(length);
}

// The pages, one shown at a time, in a stack below the title. The stack sits in a
// scrolled window that asks for the stack's natural size, so that the window can
// take the size of the largest page from the start (window_size.cpp sets it), yet a
// page that does not fit on the screen scrolls while the buttons stay in view.
void addPageStack(GtkWidget* window, GtkWidget* box) {
    GtkWidget* scrolled =
        addNamedWidget(window, "pages_scrolledwindow", gtk_scrolled_window_new(nullptr, nullptr));
    gtk_box_pack_start(GTK_BOX(box), scrolled, TRUE, TRUE, 0);
    GtkScrolledWindow* scrolling = GTK_SCROLLED_WINDOW(scrolled);
    gtk_scrolled_window_set_policy(scrolling, GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_propagate_natural_width(scrolling, TRUE);
    gtk_scrolled_window_set_propagate_natural_height(scrolling, TRUE);
    // A bar that shows only under the pointer would hide that there is more below.
    gtk_scrolled_window_set_overlay_scrolling(scrolling, FALSE);

    GtkWidget* viewport =
        addNamedWidget(window, "pages_viewport", gtk_viewport_new(nullptr, nullptr));
    gtk_viewport_set_shadow_type(GTK_VIEWPORT(viewport), GTK_SHADOW_NONE);
    gtk_container_add(GTK_CONTAINER(scrolled), viewport);

    // As wide as the widest page, as tall as the page on screen.
    GtkWidget* stack = addNamedWidget(window, "pages_stack", gtk_stack_new());
    gtk_stack_set_hhomogeneous(GTK_STACK(stack), TRUE);
    gtk_stack_set_vhomogeneous(GTK_STACK(stack), FALSE);
    gtk_container_add(GTK_CONTAINER(viewport), stack);
    // A widget that takes the keyboard focus is scrolled into view.
    gtk_container_set_focus_hadjustment(GTK_CONTAINER(stack),
                                        gtk_scrolled_window_get_hadjustment(scrolling));
    gtk_container_set_focus_vadjustment(GTK_CONTAINER(stack),
                                        gtk_scrolled_window_get_vadjustment(scrolling));
}

}  // namespace

void readRcFile() {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen)
        return;
    GtkCssProvider* provider = loadMediumStyle();
    if (!provider)
        provider = loadBuiltInStyle();
    GObject* styled = G_OBJECT(screen);
    if (auto* installed =
            static_cast<GtkCssProvider*>(g_object_get_data(styled, InstalledStyleKey)))
        gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(installed));
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    // Lets the one it replaces go.
    g_object_set_data_full(styled, InstalledStyleKey, provider, g_object_unref);
    if (!g_object_get_data(styled, FocusStyleKey)) {
        GtkCssProvider* focusStyle = gtk_css_provider_new();
        g_object_set_data_full(styled, FocusStyleKey, focusStyle, g_object_unref);
        gtk_css_provider_load_from_data(focusStyle, FocusStyle, -1, nullptr);
        gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(focusStyle),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION - 1);
    }
}

GtkWidget* lookupWidget(GtkWidget* widget, const char* name) {
    if (!widget || !name)
        return nullptr;
    GtkWidget* top = widget;
    for (;;) {
        GtkWidget* up = GTK_IS_MENU(top) ? gtk_menu_get_attach_widget(GTK_MENU(top))
                                         : gtk_widget_get_parent(top);
        if (!up)
            break;
        top = up;
    }
    return static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(top), name));
}

GtkWidget* createPixmap(GtkWidget* widget, const char* filename) {
    GdkPixbuf* picture =
        filename && *filename ? windowPicture(widget, filename, loadMediumPicture) : nullptr;
    if (!picture)
        return newBuiltInPictureImage();
    GtkWidget* image = gtk_image_new_from_pixbuf(picture);
    g_object_unref(picture);
    return image;
}

GtkWidget* createMainWindow(InstallRun* run) {
    GtkWidget* window = gtk_dialog_new();
    gtk_widget_set_name(window, "dialog_window");
    registerPlain(window, "dialog_window", window);
    setResourceTitle(window, WindowTitleId);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_default_size(GTK_WINDOW(window), 532, 375);
    gtk_window_set_resizable(GTK_WINDOW(window), TRUE);
    // A GTK 3 dialog starts with the dialog type hint; the wizard's own window
    // is an ordinary top-level window.
    gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_NORMAL);
    // The window holds the run's wizard: what its widgets show and change.
    g_object_set_data_full(G_OBJECT(window), "wizard", run ? new Wizard(*run) : new Wizard,
                           [](gpointer wizard) { delete static_cast<Wizard*>(wizard); });

    GtkWidget* mainVbox = dialogContentArea(window);
    gtk_widget_set_name(mainVbox, "dialog_main_vbox");
    registerPlain(window, "dialog_main_vbox", mainVbox);
    gtk_widget_show(mainVbox);

    GtkWidget* vbox1 = addNamedWidget(window, "vbox1", gtk_box_new(GTK_ORIENTATION_VERTICAL, 5));
    gtk_box_pack_start(GTK_BOX(mainVbox), vbox1, TRUE, TRUE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(vbox1), 10);

    GtkWidget* title_label = addNamedWidget(window, "dialog_title", gtk_label_new(""));
    gtk_box_pack_start(GTK_BOX(vbox1), title_label, FALSE, FALSE, 0);
    gtk_label_set_justify(GTK_LABEL(title_label), GTK_JUSTIFY_LEFT);
    gtk_label_set_xalign(GTK_LABEL(title_label), 0.0f);
    gtk_label_set_yalign(GTK_LABEL(title_label), 0.5f);
    // A long title wraps within the width the pages give the window rather than
    // widening it.
    gtk_label_set_line_wrap(GTK_LABEL(title_label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(title_label), 1);

    addPageStack(window, vbox1);

    GtkWidget* actionArea = dialogActionArea(window);
    gtk_widget_set_name(actionArea, "dialog_action_area");
    registerPlain(window, "dialog_action_area", actionArea);
    gtk_widget_show(actionArea);
    gtk_container_set_border_width(GTK_CONTAINER(actionArea), 10);

    GtkWidget* hbox1 = addNamedWidget(window, "hbox1", gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 30));
    gtk_box_pack_start(GTK_BOX(actionArea), hbox1, TRUE, TRUE, 0);
    // The action area is a button box: let the row take its whole width, so
    // that Back and Next sit at the right of an expanding box, apart from Cancel.
    gtk_button_box_set_child_non_homogeneous(GTK_BUTTON_BOX(actionArea), hbox1, TRUE);
    gtk_widget_set_hexpand(hbox1, TRUE);

    GtkWidget* buttonBox1 =
        addNamedWidget(window, "hbuttonbox1", gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL));
    gtk_box_pack_start(GTK_BOX(hbox1), buttonBox1, TRUE, TRUE, 0);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttonBox1), GTK_BUTTONBOX_END);
    gtk_box_set_spacing(GTK_BOX(buttonBox1), 10);

    GtkWidget* back = addBoxButton(window, buttonBox1, "dialog_back_button", BackLabelId);
    GtkWidget* next = addBoxButton(window, buttonBox1, "dialog_next_button", NextLabelId);

    GtkWidget* buttonBox2 =
        addNamedWidget(window, "hbuttonbox2", gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL));
    gtk_box_pack_start(GTK_BOX(hbox1), buttonBox2, FALSE, FALSE, 0);

    GtkWidget* cancel = addBoxButton(window, buttonBox2, "dialog_cancel_button", CancelLabelId);

    g_signal_connect(window, "delete_event", G_CALLBACK(onDialogDeleteEvent), nullptr);
    g_signal_connect_after(back, "clicked", G_CALLBACK(onDialogBackButtonClicked), nullptr);
    g_signal_connect_after(next, "clicked", G_CALLBACK(onDialogNextButtonClicked), nullptr);
    g_signal_connect(cancel, "clicked", G_CALLBACK(onDialogCancelButtonClicked), nullptr);

    gtk_widget_grab_default(next);
    return window;
}

void registerPlain(GtkWidget* window, const char* name, GtkWidget* widget) {
    g_object_set_data(G_OBJECT(window), name, widget);
}

void registerOwned(GtkWidget* window, const char* name, GtkWidget* widget) {
    g_object_ref(widget);
    g_object_set_data_full(G_OBJECT(window), name, widget, g_object_unref);
}

gchar* localeToUtf8(const char* text, glong maxChars) {
    if (!text)
        return g_strdup("");
    gchar* utf8 = g_locale_to_utf8(text, -1, nullptr, nullptr, nullptr);
    // The string service may hand over a prefix cut inside a character; keep
    // what can be shown rather than nothing.
    if (!utf8)
        utf8 = externalToUtf8(text, -1);
    utf8[charactersLength(utf8, std::strlen(utf8), static_cast<std::size_t>(maxChars),
                          TextEncoding::Utf8)] = '\0';
    return utf8;
}

gchar* externalToUtf8(const char* text, gssize length) {
    if (!text)
        return g_strdup("");
    gssize usable = static_cast<gssize>(lengthUpToNul(text, length));
    if (g_utf8_validate(text, usable, nullptr))
        return g_strndup(text, static_cast<gsize>(usable));
    gchar* converted = g_locale_to_utf8(text, usable, nullptr, nullptr, nullptr);
    if (converted)
        return converted;
    return g_utf8_make_valid(text, usable);
}

void setLabelText(GtkWidget* label, const char* localeText) {
    if (!label)
        return;
    GCharPtr utf8(localeToUtf8(localeText, labelTextLimit(label)));
    gtk_label_set_text(GTK_LABEL(label), utf8.get());
}

void appendTextView(GtkWidget* view, const char* localeText) {
    GCharPtr utf8(externalToUtf8(localeText, -1));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    gtk_text_buffer_insert(buffer, &end, utf8.get(), -1);
}
