// The resdb commands called as functions: build, dump, list and get over real
// database files written and read by the resdb library.
#include "tools/resdb_commands.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "resdb/language.h"
#include "resdb/language_db.h"
#include "tests/tools/test_support.h"

namespace {

const std::vector<std::string> kMediumFiles = {"en_US.po", "de_DE.po", "ja_JP.po", "fr_FR.po",
                                               "es_419.po"};

std::vector<std::string> mediumPaths() {
    std::vector<std::string> paths;
    for (const std::string& name : kMediumFiles) {
        paths.push_back(dataPath("medium/" + name));
    }
    return paths;
}

std::string buildMedium(const ScratchDir& dir) {
    const std::string db = dir.file("setupresDB");
    std::ostringstream err;
    EXPECT_EQ(RESDB_OK, buildDatabase(db, mediumPaths(), err)) << err.str();
    return db;
}

std::string get(const std::string& db, const std::string& tag, const std::string& id,
                int expectedStatus = RESDB_OK) {
    std::ostringstream out, err;
    EXPECT_EQ(expectedStatus, getResource(db, tag, id, out, err)) << tag << " " << id << err.str();
    return out.str();
}

// A database written directly through the library, for values PO cannot carry.
void storeDatabase(
    const std::string& path,
    const std::vector<std::tuple<const char*, const char*, unsigned int, std::string>>& values) {
    LanguageDB_C db;
    for (const auto& value : values) {
        db.AddResource(Language_C(std::get<0>(value), std::get<1>(value), 0, 0), std::get<2>(value),
                       LangRes_C(std::get<3>(value)));
    }
    ASSERT_TRUE(db.Store(path.c_str()));
    db.Unload();
}

TEST(ResdbCommands, BuildWritesTheExactFileLayout) {
    // en/US with identifier 1 = "A" and de/DE without translated entries.
    ScratchDir dir;
    writeFile(dir.file("en_US.po"), "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"A\"\n");
    writeFile(dir.file("de_DE.po"), "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"\"\n");
    std::ostringstream err;
    ASSERT_EQ(RESDB_OK,
              buildDatabase(dir.file("db"), {dir.file("en_US.po"), dir.file("de_DE.po")}, err))
        << err.str();
    // clang-format off
    const unsigned char expected[] = {
        0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00,                          // magic, 2
        0x2C, 0, 0, 0, 0, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0,                    // de/DE header
        0x64, 0x65, 0, 0, 0x44, 0x45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,              //
        0, 0, 0, 0,                                                              // no entries
        0, 0, 0, 0, 0, 0, 0, 0, 0x4C, 0, 0, 0, 0, 0, 0, 0,                       // en/US header
        0x65, 0x6E, 0, 0, 0x55, 0x53, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,              //
        1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x41,                                // 1 = "A"
    };
    // clang-format on
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(expected), sizeof expected),
              readFile(dir.file("db")));
    EXPECT_EQ((std::vector<std::string>{"db", "de_DE.po", "en_US.po"}), dir.entries());
}

TEST(ResdbCommands, ListShowsLanguagesInFileOrderWithCounts) {
    ScratchDir dir;
    const std::string db = buildMedium(dir);
    std::ostringstream out, err;
    ASSERT_EQ(RESDB_OK, listDatabase(db, out, err)) << err.str();
    EXPECT_EQ("ja_JP\t2\nde_DE\t2\nen_US\t5\nfr_FR\t1\nes_419\t1\n", out.str());
}

TEST(ResdbCommands, ListFollowsTheHeaderChainOfTheFile) {
    // The same two languages, with the headers chained in the opposite order
    // to the one Store uses: en/US first at offset 8, then de/DE.
    // clang-format off
    const unsigned char bytes[] = {
        0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00,
        0x2C, 0, 0, 0, 0, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0,          // en/US at 8
        0x65, 0x6E, 0, 0, 0x55, 0x53, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0,                                                    // no entries
        0, 0, 0, 0, 0, 0, 0, 0, 0x4C, 0, 0, 0, 0, 0, 0, 0,             // de/DE at 44
        0x64, 0x65, 0, 0, 0x44, 0x45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x41,
    };
    // clang-format on
    ScratchDir dir;
    writeFile(dir.file("db"), std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
    std::ostringstream out, err;
    ASSERT_EQ(RESDB_OK, listDatabase(dir.file("db"), out, err)) << err.str();
    EXPECT_EQ("en_US\t0\nde_DE\t1\n", out.str());
}

TEST(ResdbCommands, GetAnswersWithFallback) {
    ScratchDir dir;
    const std::string db = buildMedium(dir);
    EXPECT_EQ("Installation", get(db, "fr_FR", "1"));
    EXPECT_EQ("Installation", get(db, "fr_CA", "1"));  // closest language fr_FR
    EXPECT_EQ("English only", get(db, "fr_CA", "4"));  // then en_US
    EXPECT_EQ("English only", get(db, "pt_BR", "4"));
    EXPECT_EQ("Erste Zeile\nZweite Zeile\n", get(db, "de_DE", "3"));  // no newline added
    EXPECT_EQ("max", get(db, "en_US", "4294967295"));
    EXPECT_EQ("Instalaci\xC3\xB3n", get(db, "es_419", "1"));
}

TEST(ResdbCommands, GetOfAMissingResourceFails) {
    ScratchDir dir;
    const std::string db = buildMedium(dir);
    std::ostringstream out, err;
    EXPECT_EQ(RESDB_FAILED, getResource(db, "de_DE", "5", out, err));  // fuzzy everywhere
    EXPECT_EQ("", out.str());
    EXPECT_NE(std::string::npos, err.str().find("resource 5")) << err.str();
    EXPECT_EQ(RESDB_FAILED, getResource(db, "en_US", "6", out, err));  // untranslated
    EXPECT_EQ(RESDB_FAILED, getResource(db, "en_US", "7", out, err));  // obsolete
}

TEST(ResdbCommands, GetRefusesMalformedArguments) {
    ScratchDir dir;
    const std::string db = buildMedium(dir);
    for (const char* tag : {"de", "deu_DE", "de_D", "de_DEUT", "de-DE", "de_DE_x"}) {
        std::ostringstream out, err;
        EXPECT_EQ(RESDB_USAGE, getResource(db, tag, "1", out, err)) << tag;
        EXPECT_NE(std::string::npos, err.str().find(tag)) << err.str();
    }
    for (const char* id : {"", "x", "-1", "4294967296"}) {
        std::ostringstream out, err;
        EXPECT_EQ(RESDB_USAGE, getResource(db, "de_DE", id, out, err)) << id;
    }
}

TEST(ResdbCommands, DumpThenBuildGivesTheSameBytes) {
    ScratchDir dir;
    const std::string db = buildMedium(dir);
    std::ostringstream err;
    ASSERT_EQ(RESDB_OK, dumpDatabase(db, dir.file("po"), err)) << err.str();
    std::vector<std::string> dumped;
    for (const std::string& name : kMediumFiles) {
        dumped.push_back(dir.file("po/" + name));
    }
    ASSERT_EQ(RESDB_OK, buildDatabase(dir.file("again"), dumped, err)) << err.str();
    EXPECT_EQ(readFile(db), readFile(dir.file("again")));

    // msgid carries the English text; the German file keeps only German values.
    const std::string german = readFile(dir.file("po/de_DE.po"));
    EXPECT_NE(std::string::npos,
              german.find("msgctxt \"1\"\nmsgid \"Setup\"\nmsgstr \"Einrichtung"))
        << german;
    EXPECT_EQ(std::string::npos, german.find("English only")) << german;
}

TEST(ResdbCommands, DumpOfEmptyLanguagesAndEscapesRoundTrips) {
    ScratchDir dir;
    std::string controls;
    for (int c = 1; c < 0x20; ++c) {
        if (c != 4) {
            controls += static_cast<char>(c);
        }
    }
    storeDatabase(dir.file("db"), {{"en", "US", 1, controls + "\"\\"},
                                   {"en", "US", 0, "zero"},
                                   {"ja", "JP", 4294967295u, "\xE6\x97\xA5\n\n"}});
    {
        // A language without resources.
        LanguageDB_C db;
        ASSERT_TRUE(db.Load(dir.file("db").c_str()));
        LanguageDB_C::iterator where;
        for (const auto& header : db.headers) {
            ASSERT_TRUE(db.GetResourceDB(header.first, where));
        }
        db.resources[Language_C("it", "IT", 0, 0)];
        ASSERT_TRUE(db.Store(dir.file("db").c_str()));
        db.Unload();
    }
    std::ostringstream err;
    ASSERT_EQ(RESDB_OK, dumpDatabase(dir.file("db"), dir.file("po"), err)) << err.str();
    EXPECT_EQ((std::vector<std::string>{"en_US.po", "it_IT.po", "ja_JP.po"}),
              directoryEntries(dir.file("po")));
    ASSERT_EQ(RESDB_OK,
              buildDatabase(
                  dir.file("again"),
                  {dir.file("po/ja_JP.po"), dir.file("po/it_IT.po"), dir.file("po/en_US.po")}, err))
        << err.str();
    EXPECT_EQ(readFile(dir.file("db")), readFile(dir.file("again")));
}

TEST(ResdbCommands, DumpRefusesValuesPoCannotHoldAndWritesNothing) {
    ScratchDir dir;
    storeDatabase(dir.file("db"), {{"en", "US", 1, "fine"},
                                   {"de", "DE", 7, std::string("nul\0inside", 10)},
                                   {"fr", "FR", 8, ""},
                                   {"ja", "JP", 9, "\xFF\xFE"},
                                   {"ja", "JP", 10,
                                    "a\x04"
                                    "b"}});
    std::ostringstream err;
    EXPECT_EQ(RESDB_FAILED, dumpDatabase(dir.file("db"), dir.file("po"), err));
    const std::string messages = err.str();
    EXPECT_NE(std::string::npos, messages.find("language de_DE, resource 7: ")) << messages;
    EXPECT_NE(std::string::npos, messages.find("NUL")) << messages;
    EXPECT_NE(std::string::npos, messages.find("language fr_FR, resource 8: ")) << messages;
    EXPECT_NE(std::string::npos, messages.find("language ja_JP, resource 9: ")) << messages;
    EXPECT_NE(std::string::npos, messages.find("language ja_JP, resource 10: ")) << messages;
    EXPECT_EQ(std::string::npos, messages.find("resource 1:")) << messages;
    EXPECT_EQ((std::vector<std::string>{"db"}), dir.entries());
}

TEST(ResdbCommands, DumpRefusesLanguagesNoFileNameCanCarry) {
    ScratchDir dir;
    LanguageDB_C db;
    db.AddString(Language_C("de", "DE", 1, 0), 1, "variant");
    db.AddString(Language_C("DE", "de", 0, 0), 1, "upper case");
    ASSERT_TRUE(db.Store(dir.file("db").c_str()));
    db.Unload();
    std::ostringstream err;
    EXPECT_EQ(RESDB_FAILED, dumpDatabase(dir.file("db"), dir.file("po"), err));
    EXPECT_NE(std::string::npos, err.str().find("de_DE@1.0")) << err.str();
    EXPECT_NE(std::string::npos, err.str().find("DE_de")) << err.str();
}

TEST(ResdbCommands, BuildRefusesTheSameLanguageTwice) {
    ScratchDir dir;
    writeFile(dir.file("en_US.po"), "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"A\"\n");
    ASSERT_EQ(0, system(("mkdir " + dir.file("other")).c_str()));
    writeFile(dir.file("other/en_US.po"), "msgctxt \"2\"\nmsgid \"b\"\nmsgstr \"B\"\n");
    std::ostringstream err;
    EXPECT_EQ(RESDB_FAILED, buildDatabase(dir.file("db"),
                                          {dir.file("en_US.po"), dir.file("other/en_US.po")}, err));
    EXPECT_NE(std::string::npos, err.str().find(dir.file("other/en_US.po"))) << err.str();
    EXPECT_NE(std::string::npos, err.str().find("also by " + dir.file("en_US.po"))) << err.str();
    EXPECT_EQ((std::vector<std::string>{"en_US.po", "other"}), dir.entries());
}

TEST(ResdbCommands, FailedBuildKeepsTheOldDatabaseAndLeavesNoTemporary) {
    ScratchDir dir;
    writeFile(dir.file("db"), "previous contents");
    writeFile(dir.file("en_US.po"), "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"A\"\n");
    writeFile(dir.file("de_DE.po"), "msgctxt \"x\"\nmsgid \"a\"\nmsgstr \"A\"\n");
    std::ostringstream err;
    EXPECT_EQ(RESDB_FAILED,
              buildDatabase(dir.file("db"), {dir.file("en_US.po"), dir.file("de_DE.po")}, err));
    EXPECT_EQ("previous contents", readFile(dir.file("db")));
    EXPECT_EQ((std::vector<std::string>{"db", "de_DE.po", "en_US.po"}), dir.entries());

    // The rename onto a directory fails after the database was written.
    ASSERT_EQ(0, system(("mkdir " + dir.file("target")).c_str()));
    std::ostringstream err2;
    EXPECT_EQ(RESDB_FAILED, buildDatabase(dir.file("target"), {dir.file("en_US.po")}, err2));
    EXPECT_NE(std::string::npos, err2.str().find("cannot replace")) << err2.str();
    EXPECT_EQ((std::vector<std::string>{"db", "de_DE.po", "en_US.po", "target"}), dir.entries());
}

// Every damage must end in a message naming the reason, never in a crash.
TEST(ResdbCommands, DamagedDatabasesAreNamed) {
    ScratchDir dir;
    const std::string good = readFile(buildMedium(dir));
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    };
    std::string badMagic = good;
    badMagic[0] = 1;
    badMagic[3] = 0;
    std::string outside = good;
    outside[8] = '\x7F';  // first header's next header beyond the end
    outside[11] = '\x7F';
    std::string hugeBlock = good;
    // The first block (ja_JP) at 40: count 2, then identifier 1 and its length.
    hugeBlock[48] = '\xFF';
    hugeBlock[49] = '\xFF';
    hugeBlock[50] = '\xFF';
    const std::vector<Case> cases = {
        {"empty", "", "truncated file header (0 of 8 bytes)"},
        {"magic only", good.substr(0, 4), "truncated file header (4 of 8 bytes)"},
        {"wrong magic", badMagic, "wrong magic"},
        {"text file", "hello world\n", "wrong magic"},
        {"inside first header", good.substr(0, 20), "language header 1 of 5"},
        {"header outside the file", outside, "language header 2 of 5"},
        {"inside first block", good.substr(0, 46), "language header 2 of 5"},
        {"damaged block", hugeBlock, "damaged resource block of language ja_JP"},
    };
    for (const Case& c : cases) {
        writeFile(dir.file("damaged"), c.bytes);
        LanguageDB_C db;
        std::string error;
        EXPECT_FALSE(openDatabase(dir.file("damaged"), db, nullptr, error)) << c.name;
        EXPECT_NE(std::string::npos, error.find(c.reason)) << c.name << ": " << error;
        EXPECT_EQ(0u, error.find(dir.file("damaged"))) << error;
        db.Unload();
    }
    LanguageDB_C db;
    std::string error;
    EXPECT_FALSE(openDatabase(dir.file("missing"), db, nullptr, error));
    EXPECT_NE(std::string::npos, error.find("cannot open: No such file")) << error;
}

TEST(ResdbCommands, EveryTruncationOfADatabaseIsRefused) {
    ScratchDir dir;
    const std::string good = readFile(buildMedium(dir));
    for (std::size_t length = 0; length < good.size(); ++length) {
        writeFile(dir.file("cut"), good.substr(0, length));
        std::ostringstream out, err;
        EXPECT_EQ(RESDB_FAILED, listDatabase(dir.file("cut"), out, err)) << length;
        EXPECT_EQ("", out.str()) << length;
        EXPECT_NE(std::string::npos, err.str().find("resdb: ")) << length;
    }
}

TEST(ResdbCommands, WrongArgumentsShowTheUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"build", "db"},
        {"dump", "db"},
        {"list"},
        {"list", "a", "b"},
        {"get", "db", "en_US"},
        {"build", "--ids", "1-2", "db"},
        {"build", "--ids", "3-2", "db", "en_US.po"},
        {"build", "--ids", "1", "db", "en_US.po"},
        {"build", "--ids", "-", "db", "en_US.po"},
    };
    for (const auto& args : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(RESDB_USAGE, runResdb(args, out, err));
        EXPECT_NE(std::string::npos, err.str().find("usage: resdb build")) << err.str();
        EXPECT_EQ(0u, err.str().find("resdb: ")) << err.str();
    }
    std::ostringstream out, err;
    EXPECT_EQ(RESDB_OK, runResdb({"--help"}, out, err));
    EXPECT_NE(std::string::npos, out.str().find("usage: resdb")) << out.str();
}

}  // namespace
