// The welcome, license and finish pages, and the license text.
#include <cstring>
#include <memory>
#include <string>

#include "interface/main_window.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "services/license_text.h"
#include "services/string_service.h"
#include "wizard/text_ids.h"

namespace {}  // namespace

char* getLicenseText() {
    std::string text;
    bool cut = false;
    if (!readLicenseFile(&text, &cut))
        return g_strdup(getString(NoLicenseTextId));
    return cut ? g_strconcat(text.c_str(), "\n\n", getString(LicenseTextCutId), nullptr)
               : g_strdup(text.c_str());
}

GtkWidget* createIntroMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("intro_main_area", GTK_ORIENTATION_HORIZONTAL, 5);
    addPagePicture(window, area, "intro_pixmap");

    GtkWidget* label = addNamedWidget(window, "intro_label", newResourceLabel(WelcomeTextId));
    gtk_box_pack_start(GTK_BOX(area), label, TRUE, TRUE, 0);
    setPageLabelLayout(label, 367, 0.0f, 0.0f);
    return area;
}

GtkWidget* createLicenseMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("license_main_area", GTK_ORIENTATION_VERTICAL, 5);

    GtkWidget* top =
        addNamedWidget(window, "license_label_top", newResourceLabel(LicenseTopNoteId));
    gtk_box_pack_start(GTK_BOX(area), top, FALSE, TRUE, 5);
    setPageLabelLayout(top, 509, 0.0f, 0.0f);

    GtkWidget* vbox3 = addNamedWidget(window, "vbox3", gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_box_pack_start(GTK_BOX(area), vbox3, TRUE, TRUE, 0);

    GtkWidget* view = addScrolledTextView(window, vbox3, "scrolledwindow1", "license_text",
                                          GTK_WRAP_WORD, GTK_POLICY_ALWAYS);

    // The file's bytes may be in any encoding; the stand-in text and the note
    // after a cut text are the string service's, in the locale encoding.
    std::string fileText;
    bool cut = false;
    GCharPtr shown(readLicenseFile(&fileText, &cut) ? externalToUtf8(fileText.c_str(), -1)
                                                    : localeToUtf8(getString(NoLicenseTextId)));
    // The text goes into the view whole, its cursor at the start: filled and placed while
    // no view watches the buffer, each step costs the view nothing (it would lay out the
    // cursor's line for every move).
    GtkTextBuffer* buffer = gtk_text_buffer_new(nullptr);
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_insert(buffer, &start, shown.get(), -1);
    if (cut) {
        GCharPtr note(localeToUtf8(getString(LicenseTextCutId)));
        GtkTextIter end;
        gtk_text_buffer_get_end_iter(buffer, &end);
        gtk_text_buffer_insert(buffer, &end, "\n\n", -1);
        gtk_text_buffer_insert(buffer, &end, note.get(), -1);
    }
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
    gtk_text_view_set_buffer(GTK_TEXT_VIEW(view), buffer);
    g_object_unref(buffer);

    GtkWidget* bottom =
        addNamedWidget(window, "license_label_bottom", newResourceLabel(LicenseBottomNoteId));
    gtk_box_pack_start(GTK_BOX(area), bottom, FALSE, FALSE, 0);
    setPageLabelLayout(bottom, 509, 0.0f, 0.0f);
    return area;
}

GtkWidget* createFinishMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("finish_main_area", GTK_ORIENTATION_HORIZONTAL, 5);
    addPagePicture(window, area, "finish_pixmap");

    GtkWidget* vbox6 = addNamedWidget(window, "vbox6", gtk_box_new(GTK_ORIENTATION_VERTICAL, 15));
    gtk_box_pack_start(GTK_BOX(area), vbox6, TRUE, TRUE, 0);

    GtkWidget* finish = addNamedWidget(window, "finish_label", newResourceLabel(FinishSucceededId));
    gtk_box_pack_start(GTK_BOX(vbox6), finish, FALSE, FALSE, 0);
    setPageLabelLayout(finish, 367, 0.0f, 0.0f);

    GtkWidget* readMe = addNamedWidget(window, "see_read_me", newResourceLabel(ReadMeNoteId));
    gtk_box_pack_start(GTK_BOX(vbox6), readMe, FALSE, FALSE, 0);
    setPageLabelLayout(readMe, 367, 0.0f, 0.0f);

    // A registration notice still holding markup source is not fit to be shown.
    std::string notice = getString(RegisterControllerId);
    GCharPtr noticeUtf8(notice.find("</source>") == std::string::npos ? localeToUtf8(notice.c_str())
                                                                      : g_strdup(""));
    GtkWidget* reg = addNamedWidget(window, "register_controller", gtk_label_new(noticeUtf8.get()));
    gtk_box_pack_start(GTK_BOX(vbox6), reg, FALSE, FALSE, 0);
    setPageLabelLayout(reg, 367, 0.0f, 0.0f);

    // Where the install log is: shown by the navigation once an install has written one.
    GtkWidget* log = addNamedWidget(window, "finish_log", gtk_label_new(""));
    gtk_box_pack_start(GTK_BOX(vbox6), log, FALSE, FALSE, 0);
    setPageLabelLayout(log, 367, 0.0f, 0.0f);
    gtk_label_set_selectable(GTK_LABEL(log), TRUE);
    gtk_widget_hide(log);
    return area;
}
