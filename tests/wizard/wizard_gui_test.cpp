// The wizard built in this process on a real display: pages, navigation, selection.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "interface/exit_paths.h"
#include "interface/gui.h"
#include "interface/install_run.h"
#include "interface/main_window.h"
#include "interface/navigation.h"
#include "interface/pages.h"
#include "tests/wizard/wizard_fixture.h"
#include "wizard/wizard.h"

namespace {

const std::vector<std::string> AllPages = {
    "intro_main_area",  "license_main_area", "setuptype_main_area", "components_main_area",
    "review_main_area", "run_main_area",     "finish_main_area"};

class WizardWindow : public ::testing::Test {
  protected:
    WizardFixture wizard;
};

TEST_F(WizardWindow, IncludesEveryPageButKernelRebuildByDefault) {
    wizard.start();
    EXPECT_EQ(wizard.pageNames(), AllPages);
    EXPECT_EQ(wizard.widget("kernelRebuild_label"), nullptr);
    EXPECT_EQ(wizard.currentPage(), "intro_main_area");
    EXPECT_EQ(wizard.labelText("dialog_title"), WizardFixture::uiText(28));
    EXPECT_FALSE(gtk_widget_get_visible(wizard.widget("dialog_back_button")));
    EXPECT_TRUE(wizard.sensitive("dialog_cancel_button"));
}

TEST_F(WizardWindow, LicensePageHasItsOwnNextLabel) {
    WizardOptions options;
    options.showLicense = "ENABLED ";  // not recognised: the page stays
    wizard.start(options);
    wizard.click("dialog_next_button");
    EXPECT_EQ(wizard.currentPage(), "license_main_area");
    // "I _Agree": shown without the underscore, Alt+A presses it.
    GtkWidget* next = wizard.widget("dialog_next_button");
    EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(next)), WizardFixture::uiText(36));
    GtkLabel* shown = GTK_LABEL(gtk_bin_get_child(GTK_BIN(next)));
    EXPECT_EQ(gtk_label_get_text(shown), std::string("I Agree"));
    EXPECT_EQ(gtk_label_get_mnemonic_keyval(shown), static_cast<guint>(GDK_KEY_a));
    EXPECT_TRUE(gtk_widget_get_visible(wizard.widget("dialog_back_button")));
}

// Where the window and its Next button are on the screen, once laid out.
std::vector<int> placeOf(GtkWidget* window, GtkWidget* next) {
    runUntil([] { return !gtk_events_pending(); }, 500);
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(next, window, 0, 0, &x, &y);
    return {gtk_widget_get_allocated_width(window), gtk_widget_get_allocated_height(window), x, y};
}

bool everyPageShown(GtkWidget* window) {
    for (int i = 0; pageWidget(window, i); ++i)
        if (!gtk_widget_get_visible(pageWidget(window, i)))
            return false;
    return true;
}

// Whether the page on screen fits its window without scrolling.
bool pageFits(GtkWidget* scrolled) {
    GtkAdjustment* down = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
    return gtk_adjustment_get_upper(down) <= gtk_adjustment_get_page_size(down);
}

TEST_F(WizardWindow, PagesShareOneStackAndNothingMovesBetweenThem) {
    wizard.start();
    GtkWidget* stack = wizard.widget("pages_stack");
    GtkWidget* next = wizard.widget("dialog_next_button");
    for (int i = 0; pageWidget(wizard.window(), i); ++i)
        EXPECT_EQ(gtk_widget_get_parent(pageWidget(wizard.window(), i)), stack);
    // The window is mapped with the size it keeps once every page is in it, after its
    // first frame.
    GdkWindow* mapped = gtk_widget_get_window(wizard.window());
    const std::vector<int> mappedSize = {gdk_window_get_width(mapped),
                                         gdk_window_get_height(mapped)};
    EXPECT_TRUE(runUntil([&] { return everyPageShown(wizard.window()); }, 5000));
    const std::vector<int> first = placeOf(wizard.window(), next);
    EXPECT_EQ(std::vector<int>(first.begin(), first.begin() + 2), mappedSize);
    // Welcome, license, setup type, components, review, and back again.
    const char* steps[] = {"dialog_next_button", "dialog_next_button", "setuptype2_enable",
                           "dialog_next_button", "dialog_next_button", "dialog_back_button",
                           "dialog_back_button", "dialog_back_button", "dialog_back_button"};
    for (const char* step : steps) {
        if (std::string(step) == "setuptype2_enable")
            wizard.toggle(step, true);
        else
            wizard.click(step);
        EXPECT_EQ(gtk_stack_get_visible_child(GTK_STACK(stack)),
                  g_object_get_data(G_OBJECT(wizard.window()), "current_main_area"));
        EXPECT_EQ(placeOf(wizard.window(), next), first) << "on " << wizard.currentPage();
        // The screen has room for the largest page.
        EXPECT_TRUE(pageFits(wizard.widget("pages_scrolledwindow"))) << wizard.currentPage();
    }
    EXPECT_EQ(wizard.currentPage(), "intro_main_area");
}

// The pixels of a widget as it draws itself now.
std::vector<unsigned char> pixelsOf(GtkWidget* widget) {
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, area.width, area.height);
    cairo_t* cr = cairo_create(surface);
    gtk_widget_draw(widget, cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    std::vector<unsigned char> pixels(
        data, data + static_cast<size_t>(cairo_image_surface_get_stride(surface)) * area.height);
    cairo_surface_destroy(surface);
    return pixels;
}

TEST_F(WizardWindow, CheckMarksComeInAfterTheFirstFrame) {
    GtkCssProvider* marks = leaveCheckMarksOut();
    ASSERT_NE(marks, nullptr);
    wizard.start();
    wizard.click("dialog_next_button");
    wizard.click("dialog_next_button");
    ASSERT_EQ(wizard.currentPage(), "setuptype_main_area");
    GtkWidget* chosen = wizard.widget("setuptype0_enable");
    ASSERT_TRUE(wizard.active("setuptype0_enable"));
    // Settled first: laid out, and faded into its state.
    ASSERT_TRUE(runUntil([&] { return gtk_widget_get_allocated_width(chosen) > 1; }, 5000));
    std::vector<unsigned char> unmarked = pixelsOf(chosen);
    runUntil([&] {
        g_usleep(100 * 1000);
        std::vector<unsigned char> now = pixelsOf(chosen);
        std::swap(now, unmarked);
        return now == unmarked;
    });
    bringCheckMarksInAfterFirstFrame(wizard.window(), marks);
    gtk_widget_queue_draw(wizard.window());
    EXPECT_TRUE(runUntil([&] { return pixelsOf(chosen) != unmarked; }, 5000))
        << "the chosen setup type shows no mark";
}

TEST_F(WizardWindow, NotifierLocksManagedSystem) {
    wizard.start();
    wizard.click("dialog_next_button");
    wizard.click("dialog_next_button");
    wizard.toggle("setuptype2_enable", true);
    wizard.click("dialog_next_button");
    // Managed system cannot be deselected while the notifier needs it.
    wizard.toggle("component1_enable", false);
    EXPECT_TRUE(wizard.active("component1_enable"));
    for (const char* name :
         {"component2_enable", "component0_enable", "component1_enable", "component3_enable"})
        wizard.toggle(name, false);
    EXPECT_EQ(wizard.state().selection().components, 0);
    EXPECT_TRUE(wizard.sensitive("component1_enable"));

    wizard.toggle("component2_enable", true);
    EXPECT_EQ(wizard.state().selection().components, 0x06);
    EXPECT_TRUE(wizard.active("component1_enable"));
    EXPECT_FALSE(wizard.sensitive("component1_enable"));
    EXPECT_FALSE(wizard.sensitive("component1_label"));

    wizard.toggle("component2_enable", false);
    EXPECT_EQ(wizard.state().selection().components, 0x02);
    EXPECT_TRUE(wizard.active("component1_enable"));
    EXPECT_TRUE(wizard.sensitive("component1_enable"));
    EXPECT_TRUE(wizard.sensitive("component1_label"));
}

TEST_F(WizardWindow, ReviewTextIsReplacedOnEveryVisit) {
    WizardOptions options;
    options.snmpUnderTypical = "no";
    wizard.start(options);
    wizard.click("dialog_next_button");
    wizard.click("dialog_next_button");
    wizard.click("dialog_next_button");
    ASSERT_EQ(wizard.currentPage(), "review_main_area");
    std::string typical = wizard.viewText("review_text");
    EXPECT_EQ(typical, WizardFixture::uiText(25) + "\t" + WizardFixture::uiText(38) + "\n\n" +
                           WizardFixture::uiText(26) + "\t" + WizardFixture::uiText(44) + "\n\t" +
                           WizardFixture::uiText(45) + "\n\t" + WizardFixture::uiText(46) + "\n");

    wizard.click("dialog_back_button");
    wizard.toggle("setuptype2_enable", true);
    wizard.click("dialog_next_button");
    for (const char* name : {"component2_enable", "component0_enable", "component1_enable"})
        wizard.toggle(name, false);
    wizard.click("dialog_next_button");
    EXPECT_EQ(wizard.viewText("review_text"),
              WizardFixture::uiText(25) + "\t" + WizardFixture::uiText(40) + "\n\n" +
                  WizardFixture::uiText(26) + "\t" + WizardFixture::uiText(27) + "\n");
}

TEST_F(WizardWindow, CancelThenNoKeepsThePage) {
    wizard.start();
    wizard.click("dialog_next_button");
    std::string title = wizard.labelText("dialog_title");
    clickWhenShown("exit_dialog", "exit_no_button");
    wizard.click("dialog_cancel_button");  // runs the exit question until No
    EXPECT_EQ(wizard.currentPage(), "license_main_area");
    EXPECT_EQ(wizard.labelText("dialog_title"), title);
    EXPECT_TRUE(gtk_widget_get_visible(wizard.window()));
}

TEST_F(WizardWindow, NothingSelectedRunsNothingAndFinishesQuietly) {
    wizard.start();
    wizard.click("dialog_next_button");
    wizard.click("dialog_next_button");
    wizard.toggle("setuptype2_enable", true);
    wizard.click("dialog_next_button");
    for (const char* name :
         {"component2_enable", "component0_enable", "component1_enable", "component3_enable"})
        wizard.toggle(name, false);
    wizard.click("dialog_next_button");
    wizard.click("dialog_next_button");
    ASSERT_EQ(wizard.currentPage(), "run_main_area");
    EXPECT_TRUE(wizard.sensitive("dialog_next_button"));
    EXPECT_EQ(wizard.viewText("run_term"), "");
    EXPECT_EQ(access("/tmp/quorvelInstallSettings", F_OK), -1);
    wizard.click("dialog_next_button");
    ASSERT_EQ(wizard.currentPage(), "finish_main_area");
    EXPECT_EQ(wizard.labelText("finish_label"), WizardFixture::uiText(2010));
    EXPECT_EQ(wizard.labelText("see_read_me"), "");
}

TEST_F(WizardWindow, InstallThatCannotStartShowsTheFailureForm) {
    // No application package on this medium: nothing can be copied for the install, so
    // it does not start, and the run page ends on the failure form with the reason.
    WizardOptions options;
    options.autoSelect = "COMPACT";
    wizard.start(options);
    wizard.click("dialog_next_button");
    wizard.click("dialog_next_button");
    ASSERT_EQ(wizard.currentPage(), "review_main_area");
    wizard.click("dialog_next_button");
    ASSERT_EQ(wizard.currentPage(), "run_main_area");
    ASSERT_TRUE(runUntil([&] {
        return wizard.sensitive("dialog_next_button") &&
               wizard.labelText("dialog_title") == WizardFixture::uiText(2041);
    }));
    EXPECT_FALSE(wizard.state().installed());
    const std::string reason = WizardFixture::uiText(2000);
    EXPECT_NE(wizard.viewText("run_term").find(reason), std::string::npos);
    EXPECT_EQ(wizard.viewText("run_term").find("%%"), std::string::npos);
    EXPECT_EQ(wizard.labelText("run_label"), WizardFixture::uiText(2043));
    EXPECT_EQ(access("/tmp/quorvelInstallSettings", F_OK), -1);
    wizard.click("dialog_next_button");
    ASSERT_EQ(wizard.currentPage(), "finish_main_area");
    EXPECT_EQ(wizard.labelText("finish_label"), WizardFixture::uiText(14));
    // The reason, then what rpm has installed after it.
    const std::string note = wizard.labelText("see_read_me");
    EXPECT_EQ(note.rfind(reason, 0), 0u) << note;
    EXPECT_NE(note.find(WizardFixture::uiText(2429)), std::string::npos) << note;
    EXPECT_EQ(wizard.labelText("register_controller"), "");
}

// The run page alone, in a window of its own.
class RunPage : public ::testing::Test {
  protected:
    void SetUp() override {
        window = createMainWindow();
        gtk_box_pack_start(GTK_BOX(lookupWidget(window, "vbox1")), createRunMainArea(window), TRUE,
                           TRUE, 0);
        gtk_widget_show(window);
        view = lookupWidget(window, "run_term");
        adjustment = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(view));
        settle();
    }
    void TearDown() override { gtk_widget_destroy(window); }

    void settle() {
        for (int i = 0; i < 50; ++i) runUntil([] { return !gtk_events_pending(); }, 200);
    }
    void appendLines(int count) {
        for (int i = 0; i < count; ++i)
            appendOutput(view, ("line " + std::to_string(i) + "\n").c_str());
        settle();
    }
    bool atBottom() {
        return gtk_adjustment_get_value(adjustment) + gtk_adjustment_get_page_size(adjustment) >=
               gtk_adjustment_get_upper(adjustment) - 1.0;
    }
    // Scrolls as the user would, with the mouse wheel over the view.
    void userScrollTo(double value) {
        gtk_adjustment_set_value(adjustment, value);
        GdkEvent* event = gdk_event_new(GDK_SCROLL);
        event->scroll.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
        event->scroll.direction = GDK_SCROLL_UP;
        gtk_widget_event(view, event);
        gdk_event_free(event);
        settle();
    }

    GtkWidget* window = nullptr;
    GtkWidget* view = nullptr;
    GtkAdjustment* adjustment = nullptr;
};

TEST_F(RunPage, OutputFollowsTheNewestLineUntilTheUserScrollsUp) {
    appendLines(300);
    ASSERT_GT(gtk_adjustment_get_upper(adjustment), gtk_adjustment_get_page_size(adjustment));
    EXPECT_TRUE(atBottom());

    userScrollTo(0);
    appendLines(100);
    EXPECT_EQ(gtk_adjustment_get_value(adjustment), 0);

    userScrollTo(gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment));
    appendLines(100);
    EXPECT_TRUE(atBottom());
}

TEST_F(WizardWindow, OutputKeepsTheNewestLinesAndSaysThatEarlierOnesWereDropped) {
    wizard.start();
    GtkWidget* view = wizard.widget("run_term");
    for (int i = 0; i < 12000; ++i)
        appendOutput(view, ("line " + std::to_string(i) + "\n").c_str());
    std::string text = wizard.viewText("run_term");
    size_t lines = std::count(text.begin(), text.end(), '\n');
    EXPECT_LE(lines, 10000u + 500u + 1u);
    EXPECT_GE(lines, 10000u);
    EXPECT_FALSE(WizardFixture::uiText(2002).empty());
    EXPECT_EQ(text.substr(0, text.find('\n')), WizardFixture::uiText(2002));
    EXPECT_EQ(text.substr(text.find('\n') + 1, 10),
              "line " + std::to_string(12000 - (lines - 1)) + "\n");
    EXPECT_EQ(text.substr(text.size() - 11), "line 11999\n");
}

}  // namespace

int main(int argc, char** argv) {
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    gtk_init(&argc, &argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
