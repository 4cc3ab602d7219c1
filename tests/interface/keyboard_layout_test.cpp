// Keyboard access and the layout that holds: access keys in button labels, the
// focus frame of the text views, the window's size over every page and the room
// between an option and its description.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <utility>

#include "interface/main_window.h"
#include "interface/pages.h"
#include "services/mnemonic.h"
#include "test_support.h"
#include "wizard/tables.h"

namespace {

TEST(AccessKeys, LabelsReadWithoutTheirMarks) {
    struct {
        const char* label;
        const char* shown;
    } cases[] = {
        {"_Next >", "Next >"},
        {"< _Zur\xC3\xBC"
         "ck",
         "< Zur\xC3\xBC"
         "ck"},
        {"I _Agree", "I Agree"},
        {"file__name", "file_name"},
        {"__init__", "_init_"},
        {"end_", "end"},
        {"Cancel", "Cancel"},
        {"", ""},
        // The marks of labels without Latin letters go whole, "(_N)" included.
        {"\xE6\xAC\xA1\xE3\x81\xB8(_N) >", "\xE6\xAC\xA1\xE3\x81\xB8 >"},
        {"(_)", "()"},
        // An underscore after a character of several bytes, and before one.
        {"\xE5\xAE\x8C\xE4\xBA\x86_", "\xE5\xAE\x8C\xE4\xBA\x86"},
        {"_\xE5\xAE\x8C", "\xE5\xAE\x8C"},
    };
    for (auto& c : cases) EXPECT_EQ(withoutMnemonics(c.label), c.shown) << c.label;
}

class ShownPage : public ::testing::Test {
  protected:
    void SetUp() override { window = createMainWindow(); }
    void TearDown() override {
        gtk_widget_destroy(window);
        drainEvents();
    }
    // Shows `page` in the window's page stack and lays the window out.
    void show(GtkWidget* page) {
        GtkWidget* stack = lookupWidget(window, "pages_stack");
        gtk_container_add(GTK_CONTAINER(stack), page);
        g_object_unref(page);  // the stack holds it now
        gtk_stack_set_visible_child(GTK_STACK(stack), page);
        gtk_widget_show(window);
        for (int i = 0; i < 20; ++i) {
            drainEvents();
            g_usleep(10000);
        }
    }
    GtkWidget* find(const std::string& name) { return lookupWidget(window, name.c_str()); }
    // Left and right edge of a widget in the window's coordinates.
    std::pair<int, int> edges(GtkWidget* widget) {
        int x = 0, y = 0;
        gtk_widget_translate_coordinates(widget, window, 0, 0, &x, &y);
        return {x, x + gtk_widget_get_allocated_width(widget)};
    }

    GtkWidget* window = nullptr;
};

TEST_F(ShownPage, OptionsStandApartFromTheirDescriptions) {
    // Long option texts, which the narrow column of the descriptions once touched.
    installTexts({{40, "A rather long custom setup type"}, {47, "An SNMP agent with a long name"}});
    struct {
        GtkWidget* (*create)(GtkWidget*);
        const char* prefix;
        int options;
    } pages[] = {{createSetuptypeMainArea, "setuptype", 3},
                 {createComponentsMainArea, "component", 5}};
    for (auto& p : pages) {
        show(p.create(window));
        for (int i = 0; i < p.options; ++i) {
            std::string name = p.prefix + std::to_string(i);
            GtkWidget* text = gtk_bin_get_child(GTK_BIN(find(name + "_enable")));
            int gap = edges(find(name + "_label")).first - edges(text).second;
            EXPECT_GE(gap, 12) << name;
        }
    }
    installTexts();
}

// The colour of the view's left border, drawn with and without the keyboard focus.
std::pair<guint32, guint32> leftBorderColours(GtkWidget* view) {
    std::pair<guint32, guint32> colours;
    for (bool focused : {true, false}) {
        if (focused)
            gtk_widget_set_state_flags(view, GTK_STATE_FLAG_FOCUSED, FALSE);
        else
            gtk_widget_unset_state_flags(view, GTK_STATE_FLAG_FOCUSED);
        drainEvents();
        int width = gtk_widget_get_allocated_width(view);
        int height = gtk_widget_get_allocated_height(view);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        cairo_t* cr = cairo_create(surface);
        gtk_widget_draw(view, cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        const unsigned char* row = cairo_image_surface_get_data(surface) +
                                   cairo_image_surface_get_stride(surface) * (height / 2);
        guint32 colour = reinterpret_cast<const guint32*>(row)[0] & 0xFFFFFF;
        (focused ? colours.first : colours.second) = colour;
        cairo_surface_destroy(surface);
    }
    return colours;
}

TEST_F(ShownPage, FocusedTextViewShowsItUnderAnyStyle) {
    writeFile("license.txt", "The terms\n");
    show(createLicenseMainArea(window));
    removeFile("license.txt");
    // The built-in style, then a medium's own, which replaces the built-in one.
    for (bool mediumStyle : {false, true}) {
        if (mediumStyle)
            writeFile("stage3.css", "#dialog_title { font-style: italic; }\n");
        readRcFile();
        std::pair<guint32, guint32> colours = leftBorderColours(find("license_text"));
        EXPECT_NE(colours.first, colours.second) << (mediumStyle ? "medium's style" : "built-in");
    }
    removeFile("stage3.css");
    readRcFile();
}

}  // namespace
