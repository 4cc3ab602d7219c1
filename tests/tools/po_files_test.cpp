// PO reading and writing of the resdb tool, without a process.
#include "tools/po_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/test_support.h"

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

TEST(PoFiles, ReadsEscapesMultiLineAndSkipsUntranslatedEntries) {
    PoCatalog catalog;
    std::vector<std::string> errors;
    ASSERT_TRUE(readPoCatalog(dataPath("medium/en_US.po"), catalog, errors)) << joined(errors);
    EXPECT_EQ("en", catalog.language);
    EXPECT_EQ("US", catalog.region);
    std::map<std::uint32_t, std::string> expected = {
        {1, "Setup"},
        {2, "Tab:\t Quote:\" Backslash:\\ End"},
        {3, "First line\nSecond line\nThird line without newline"},
        {4, "English only"},
        {4294967295u, "max"},
    };
    // 5 is fuzzy, 6 has an empty msgstr, 7 is obsolete; the header is no entry.
    EXPECT_EQ(expected, catalog.values);
}

TEST(PoFiles, KeepsNonAsciiTextAndThreeCharacterRegions) {
    PoCatalog german, japanese, latin;
    std::vector<std::string> errors;
    ASSERT_TRUE(readPoCatalog(dataPath("medium/de_DE.po"), german, errors)) << joined(errors);
    ASSERT_TRUE(readPoCatalog(dataPath("medium/ja_JP.po"), japanese, errors)) << joined(errors);
    ASSERT_TRUE(readPoCatalog(dataPath("medium/es_419.po"), latin, errors)) << joined(errors);
    EXPECT_EQ(
        "Einrichtung f\xC3\xBCr Gr\xC3\xB6\xC3\x9F"
        "en \xC3\xA4\xC3\xB6\xC3\xBC "
        "\xC3\x84\xC3\x96\xC3\x9C \xC3\x9F",
        german.values.at(1));
    EXPECT_EQ("Erste Zeile\nZweite Zeile\n", german.values.at(3));
    EXPECT_EQ("\xE3\x82\xBB\xE3\x83\x83\xE3\x83\x88\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97",
              japanese.values.at(1));
    EXPECT_EQ("419", latin.region);
}

TEST(PoFiles, CatalogFileNames) {
    struct Case {
        const char* path;
        bool accepted;
        const char* language;
        const char* region;
    };
    const Case cases[] = {
        {"en_US.po", true, "en", "US"},   {"some/dir/de_DE.po", true, "de", "DE"},
        {"es_419.po", true, "es", "419"}, {"pt_BRA.po", true, "pt", "BRA"},
        {"german.po", false, "", ""},     {"de.po", false, "", ""},
        {"deu_DE.po", false, "", ""},     {"de_D.po", false, "", ""},
        {"de_DEUT.po", false, "", ""},    {"de-DE.po", false, "", ""},
        {"DE_de.po", false, "", ""},      {"de_DE.pot", false, "", ""},
        {"de_DE.po.bak", false, "", ""},  {"de_DE/", false, "", ""},
    };
    for (const Case& c : cases) {
        std::string language, region, error;
        EXPECT_EQ(c.accepted, parseCatalogFileName(c.path, language, region, error)) << c.path;
        if (c.accepted) {
            EXPECT_EQ(c.language, language) << c.path;
            EXPECT_EQ(c.region, region) << c.path;
        } else {
            EXPECT_NE(std::string::npos, error.find(c.path)) << error;
            EXPECT_NE(std::string::npos, error.find("LL_RR.po")) << error;
        }
    }
}

TEST(PoFiles, ResourceIdentifiers) {
    std::uint32_t id = 7;
    EXPECT_TRUE(parseResourceId("0", id));
    EXPECT_EQ(0u, id);
    EXPECT_TRUE(parseResourceId("4294967295", id));
    EXPECT_EQ(4294967295u, id);
    EXPECT_TRUE(parseResourceId("0042", id));
    EXPECT_EQ(42u, id);
    for (const char* bad :
         {"", "4294967296", "99999999999999999999", "-1", "+1", " 1", "1 ", "0x10", "1e3", "abc"}) {
        EXPECT_FALSE(parseResourceId(bad, id)) << '"' << bad << '"';
    }
}

// Each malformed file must be refused with a message that names the file and
// the line of the offending entry.
TEST(PoFiles, RefusesMalformedInputNamingFileAndLine) {
    struct Case {
        const char* name;
        const char* text;
        std::vector<std::string> expected;  // substrings of the messages
    };
    const std::string header =
        "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";  // 4 lines
    const Case cases[] = {
        {"syntax",
         "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"unterminated\n",
         {"en_US.po:8: end-of-line within string"}},
        {"keyword",
         "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\"\n\nmsgstring \"y\"\n",
         {"en_US.po:9:"}},
        {"duplicate identifier",
         "msgctxt \"10\"\nmsgid \"a\"\nmsgstr \"x\"\n\nmsgctxt \"11\"\nmsgid \"b\"\nmsgstr "
         "\"y\"\n\n"
         "msgctxt \"10\"\nmsgid \"c\"\nmsgstr \"z\"\n",
         {"en_US.po:13:", "identifier 10", "en_US.po:5"}},
        {"duplicate entry",
         "msgctxt \"10\"\nmsgid \"a\"\nmsgstr \"x\"\n\nmsgctxt \"10\"\nmsgid \"a\"\nmsgstr \"y\"\n",
         {"en_US.po:9:", "identifier 10", "en_US.po:5"}},
        {"duplicate among untranslated",
         "#, fuzzy\nmsgctxt \"3\"\nmsgid \"a\"\nmsgstr \"x\"\n\nmsgctxt \"03\"\nmsgid \"b\"\n"
         "msgstr \"\"\n",
         {"en_US.po:10:", "en_US.po:6"}},
        {"identifier not decimal",
         "msgctxt \"title\"\nmsgid \"a\"\nmsgstr \"x\"\n",
         {"en_US.po:5:", "\"title\""}},
        {"identifier too large",
         "msgctxt \"4294967296\"\nmsgid \"a\"\nmsgstr \"x\"\n",
         {"en_US.po:5:", "4294967296"}},
        {"negative identifier", "msgctxt \"-1\"\nmsgid \"a\"\nmsgstr \"x\"\n", {"en_US.po:5:"}},
        {"missing msgctxt", "msgid \"a\"\nmsgstr \"x\"\n", {"en_US.po:5:", "msgctxt"}},
        {"plural",
         "msgctxt \"1\"\nmsgid \"a\"\nmsgid_plural \"as\"\nmsgstr[0] \"x\"\n"
         "msgstr[1] \"y\"\n",
         {"en_US.po:5:", "plural"}},
        {"NUL escape",
         "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"cut\\0here\"\n",
         {"en_US.po:7:", "NUL"}},
        {"NUL hex escape",
         "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"\"\n\"cut\\x00here\"\n",
         {"en_US.po:8:", "NUL"}},
        {"invalid UTF-8",
         "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"Gr\xF6\xDF"
         "e\"\n",
         {"en_US.po:7:", "multibyte"}},
        {"context separator", "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"a\\004b\"\n", {"en_US.po:7:"}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const std::string path = dir.file("en_US.po");
        writeFile(path, header + c.text);
        PoCatalog catalog;
        std::vector<std::string> errors;
        EXPECT_FALSE(readPoCatalog(path, catalog, errors)) << c.name;
        const std::string messages = joined(errors);
        for (const std::string& expected : c.expected) {
            EXPECT_NE(std::string::npos, messages.find(expected))
                << c.name << ": expected \"" << expected << "\" in:\n"
                << messages;
        }
    }
}

TEST(PoFiles, RefusesOtherCharsetsUndeclaredLatin1AndDomains) {
    ScratchDir dir;
    const std::string latin = dir.file("de_DE.po");
    writeFile(latin,
              "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n"
              "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\"\n");
    const std::string domain = dir.file("fr_FR.po");
    writeFile(domain, "domain \"other\"\nmsgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\"\n");
    const std::string undeclared = dir.file("it_IT.po");
    writeFile(undeclared,
              "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"Gr\xF6\xDF"
              "e\"\n");
    PoCatalog catalog;
    std::vector<std::string> errors;
    EXPECT_FALSE(readPoCatalog(undeclared, catalog, errors));
    EXPECT_NE(std::string::npos, joined(errors).find("it_IT.po:1: msgstr is not valid UTF-8"))
        << joined(errors);
    errors.clear();
    EXPECT_FALSE(readPoCatalog(latin, catalog, errors));
    EXPECT_NE(std::string::npos, joined(errors).find("ISO-8859-1")) << joined(errors);
    errors.clear();
    EXPECT_FALSE(readPoCatalog(domain, catalog, errors));
    EXPECT_NE(std::string::npos, joined(errors).find("domain")) << joined(errors);
}

TEST(PoFiles, MissingFileIsAnError) {
    PoCatalog catalog;
    std::vector<std::string> errors;
    EXPECT_FALSE(readPoCatalog("/nonexistent/dir/en_US.po", catalog, errors));
    ASSERT_EQ(1u, errors.size());
    EXPECT_NE(std::string::npos, errors[0].find("/nonexistent/dir/en_US.po")) << errors[0];
}

TEST(PoFiles, ValuesPoCannotHold) {
    EXPECT_EQ("", poValueProblem("text"));
    EXPECT_NE("", poValueProblem(""));
    EXPECT_NE("", poValueProblem(std::string("a\0b", 3)));
    EXPECT_NE("", poValueProblem("a\x04"
                                 "b"));
    EXPECT_NE("", poValueProblem("\xC3"));              // cut UTF-8 sequence
    EXPECT_NE("", poValueProblem("\xC0\xAF"));          // overlong '/'
    EXPECT_NE("", poValueProblem("\xED\xA0\x80"));      // surrogate
    EXPECT_NE("", poValueProblem("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_EQ("", poValueProblem("\xF0\x9F\x98\x80"));  // U+1F600
}

TEST(PoFiles, MultiLineStringsBreakAfterEachNewline) {
    EXPECT_EQ("msgstr \"one line\\n\"\n", formatPoString("msgstr", "one line\n"));
    EXPECT_EQ("msgstr \"\"\n\"a\\n\"\n\"b\\n\"\n\"c\"\n", formatPoString("msgstr", "a\nb\nc"));
    EXPECT_EQ("msgid \"q\\\"b\\\\\"\n", formatPoString("msgid", "q\"b\\"));
}

// Whatever formatPoCatalog writes must read back to the same bytes: every
// control character, quotes, backslashes, digits after escapes, line breaks
// in every position and multi-byte UTF-8.
TEST(PoFiles, WrittenCatalogReadsBackUnchanged) {
    std::vector<PoOutputEntry> entries;
    std::string controls;
    for (int c = 1; c < 0x20; ++c) {
        if (c == 4) {
            continue;  // gettext's context separator
        }
        controls += static_cast<char>(c);
        controls += '7';  // a digit after an octal escape must stay a digit
    }
    controls +=
        "\x7F"
        "0";
    const std::vector<std::string> values = {
        controls,
        "\"quoted\" and \\backslash\\ and \\n literally",
        "\n",
        "\n\nleading breaks",
        "trailing break\n",
        "line 1\nline 2\n\nline 4\n",
        "\r\n windows \r\n",
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",
        "#, fuzzy\nmsgctxt \"9\"\nmsgid \"x\"",
        "%s %d {0} ${HOME} `cmd`",
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ("", poValueProblem(values[i])) << i;
        entries.push_back({static_cast<std::uint32_t>(100 + i), values[i], values[i]});
    }
    ScratchDir dir;
    const std::string path = dir.file("xx_YY.po");
    writeFile(path, formatPoCatalog("xx_YY", entries));
    PoCatalog catalog;
    std::vector<std::string> errors;
    ASSERT_TRUE(readPoCatalog(path, catalog, errors)) << joined(errors) << readFile(path);
    ASSERT_EQ(values.size(), catalog.values.size()) << readFile(path);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i], catalog.values[static_cast<std::uint32_t>(100 + i)]) << i;
    }
}

}  // namespace
