// The welcome, license and finish pages, and the license text.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "interface/main_window.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "services/file_search.h"
#include "services/string_service.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

const ResourceID_C NoLicenseTextId = 54;

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
// cut at the first NUL; null when the file is not found, cannot be opened or
// read, or the memory cannot be had.
char* readLicenseFile() {
    GCharPtr path(findFile("license.txt"));
    if (!path) return nullptr;
    FilePtr file(std::fopen(path.get(), "r"));
    if (!file) return nullptr;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return nullptr;
    long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return nullptr;
    char* text = static_cast<char*>(g_try_malloc(static_cast<gsize>(size) + 1));
    if (!text) return nullptr;
    // The text ends where the read ended: a file that shrank since its size was
    // taken must not leave unread bytes in the text.
    size_t got = std::fread(text, 1, static_cast<size_t>(size), file.get());
    text[got] = '\0';
    foldLicenseLines(text);
    return text;
}

}  // namespace

char* getLicenseText() {
    char* text = readLicenseFile();
    return text ? text : g_strdup(getString(NoLicenseTextId));
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

    // The file's bytes may be in any encoding; the stand-in text is the string
    // service's, in the locale encoding.
    GCharPtr fileText(readLicenseFile());
    GCharPtr shown(fileText ? externalToUtf8(fileText.get(), -1)
                            : localeToUtf8(getString(NoLicenseTextId)));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_insert(buffer, &start, shown.get(), -1);
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
    return area;
}
