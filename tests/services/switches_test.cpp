#include "services/switches.h"

#include <memory>
#include <optional>
#include <string>

#include "services/string_service.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// Each language of the switches database carries its own switch values;
// en_US carries none.
struct SwitchCase {
    const char* name;
    std::optional<std::string> lang;
    int autoSelect;
    int showLicense;
    int snmpUnderTypical;
};

std::ostream& operator<<(std::ostream& os, const SwitchCase& c) {
    return os << c.name;
}

const SwitchCase kSwitchCases[] = {
    // Typical, Disabled, yes
    {"Capitalised", "de_DE", 1, 0, 0},
    // typical, disabled, Yes
    {"LowerCase", "fr_FR", 1, 0, 1},
    // CUSTOM, ENABLED, YES
    {"UnknownAndUpperCase", "es_ES", 0, 1, 1},
    // compact, "disabled.", "yes."
    {"CompactAndTrailingDots", "it_IT", 2, 1, 1},
    // 40-character texts beginning with TYPICAL, DISABLED and yes
    {"FortyCharacters", "nl_NL", 0, 1, 1},
    // "TYPICAL ", Enabled, no
    {"TrailingBlank", "pt_BR", 0, 1, 1},
    {"MissingEverywhere", "en_US", 0, 1, 1},
    {"LangUnset", std::nullopt, 0, 1, 1},
    // Not in the database: the closest language is en_US, which has none.
    {"ClosestLanguageHasNone", "sv_SE", 0, 1, 1},
};

class SwitchesTest : public testing::TestWithParam<SwitchCase> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(svctest::testDatabase("switches")));
        fs::copy_file(svctest::testDatabase("switches"), dir_.file("setupresDB"));
        cwd_ = std::make_unique<ChangeDir>(dir_.path());
    }
    void TearDown() override {
        stringUnInit();
        cwd_.reset();
    }

    ScratchDir dir_;
    std::unique_ptr<ChangeDir> cwd_;
};

TEST_P(SwitchesTest, ReadsSwitchesOfRunLanguage) {
    const SwitchCase& c = GetParam();
    EnvVar lang("LANG", c.lang);
    ASSERT_EQ(stringInit(), 1);
    EXPECT_EQ(getAutoSelectOemConfig(), c.autoSelect);
    EXPECT_EQ(getShowLicenseOption(), c.showLicense);
    EXPECT_EQ(getWantsSnmpUnderTypicalOption(), c.snmpUnderTypical);
}

INSTANTIATE_TEST_SUITE_P(Switches, SwitchesTest, testing::ValuesIn(kSwitchCases),
                         [](const testing::TestParamInfo<SwitchCase>& i) { return i.param.name; });

struct UpperCase {
    const char* name;
    const char* locale;
    std::string input;
    std::string expected;
};

std::ostream& operator<<(std::ostream& os, const UpperCase& c) {
    return os << c.name;
}

const UpperCase kUpperCases[] = {
    {"Ascii", "C", "Typical 1-x", "TYPICAL 1-X"},
    {"Empty", "C", "", ""},
    {"HighByteUnderC", "C", "caf\xE9", "CAF\xE9"},
    {"HighByteUnderLatin1", "de_DE", "caf\xE9", "CAF\xC9"},
    {"Utf8BytesUnchanged", "en_US.utf8", "caf\xC3\xA9", "CAF\xC3\xA9"},
};

class ToUpperTest : public testing::TestWithParam<UpperCase> {};

TEST_P(ToUpperTest, UpperCasesInPlaceByLocale) {
    const UpperCase& c = GetParam();
    LocaleGuard locale(c.locale);
    REQUIRE_LOCALE(locale, c.locale);
    std::string text = c.input;
    toUpper(text.data());
    EXPECT_EQ(svctest::hex(text), svctest::hex(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Switches, ToUpperTest, testing::ValuesIn(kUpperCases),
                         [](const testing::TestParamInfo<UpperCase>& i) { return i.param.name; });

}  // namespace
