#include "services/conversion.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "test_support.h"

namespace {

using svctest::hex;

struct StreamCase {
    const char* name;
    std::string input;
    std::string expected;
    int result;
};

std::ostream& operator<<(std::ostream& os, const StreamCase& c) {
    return os << c.name;
}

std::string bytes(std::initializer_list<unsigned char> list) {
    return std::string(list.begin(), list.end());
}

std::stringstream binaryStream(const std::string& content = std::string()) {
    return std::stringstream(content, std::ios::in | std::ios::out | std::ios::binary);
}

std::pair<int, std::string> runUtf8to16(const std::string& input) {
    auto in = binaryStream(input);
    auto out = binaryStream();
    int result = UTF8toUTF16(in, out);
    return {result, out.str()};
}

std::pair<int, std::string> runUtf16to8(const std::string& input) {
    auto in = binaryStream(input);
    auto out = binaryStream();
    int result = UTF16toUTF8(in, out);
    return {result, out.str()};
}

// Well-formed UTF-8 of one to four bytes, and the two refused lead bytes.
const StreamCase kUtf8To16[] = {
    {"Empty", "", "", 0},
    {"Ascii", "A", bytes({0x41, 0x00}), 0},
    {"Nul", std::string(1, '\0'), bytes({0x00, 0x00}), 0},
    {"TwoBytes", bytes({0xC3, 0xA9}), bytes({0xE9, 0x00}), 0},
    {"ThreeBytes", bytes({0xE2, 0x82, 0xAC}), bytes({0xAC, 0x20}), 0},
    {"FourBytesAsOne32BitValue", bytes({0xF0, 0x9F, 0x98, 0x80}), bytes({0x00, 0xF6, 0x01, 0x00}),
     0},
    {"Mixed", "a" + bytes({0xC3, 0xA9, 0xE2, 0x82, 0xAC}) + "z",
     bytes({0x61, 0x00, 0xE9, 0x00, 0xAC, 0x20, 0x7A, 0x00}), 0},
    {"LeadFF", bytes({0x41, 0xFF, 0x42}), bytes({0x41, 0x00}), -1},
    {"LeadFE", bytes({0xFE, 0x41}), "", -1},
};

// Malformed input is decoded by fixed rules, never refused except FE/FF.
const StreamCase kMalformedUtf8[] = {
    {"StrayContinuation80", bytes({0x80}), bytes({0x80, 0x00}), 0},
    {"StrayContinuationBF", bytes({0xBF}), bytes({0xBF, 0x00}), 0},
    {"StrayBetweenLetters", bytes({0x41, 0x80, 0x42}), bytes({0x41, 0x00, 0x80, 0x00, 0x42, 0x00}),
     0},
    {"TwoByteCutAfterLead", bytes({0xC3}), bytes({0xFF, 0x00}), 0},
    {"ThreeByteCutAfterLead", bytes({0xE2}), bytes({0xFF, 0x2F}), 0},
    {"ThreeByteCutAfterOne", bytes({0xE2, 0x82}), bytes({0xBF, 0x20}), 0},
    {"FourByteCutAfterLead", bytes({0xF0}), bytes({0xFF, 0xFF, 0x03, 0x00}), 0},
    {"ContinuationNotChecked", bytes({0xC3, 0x41, 0x42}), bytes({0xC1, 0x00, 0x42, 0x00}), 0},
    {"OverlongNul", bytes({0xC0, 0x80}), bytes({0x00, 0x00}), 0},
    {"OverlongTwoByte", bytes({0xC1, 0xBF}), bytes({0x7F, 0x00}), 0},
    {"OverlongThreeByte", bytes({0xE0, 0x80, 0xAF}), bytes({0x2F, 0x00}), 0},
    {"OverlongFourByteEuro", bytes({0xF0, 0x82, 0x82, 0xAC}), bytes({0xAC, 0x20}), 0},
    {"SurrogateCodePoint", bytes({0xED, 0xA0, 0x80}), bytes({0x00, 0xD8}), 0},
    {"FiveByteForm", bytes({0xF8, 0x88, 0x80, 0x80, 0x80}), bytes({0x00, 0x00, 0x20, 0x00}), 0},
    {"SixByteFormAllBits", bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF}),
     bytes({0xFF, 0xFF, 0xFF, 0x7F}), 0},
    {"ByteFEAfterText", bytes({0x41, 0xFE}), bytes({0x41, 0x00}), -1},
    {"ByteFFAlone", bytes({0xFF}), "", -1},
};

const StreamCase kUtf16To8[] = {
    {"Empty", "", bytes({0xEF, 0xBB, 0xBF}), 0},
    {"LittleEndianMark", bytes({0xFF, 0xFE, 0x41, 0x00}), bytes({0xEF, 0xBB, 0xBF, 0x41}), 0},
    {"BigEndianMark", bytes({0xFE, 0xFF, 0x00, 0x41}), bytes({0xEF, 0xBB, 0xBF, 0x41}), 0},
    {"NoMark", bytes({0x41, 0x00}), bytes({0xEF, 0xBB, 0xBF, 0x41}), 0},
    {"MarkOnly", bytes({0xFF, 0xFE}), bytes({0xEF, 0xBB, 0xBF}), 0},
    {"OddByteDropped", bytes({0x41, 0x00, 0x42}), bytes({0xEF, 0xBB, 0xBF, 0x41}), 0},
    {"SingleByte", bytes({0x41}), bytes({0xEF, 0xBB, 0xBF}), 0},
    {"EncodingBoundaries", bytes({0x80, 0x00, 0xFF, 0x07, 0x00, 0x08, 0xFF, 0xFF}),
     bytes({0xEF, 0xBB, 0xBF, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF}), 0},
    {"BigEndianText", bytes({0xFE, 0xFF, 0x00, 0xE9, 0x20, 0xAC}),
     bytes({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 0xE2, 0x82, 0xAC}), 0},
    {"SurrogatePairNotJoined", bytes({0x3D, 0xD8, 0x00, 0xDE}),
     bytes({0xEF, 0xBB, 0xBF, 0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}), 0},
    {"NulUnit", bytes({0x00, 0x00, 0x41, 0x00}), bytes({0xEF, 0xBB, 0xBF, 0x00, 0x41}), 0},
};

class Utf8To16 : public testing::TestWithParam<StreamCase> {};
class MalformedUtf8To16 : public testing::TestWithParam<StreamCase> {};
class Utf16To8 : public testing::TestWithParam<StreamCase> {};

TEST_P(Utf8To16, WritesLittleEndianUnits) {
    auto [result, output] = runUtf8to16(GetParam().input);
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(hex(output), hex(GetParam().expected));
}

TEST_P(MalformedUtf8To16, DecodesByFixedRules) {
    auto [result, output] = runUtf8to16(GetParam().input);
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(hex(output), hex(GetParam().expected));
}

TEST_P(Utf16To8, WritesMarkThenUtf8) {
    auto [result, output] = runUtf16to8(GetParam().input);
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(hex(output), hex(GetParam().expected));
}

auto caseName = [](const testing::TestParamInfo<StreamCase>& info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(Conversion, Utf8To16, testing::ValuesIn(kUtf8To16), caseName);
INSTANTIATE_TEST_SUITE_P(Conversion, MalformedUtf8To16, testing::ValuesIn(kMalformedUtf8),
                         caseName);
INSTANTIATE_TEST_SUITE_P(Conversion, Utf16To8, testing::ValuesIn(kUtf16To8), caseName);

// The converters use only byte-level stream operations, so file-backed
// streams behave like in-memory ones.
TEST(ConversionStreams, FileBackedStreamsRoundTrip) {
    ScratchDir dir;
    const auto inPath = dir.file("in.bin");
    const auto midPath = dir.file("mid.bin");
    const auto outPath = dir.file("out.bin");
    const std::string text = "Caf" + bytes({0xC3, 0xA9, 0xE2, 0x82, 0xAC});
    writeFile(inPath, text);
    writeFile(midPath, "");
    writeFile(outPath, "");

    const auto mode = std::ios::in | std::ios::out | std::ios::binary;
    {
        std::fstream in(inPath, mode), mid(midPath, mode);
        ASSERT_EQ(UTF8toUTF16(in, mid), 0);
    }
    {
        std::fstream mid(midPath, mode), out(outPath, mode);
        ASSERT_EQ(UTF16toUTF8(mid, out), 0);
    }
    std::string back = readFile(outPath);
    EXPECT_EQ(hex(back), hex(bytes({0xEF, 0xBB, 0xBF}) + text));
}

struct MbcsCase {
    const char* name;
    const char* locale;
    std::string input;
    int result;
    std::string expected;
};

std::ostream& operator<<(std::ostream& os, const MbcsCase& c) {
    return os << c.name;
}

const std::string kEAcute = bytes({0xC3, 0xA9});
const std::string kNihon = bytes({0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC});
const std::string kBom = bytes({0xEF, 0xBB, 0xBF});

const MbcsCase kMbcs[] = {
    {"EmptyInput", "C", "", 0, ""},
    {"AsciiUnderC", "C", "Setup 1.0", 0, "Setup 1.0"},
    {"AsciiUnderLatin1", "de_DE", "Setup 1.0", 0, "Setup 1.0"},
    {"EAcuteUnderUtf8", "en_US.utf8", "Caf" + kEAcute, 0, "Caf" + kEAcute},
    {"EAcuteUnderLatin1", "de_DE", "Caf" + kEAcute, 0, "Caf\xE9"},
    {"EAcuteUnderCKeepsPrefix", "C", "Caf" + kEAcute + "s", -1, "Caf"},
    {"JapaneseUnderEucJp", "ja_JP.eucjp", kNihon, 0, bytes({0xC6, 0xFC, 0xCB, 0xDC})},
    {"JapaneseUnderLatin1", "de_DE", "x" + kNihon, -1, "x"},
    {"LeadingBomDroppedUtf8", "en_US.utf8", kBom + "abc", 0, "abc"},
    {"LeadingBomDroppedLatin1", "de_DE", kBom + "abc", 0, "abc"},
    {"LeadingFFFEDropped", "en_US.utf8", bytes({0xEF, 0xBF, 0xBE}) + "x", 0, "x"},
    {"InnerBomKept", "en_US.utf8", "a" + kBom, 0, "a" + kBom},
    {"NulDropped", "C", std::string("a\0b", 3), 0, "ab"},
    {"ByteFFGivesEmpty", "en_US.utf8", "abc\xFF", -1, ""},
    {"ByteFEGivesEmpty", "de_DE", "\xFE", -1, ""},
};

class Utf8ToMbcs : public testing::TestWithParam<MbcsCase> {};

TEST_P(Utf8ToMbcs, ConvertsInCurrentLocale) {
    const MbcsCase& c = GetParam();
    LocaleGuard locale(c.locale);
    REQUIRE_LOCALE(locale, c.locale);
    std::string mbcs = "stale content";
    EXPECT_EQ(UTF8toMbcs(c.input, mbcs), c.result);
    EXPECT_EQ(hex(mbcs), hex(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Conversion, Utf8ToMbcs, testing::ValuesIn(kMbcs),
                         [](const testing::TestParamInfo<MbcsCase>& info) {
                             return info.param.name;
                         });

}  // namespace
