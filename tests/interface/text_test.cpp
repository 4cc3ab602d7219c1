// The UTF-8 rule for texts handed to widgets, and the license text.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "interface/dialogs.h"
#include "interface/main_window.h"
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "services/string_service.h"
#include "test_support.h"
#include "wizard/tables.h"

namespace {

std::string adopt(gchar* text) {
    std::string result = text ? text : "<null>";
    g_free(text);
    return result;
}

const char* const Latin1Locale = "de_DE.ISO-8859-1";
const std::string Replacement = "\xEF\xBF\xBD";  // U+FFFD

TEST(TextEncoding, ExternalTextInEachLocale) {
    struct Case {
        const char* locale;
        std::string input;
        std::string expected;
    } cases[] = {
        // Valid UTF-8 is kept whatever the locale.
        {TestLocale,
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {Latin1Locale,
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        // Other text is read in the locale encoding ...
        {Latin1Locale,
         "Gr\xFC\xDF"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        // ... and where that fails, every invalid byte is shown as U+FFFD.
        {TestLocale,
         "Gr\xFC\xDF"
         "e",
         "Gr" + Replacement + Replacement + "e"},
        {TestLocale, "end\xE2\x82", "end" + Replacement + Replacement},
        {TestLocale, "", ""},
    };
    for (const Case& c : cases) {
        LocaleGuard scope(c.locale);
        ASSERT_TRUE(scope.ok()) << c.locale;
        std::string out = adopt(externalToUtf8(c.input.c_str(), -1));
        EXPECT_EQ(out, c.expected) << c.locale << " " << c.input;
        EXPECT_TRUE(g_utf8_validate(out.c_str(), -1, nullptr));
    }
}

TEST(TextEncoding, ExternalTextEndsAtLengthOrNul) {
    EXPECT_EQ(adopt(externalToUtf8("abcdef", 3)), "abc");
    EXPECT_EQ(adopt(externalToUtf8("ab\0cd", 5)), "ab");
    EXPECT_EQ(adopt(externalToUtf8(nullptr, -1)), "");
}

TEST(TextEncoding, LocaleTextIsConvertedNeverDropped) {
    {
        LocaleGuard scope(Latin1Locale);
        ASSERT_TRUE(scope.ok());
        EXPECT_EQ(adopt(localeToUtf8("\xE9t\xE9")), "\xC3\xA9t\xC3\xA9");
    }
    EXPECT_EQ(adopt(localeToUtf8("\xC3\xA9t\xC3\xA9")), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(adopt(localeToUtf8("a\xFF"
                                 "b")),
              "a" + Replacement + "b");
    EXPECT_EQ(adopt(localeToUtf8(nullptr)), "");
}

TEST(TextEncoding, LabelAndViewHelpers) {
    GtkWidget* label = static_cast<GtkWidget*>(g_object_ref_sink(gtk_label_new("old")));
    {
        LocaleGuard scope(Latin1Locale);
        setLabelText(label, "K\xE4se");
    }
    EXPECT_EQ(labelText(label), "K\xC3\xA4se");
    g_object_unref(label);

    GtkWidget* view =
        static_cast<GtkWidget*>(g_object_ref_sink(newReadOnlyTextView(GTK_WRAP_NONE)));
    appendTextView(view, "one\n");
    // Output is appended at the end even when the cursor was put elsewhere.
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
    appendTextView(view, "tw\xF6\n");
    EXPECT_EQ(textViewText(view), "one\ntw" + Replacement + "\n");
    g_object_unref(view);
}

TEST(TextLimits, DatabaseTextsAreCutAtCharacters) {
    // Two-byte characters: a cut inside one would not be valid UTF-8.
    auto text = [](glong chars) {
        std::string result;
        for (glong i = 0; i < chars; ++i) result += "\xC3\xA9";
        return result;
    };
    installTexts({{1000, text(20000)},
                  {16, text(20000)},
                  {18, text(20000)},
                  {0, text(20000)},
                  {1001, text(20000)}});
    GtkWidget* window = createMainWindow();
    GtkWidget* page = createIntroMainArea(window);
    GtkWidget* dialog = createExitDialog();
    // The wizard sets the page title, the Next label and page labels later.
    GtkWidget* nextLabel = gtk_bin_get_child(GTK_BIN(lookupWidget(window, "dialog_next_button")));
    for (const char* name : {"dialog_title", "intro_label"})
        setLabelText(lookupWidget(window, name), getString(1001));
    setLabelText(nextLabel, getString(1001));
    struct {
        const char* what;
        std::string shown;
        glong chars;
    } cases[] = {
        {"window title", gtk_window_get_title(GTK_WINDOW(window)), TitleTextLimit},
        {"dialog title", gtk_window_get_title(GTK_WINDOW(dialog)), TitleTextLimit},
        {"button", gtk_button_get_label(GTK_BUTTON(lookupWidget(window, "dialog_back_button"))),
         TitleTextLimit},
        {"dialog label", labelText(lookupWidget(dialog, "exit_label")), LabelTextLimit},
        {"page title", labelText(lookupWidget(window, "dialog_title")), TitleTextLimit},
        {"next label", labelText(nextLabel), TitleTextLimit},
        {"page label", labelText(lookupWidget(window, "intro_label")), LabelTextLimit},
    };
    for (auto& c : cases) EXPECT_EQ(c.shown, text(c.chars)) << c.what;

    gtk_widget_destroy(dialog);
    gtk_widget_destroy(page);
    g_object_unref(page);
    gtk_widget_destroy(window);
    drainEvents();
    installTexts();
}

class LicenseTextTest : public ::testing::Test {
  protected:
    void TearDown() override {
        removeFile("license.txt");
        rmdir("license.txt");
    }
    std::string licenseText() { return adopt(getLicenseText()); }
};

TEST_F(LicenseTextTest, LinesAreFoldedIntoParagraphs) {
    struct {
        std::string file;
        std::string shown;
    } cases[] = {
        {"A\nB\n\nC\n\n\n", "A B\n\nC"},
        {"A\r\nB\r\n\r\nC\r\n", "A\r B\r \r C\r"},
        {"A\n\n\nB", "A\n\n B"},
        {"A\n\n\n\nB", "A\n\n\n\nB"},
        {"no newline", "no newline"},
        {"\n\n\n", ""},
        {"", ""},
        {"cut\nhere\0after", "cut here"},
    };
    for (auto& c : cases) {
        writeFile("license.txt", c.file);
        EXPECT_EQ(licenseText(), c.shown) << "file: " << c.file;
    }
}

TEST_F(LicenseTextTest, LongFileIsCutAtACharacterWithANote) {
    const size_t limit = 1024 * 1024;
    const std::string a(limit, 'a');
    const std::string note = "\n\n" + textOf(2004);
    struct {
        std::string file;
        std::string shown;
    } cases[] = {
        {a, a},
        // Folding applies to what is kept.
        {"A\nB" + a, "A B" + a.substr(3) + note},
        {a.substr(1) + "\n\nmore", a.substr(1) + note},
        // A character across the limit is left out whole.
        {a.substr(2) + "\xE2\x82\xAC", a.substr(2) + note},
        // A NUL ends the text before the limit does.
        {std::string("ab\0", 3) + a, "ab"},
    };
    for (auto& c : cases) {
        writeFile("license.txt", c.file);
        EXPECT_EQ(licenseText(), c.shown) << c.file.substr(0, 8);
    }

    // The view shows the same, in UTF-8.
    GtkWidget* window = createMainWindow();
    writeFile("license.txt", a.substr(2) + "\xE2\x82\xAC");
    GtkWidget* page = createLicenseMainArea(window);
    EXPECT_EQ(textViewText(lookupWidget(window, "license_text")), a.substr(2) + note);
    gtk_widget_destroy(page);
    g_object_unref(page);
    gtk_widget_destroy(window);
    drainEvents();
}

TEST_F(LicenseTextTest, MissingOrUnreadableFileGivesTheStandInText) {
    removeFile("license.txt");
    EXPECT_EQ(licenseText(), textOf(54));

    // A directory of that name is no license file.
    ASSERT_EQ(mkdir("license.txt", 0700), 0);
    EXPECT_EQ(licenseText(), textOf(54));
    rmdir("license.txt");

    if (geteuid() != 0) {
        writeFile("license.txt", "secret");
        chmod("license.txt", 0);
        EXPECT_EQ(licenseText(), textOf(54));
    }
}

TEST_F(LicenseTextTest, LicenseViewShowsAnyFileAsUtf8) {
    GtkWidget* window = createMainWindow();
    writeFile("license.txt",
              "Gr\xFC\xDF"
              "e\nan alle\n");
    GtkWidget* page = createLicenseMainArea(window);
    GtkWidget* view = lookupWidget(page, "license_text");
    ASSERT_EQ(view, nullptr);  // the page is not in the window yet
    view = lookupWidget(window, "license_text");
    ASSERT_NE(view, nullptr);
    std::string shown = textViewText(view);
    EXPECT_TRUE(g_utf8_validate(shown.c_str(), -1, nullptr));
    EXPECT_EQ(shown, "Gr" + Replacement + Replacement + "e an alle");

    // Under a Latin-1 locale the same bytes are read as Latin-1. A second
    // page replaces the first one's registrations.
    GtkWidget* page2 = nullptr;
    {
        LocaleGuard scope(Latin1Locale);
        page2 = createLicenseMainArea(window);
    }
    EXPECT_EQ(textViewText(lookupWidget(window, "license_text")),
              "Gr\xC3\xBC\xC3\x9F"
              "e an alle");

    removeFile("license.txt");
    GtkWidget* page3 = createLicenseMainArea(window);
    EXPECT_EQ(textViewText(lookupWidget(window, "license_text")), textOf(54));

    for (GtkWidget* p : {page, page2, page3}) {
        gtk_widget_destroy(p);
        g_object_unref(p);
    }
    gtk_widget_destroy(window);
    drainEvents();
}

}  // namespace
