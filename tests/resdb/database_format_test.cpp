// Reading and writing the database file: exact layout, round trips, damaged
// and hostile files.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "resdb/language_db.h"
#include "test_support.h"

namespace {

typedef std::map<unsigned int, std::string> Values;
typedef std::map<Language_C, Values> Contents;

// Every language listed in the file, read through operator[].
Contents ReadAll(LanguageDB_C& db) {
    Contents contents;
    for (const auto& header : db.headers) {
        Values& values = contents[header.first];
        for (const auto& entry : db[header.first].entries)
            values[entry.first] = entry.second.Data();
    }
    return contents;
}

Contents MemoryContents(const LanguageDB_C& db) {
    Contents contents;
    for (const auto& language : db.resources) {
        Values& values = contents[language.first];
        for (const auto& entry : language.second.entries) values[entry.first] = entry.second.Data();
    }
    return contents;
}

const Language_C kEnUS("en", "US", 0, 0);
const Language_C kDeDE("de", "DE", 0, 0);

const char* const kTwoLanguageFile =
    "00 00 00 01 02 00 00 00 2C 00 00 00 00 00 00 00 28 00 00 00 00 00 00 00 64 65 00 00 44 45 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 4C 00 00 00 00 00 00 00 "
    "65 6E 00 00 55 53 00 00 00 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 01 00 00 00 41";

TEST(DatabaseFormat, StoreWritesTwoLanguagesByteForByte) {
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    LanguageDB_C db;
    db.AddResource(kEnUS, 1, LangRes_C("A"));
    db.resources[kDeDE];  // a language without resources
    ASSERT_TRUE(db.Store(dir.file("db").c_str()));

    EXPECT_EQ(Hex(kTwoLanguageFile), readFile(dir.file("db")));
    ASSERT_EQ(2u, db.headers.size());
    const LanguageHeader_C& de = db.headers.at(kDeDE);
    const LanguageHeader_C& en = db.headers.at(kEnUS);
    EXPECT_EQ(8u, de.headerPos);
    EXPECT_EQ(44u, de.nextHeaderPos);
    EXPECT_EQ(40u, de.resourcePos);
    EXPECT_EQ(44u, en.headerPos);
    EXPECT_EQ(0u, en.nextHeaderPos);
    EXPECT_EQ(76u, en.resourcePos);
    ASSERT_NE(nullptr, db.file_P);
    EXPECT_TRUE(db.file_P->IsOpen());
    EXPECT_EQ("A", db.GetResource(kEnUS, 1).Data());
    db.Unload();
}

TEST(DatabaseFormat, LoadReadsHeadersOnlyUntilALanguageIsUsed) {
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("db"), Hex(kTwoLanguageFile)));
    LanguageDB_C db;
    ASSERT_TRUE(db.Load(dir.file("db").c_str()));
    EXPECT_EQ(2u, db.headers.size());
    EXPECT_TRUE(db.resources.empty());
    EXPECT_EQ("A", db[kEnUS][1].Data());
    EXPECT_EQ(1u, db.resources.size());
    EXPECT_TRUE(db[kDeDE].entries.empty());
    db.Unload();
    EXPECT_EQ(nullptr, db.file_P);
    EXPECT_TRUE(db.headers.empty() && db.resources.empty());
}

TEST(DatabaseFormat, StoreThenLoadRoundTrips) {
    ScratchDir dir;
    LanguageDB_C db;
    const std::string withNuls("a\0b\0\0c", 6);
    const std::string big(70000, 'x');
    db.AddResource(kEnUS, 0, LangRes_C("zero"));
    db.AddResource(kEnUS, 4294967295u, LangRes_C(withNuls));
    db.AddResource(kEnUS, 2, LangRes_C(""));
    db.AddResource(kDeDE, 1, LangRes_C(big));
    db.AddString(Language_C("ja", "JP", 0, 0), 1000, "\xe6\x97\xa5\xe6\x9c\xac");
    db.AddString(Language_C("pt", "BRA", 7, 9), 5001, "valor");
    db.AddString(Language_C("fr", "FR", 0, 0), 1, "un");
    const Contents written = MemoryContents(db);
    const std::string first = dir.file("first");
    ASSERT_TRUE(db.Store(first.c_str()));

    LanguageDB_C loaded;
    ASSERT_TRUE(loaded.Load(first.c_str()));
    EXPECT_EQ(written, ReadAll(loaded));
    EXPECT_EQ(withNuls, loaded[kEnUS][4294967295u].Data());

    // A database that came from a file writes every language of that file,
    // also over the file it was read from.
    const std::string second = dir.file("second");
    ASSERT_TRUE(loaded.Store(second.c_str()));
    EXPECT_EQ(readFile(dir.file("first")), readFile(dir.file("second")));
    LanguageDB_C reread;
    ASSERT_TRUE(reread.Load(second.c_str()));
    ASSERT_TRUE(reread.Store(second.c_str()));
    EXPECT_EQ(readFile(dir.file("first")), readFile(dir.file("second")));
    EXPECT_EQ(written, ReadAll(reread));
}

TEST(DatabaseFormat, EmptyDatabaseIsEightBytes) {
    ScratchDir dir;
    LanguageDB_C db;
    ASSERT_TRUE(db.Store(dir.file("db").c_str()));
    EXPECT_EQ(Hex("00 00 00 01 00 00 00 00"), readFile(dir.file("db")));
    LanguageDB_C loaded;
    ASSERT_TRUE(loaded.Load(dir.file("db").c_str()));
    EXPECT_TRUE(loaded.headers.empty());
    try {
        loaded.GetResource(kEnUS, 1);
        FAIL() << "lookup in an empty database succeeded";
    } catch (const ResourceError& error) {
        EXPECT_EQ(ResourceError::LANGUAGE_NOT_FOUND, error.code);
    }
}

TEST(DatabaseFormat, LoadRefusesBrokenFiles) {
    const std::string full = Hex(kTwoLanguageFile);
    struct Case {
        const char* name;
        std::string contents;
        size_t headersKept;
    } cases[] = {
        {"empty", "", 0},
        {"wrong magic", Hex("01 00 00 00 00 00 00 00"), 0},
        {"magic only", kMagicBytes, 0},
        {"ends inside the second header", full.substr(0, 60), 1},
        {"next header past the end",
         kMagicBytes + U32(2) + HeaderBytes(5000, 40, "de", "DE") + U32(0), 1},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(dir.file("db"), c.contents));
        LanguageDB_C db;
        EXPECT_FALSE(db.Load(dir.file("db").c_str()));
        EXPECT_EQ(nullptr, db.file_P);
        EXPECT_EQ(c.headersKept, db.headers.size());
    }
    LanguageDB_C db;
    EXPECT_FALSE(db.Load(dir.file("missing").c_str()));
}

// Every prefix of a valid file either is refused or yields only languages
// whose blocks are whole, with exactly their stored values.
TEST(DatabaseFormat, TruncatedPrefixesNeverYieldWrongData) {
    ScratchDir dir;
    LanguageDB_C original;
    original.AddString(kEnUS, 1, "one");
    original.AddResource(kEnUS, 2, LangRes_C(std::string("\0\0", 2)));
    original.AddString(kDeDE, 1, "eins");
    original.AddString(Language_C("fr", "FR", 0, 0), 3, "trois");
    ASSERT_TRUE(original.Store(dir.file("full").c_str()));
    const Contents expected = ReadAll(original);
    const std::string full = readFile(dir.file("full"));

    // Where each header and each block ends in the full file.
    unsigned long long lastHeaderEnd = 0;
    std::map<Language_C, unsigned long long> blockEnd;
    for (const auto& header : original.headers) {
        lastHeaderEnd = std::max(lastHeaderEnd, header.second.headerPos + 32);
        unsigned long long next = header.second.nextHeaderPos;
        blockEnd[header.first] = next != 0 ? next : full.size();
    }

    for (size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        ASSERT_TRUE(writeFile(dir.file("prefix"), full.substr(0, length)));
        LanguageDB_C db;
        bool loaded = db.Load(dir.file("prefix").c_str());
        EXPECT_EQ(length >= lastHeaderEnd, loaded);
        if (!loaded)
            continue;
        for (const auto& language : expected) {
            bool whole = blockEnd[language.first] <= length;
            LanguageDB_C::iterator where;
            bool found = db.GetResourceDB(language.first, where);
            EXPECT_EQ(whole, found);
            if (found) {
                Values values;
                for (const auto& entry : where->second.entries)
                    values[entry.first] = entry.second.Data();
                EXPECT_EQ(language.second, values);
            }
        }
    }
}

}  // namespace
