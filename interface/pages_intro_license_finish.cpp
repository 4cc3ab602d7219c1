// The welcome, license and finish pages, and the license text.
#include <cstring>
#include <memory>
#include <string>

#include "interface/main_window.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "services/file_search.h"
#include "services/medium_file.h"
#include "services/string_service.h"

namespace {

const ResourceID_C NoLicenseTextId = 54;
const ResourceID_C LicenseCutNoteId = 2004;

// The most of "license.txt" that is read and shown, in bytes.
const std::size_t LicenseFileLimit = 1024 * 1024;

// The length of `text` without a last UTF-8 character that lacks bytes, as
// where a file was cut at a size limit. Text in another encoding loses at
// most its last few bytes.
std::size_t completeUtf8Length(const std::string& text) {
    std::size_t lead = text.size();
    while (lead > 0 && text.size() - lead < 3 &&
           (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
        --lead;
    }
    if (lead == 0) return text.size();
    const auto first = static_cast<unsigned char>(text[lead - 1]);
    const std::size_t needed = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return text.size() - (lead - 1) < needed ? lead - 1 : text.size();
}

// Removes the newlines at the end, then turns every single line break into a
// blank so the view re-flows paragraphs by word wrap; a pair of line breaks
// (a blank line) stays as the paragraph break. Carriage returns stay.
void foldLicenseLines(char* text) {
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == '\n') text[--length] = '\0';
    char* p = text;
    while ((p = std::strchr(p, '\n')) != nullptr) {
        if (p[1] == '\n') {
            p += 2;
        } else {
            *p = ' ';
            p += 1;
        }
    }
}

// The folded bytes of "license.txt" as they are in the file (no conversion),
// cut at the first NUL, of at most LicenseFileLimit bytes; null when the file
// is not found or cannot be read. `*cut` tells whether the limit cut the text
// (at a UTF-8 character boundary), so that the view says so.
char* readLicenseFile(bool* cut) {
    *cut = false;
    GCharPtr path(findFile("license.txt"));
    if (!path) return nullptr;
    std::string bytes;
    bool longer = false;
    if (!readMediumFile(path.get(), LicenseFileLimit, &bytes, &longer)) return nullptr;
    // A NUL ends the text before any limit does.
    *cut = longer && bytes.find('\0') == std::string::npos;
    if (*cut) bytes.resize(completeUtf8Length(bytes));
    char* text = g_strdup(bytes.c_str());
    foldLicenseLines(text);
    return text;
}

}  // namespace

char* getLicenseText() {
    bool cut = false;
    GCharPtr text(readLicenseFile(&cut));
    if (!text) return g_strdup(getString(NoLicenseTextId));
    return cut ? g_strconcat(text.get(), "\n\n", getString(LicenseCutNoteId), nullptr)
               : text.release();
}

GtkWidget* createIntroMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("intro_main_area", GTK_ORIENTATION_HORIZONTAL, 5);
    addPagePicture(window, area, "intro_pixmap");

    GtkWidget* label = addNamedWidget(window, "intro_label", newResourceLabel(1001));
    gtk_box_pack_start(GTK_BOX(area), label, TRUE, TRUE, 0);
    setPageLabelLayout(label, 367, 0.0f, 0.0f);
    return area;
}

GtkWidget* createLicenseMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("license_main_area", GTK_ORIENTATION_VERTICAL, 5);

    GtkWidget* top = addNamedWidget(window, "license_label_top", newResourceLabel(3));
    gtk_box_pack_start(GTK_BOX(area), top, FALSE, TRUE, 5);
    setPageLabelLayout(top, 509, 0.0f, 0.0f);

    GtkWidget* vbox3 = addNamedWidget(window, "vbox3", gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_box_pack_start(GTK_BOX(area), vbox3, TRUE, TRUE, 0);

    GtkWidget* view = addScrolledTextView(window, vbox3, "scrolledwindow1", "license_text",
                                          GTK_WRAP_WORD, GTK_POLICY_ALWAYS);

    // The file's bytes may be in any encoding; the stand-in text and the note
    // after a cut text are the string service's, in the locale encoding.
    bool cut = false;
    GCharPtr fileText(readLicenseFile(&cut));
    GCharPtr shown(fileText ? externalToUtf8(fileText.get(), -1)
                            : localeToUtf8(getString(NoLicenseTextId)));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_insert(buffer, &start, shown.get(), -1);
    if (cut) {
        GCharPtr note(localeToUtf8(getString(LicenseCutNoteId)));
        GtkTextIter end;
        gtk_text_buffer_get_end_iter(buffer, &end);
        gtk_text_buffer_insert(buffer, &end, "\n\n", -1);
        gtk_text_buffer_insert(buffer, &end, note.get(), -1);
    }
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);

    GtkWidget* bottom = addNamedWidget(window, "license_label_bottom", newResourceLabel(4));
    gtk_box_pack_start(GTK_BOX(area), bottom, FALSE, FALSE, 0);
    setPageLabelLayout(bottom, 509, 0.0f, 0.0f);
    return area;
}

GtkWidget* createFinishMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("finish_main_area", GTK_ORIENTATION_HORIZONTAL, 5);
    addPagePicture(window, area, "finish_pixmap");

    GtkWidget* vbox6 = addNamedWidget(window, "vbox6", gtk_box_new(GTK_ORIENTATION_VERTICAL, 15));
    gtk_box_pack_start(GTK_BOX(area), vbox6, TRUE, TRUE, 0);

    GtkWidget* finish = addNamedWidget(window, "finish_label", newResourceLabel(13));
    gtk_box_pack_start(GTK_BOX(vbox6), finish, FALSE, FALSE, 0);
    setPageLabelLayout(finish, 367, 0.0f, 0.0f);

    GtkWidget* readMe = addNamedWidget(window, "see_read_me", newResourceLabel(15));
    gtk_box_pack_start(GTK_BOX(vbox6), readMe, FALSE, FALSE, 0);
    setPageLabelLayout(readMe, 367, 0.0f, 0.0f);

    // A registration notice still holding markup source is not fit to be shown.
    std::string notice = getString(1005);
    GCharPtr noticeUtf8(notice.find("</source>") == std::string::npos
                            ? localeToUtf8(notice.c_str())
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
