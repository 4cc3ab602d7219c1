#include "services/file_search.h"

#include <glib.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct GFree {
    void operator()(char* p) const { g_free(p); }
};
using GString = std::unique_ptr<char, GFree>;

std::string found(const char* name) {
    GString path(findFile(name));
    return path ? std::string(path.get()) : std::string("<none>");
}

// Puts the globals back to their start-up values around every test.
class SearchGlobals : public testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() { localeSubdirectory[0] = '\0'; }
};

struct LangDirCase {
    const char* name;
    std::optional<std::string> lang;
    const char* subdirectory;
};

std::ostream& operator<<(std::ostream& os, const LangDirCase& c) {
    return os << c.name;
}

const LangDirCase kLangDirCases[] = {
    {"Unset", std::nullopt, "en"},
    {"ExactlyC", "C", "en"},
    {"CUtf8", "C.UTF-8", ""},
    {"Posix", "POSIX", ""},
    {"Empty", "", ""},
    {"OneCharacter", "d", ""},
    {"GermanGermany", "de_DE", "de"},
    {"FrenchWithCodeset", "fr_FR.UTF-8", "fr"},
    // Only a language code names a directory, never the parent or the root.
    {"ParentDirectory", "..", ""},
    {"Root", "/x", ""},
    {"DotLetter", ".a", ""},
};

class LocaleSubdirectory : public SearchGlobals, public testing::WithParamInterface<LangDirCase> {};

TEST_P(LocaleSubdirectory, TakesTheLanguageCodeOfLang) {
    EnvVar lang("LANG", GetParam().lang);
    setLocaleSubdirectory();
    EXPECT_STREQ(localeSubdirectory, GetParam().subdirectory);
}

INSTANTIATE_TEST_SUITE_P(FileSearch, LocaleSubdirectory, testing::ValuesIn(kLangDirCases),
                         [](const testing::TestParamInfo<LangDirCase>& i) { return i.param.name; });

// The medium "medium" (with a "de" subdirectory) is the working directory, LANG de_DE.
class FindFileTest : public SearchGlobals {
  protected:
    void SetUp() override {
        SearchGlobals::SetUp();
        medium_ = root_.file("medium");
        fs::create_directories(medium_ / "de");
        cwd_ = std::make_unique<ChangeDir>(medium_);
        lang_ = std::make_unique<EnvVar>("LANG", std::string("de_DE"));
        setLocaleSubdirectory();
    }
    void TearDown() override {
        cwd_.reset();
        SearchGlobals::TearDown();
    }

    ScratchDir root_;
    fs::path medium_;
    std::unique_ptr<ChangeDir> cwd_;
    std::unique_ptr<EnvVar> lang_;
};

TEST_F(FindFileTest, SearchOrderAndFileTypes) {
    writeFile(medium_ / "de/both.txt", "");
    writeFile(medium_ / "both.txt", "");
    writeFile(medium_ / "top.txt", "");
    writeFile(medium_ / "de/sub.txt", "");
    // Directories, dangling links and links to directories do not qualify.
    fs::create_directories(medium_ / "de/dir.txt");
    writeFile(medium_ / "dir.txt", "");
    fs::create_symlink(root_.file("nowhere"), medium_ / "de/dangling.txt");
    writeFile(medium_ / "dangling.txt", "");
    fs::create_directory_symlink(medium_, medium_ / "de/dirlink.txt");
    writeFile(medium_ / "dirlink.txt", "");
    // A link to a regular file qualifies.
    writeFile(root_.file("elsewhere.txt"), "");
    fs::create_symlink(root_.file("elsewhere.txt"), medium_ / "de/link.txt");

    const struct {
        const char* name;
        std::string expected;
    } cases[] = {
        {"both.txt", "de/both.txt"},
        {"top.txt", "top.txt"},
        {"sub.txt", "de/sub.txt"},
        {"absent.txt", "<none>"},
        {"dir.txt", "dir.txt"},
        {"dangling.txt", "dangling.txt"},
        {"dirlink.txt", "dirlink.txt"},
        {"link.txt", "de/link.txt"},
        // Only the medium is searched, never the directory above it.
        {"elsewhere.txt", "<none>"},
    };
    for (const auto& c : cases) EXPECT_EQ(found(c.name), c.expected) << c.name;
}

TEST_F(FindFileTest, EmptyLangSearchesNoSubdirectory) {
    EnvVar lang("LANG", std::string(""));
    setLocaleSubdirectory();
    writeFile(medium_ / "de/sub.txt", "");
    writeFile(medium_ / "only.txt", "");
    EXPECT_EQ(found("sub.txt"), "<none>");
    // Not /only.txt: the empty subdirectory candidate is skipped.
    EXPECT_EQ(found("only.txt"), "only.txt");
}

TEST_F(FindFileTest, UnsetLangUsesEnglishSubdirectory) {
    EnvVar lang("LANG", std::nullopt);
    setLocaleSubdirectory();
    writeFile(medium_ / "en/license.txt", "");
    writeFile(medium_ / "license.txt", "");
    EXPECT_EQ(found("license.txt"), "en/license.txt");
}

// Names longer than a path component buffer still find the right file.
TEST_F(FindFileTest, LongNamesAreSearchedInFull) {
    std::string name;
    for (int i = 0; i < 6; ++i) name += std::string(60, char('a' + i)) + "/";
    name += "deep.txt";
    ASSERT_GT(name.size(), 300u);
    writeFile(medium_ / name, "");
    EXPECT_EQ(found(name.c_str()), name);
    EXPECT_EQ(found((name + "x").c_str()), "<none>");
}

class ResolveFilenameTest : public FindFileTest {};

TEST_F(ResolveFilenameTest, FirstSortedMatchInTheMedium) {
    writeFile(medium_ / "pkg-2.rpm", "");
    writeFile(medium_ / "pkg-1.rpm", "");
    writeFile(root_.file("pkg-0.rpm"), "");
    char out[512] = "untouched";
    ASSERT_TRUE(resolveFilename("pkg*.rpm", out, sizeof out));
    EXPECT_EQ(std::string(out), (fs::current_path() / "pkg-1.rpm").string());
    EXPECT_FALSE(resolveFilename("none*.rpm", out, sizeof out));
    EXPECT_EQ(std::string(out), (fs::current_path() / "pkg-1.rpm").string());
}

TEST_F(ResolveFilenameTest, WorkingDirectoryIsTakenLiterally) {
    for (const char* name : {"Disk [1]", "a*b", "q?", "back\\slash"}) {
        fs::path dir = medium_ / name;
        fs::create_directories(dir);
        fs::current_path(dir);
        writeFile(dir / "pkg-1.rpm", "");
        char out[512] = "untouched";
        ASSERT_TRUE(resolveFilename("pkg*.rpm", out, sizeof out)) << name;
        EXPECT_EQ(std::string(out), (dir / "pkg-1.rpm").string());
    }
}

TEST_F(ResolveFilenameTest, MatchMustBeShorterThanOutput) {
    writeFile(medium_ / "a.rpm", "");
    const std::string match = (fs::current_path() / "a.rpm").string();
    std::string out(match.size() + 1, 'x');
    const std::string before = out;
    EXPECT_FALSE(resolveFilename("a*.rpm", out.data(), static_cast<int>(match.size())));
    EXPECT_EQ(out, before);
    EXPECT_TRUE(resolveFilename("a*.rpm", out.data(), static_cast<int>(match.size() + 1)));
    EXPECT_STREQ(out.c_str(), match.c_str());
    EXPECT_FALSE(resolveFilename("a*.rpm", out.data(), 0));
    EXPECT_FALSE(resolveFilename("a*.rpm", out.data(), -1));
}

TEST_F(ResolveFilenameTest, OverlongInputIsRefused) {
    writeFile(medium_ / "b.rpm", "");
    char out[1024] = "untouched";
    // A pattern that leaves no room for the working directory.
    for (std::size_t length : {253u, 254u, 255u, 600u}) {
        std::string pattern(length - 1, '?');
        pattern += '*';
        EXPECT_FALSE(resolveFilename(pattern.c_str(), out, sizeof out)) << length;
    }
    EXPECT_STREQ(out, "untouched");

    // A medium directory longer than the buffer fails at once.
    fs::path deep = medium_;
    for (int i = 0; i < 5; ++i) deep /= std::string(60, 'w');
    fs::create_directories(deep);
    ChangeDir into(deep);
    writeFile(deep / "b.rpm", "");
    EXPECT_FALSE(resolveFilename("b*.rpm", out, sizeof out));
}

}  // namespace
