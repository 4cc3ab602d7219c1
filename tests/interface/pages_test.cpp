// Every page's widgets: names, texts, layout settings and the choice grids.
#include "interface/pages.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

#include "interface/main_window.h"
#include "interface/navigation.h"
#include "test_support.h"
#include "wizard/tables.h"
#include "wizard/wizard.h"

namespace {

class PagesTest : public ::testing::Test {
  protected:
    void SetUp() override { window = createMainWindow(); }
    void TearDown() override {
        gtk_widget_destroy(window);
        for (GtkWidget* page : pages) {
            if (gtk_widget_get_parent(page))
                continue;
            g_object_ref_sink(page);
            gtk_widget_destroy(page);
            g_object_unref(page);
            g_object_unref(page);
        }
        drainEvents();
    }
    // Builds a page and checks what every page shares: named main area, not
    // registered, shown, unpacked.
    GtkWidget* build(GtkWidget* (*create)(GtkWidget*), const char* mainAreaName) {
        GtkWidget* page = create(window);
        pages.push_back(page);
        EXPECT_STREQ(gtk_widget_get_name(page), mainAreaName);
        EXPECT_EQ(find(mainAreaName), nullptr);
        EXPECT_TRUE(gtk_widget_get_visible(page));
        EXPECT_EQ(gtk_widget_get_parent(page), nullptr);
        return page;
    }
    GtkWidget* find(const char* name) { return lookupWidget(window, name); }
    GtkWidget* parentOf(const char* name) { return gtk_widget_get_parent(find(name)); }

    // A page label: its text, left-justified, wrapping, requested width, alignment.
    void expectPageLabel(const char* name, const std::string& text, int width, float xalign,
                         float yalign) {
        GtkWidget* label = find(name);
        ASSERT_TRUE(GTK_IS_LABEL(label)) << name;
        EXPECT_STREQ(gtk_widget_get_name(label), name);
        EXPECT_TRUE(gtk_widget_get_visible(label)) << name;
        EXPECT_EQ(labelText(label), text) << name;
        EXPECT_TRUE(gtk_label_get_line_wrap(GTK_LABEL(label))) << name;
        EXPECT_EQ(gtk_label_get_justify(GTK_LABEL(label)), GTK_JUSTIFY_LEFT) << name;
        int w = 0, h = 0;
        gtk_widget_get_size_request(label, &w, &h);
        EXPECT_EQ(w, width) << name;
        EXPECT_EQ(h, -1) << name;
        EXPECT_FLOAT_EQ(gtk_label_get_xalign(GTK_LABEL(label)), xalign) << name;
        EXPECT_FLOAT_EQ(gtk_label_get_yalign(GTK_LABEL(label)), yalign) << name;
    }
    void expectPicture(const char* name, GtkWidget* page) {
        GtkWidget* picture = find(name);
        ASSERT_TRUE(GTK_IS_IMAGE(picture)) << name;
        EXPECT_EQ(gtk_widget_get_parent(picture), page);
        EXPECT_EQ(gtk_widget_get_halign(picture), GTK_ALIGN_CENTER);
        EXPECT_EQ(gtk_widget_get_valign(picture), GTK_ALIGN_START);
        EXPECT_NE(gtk_image_get_storage_type(GTK_IMAGE(picture)), GTK_IMAGE_EMPTY) << name;
        int width = 0;
        gtk_widget_get_preferred_width(picture, nullptr, &width);
        EXPECT_EQ(width, 140) << name;
    }
    void expectScrolling(const char* name, GtkPolicyType horizontal, GtkPolicyType vertical) {
        GtkPolicyType h, v;
        gtk_scrolled_window_get_policy(GTK_SCROLLED_WINDOW(find(name)), &h, &v);
        EXPECT_EQ(h, horizontal) << name;
        EXPECT_EQ(v, vertical) << name;
    }
    void expectReadOnlyView(const char* name, GtkWrapMode wrap) {
        GtkWidget* view = find(name);
        ASSERT_TRUE(GTK_IS_TEXT_VIEW(view)) << name;
        EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(view))) << name;
        EXPECT_EQ(gtk_text_view_get_wrap_mode(GTK_TEXT_VIEW(view)), wrap) << name;
    }
    int gridTop(GtkWidget* grid, const char* name) {
        int top = -1;
        gtk_container_child_get(GTK_CONTAINER(grid), find(name), "top-attach", &top, nullptr);
        return top;
    }
    int gridHeight(GtkWidget* grid, const char* name) {
        int height = -1;
        gtk_container_child_get(GTK_CONTAINER(grid), find(name), "height", &height, nullptr);
        return height;
    }
    int gridLeft(GtkWidget* grid, const char* name) {
        int left = -1;
        gtk_container_child_get(GTK_CONTAINER(grid), find(name), "left-attach", &left, nullptr);
        return left;
    }

    GtkWidget* window = nullptr;
    std::vector<GtkWidget*> pages;
};

TEST_F(PagesTest, WelcomePage) {
    GtkWidget* page = build(createIntroMainArea, "intro_main_area");
    EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(page)), GTK_ORIENTATION_HORIZONTAL);
    expectPicture("intro_pixmap", page);
    expectPageLabel("intro_label", textOf(1001), 367, 0.0f, 0.0f);
    EXPECT_EQ(parentOf("intro_label"), page);
}

TEST_F(PagesTest, LicensePage) {
    writeFile("license.txt", "The\nterms\n");
    GtkWidget* page = build(createLicenseMainArea, "license_main_area");
    removeFile("license.txt");
    EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(page)), GTK_ORIENTATION_VERTICAL);
    expectPageLabel("license_label_top", textOf(3), 509, 0.0f, 0.0f);
    expectPageLabel("license_label_bottom", textOf(4), 509, 0.0f, 0.0f);
    EXPECT_EQ(parentOf("scrolledwindow1"), find("vbox3"));
    EXPECT_EQ(parentOf("license_text"), find("scrolledwindow1"));
    expectScrolling("scrolledwindow1", GTK_POLICY_EXTERNAL, GTK_POLICY_ALWAYS);
    expectReadOnlyView("license_text", GTK_WRAP_WORD);
    EXPECT_EQ(textViewText(find("license_text")), "The terms");
    GList* children = gtk_container_get_children(GTK_CONTAINER(page));
    ASSERT_EQ(g_list_length(children), 3u);
    EXPECT_EQ(g_list_nth_data(children, 0), find("license_label_top"));
    EXPECT_EQ(g_list_nth_data(children, 2), find("license_label_bottom"));
    g_list_free(children);
    EXPECT_EQ(find("license_pixmap"), nullptr);  // no picture on this page
}

TEST_F(PagesTest, FinishPage) {
    GtkWidget* page = build(createFinishMainArea, "finish_main_area");
    expectPicture("finish_pixmap", page);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(find("vbox6"))), 15);
    expectPageLabel("finish_label", textOf(13), 367, 0.0f, 0.0f);
    expectPageLabel("see_read_me", textOf(15), 367, 0.0f, 0.0f);
    expectPageLabel("register_controller", textOf(1005), 367, 0.0f, 0.0f);
}

TEST_F(PagesTest, FinishPageHidesANoticeStillInMarkupSource) {
    installTexts({{1005, "Register at <source>http://x</source> now"}});
    build(createFinishMainArea, "finish_main_area");
    installTexts();
    EXPECT_EQ(labelText(find("register_controller")), "");
    EXPECT_EQ(labelText(find("see_read_me")), textOf(15));
}

TEST_F(PagesTest, SetupTypePageGridAndSelection) {
    wizardOf(window).chooseSetupType(1);
    GtkWidget* page = build(createSetuptypeMainArea, "setuptype_main_area");
    expectPicture("setuptype_pixmap", page);
    expectPageLabel("setuptype_label", textOf(8), 367, 0.0f, 0.5f);
    GtkWidget* grid = find("table2");
    ASSERT_TRUE(GTK_IS_GRID(grid));
    EXPECT_EQ(gtk_grid_get_row_spacing(GTK_GRID(grid)), 25u);

    // Typical in rows 0-1, compact in row 2, custom in rows 3-4; a button
    // takes only the first row of its type.
    struct {
        const char* radio;
        const char* label;
        unsigned titleId, descriptionId;
        int top, span;
        float yalign;
    } rows[] = {{"setuptype0_enable", "setuptype0_label", 38, 41, 0, 2, 0.15f},
                {"setuptype1_enable", "setuptype1_label", 39, 42, 2, 1, 0.5f},
                {"setuptype2_enable", "setuptype2_label", 40, 43, 3, 2, 0.15f}};
    GSList* group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(find("setuptype0_enable")));
    for (int t = 0; t < 3; ++t) {
        auto& row = rows[t];
        GtkWidget* radio = find(row.radio);
        ASSERT_TRUE(GTK_IS_RADIO_BUTTON(radio)) << row.radio;
        EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(radio)), textOf(row.titleId));
        EXPECT_EQ(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(radio), "setuptype_index")), t + 1);
        EXPECT_EQ(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(radio)), t == 1) << row.radio;
        EXPECT_EQ(gtk_radio_button_get_group(GTK_RADIO_BUTTON(radio)), group);
        EXPECT_EQ(gridLeft(grid, row.radio), 0);
        EXPECT_EQ(gridTop(grid, row.radio), row.top);
        EXPECT_EQ(gridHeight(grid, row.radio), 1);
        expectPageLabel(row.label, textOf(row.descriptionId), 252, 0.0f, row.yalign);
        EXPECT_EQ(gridLeft(grid, row.label), 1);
        EXPECT_EQ(gridTop(grid, row.label), row.top);
        EXPECT_EQ(gridHeight(grid, row.label), row.span);
    }
    EXPECT_EQ(wizardOf(window).selection().setupType, 1);  // building the page changes no selection

    // Choosing custom reaches the selection handler.
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(find("setuptype2_enable")), TRUE);
    EXPECT_EQ(wizardOf(window).selection().setupType, 2);
}

TEST_F(PagesTest, SetupTypePageActivatesTheSelectedTypeOnly) {
    for (int selected = 0; selected < 3; ++selected) {
        wizardOf(window).chooseSetupType(selected);
        build(createSetuptypeMainArea, "setuptype_main_area");
        for (int t = 0; t < 3; ++t) {
            std::string name = "setuptype" + std::to_string(t) + "_enable";
            EXPECT_EQ(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(find(name.c_str()))),
                      t == selected)
                << "selected " << selected << ", button " << t;
        }
        EXPECT_EQ(wizardOf(window).selection().setupType, selected);
    }
}

TEST_F(PagesTest, ComponentsPageWithAllComponents) {
    GtkWidget* page = build(createComponentsMainArea, "components_main_area");
    expectPicture("components_pixmap", page);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(find("vbox5"))), 12);
    expectPageLabel("components_label", textOf(9), 367, 0.0f, 0.5f);
    GtkWidget* grid = find("table3");
    EXPECT_EQ(gtk_grid_get_row_spacing(GTK_GRID(grid)), 4u);
    const int tops[] = {0, 2, 4, 5, 6};
    for (int i = 0; i < 5; ++i) {
        std::string enable = "component" + std::to_string(i) + "_enable";
        std::string label = "component" + std::to_string(i) + "_label";
        GtkWidget* check = find(enable.c_str());
        ASSERT_TRUE(GTK_IS_CHECK_BUTTON(check)) << enable;
        EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(check)), textOf(44 + i));
        EXPECT_EQ(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(check), "component_index")), i + 1);
        EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check)));
        EXPECT_EQ(gridTop(grid, enable.c_str()), tops[i]);
        EXPECT_EQ(gridHeight(grid, enable.c_str()), 1);
        EXPECT_EQ(gridTop(grid, label.c_str()), tops[i]);
        EXPECT_EQ(gridHeight(grid, label.c_str()), ComponentTable[i].rowSpan);
        expectPageLabel(label.c_str(), textOf(49 + i), 210, 0.0f,
                        ComponentTable[i].rowSpan == 1 ? 0.5f : 0.4f);
    }

    // Toggling reaches the selection handler with the component's own index:
    // the notifier brings the managed system it requires.
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(find("component2_enable")), TRUE);
    EXPECT_EQ(wizardOf(window).selection().components & 0x06, 0x06);
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(find("component1_enable"))));
}

TEST_F(PagesTest, ComponentsPageLeavesOutWithdrawnComponents) {
    HostFacts host;
    host.snmpSupported = 0;
    wizardOf(window).start(host, PageRules());
    build(createComponentsMainArea, "components_main_area");
    GtkWidget* grid = find("table3");
    EXPECT_EQ(find("component3_enable"), nullptr);
    EXPECT_EQ(find("component3_label"), nullptr);
    ASSERT_NE(find("component4_enable"), nullptr);
    // Spans 2, 2, 1 and 1: six rows, the driver on the last.
    EXPECT_EQ(gridTop(grid, "component4_enable"), 5);
    EXPECT_EQ(gridTop(grid, "component4_label"), 5);
    GList* children = gtk_container_get_children(GTK_CONTAINER(grid));
    EXPECT_EQ(g_list_length(children), 8u);
    g_list_free(children);
}

TEST_F(PagesTest, KernelRebuildPage) {
    GtkWidget* page = build(createKernelRebuildMainArea, "kernelRebuild_main_area");
    expectPicture("kernelRebuild_pixmap", page);
    expectPageLabel("kernelRebuild_label", textOf(1003), 367, 0.0f, 0.0f);
}

TEST_F(PagesTest, ReviewPage) {
    GtkWidget* page = build(createReviewMainArea, "review_main_area");
    expectPicture("review_pixmap", page);
    EXPECT_EQ(parentOf("vbox7"), page);
    expectPageLabel("review_label", textOf(10), 380, 0.0f, 0.5f);
    expectPageLabel("review_current_settings", textOf(11), 210, 0.0f, 0.5f);
    EXPECT_EQ(parentOf("review_text"), find("scrolledwindow2"));
    expectScrolling("scrolledwindow2", GTK_POLICY_EXTERNAL, GTK_POLICY_AUTOMATIC);
    expectReadOnlyView("review_text", GTK_WRAP_WORD_CHAR);
    EXPECT_EQ(textViewText(find("review_text")), "");
}

TEST_F(PagesTest, RunPageScrollsItsOutputWithAnUnfocusableBar) {
    GtkWidget* page = build(createRunMainArea, "run_main_area");
    EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(page)), GTK_ORIENTATION_VERTICAL);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(page)), 4);
    expectPageLabel("run_label", textOf(12), 509, 0.0f, 0.5f);
    EXPECT_EQ(parentOf("hbox2"), page);
    GtkWidget* term = find("run_term");
    expectReadOnlyView("run_term", GTK_WRAP_WORD_CHAR);
    GtkWidget* scrolled = gtk_widget_get_parent(term);
    ASSERT_TRUE(GTK_IS_SCROLLED_WINDOW(scrolled));
    EXPECT_EQ(gtk_widget_get_parent(scrolled), find("hbox2"));
    GtkPolicyType h, v;
    gtk_scrolled_window_get_policy(GTK_SCROLLED_WINDOW(scrolled), &h, &v);
    EXPECT_EQ(h, GTK_POLICY_EXTERNAL);
    EXPECT_EQ(v, GTK_POLICY_ALWAYS);

    GtkWidget* bar = find("run_vscrollbar");
    ASSERT_TRUE(GTK_IS_SCROLLBAR(bar));
    EXPECT_EQ(bar, gtk_scrolled_window_get_vscrollbar(GTK_SCROLLED_WINDOW(scrolled)));
    EXPECT_FALSE(gtk_widget_get_can_focus(bar));
    EXPECT_EQ(gtk_range_get_adjustment(GTK_RANGE(bar)),
              gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(term)));
}

TEST_F(PagesTest, ShownRunPageScrollsLongOutputAndKeepsItsSize) {
    GtkWidget* page = build(createRunMainArea, "run_main_area");
    gtk_box_pack_start(GTK_BOX(find("vbox1")), page, TRUE, TRUE, 0);
    gtk_widget_show(window);
    drainEvents();
    const int width = gtk_widget_get_allocated_width(window);
    for (int i = 0; i < 200; ++i) appendTextView(find("run_term"), "a line of install output\n");
    appendTextView(find("run_term"), (std::string(3000, '#') + "\n").c_str());
    drainEvents();
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(find("run_vscrollbar")));
    EXPECT_GT(gtk_adjustment_get_upper(adjustment), gtk_adjustment_get_page_size(adjustment));
    EXPECT_TRUE(gtk_widget_get_mapped(find("run_vscrollbar")));
    // Neither many lines nor a very long one grow the window.
    EXPECT_LT(gtk_widget_get_allocated_height(window), 700);
    EXPECT_EQ(gtk_widget_get_allocated_width(window), width);
    gtk_container_remove(GTK_CONTAINER(find("vbox1")), page);
}

}  // namespace
