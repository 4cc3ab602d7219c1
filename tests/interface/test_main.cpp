// Initialises GTK once, gives the tests a private working directory holding
// their text database, and runs them.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

#include "resdb/language_db.h"
#include "services/string_service.h"
#include "test_support.h"
#include "tests/support/scratch_dir.h"

const char* const TestLocale = "en_US.UTF-8";

namespace {
const unsigned TextIds[] = {0,  1,  2,  3,  4,  8,  9,  10, 11, 12,   13,   14,   15,   16,   17,
                            18, 19, 20, 21, 23, 25, 26, 27, 28, 29,   31,   32,   33,   34,   35,
                            36, 37, 38, 39, 40, 41, 42, 43, 44, 45,   46,   47,   48,   49,   50,
                            51, 52, 53, 54, 55, 56, 57, 58, 59, 1000, 1001, 1003, 1004, 1005, 2004};
}  // namespace

std::string textOf(unsigned id) {
    return "text " + std::to_string(id);
}

void installTexts(const std::map<unsigned, std::string>& overrides) {
    stringUnInit();
    {
        LanguageDB_C db;
        for (unsigned id : TextIds) {
            auto over = overrides.find(id);
            db.AddString(Language_C(), id, over != overrides.end() ? over->second : textOf(id));
        }
        ASSERT_TRUE(db.Store("setupresDB"));
    }
    ASSERT_EQ(stringInit(), 1);
}

void removeFile(const std::string& name) {
    std::remove(name.c_str());
}

std::string labelText(GtkWidget* label) {
    return label ? gtk_label_get_text(GTK_LABEL(label)) : "<no label>";
}

std::string textViewText(GtkWidget* view) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
    std::string result(text);
    g_free(text);
    return result;
}

void drainEvents() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("LC_ALL", TestLocale, 1);
    setenv("LANG", TestLocale, 1);
    gtk_init(&argc, &argv);

    // The working directory goes back before the scratch directory is removed.
    std::optional<ScratchDir> work;
    std::optional<ChangeDir> into;
    try {
        work.emplace("stage3-ui");
        into.emplace(work->path());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cannot make a working directory: %s\n", error.what());
        return 1;
    }
    installTexts();
    int status = RUN_ALL_TESTS();
    stringUnInit();
    return status;
}
