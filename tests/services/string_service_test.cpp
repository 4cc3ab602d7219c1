#include "services/string_service.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "resdb/language_db.h"
#include "resdb/memory_file.h"
#include "test_support.h"

namespace {

using svctest::hex;
namespace fs = std::filesystem;

const char kKonnichiwa[] = "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF";

// Runs a test in a temporary working directory holding a copy of the
// strings database (en_US, de_DE, fr_FR, ja_JP), with LANG and the locale
// restored and the database unloaded afterwards.
class StringServiceTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(svctest::testDatabase("strings")))
            << "test database missing: " << svctest::testDatabase("strings");
        fs::copy_file(svctest::testDatabase("strings"), dir_.file("setupresDB"));
        cwd_ = std::make_unique<ChangeDir>(dir_.path());
    }
    void TearDown() override {
        stringUnInit();
        cwd_.reset();
    }

    // Sets LANG for the rest of the test and loads the database.
    void initWithLang(std::optional<std::string> lang) {
        lang_ = std::make_unique<EnvVar>("LANG", lang);
        ASSERT_EQ(stringInit(), 1);
    }

    ScratchDir dir_;
    std::unique_ptr<ChangeDir> cwd_;
    std::unique_ptr<EnvVar> lang_;
};

struct LangCase {
    const char* name;
    std::optional<std::string> lang;
    const char* language;
    const char* region;
    const char* text;  // resource 1 through the closest-language lookup
};

std::ostream& operator<<(std::ostream& os, const LangCase& c) {
    return os << c.name;
}

const LangCase kLangCases[] = {
    {"Unset", std::nullopt, "en", "US", "Hello"},
    {"Empty", "", "en", "US", "Hello"},
    {"C", "C", "en", "US", "Hello"},
    {"Posix", "POSIX", "en", "US", "Hello"},
    {"CUtf8", "C.UTF-8", "en", "US", "Hello"},
    {"LanguageOnly", "de", "en", "US", "Hello"},
    {"FourCharacters", "ab_C", "en", "US", "Hello"},
    {"GermanGermany", "de_DE", "de", "DE", "Hallo"},
    {"FrenchFrance", "fr_FR", "fr", "FR", "Bonjour"},
    {"FrenchWithCodeset", "fr_FR.UTF-8", "fr", "FR.", "Bonjour"},
    {"GermanWithModifier", "de_DE@euro", "de", "DE@", "Hallo"},
    {"FrenchCanada", "fr_CA", "fr", "CA", "Bonjour"},
    {"MissingLanguage", "pt_BR", "pt", "BR", "Hello"},
    {"NoCaseFolding", "DE_de", "DE", "de", "Hello"},
};

class StringLang : public StringServiceTest, public testing::WithParamInterface<LangCase> {};

TEST_P(StringLang, ChoosesRunLanguageAndClosestText) {
    const LangCase& c = GetParam();
    LocaleGuard locale("en_US.utf8");
    REQUIRE_LOCALE(locale, "en_US.utf8");
    initWithLang(c.lang);
    EXPECT_TRUE(stringRunLanguage() == Language_C(c.language, c.region, 0, 0));
    EXPECT_STREQ(getString(1), c.text);
}

INSTANTIATE_TEST_SUITE_P(StringService, StringLang, testing::ValuesIn(kLangCases),
                         [](const testing::TestParamInfo<LangCase>& info) {
                             return info.param.name;
                         });

struct TextCase {
    const char* name;
    const char* lang;
    const char* locale;
    unsigned int id;
    std::string expected;
};

std::ostream& operator<<(std::ostream& os, const TextCase& c) {
    return os << c.name;
}

const TextCase kTextCases[] = {
    {"EAcuteUnderUtf8", "fr_FR", "en_US.utf8", 2, "Caf\xC3\xA9"},
    {"EAcuteUnderLatin1", "fr_FR", "de_DE", 2, "Caf\xE9"},
    {"EAcuteUnderCFallsBackToEnglish", "fr_FR", "C", 2, "Coffee"},
    {"JapaneseUnderUtf8", "ja_JP.UTF-8", "ja_JP.utf8", 1, kKonnichiwa},
    {"JapaneseUnderEucJp", "ja_JP.eucJP", "ja_JP.eucjp", 1,
     "\xA4\xB3\xA4\xF3\xA4\xCB\xA4\xC1\xA4\xCF"},
    {"JapaneseUnderLatin1FallsBackToEnglish", "ja_JP", "de_DE", 1, "Hello"},
    {"MissingInGermanFromEnglish", "de_DE.UTF-8", "en_US.utf8", 3, "Only in English"},
    {"MissingInCanadaFromFrance", "fr_CA", "en_US.utf8", 4, "Seulement en francais"},
    {"NotReachableFromGerman", "de_DE", "en_US.utf8", 4, ""},
    {"AbsentEverywhere", "fr_FR", "en_US.utf8", 999, ""},
    {"LeadingBomDropped", "en_US", "en_US.utf8", 5, "Marked"},
    {"LeadingBomDroppedLatin1", "de_DE", "de_DE", 5, "Marked"},
};

class StringText : public StringServiceTest, public testing::WithParamInterface<TextCase> {};

TEST_P(StringText, ConvertsToLocaleEncoding) {
    const TextCase& c = GetParam();
    LocaleGuard locale(c.locale);
    REQUIRE_LOCALE(locale, c.locale);
    initWithLang(std::string(c.lang));
    const char* text = getString(c.id);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(hex(text), hex(c.expected));
}

INSTANTIATE_TEST_SUITE_P(StringService, StringText, testing::ValuesIn(kTextCases),
                         [](const testing::TestParamInfo<TextCase>& info) {
                             return info.param.name;
                         });

// The programs' own texts, as an image of the resource database format.
const std::string& builtInImage() {
    static const std::string image = [] {
        MemoryDisk disk;
        MemoryDiskScope scope(disk);
        LanguageDB_C db;
        const std::tuple<const char*, const char*, unsigned int, const char*> texts[] = {
            {"en", "US", 1, "Built-in hello"},
            {"en", "US", 3, "Built-in English"},
            {"en", "US", 2000, "Install files"},
            {"de", "DE", 3, "Eingebaut"},
            {"de", "DE", 4, "Vier"},
            {"de", "DE", 2000, "Installationsdateien"},
        };
        for (const auto& [language, region, id, text] : texts)
            db.AddString(Language_C(language, region, 0, 0), id, text);
        EXPECT_TRUE(db.Store("image"));
        db.Unload();
        return disk.files["image"];
    }();
    return image;
}

struct BuiltInCase {
    const char* name;
    const char* lang;
    const char* locale;
    unsigned int id;
    bool unloaded;  // asked between stringUnInit and the next stringInit
    std::string expected;
};

std::ostream& operator<<(std::ostream& os, const BuiltInCase& c) {
    return os << c.name;
}

const BuiltInCase kBuiltInCases[] = {
    {"MediumWins", "de_DE", "en_US.utf8", 1, false, "Hallo"},
    {"MediumsClosestLanguageWins", "de_DE", "en_US.utf8", 3, false, "Only in English"},
    {"MediumsUnreachableTextDoesNotCount", "de_DE", "en_US.utf8", 4, false, "Vier"},
    {"ClosestLanguage", "de_AT", "en_US.utf8", 2000, false, "Installationsdateien"},
    {"EnglishForAnotherLanguage", "pt_BR", "en_US.utf8", 2000, false, "Install files"},
    {"EnglishWhereTheLocaleCannotShowIt", "ja_JP", "de_DE", 2000, false, "Install files"},
    {"Neither", "de_DE", "en_US.utf8", 999, false, ""},
    {"NothingWhileUnloaded", "de_DE", "en_US.utf8", 2000, true, ""},
};

class StringBuiltIn : public StringServiceTest, public testing::WithParamInterface<BuiltInCase> {
  protected:
    void SetUp() override {
        StringServiceTest::SetUp();
        const std::string& image = builtInImage();
        stringUseBuiltInTexts(reinterpret_cast<const unsigned char*>(image.data()), image.size());
    }
    void TearDown() override {
        stringUseBuiltInTexts(nullptr, 0);
        StringServiceTest::TearDown();
    }
};

TEST_P(StringBuiltIn, FillOnlyTheMediumsGaps) {
    const BuiltInCase& c = GetParam();
    LocaleGuard locale(c.locale);
    REQUIRE_LOCALE(locale, c.locale);
    initWithLang(std::string(c.lang));
    if (c.unloaded)
        stringUnInit();
    EXPECT_EQ(hex(getString(c.id)), hex(c.expected));
}

INSTANTIATE_TEST_SUITE_P(StringService, StringBuiltIn, testing::ValuesIn(kBuiltInCases),
                         [](const testing::TestParamInfo<BuiltInCase>& info) {
                             return info.param.name;
                         });

TEST_F(StringServiceTest, MissingTextDoesNotDisturbTheNextCall) {
    initWithLang(std::string("de_DE"));
    EXPECT_STREQ(getString(999), "");
    EXPECT_STREQ(getString(1), "Hallo");
}

TEST_F(StringServiceTest, SuccessiveCallsShareOneBuffer) {
    initWithLang(std::string("en_US"));
    const char* first = getString(1);
    ASSERT_STREQ(first, "Hello");
    const char* second = getString(3);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "Only in English");
}

TEST_F(StringServiceTest, EachInitChoosesTheLanguageAgain) {
    initWithLang(std::string("fr_FR"));
    EXPECT_STREQ(getString(1), "Bonjour");
    stringUnInit();
    initWithLang(std::string("C"));
    EXPECT_TRUE(stringRunLanguage() == Language_C());
    EXPECT_STREQ(getString(1), "Hello");
}

TEST_F(StringServiceTest, UnloadedDatabaseGivesEmptyTextUntilReloaded) {
    initWithLang(std::string("de_DE"));
    stringUnInit();
    EXPECT_STREQ(getString(1), "");
    ASSERT_EQ(stringInit(), 1);
    EXPECT_STREQ(getString(1), "Hallo");
}

TEST_F(StringServiceTest, MissingDatabaseFailsInit) {
    fs::remove(dir_.file("setupresDB"));
    EnvVar lang("LANG", std::string("de_DE"));
    EXPECT_EQ(stringInit(), 0);
    EXPECT_STREQ(getString(1), "");
}

TEST_F(StringServiceTest, DamagedDatabaseFailsInit) {
    writeFile(dir_.file("setupresDB"), std::string("\x01\x00\x00\x00\x00\x00\x00\x00", 8));
    EXPECT_EQ(stringInit(), 0);
}

// The first getString of a process initialises the service itself. Run in a
// re-executed child so that the service state is fresh whatever ran before.
TEST_F(StringServiceTest, FirstCallInitialisesTheService) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EnvVar lang("LANG", std::string("de_DE"));
    EXPECT_EXIT(
        {
            bool ok = std::strcmp(getString(1), "Hallo") == 0;
            fs::remove_all(dir_.path());
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
