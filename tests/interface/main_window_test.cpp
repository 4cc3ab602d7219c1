// The main window's tree, the widget registry, the style and the side picture.
#include "interface/main_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "interface/exit_paths.h"
#include "interface/navigation.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "interface/wizard_xpm.h"
#include "test_support.h"
#include "wizard/tables.h"

// Last: the X11 headers define macros (None, Bool) that other headers use as names.
#include <gdk/gdkx.h>

namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { window = createMainWindow(); }
    void TearDown() override {
        if (window)
            gtk_widget_destroy(window);
        drainEvents();
    }
    GtkWidget* find(const char* name) { return lookupWidget(window, name); }

    GtkWidget* window = nullptr;
};

TEST_F(MainWindowTest, TreeIsBuiltAndRegisteredUnderItsNames) {
    // Every registered widget carries its key as its widget name.
    const char* names[] = {"dialog_window",  "dialog_main_vbox",     "vbox1",
                           "dialog_title",   "dialog_action_area",   "hbox1",
                           "hbuttonbox1",    "dialog_back_button",   "dialog_next_button",
                           "hbuttonbox2",    "dialog_cancel_button", "pages_scrolledwindow",
                           "pages_viewport", "pages_stack"};
    for (const char* name : names) {
        GtkWidget* widget = find(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_STREQ(gtk_widget_get_name(widget), name);
    }
    EXPECT_EQ(find("dialog_window"), window);
    EXPECT_EQ(find("dialog_main_vbox"), gtk_dialog_get_content_area(GTK_DIALOG(window)));
    EXPECT_EQ(find("dialog_action_area"), dialogActionArea(window));

    // Parents: the title above the page stack in vbox1, the stack scrolled; Back
    // and Next together, Cancel alone in the second button box.
    EXPECT_EQ(gtk_widget_get_parent(find("vbox1")), find("dialog_main_vbox"));
    EXPECT_EQ(gtk_widget_get_parent(find("dialog_title")), find("vbox1"));
    EXPECT_EQ(gtk_widget_get_parent(find("pages_scrolledwindow")), find("vbox1"));
    EXPECT_EQ(gtk_widget_get_parent(find("pages_viewport")), find("pages_scrolledwindow"));
    EXPECT_EQ(gtk_widget_get_parent(find("pages_stack")), find("pages_viewport"));
    EXPECT_EQ(gtk_widget_get_parent(find("hbox1")), find("dialog_action_area"));
    EXPECT_EQ(gtk_widget_get_parent(find("hbuttonbox1")), find("hbox1"));
    EXPECT_EQ(gtk_widget_get_parent(find("hbuttonbox2")), find("hbox1"));
    EXPECT_EQ(gtk_widget_get_parent(find("dialog_back_button")), find("hbuttonbox1"));
    EXPECT_EQ(gtk_widget_get_parent(find("dialog_next_button")), find("hbuttonbox1"));
    EXPECT_EQ(gtk_widget_get_parent(find("dialog_cancel_button")), find("hbuttonbox2"));
    GList* buttons = gtk_container_get_children(GTK_CONTAINER(find("hbuttonbox1")));
    ASSERT_EQ(g_list_length(buttons), 2u);
    EXPECT_EQ(buttons->data, find("dialog_back_button"));
    g_list_free(buttons);

    EXPECT_EQ(gtk_button_box_get_layout(GTK_BUTTON_BOX(find("hbuttonbox1"))), GTK_BUTTONBOX_END);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(find("hbuttonbox1"))), 10);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(find("hbox1"))), 30);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(find("vbox1"))), 5);
    EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(find("vbox1"))), 10u);
    EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(find("dialog_action_area"))), 10u);
}

TEST_F(MainWindowTest, WindowSettingsTextsAndDefaultButton) {
    EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(window)), textOf(1000));
    int width = 0, height = 0;
    gtk_window_get_default_size(GTK_WINDOW(window), &width, &height);
    EXPECT_EQ(width, 532);
    EXPECT_EQ(height, 375);
    EXPECT_TRUE(gtk_window_get_resizable(GTK_WINDOW(window)));
    EXPECT_EQ(gtk_window_get_type_hint(GTK_WINDOW(window)), GDK_WINDOW_TYPE_HINT_NORMAL);
    GtkWindowPosition position = GTK_WIN_POS_NONE;
    g_object_get(window, "window-position", &position, nullptr);
    EXPECT_EQ(position, GTK_WIN_POS_CENTER);
    EXPECT_EQ(labelText(find("dialog_title")), "");
    EXPECT_FLOAT_EQ(gtk_label_get_xalign(GTK_LABEL(find("dialog_title"))), 0.0f);

    // Buttons carry their texts, also for the accessibility layer.
    struct {
        const char* name;
        unsigned id;
    } buttons[] = {
        {"dialog_back_button", 0}, {"dialog_next_button", 1}, {"dialog_cancel_button", 2}};
    for (auto& b : buttons) {
        GtkWidget* button = find(b.name);
        EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(button)), textOf(b.id)) << b.name;
        EXPECT_TRUE(gtk_widget_get_can_default(button)) << b.name;
        EXPECT_EQ(atk_object_get_name(gtk_widget_get_accessible(button)), textOf(b.id));
    }
    EXPECT_EQ(gtk_window_get_default_widget(GTK_WINDOW(window)), find("dialog_next_button"));
}

TEST_F(MainWindowTest, HandlersAreConnected) {
    struct {
        GtkWidget* widget;
        const char* signal;
        gpointer handler;
    } wanted[] = {
        {window, "delete-event", reinterpret_cast<gpointer>(onDialogDeleteEvent)},
        {find("dialog_back_button"), "clicked",
         reinterpret_cast<gpointer>(onDialogBackButtonClicked)},
        {find("dialog_next_button"), "clicked",
         reinterpret_cast<gpointer>(onDialogNextButtonClicked)},
        {find("dialog_cancel_button"), "clicked",
         reinterpret_cast<gpointer>(onDialogCancelButtonClicked)},
    };
    for (auto& w : wanted) {
        guint id = g_signal_lookup(w.signal, G_OBJECT_TYPE(w.widget));
        EXPECT_NE(
            g_signal_handler_find(
                w.widget, static_cast<GSignalMatchType>(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_FUNC),
                id, 0, nullptr, w.handler, nullptr),
            0u)
            << w.signal;
    }
}

TEST_F(MainWindowTest, DestroyingTheWindowReleasesOwningRegistrationsOnly) {
    GtkWidget* page = createIntroMainArea(window);
    gtk_box_pack_start(GTK_BOX(find("vbox1")), page, TRUE, TRUE, 0);

    // An owning registration holds a reference of its own: the title label
    // outlives its removal from the box.
    GtkWidget* title = find("dialog_title");
    gpointer weakTitle = title;
    g_object_add_weak_pointer(G_OBJECT(title), &weakTitle);
    gtk_container_remove(GTK_CONTAINER(find("vbox1")), title);
    EXPECT_NE(weakTitle, nullptr);
    g_object_remove_weak_pointer(G_OBJECT(title), &weakTitle);

    // Hold one reference of our own and count what else is left once the
    // window is destroyed. The registrations go with the window's object data,
    // when the window is finalized, which its plain self-registration allows;
    // the page keeps its constructor's extra reference.
    GtkWidget* held[] = {title,
                         find("dialog_next_button"),
                         find("vbox1"),
                         find("intro_label"),
                         find("dialog_action_area"),
                         page};
    for (GtkWidget* widget : held) g_object_ref(widget);
    gtk_widget_destroy(window);
    window = nullptr;
    drainEvents();
    for (size_t i = 0; i + 1 < G_N_ELEMENTS(held); ++i) {
        EXPECT_EQ(G_OBJECT(held[i])->ref_count, 1u) << gtk_widget_get_name(held[i]);
    }
    EXPECT_EQ(G_OBJECT(page)->ref_count, 2u);
    for (GtkWidget* widget : held) g_object_unref(widget);
    g_object_unref(page);
}

TEST_F(MainWindowTest, PageSurvivesRemovalAndLooksUpOnlyWhileShown) {
    GtkWidget* page = createIntroMainArea(window);
    GtkWidget* vbox1 = find("vbox1");
    GtkWidget* label = find("intro_label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(lookupWidget(window, "intro_main_area"), nullptr);  // named, not registered

    // Not packed: the climb ends at the page main area, which holds nothing.
    EXPECT_EQ(lookupWidget(label, "dialog_next_button"), nullptr);

    gtk_box_pack_start(GTK_BOX(vbox1), page, TRUE, TRUE, 0);
    EXPECT_EQ(lookupWidget(label, "dialog_next_button"), find("dialog_next_button"));

    gpointer weakPage = page;
    g_object_add_weak_pointer(G_OBJECT(page), &weakPage);
    gtk_container_remove(GTK_CONTAINER(vbox1), page);
    EXPECT_NE(weakPage, nullptr);
    EXPECT_EQ(lookupWidget(label, "dialog_next_button"), nullptr);

    gtk_box_pack_start(GTK_BOX(vbox1), page, TRUE, TRUE, 0);
    EXPECT_EQ(lookupWidget(label, "intro_label"), label);
    gtk_container_remove(GTK_CONTAINER(vbox1), page);
    g_object_remove_weak_pointer(G_OBJECT(page), &weakPage);
    g_object_unref(page);
}

TEST_F(MainWindowTest, LookupClimbsFromAnyWidgetAndThroughMenus) {
    GtkWidget* next = find("dialog_next_button");
    EXPECT_EQ(lookupWidget(find("dialog_back_button"), "dialog_next_button"), next);
    EXPECT_EQ(lookupWidget(gtk_bin_get_child(GTK_BIN(next)), "dialog_cancel_button"),
              find("dialog_cancel_button"));
    EXPECT_EQ(lookupWidget(window, "no_such_widget"), nullptr);
    EXPECT_EQ(lookupWidget(nullptr, "dialog_next_button"), nullptr);

    // A menu's own parent is its popup window; the climb goes to the widget
    // the menu is attached to instead.
    GtkWidget* menu = static_cast<GtkWidget*>(g_object_ref_sink(gtk_menu_new()));
    GtkWidget* item = gtk_menu_item_new_with_label("item");
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    gtk_menu_attach_to_widget(GTK_MENU(menu), find("dialog_back_button"), nullptr);
    EXPECT_EQ(lookupWidget(item, "dialog_next_button"), next);
    gtk_menu_detach(GTK_MENU(menu));
    EXPECT_EQ(lookupWidget(item, "dialog_next_button"), nullptr);
    gtk_widget_destroy(menu);
    g_object_unref(menu);
}

PangoFontDescription* titleFont(GtkWidget* title) {
    PangoFontDescription* font = nullptr;
    GtkStyleContext* context = gtk_widget_get_style_context(title);
    gtk_style_context_get(context, gtk_style_context_get_state(context), GTK_STYLE_PROPERTY_FONT,
                          &font, nullptr);
    return font;
}

TEST_F(MainWindowTest, StyleMakesTheTitleBoldUnlessTheMediumBringsItsOwn) {
    removeFile("stage3.css");
    readRcFile();
    PangoFontDescription* font = titleFont(find("dialog_title"));
    EXPECT_EQ(pango_font_description_get_weight(font), PANGO_WEIGHT_BOLD);
    pango_font_description_free(font);
    // The rule names the title only.
    font = titleFont(gtk_bin_get_child(GTK_BIN(find("dialog_next_button"))));
    EXPECT_NE(pango_font_description_get_weight(font), PANGO_WEIGHT_BOLD);
    pango_font_description_free(font);

    // The medium's style file replaces the built-in style entirely.
    writeFile("stage3.css", "#dialog_title { font-style: italic; }\n");
    readRcFile();
    font = titleFont(find("dialog_title"));
    EXPECT_EQ(pango_font_description_get_style(font), PANGO_STYLE_ITALIC);
    EXPECT_NE(pango_font_description_get_weight(font), PANGO_WEIGHT_BOLD);
    pango_font_description_free(font);

    // A GTK 1.2 resource file is not a style for GTK 3 and is not read.
    removeFile("stage3.css");
    writeFile("stage3.rc", "style \"x\" { font = \"-*-*-medium-*\" }\nwidget \"*\" style \"x\"\n");
    readRcFile();
    font = titleFont(find("dialog_title"));
    EXPECT_EQ(pango_font_description_get_weight(font), PANGO_WEIGHT_BOLD);
    EXPECT_NE(pango_font_description_get_style(font), PANGO_STYLE_ITALIC);
    pango_font_description_free(font);
    removeFile("stage3.rc");
}

TEST_F(MainWindowTest, StyleFileReachingBeyondItselfOrTooLongIsNotUsed) {
    const std::string italic = "#dialog_title { font-style: italic; }\n";
    const size_t limit = 256 * 1024;
    struct {
        std::string file;
        bool used;
    } cases[] = {
        {italic + std::string(limit - italic.size(), ' '), true},
        {italic + std::string(limit + 1 - italic.size(), ' '), false},
        // The files named are missing: a file that is used anyway shows as
        // an italic title, not as a hang.
        {"@import url(\"missing.css\");\n" + italic, false},
        {"@IMPORT \"missing.css\";\n" + italic, false},
        {"label { background-image: URL(\"missing.png\"); }\n" + italic, false},
        // "@\69mport" is @import to a CSS reader.
        {"@\\69mport \"missing.css\";\n" + italic, false},
    };
    for (auto& c : cases) {
        writeFile("stage3.css", c.file);
        readRcFile();
        PangoFontDescription* font = titleFont(find("dialog_title"));
        EXPECT_EQ(pango_font_description_get_style(font) == PANGO_STYLE_ITALIC, c.used)
            << c.file.substr(0, 60);
        EXPECT_EQ(pango_font_description_get_weight(font) == PANGO_WEIGHT_BOLD, !c.used);
        pango_font_description_free(font);
    }
    removeFile("stage3.css");
    readRcFile();
}

GdkPixbuf* imagePixbuf(GtkWidget* image) {
    EXPECT_TRUE(GTK_IS_IMAGE(image));
    return gtk_image_get_pixbuf(GTK_IMAGE(image));
}

guchar alphaAt(GdkPixbuf* pixbuf, int x, int y) {
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    return pixels[y * gdk_pixbuf_get_rowstride(pixbuf) + x * gdk_pixbuf_get_n_channels(pixbuf) + 3];
}

// The surface an image shows (a new reference), or null.
cairo_surface_t* imageSurface(GtkWidget* image) {
    cairo_surface_t* surface = nullptr;
    if (gtk_image_get_storage_type(GTK_IMAGE(image)) == GTK_IMAGE_SURFACE)
        g_object_get(image, "surface", &surface, nullptr);
    return surface;
}

guint32 argbAt(cairo_surface_t* surface, int x, int y) {
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const guint32*>(row)[x];
}

// The built-in picture for `scale`: 140 x 264 in the window, from a pixbuf of as many
// pixels at scale 1, from a surface of twice as many each way and of device scale 2 at
// scale 2; transparent in the corner and opaque in the middle.
void expectBuiltInPicture(GtkWidget* image, int scale = 1) {
    ASSERT_TRUE(GTK_IS_IMAGE(image));
    if (scale == 1) {
        GdkPixbuf* pixbuf = imagePixbuf(image);
        ASSERT_NE(pixbuf, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 140);
        EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 264);
        ASSERT_TRUE(gdk_pixbuf_get_has_alpha(pixbuf));
        EXPECT_EQ(alphaAt(pixbuf, 0, 0), 0);  // the blank-keyed corner
        EXPECT_EQ(alphaAt(pixbuf, 70, 132), 255);
    } else {
        cairo_surface_t* surface = imageSurface(image);
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(cairo_image_surface_get_width(surface), 140 * scale);
        EXPECT_EQ(cairo_image_surface_get_height(surface), 264 * scale);
        double xScale = 0, yScale = 0;
        cairo_surface_get_device_scale(surface, &xScale, &yScale);
        EXPECT_EQ(xScale, scale);
        EXPECT_EQ(yScale, scale);
        EXPECT_EQ(argbAt(surface, 0, 0) >> 24, 0u);
        EXPECT_EQ(argbAt(surface, 70 * scale, 132 * scale) >> 24, 255u);
        cairo_surface_destroy(surface);
    }
    int width = 0, height = 0;
    gtk_widget_show(image);  // a hidden widget takes no room
    gtk_widget_get_preferred_width(image, nullptr, &width);
    gtk_widget_get_preferred_height(image, nullptr, &height);
    EXPECT_EQ(width, 140);
    EXPECT_EQ(height, 264);
}

// The scale of every window on the test's X server, put back to 1 when it goes.
class WindowScale {
  public:
    explicit WindowScale(int scale) { set(scale); }
    ~WindowScale() { set(1); }

  private:
    static void set(int scale) {
        gdk_x11_display_set_window_scale(gdk_display_get_default(), scale);
        drainEvents();
    }
};

TEST_F(MainWindowTest, PictureFallsBackToTheBuiltInOne) {
    removeFile("wizard.xpm");
    GtkWidget* fromEmpty = static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(window, "")));
    expectBuiltInPicture(fromEmpty);
    GtkWidget* fromMissing =
        static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(window, "wizard.xpm")));
    expectBuiltInPicture(fromMissing);
    EXPECT_NE(fromEmpty, fromMissing);  // each call makes its own widget
    g_object_unref(fromEmpty);
    g_object_unref(fromMissing);

    writeFile("wizard.xpm", "not a picture\n");
    GtkWidget* fromBroken =
        static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(nullptr, "wizard.xpm")));
    expectBuiltInPicture(fromBroken);
    g_object_unref(fromBroken);
    removeFile("wizard.xpm");
}

TEST_F(MainWindowTest, BuiltInPictureIsDrawnForTheWindowsScale) {
    removeFile("wizard.xpm");
    GtkWidget* shown = createPixmap(window, "wizard.xpm");
    gtk_box_pack_start(GTK_BOX(find("vbox1")), shown, FALSE, FALSE, 0);
    gtk_widget_show_all(window);
    drainEvents();
    expectBuiltInPicture(shown, 1);
    // Every page shows the one picture of its scale.
    GtkWidget* other =
        static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(window, "wizard.xpm")));
    EXPECT_EQ(imagePixbuf(other), imagePixbuf(shown));
    g_object_unref(other);
    {
        WindowScale two(2);
        expectBuiltInPicture(shown, 2);  // changed with the window's scale
        GtkWidget* made =
            static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(window, "wizard.xpm")));
        expectBuiltInPicture(made, 2);
        cairo_surface_t* a = imageSurface(shown);
        cairo_surface_t* b = imageSurface(made);
        EXPECT_EQ(a, b);
        cairo_surface_destroy(a);
        cairo_surface_destroy(b);
        g_object_unref(made);
    }
    expectBuiltInPicture(shown, 1);
}

TEST_F(MainWindowTest, PictureFileOnTheMediumIsUsed) {
    writeFile("wizard.xpm",
              "/* XPM */\nstatic char* p[] = {\n\"3 2 2 1\",\n\"  c None\",\n\"r c #FF0000\",\n"
              "\"r r\",\n\" rr\"};\n");
    GtkWidget* image =
        static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(window, "wizard.xpm")));
    GdkPixbuf* pixbuf = imagePixbuf(image);
    ASSERT_NE(pixbuf, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 3);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 2);
    EXPECT_EQ(alphaAt(pixbuf, 0, 0), 255);
    EXPECT_EQ(alphaAt(pixbuf, 1, 0), 0);
    EXPECT_EQ(alphaAt(pixbuf, 0, 1), 0);

    // Decoded once for the window: its later pages show the same picture, while the
    // file is not read again.
    removeFile("wizard.xpm");
    GtkWidget* again =
        static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(window, "wizard.xpm")));
    EXPECT_EQ(imagePixbuf(again), pixbuf);
    GtkWidget* read =
        static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(nullptr, "wizard.xpm")));
    expectBuiltInPicture(read);
    g_object_unref(image);
    g_object_unref(again);
    g_object_unref(read);
}

// An XPM file of the given header and lines.
std::string xpmFile(const std::string& header, const std::vector<std::string>& lines) {
    std::string text = "/* XPM */\nstatic char* p[] = {\n\"" + header + "\"";
    for (const std::string& line : lines) text += ",\n\"" + line + "\"";
    return text + "};\n";
}

TEST_F(MainWindowTest, PictureFileIsCheckedBeforeItIsDecoded) {
    const std::string wide(1024, 'a');
    const std::string tooWide(1025, 'a');
    std::vector<std::string> tallLines(1026, "a");
    tallLines[0] = "a c red";
    // Refused by their headers, by not being XPM text, or by their size.
    const std::string refused[] = {
        xpmFile("1025 1 1 1", {"a c red", tooWide}),
        xpmFile("1 1025 1 1", tallLines),
        xpmFile("2 1 3 1", {"a c red", "b c red", "c c red", "ab"}),
        xpmFile("1 1 1 1", {"a c red", "a"}).substr(std::strlen("/* XPM */")),
        xpmFile("1 1 1 1", {"a c red", "a"}) + std::string(4 * 1024 * 1024, ' '),
    };
    for (const std::string& file : refused) {
        writeFile("wizard.xpm", file);
        GtkWidget* image =
            static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(nullptr, "wizard.xpm")));
        expectBuiltInPicture(image);
        g_object_unref(image);
    }

    // The widest picture taken, colours by name, a colour line with more
    // keys than "c", and quotes in comments.
    writeFile("wizard.xpm", "/* XPM */\n/* not a \"1 1 1 1\" header */\n" +
                                xpmFile("1024 2 2 1", {"a c white", "b s edge c light grey m black",
                                                       wide, "b" + wide.substr(1)})
                                    .substr(10));
    GtkWidget* image =
        static_cast<GtkWidget*>(g_object_ref_sink(createPixmap(nullptr, "wizard.xpm")));
    GdkPixbuf* pixbuf = imagePixbuf(image);
    ASSERT_NE(pixbuf, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 1024);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 2);
    const guchar white[] = {255, 255, 255, 255}, lightGrey[] = {211, 211, 211, 255};
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    EXPECT_EQ(std::memcmp(pixels, white, 4), 0);
    EXPECT_EQ(std::memcmp(pixels + gdk_pixbuf_get_rowstride(pixbuf), lightGrey, 4), 0);
    g_object_unref(image);
    removeFile("wizard.xpm");
}

TEST(BuiltInPicture, DataHasTheFixedXpmLayout) {
    int width = 0, height = 0, colours = 0, keyLength = 0;
    ASSERT_EQ(std::sscanf(wizard_xpm[0], "%d %d %d %d", &width, &height, &colours, &keyLength), 4);
    EXPECT_EQ(width, 140);
    EXPECT_EQ(height, 264);
    EXPECT_EQ(keyLength, 3);
    EXPECT_GT(colours, 1000);
    EXPECT_STREQ(wizard_xpm[1], "   \tc None");
    std::set<std::string> keys{"   "};
    for (int i = 2; i <= colours; ++i) {
        std::string line = wizard_xpm[i];
        ASSERT_EQ(line.size(), 3u + 1 + 2 + 7) << line;
        EXPECT_EQ(line.substr(3, 4), "\tc #") << line;
        EXPECT_EQ(line.find_first_not_of("0123456789ABCDEF", 7), std::string::npos) << line;
        EXPECT_TRUE(keys.insert(line.substr(0, 3)).second) << "duplicate key " << line;
    }
    for (int y = 0; y < height; ++y) {
        const char* row = wizard_xpm[1 + colours + y];
        ASSERT_EQ(std::strlen(row), 420u) << "row " << y;
        for (int x = 0; x < width; ++x) {
            ASSERT_TRUE(keys.count(std::string(row + 3 * x, 3))) << "row " << y << " column " << x;
        }
    }
}

TEST(BuiltInPicture, OwnDecoderMatchesTheXpmLoader) {
    GdkPixbuf* loaded = gdk_pixbuf_new_from_xpm_data(wizard_xpm);
    GdkPixbuf* decoded = pixbufFromXpmData(wizard_xpm);
    ASSERT_NE(loaded, nullptr);
    ASSERT_NE(decoded, nullptr);
    ASSERT_EQ(gdk_pixbuf_get_n_channels(loaded), 4);
    ASSERT_EQ(gdk_pixbuf_get_width(decoded), 140);
    ASSERT_EQ(gdk_pixbuf_get_height(decoded), 264);
    for (int y = 0; y < 264; ++y) {
        const guchar* a = gdk_pixbuf_read_pixels(loaded) + y * gdk_pixbuf_get_rowstride(loaded);
        const guchar* b = gdk_pixbuf_read_pixels(decoded) + y * gdk_pixbuf_get_rowstride(decoded);
        for (int x = 0; x < 140; ++x, a += 4, b += 4) {
            // The loader leaves the colour of transparent pixels unspecified.
            ASSERT_EQ(a[3], b[3]) << x << "," << y;
            if (a[3]) {
                ASSERT_EQ(std::memcmp(a, b, 3), 0) << x << "," << y;
            }
        }
    }
    g_object_unref(loaded);
    g_object_unref(decoded);

    const char* unknownKey[] = {"2 1 1 1", "a\tc #010203", "ab"};
    const char* shortRow[] = {"2 1 1 1", "a\tc #010203", "a"};
    const char* badColour[] = {"1 1 1 1", "a\tc no-such-colour", "a"};
    const char* badHeader[] = {"2 1 x 1"};
    EXPECT_EQ(pixbufFromXpmData(unknownKey), nullptr);
    EXPECT_EQ(pixbufFromXpmData(shortRow), nullptr);
    EXPECT_EQ(pixbufFromXpmData(badColour), nullptr);
    EXPECT_EQ(pixbufFromXpmData(badHeader), nullptr);
}

TEST(BuiltInPicture, PixelsAreTheXpmDecodedAndThePictureAtTwiceTheSize) {
    const int width = WizardPictureWidth, height = WizardPictureHeight;
    GdkPixbuf* decoded = pixbufFromXpmData(wizard_xpm);
    ASSERT_NE(decoded, nullptr);
    for (int y = 0; y < height; ++y) {
        const guchar* p = gdk_pixbuf_read_pixels(decoded) + y * gdk_pixbuf_get_rowstride(decoded);
        const guchar* q = wizard_rgba_1x + y * width * 4;
        for (int x = 0; x < width; ++x, p += 4, q += 4) {
            ASSERT_EQ(q[3], p[3]) << x << "," << y;
            const guchar none[3] = {};
            ASSERT_EQ(std::memcmp(q, p[3] ? p : none, 3), 0) << x << "," << y;
        }
    }
    g_object_unref(decoded);
    auto argb1x = [&](int x, int y) {
        const guchar* q = wizard_rgba_1x + (y * width + x) * 4;
        return guint32{q[3]} << 24 | q[0] << 16 | q[1] << 8 | q[2];
    };

    // Where a pixel and its neighbours are transparent, so are its four pixels at
    // twice the size; where they are opaque, the four are opaque and of its colour on
    // average (the same picture, not one shifted or scaled wrongly).
    auto opaque1x = [&](int x, int y) {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        return argb1x(x, y) >> 24 == 255;
    };
    auto channel = [](guint32 argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); };
    double difference = 0;
    int compared = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int opaque = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) opaque += opaque1x(x + dx, y + dy);
            if (opaque != 0 && opaque != 9)
                continue;
            const guint32* block = wizard_argb_2x + 2 * y * 2 * width + 2 * x;
            const guint32 four[] = {block[0], block[1], block[2 * width], block[2 * width + 1]};
            for (guint32 pixel : four) ASSERT_EQ(pixel >> 24, opaque ? 255u : 0u) << x << "," << y;
            for (int shift = 0; opaque && shift <= 16; shift += 8) {
                int sum = 0;
                for (guint32 pixel : four) sum += channel(pixel, shift);
                difference += std::abs(sum / 4.0 - channel(argb1x(x, y), shift));
                ++compared;
            }
        }
    }
    EXPECT_LT(difference / compared, 1.5);
}

}  // namespace
