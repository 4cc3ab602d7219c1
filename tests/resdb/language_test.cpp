// Language identifiers: codes, order, record bytes and the degradation steps.
#include "resdb/language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "resdb/memory_file.h"
#include "resdb/resource.h"
#include "test_support.h"

namespace {

Language_C Lang(const char* language, const char* region, unsigned int variant = 0,
                unsigned int subVariant = 0) {
    return Language_C(language, region, variant, subVariant);
}

const unsigned int kEn = 0x6E65;
const unsigned int kUS = 0x5355;

TEST(Language, SetLangAcceptsTwoLetterLanguagesAndTwoOrThreeLetterRegions) {
    struct Case {
        const char* language;
        const char* region;
        bool accepted;
        unsigned int packedLanguage;
        unsigned int packedRegion;
    } cases[] = {
        {"de", nullptr, true, 0x6564, kUS},    {nullptr, nullptr, true, kEn, kUS},
        {"pt", "BRA", true, 0x7470, 0x415242}, {"xx", "419", true, 0x7878, 0x393134},
        {"deu", "DE", false, kEn, 0x1111},  // region left as it was
        {"pt", "B", false, 0x7470, kUS},       {"pt", "BRAZ", false, 0x7470, kUS},
        {"", "DE", false, kEn, 0x1111},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.language ? c.language : "null") + "/" +
                     (c.region ? c.region : "null"));
        Language_C lang;
        lang.region = 0x1111;
        lang.variant = 5;
        EXPECT_EQ(c.accepted, lang.SetLang(c.language, c.region, 1, 2));
        EXPECT_EQ(c.packedLanguage, lang.language);
        EXPECT_EQ(c.packedRegion, lang.region);
        EXPECT_EQ(c.accepted ? 1u : 5u, lang.variant);
    }
    EXPECT_THROW(Lang("deu", "DE"), ResourceError);
    try {
        Lang("de", "D");
    } catch (const ResourceError& error) {
        EXPECT_EQ(ResourceError::INVALID_LANGUAGE, error.code);
    }
    Language_C fallback;
    EXPECT_TRUE(fallback == Lang("en", "US"));
    EXPECT_EQ(0x6E65u, fallback.StringToU32("en"));
    EXPECT_EQ(0x5355u, fallback.StringToU32("US"));
    EXPECT_EQ(0x64636261u, fallback.StringToU32("abcdef"));
}

TEST(Language, MapOrderWeighsTheSecondCharacterMore) {
    const char* languages[] = {"ja", "de", "zh", "en", "fr", "es", "it"};
    for (size_t i = 0; i + 1 < 7; ++i)
        EXPECT_TRUE(Lang(languages[i], "US") < Lang(languages[i + 1], "US")) << languages[i];
    const char* regions[] = {"CA", "GB", "FR", "US"};
    for (size_t i = 0; i + 1 < 4; ++i)
        EXPECT_TRUE(Lang("en", regions[i]) < Lang("en", regions[i + 1])) << regions[i];
    EXPECT_TRUE(Lang("en", "US", 1, 9) < Lang("en", "US", 2, 0));
    EXPECT_TRUE(Lang("en", "US", 2, 1) < Lang("en", "US", 2, 2));
    EXPECT_TRUE(Lang("de", "ZZ", 9, 9) < Lang("en", "AA", 0, 0));  // language first

    Language_C degraded = Lang("en", "US");
    degraded.fallbackLevel = 7;
    EXPECT_TRUE(degraded == Lang("en", "US"));
    EXPECT_FALSE(degraded < Lang("en", "US") || Lang("en", "US") < degraded);
}

TEST(Language, FallbackRunsThroughElevenStepsThenRestores) {
    Language_C lang;
    std::vector<unsigned int> levels;
    while (lang.Fallback()) levels.push_back(lang.fallbackLevel);
    EXPECT_EQ((std::vector<unsigned int>{1, 2, 3, 4, 5, 6, 7, 12, 13, 14, 15}), levels);
    EXPECT_EQ(0u, lang.fallbackLevel);
    lang.fallbackLevel = 9;
    lang.Restore();
    EXPECT_EQ(0u, lang.fallbackLevel);
}

// The first step at which a request meets a level-0 candidate, or 0 for none.
int FirstMatchingStep(const Language_C& request, const Language_C& candidate) {
    Language_C working = request;
    for (int step = 1; working.Fallback(); ++step) {
        if (working.DegradedMatch(candidate))
            return step;
    }
    return 0;
}

TEST(Language, DegradedMatchFollowsTheStepTable) {
    struct Case {
        Language_C request;
        Language_C candidate;
        int step;
    } cases[] = {
        {Lang("en", "US", 1, 2), Lang("en", "US", 1, 3), 1},
        {Lang("en", "US", 1, 2), Lang("en", "US", 4, 2), 2},
        {Lang("en", "US", 1, 2), Lang("en", "US", 4, 3), 3},
        {Lang("de", "DE"), Lang("de", "AT"), 4},
        {Lang("de", "DE", 1, 2), Lang("de", "AT", 1, 3), 5},
        {Lang("de", "DE", 1, 2), Lang("de", "AT", 4, 2), 6},
        {Lang("de", "DE", 1, 2), Lang("de", "AT", 4, 3), 7},
        {Lang("fr", "CA"), Lang("en", "US"), 8},
        {Lang("fr", "CA", 1, 2), Lang("en", "US", 1, 3), 9},
        {Lang("fr", "CA", 1, 2), Lang("en", "US", 4, 2), 10},
        {Lang("fr", "CA", 1, 2), Lang("en", "US", 4, 3), 11},
        {Lang("en", "US"), Lang("fr", "CA"), 8},
        {Lang("en", "US", 7, 7), Lang("ja", "JP"), 11},
        {Lang("fr", "CA"), Lang("en", "GB"), 0},  // neither side is en/US
        {Lang("fr", "CA"), Lang("de", "DE"), 0},
        // en/US's own numbers do not matter in the default-language test.
        {Lang("fr", "CA", 3, 0), Lang("en", "US", 3, 0), 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << c.request.language << "/" << c.request.region << " vs "
                     << c.candidate.language << "/" << c.candidate.region);
        EXPECT_EQ(c.step, FirstMatchingStep(c.request, c.candidate));
    }
    // Level 0 is plain equality; either side's level relaxes the comparison.
    EXPECT_TRUE(Lang("de", "DE").DegradedMatch(Lang("de", "DE")));
    EXPECT_FALSE(Lang("de", "DE", 0, 1).DegradedMatch(Lang("de", "DE")));
    Language_C relaxed = Lang("de", "AT");
    relaxed.fallbackLevel = 4;
    EXPECT_TRUE(Lang("de", "DE").DegradedMatch(relaxed));
}

TEST(Language, RecordIsFourLittleEndianNumbers) {
    MemoryDisk disk;
    MemoryFile_C file(disk);
    ASSERT_TRUE(file.Open("f", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_TRUNCATE,
                          File_C::ACCESS_READ_WRITE, File_C::SHARE_NONE));
    Language_C stored = Lang("es", "419", 0x01020304, 7);
    stored.fallbackLevel = 3;
    ASSERT_TRUE(stored.Store(&file));
    EXPECT_EQ(Hex("65 73 00 00 34 31 39 00 04 03 02 01 07 00 00 00"), disk.files["f"]);

    Language_C loaded;
    loaded.fallbackLevel = 5;
    file.SeekBegin(0);
    ASSERT_TRUE(loaded.Load(&file));
    EXPECT_TRUE(loaded == stored);
    EXPECT_EQ(5u, loaded.fallbackLevel);

    // A record cut short leaves the object as it was.
    disk.files["f"].resize(15);
    file.SeekBegin(0);
    Language_C untouched = Lang("ja", "JP");
    EXPECT_FALSE(untouched.Load(&file));
    EXPECT_TRUE(untouched == Lang("ja", "JP"));
}

}  // namespace
