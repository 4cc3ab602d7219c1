// Keyboard access and the layout that holds: access keys in button labels, the
// focus frame of the text views, the window's size over every page and the room
// between an option and its description.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

#include "services/mnemonic.h"
#include "test_support.h"

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

}  // namespace
