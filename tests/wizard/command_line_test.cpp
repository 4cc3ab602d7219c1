// The answers file and the component lists of the command line.
#include "wizard/command_line.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "services/text_format.h"

namespace {

TEST(Answers, FileAndListsAreReadOrNamedInTheError) {
    struct Case {
        const char* text;
        bool ok;
        int setupType;
        int components;
        bool accepted;
        const char* error;  // start of the message
    };
    const Case cases[] = {
        {"[stage3]\naccept-license=true\nsetup-type=custom\ncomponents=driver;notifier;\n", true, 2,
         0x14, true, ""},
        {"# comment\n[stage3]\ncomponents= web-server ; snmp-agent\n", true, -1, 0x09, false, ""},
        {"[stage3]\naccept-license=false\nsetup-type=compact\n", true, 1, -1, false, ""},
        {"[stage3]\ncomponents=\n", true, -1, 0, false, ""},
        // The command line's ',' as well, also mixed with ';'.
        {"[stage3]\ncomponents=managed-system,notifier\n", true, -1, 0x06, false, ""},
        {"[stage3]\ncomponents=web-server, snmp-agent;driver\n", true, -1, 0x19, false, ""},
        {"[stage3]\nsetup-type=Typical\n", false, -1, -1, false,
         "key setup-type: unknown setup type 'Typical'"},
        {"[stage3]\ncomponents=driver;printer\n", false, -1, -1, false,
         "key components: unknown component 'printer'"},
        {"[stage3]\naccept-license=yes\n", false, -1, -1, false,
         "key accept-license: true or false, not 'yes'"},
        {"[stage3]\nlanguage=de\n", false, -1, -1, false, "unknown key 'language'"},
        {"[setup]\naccept-license=true\n", false, -1, -1, false, "unknown group [setup]"},
        {"accept-license=true\n", false, -1, -1, false, "Key file does not start with a group"},
        {"[stage3]\nno key here\n", false, -1, -1, false, "Key file contains line"},
        {"[stage3]\ntrust-medium-key=true\nrequire-signatures=true\n", true, -1, -1, false, ""},
        {"[stage3]\ntrust-medium-key=yes\n", false, -1, -1, false,
         "key trust-medium-key: true or false, not 'yes'"},
        {"[stage3]\nkeep-packages=false\n", true, -1, -1, false, ""},
    };
    for (const Case& c : cases) {
        Choices choices;
        std::string error;
        ASSERT_EQ(parseAnswers(c.text, &choices, &error), c.ok) << c.text << error;
        if (c.ok) {
            EXPECT_EQ(choices.setupType, c.setupType) << c.text;
            EXPECT_EQ(choices.components, c.components) << c.text;
            EXPECT_EQ(choices.acceptLicense, c.accepted) << c.text;
            bool checkKeys = std::string(c.text).find("trust-medium-key") != std::string::npos;
            EXPECT_EQ(choices.trustMediumKey, checkKeys) << c.text;
            EXPECT_EQ(choices.requireSignatures, checkKeys) << c.text;
            EXPECT_EQ(choices.keepPackages,
                      std::string(c.text).find("keep-packages=false") == std::string::npos);
        } else {
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave: " << error;
        }
    }
    int components = 0;
    std::string error;
    EXPECT_TRUE(parseComponentList("managed-system,driver", ',', &components, &error));
    EXPECT_EQ(components, 0x12);
    EXPECT_FALSE(parseComponentList("managed-system;driver", ',', &components, &error));
}

TEST(TextFormat, ValuesGoInOrderAndNothingElseIsADirective) {
    EXPECT_EQ(fillText("%s needs %s.", {"Notifier", "Managed system"}),
              "Notifier needs Managed system.");
    EXPECT_EQ(fillText("100%d %n %s", {"x"}), "100%d %n x");
    EXPECT_EQ(fillText("%s and %s", {"one"}), "one and %s");
    EXPECT_EQ(fillText("none", {"a", "b"}), "none");
}

// A cut never splits a character: whole UTF-8 sequences, and in the locale's encoding
// its characters, a byte that forms none counting as one.
TEST(TextFormat, CutsWholeCharacters) {
    const char* previous = setlocale(LC_CTYPE, nullptr);
    std::string saved = previous ? previous : "C";
    ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    struct {
        std::string text;
        std::size_t characters;
        TextEncoding encoding;
        std::string cut;
    } cases[] = {
        {"abc", 2, TextEncoding::Utf8, "ab"},
        {"\xC3\xA9t\xC3\xA9", 2, TextEncoding::Utf8, "\xC3\xA9t"},
        {"\xE5\xAE\x8C", 1, TextEncoding::Utf8, "\xE5\xAE\x8C"},
        {"ab", 5, TextEncoding::Utf8, "ab"},
        {"\xC3\xA9t\xC3\xA9", 2, TextEncoding::Locale, "\xC3\xA9t"},
        {"\xFF\xC3\xA9x", 2, TextEncoding::Locale, "\xFF\xC3\xA9"},
        {"\xC3", 3, TextEncoding::Locale, "\xC3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cutToCharacters(c.text, c.characters, c.encoding), c.cut) << c.text;
    setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
