// Lookups with fallback to the closest language, the add operations and the
// global database.
#include <gtest/gtest.h>

#include "resdb/language_db.h"
#include "test_support.h"

namespace {

const Language_C kEnUS("en", "US", 0, 0);
const Language_C kEnGB("en", "GB", 0, 0);
const Language_C kDeDE("de", "DE", 0, 0);
const Language_C kFrFR("fr", "FR", 0, 0);

// A stored database; the lookups run on what was read back from the file.
class Lookup : public ::testing::Test {
  protected:
    void StoreAndLoad(LanguageDB_C& source) {
        ASSERT_TRUE(dir.ok());
        ASSERT_TRUE(source.Store(dir.file("db").c_str()));
        ASSERT_TRUE(db.Load(dir.file("db").c_str()));
    }
    // The value found, or "error N"; the lookup without exceptions says the same.
    std::string Get(const Language_C& language, unsigned int id) {
        int missing = 0;
        const LangRes_C* found = db.FindResource(language, id, &missing);
        const std::string quiet = found ? found->Data() : "error " + std::to_string(missing);
        std::string thrown;
        try {
            thrown = db.GetResource(language, id).Data();
        } catch (const ResourceError& error) {
            thrown = "error " + std::to_string(error.code);
        }
        EXPECT_EQ(quiet, thrown);
        return thrown;
    }

    ScratchDir dir;
    LanguageDB_C db;
};

TEST_F(Lookup, WalksOverEnglishGermanFrench) {
    LanguageDB_C source;
    source.AddString(kEnUS, 1, "en 1");
    source.AddString(kEnUS, 2, "en 2");
    source.AddString(kDeDE, 1, "de 1");
    source.AddString(kFrFR, 1, "fr 1");
    source.AddString(kFrFR, 3, "fr 3");
    StoreAndLoad(source);

    struct Case {
        const char* language;
        const char* region;
        unsigned int id;
        const char* expected;
    } cases[] = {
        {"fr", "FR", 1, "fr 1"},     // present
        {"fr", "CA", 1, "fr 1"},     // missing language, same language code
        {"pt", "BR", 1, "en 1"},     // nothing close: the default language
        {"pt", "BR", 3, "error 1"},  // the default language lacks it
        {"de", "DE", 2, "en 2"},     // missing identifier
        {"en", "US", 3, "error 1"},  // the default language never falls back
        {"de", "AT", 3, "error 1"},  // de/DE, then en/US, which lacks it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.language) + "/" + c.region + " " + std::to_string(c.id));
        EXPECT_EQ(c.expected, Get(Language_C(c.language, c.region, 0, 0), c.id));
    }
}

TEST_F(Lookup, RegionsOfOneLanguageStandInForEachOther) {
    LanguageDB_C source;
    source.AddString(kEnGB, 1, "gb 1");
    source.AddString(kEnGB, 2, "gb 2");
    source.AddString(kEnUS, 1, "us 1");
    source.AddString(kEnUS, 3, "us 3");
    StoreAndLoad(source);
    EXPECT_EQ("gb 1", Get(Language_C("en", "AU", 0, 0), 1));  // GB sorts before US
    EXPECT_EQ("us 3", Get(kEnGB, 3));
    EXPECT_EQ("error 1", Get(kEnUS, 2));  // never falls back from the default
}

TEST_F(Lookup, FilesWithoutTheDefaultLanguage) {
    LanguageDB_C source;
    source.AddString(kDeDE, 1, "de 1");
    source.AddString(kFrFR, 2, "fr 2");
    StoreAndLoad(source);
    EXPECT_EQ("error 2", Get(kEnUS, 1));
    EXPECT_EQ("error 1", Get(kDeDE, 2));  // the request's own error
    EXPECT_EQ("error 2", Get(Language_C("it", "IT", 0, 0), 2));
    EXPECT_EQ(kDeDE, db.FindClosestLang(Language_C("de", "CH", 0, 0)));
    const Language_C italian("it", "IT", 0, 0);
    Language_C closest = db.FindClosestLang(italian);
    EXPECT_EQ(italian, closest);
    EXPECT_EQ(0u, closest.fallbackLevel);
}

TEST_F(Lookup, FindClosestLangNeverProposesTheRequestOrMemoryOnlyLanguages) {
    LanguageDB_C source;
    source.AddString(kEnUS, 1, "en");
    source.AddString(kDeDE, 1, "de");
    StoreAndLoad(source);
    db.AddString(Language_C("de", "AT", 0, 0), 1, "at");  // memory only
    EXPECT_EQ(kEnUS, db.FindClosestLang(kDeDE));
    EXPECT_EQ(kDeDE, db.FindClosestLang(Language_C("de", "CH", 0, 0)));
    EXPECT_EQ("at", Get(Language_C("de", "AT", 0, 0), 1));  // found when asked exactly
    // A request whose steps are spent comes back unchanged.
    Language_C spent = kDeDE;
    spent.fallbackLevel = 15;
    EXPECT_EQ(15u, db.FindClosestLang(spent).fallbackLevel);
}

TEST_F(Lookup, WithoutADatabaseEveryLookupIsLanguageNotFound) {
    EXPECT_EQ("error 2", Get(kEnUS, 1));
    EXPECT_EQ("error 2", Get(kFrFR, 1));
    EXPECT_FALSE(db.Load(dir.file("missing").c_str()));
    EXPECT_EQ("error 2", Get(kEnUS, 1));
}

TEST_F(Lookup, AddOperations) {
    const std::string withNul("ab\0cd", 5);
    db.AddString(kEnUS, 1, withNul);
    db.AddResource(kEnUS, 2, LangRes_C(withNul));
    EXPECT_EQ("ab", db[kEnUS][1].Data());
    EXPECT_EQ(withNul, db[kEnUS][2].Data());

    // Replacing an entry shows through a reference taken before.
    LangRes_C& held = db.GetResource(kEnUS, 1);
    db.AddString(kEnUS, 1, "new");
    EXPECT_EQ("new", held.Data());

    ResourceDB_C& english = db[kEnUS];
    EXPECT_THROW(english[3], ResourceError);
    EXPECT_EQ(2u, english.entries.size());
}

TEST_F(Lookup, AddingToAnUnreadableLanguageStartsItEmpty) {
    // en/US listed with its block outside the file.
    ASSERT_TRUE(writeFile(dir.file("db"), kMagicBytes + U32(1) + HeaderBytes(0, 500, "en", "US")));
    ASSERT_TRUE(db.Load(dir.file("db").c_str()));
    EXPECT_EQ("error 2", Get(kEnUS, 1));
    db.AddString(kEnUS, 2, "two");
    EXPECT_EQ("two", Get(kEnUS, 2));
    EXPECT_EQ("error 1", Get(kEnUS, 1));
}

TEST_F(Lookup, GlobalDatabase) {
    LanguageDB_C source;
    source.AddString(kEnUS, 1001, "hello");
    ASSERT_TRUE(source.Store(dir.file("db").c_str()));
    ASSERT_TRUE(LanguageDB_C::LoadGlobalDatabase(dir.file("db").c_str()));
    EXPECT_EQ("hello", LanguageDB_C::GetGlobalResource(kDeDE, 1001).Data());
    LanguageDB_C::AddGlobalString(kDeDE, 1001, "hallo");
    EXPECT_EQ("hallo", LanguageDB_C::GetGlobalResource(kDeDE, 1001).Data());
    LanguageDB_C::AddGlobalResource(kDeDE, 1002, LangRes_C("x"));
    ASSERT_TRUE(LanguageDB_C::StoreGlobalDatabase(dir.file("db2").c_str()));
    ASSERT_TRUE(LanguageDB_C::UnloadGlobalDatabase());
    EXPECT_EQ(nullptr, g_ldbResources.file_P);
    EXPECT_THROW(LanguageDB_C::GetGlobalResource(kEnUS, 1001), ResourceError);

    ASSERT_TRUE(LanguageDB_C::LoadGlobalDatabase(dir.file("db2").c_str()));
    EXPECT_EQ("x", LanguageDB_C::GetGlobalResource(kDeDE, 1002).Data());
    EXPECT_TRUE(LanguageDB_C::UnloadGlobalDatabase());
}

}  // namespace
