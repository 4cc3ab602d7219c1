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
    static void reset() {
        std::strcpy(orgDirectory, ".");
        localeSubdirectory[0] = '\0';
    }
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
    setSearchDirectories("stage3");
    EXPECT_STREQ(localeSubdirectory, GetParam().subdirectory);
}

INSTANTIATE_TEST_SUITE_P(FileSearch, LocaleSubdirectory, testing::ValuesIn(kLangDirCases),
                         [](const testing::TestParamInfo<LangDirCase>& i) { return i.param.name; });

struct ProgramPathCase {
    const char* name;
    std::string programPath;
    std::string directory;
};

std::ostream& operator<<(std::ostream& os, const ProgramPathCase& c) {
    return os << c.name;
}

const std::string kDir255 = "/" + std::string(254, 'd');

const ProgramPathCase kProgramPathCases[] = {
    {"NoSlashKeepsDot", "stage3", "."},
    {"AbsolutePath", "/media/cd/stage3", "/media/cd"},
    {"RootDirectory", "/stage3", ""},
    {"DotSlash", "./stage3", "."},
    {"TrailingSlash", "a/b/", "a/b"},
    // The directory part alone has to fit, whatever the program's own name.
    {"LongProgramName", "/media/cd/" + std::string(300, 'p'), "/media/cd"},
    {"DirectoryOf255Characters", kDir255 + "/stage3", kDir255},
    {"DirectoryTooLongIsRefused", kDir255 + "d/stage3", "."},
};

class ProgramDirectory : public SearchGlobals,
                         public testing::WithParamInterface<ProgramPathCase> {};

TEST_P(ProgramDirectory, KeepsDirectoryPartWithoutSlash) {
    setSearchDirectories(GetParam().programPath.c_str());
    EXPECT_EQ(std::string(orgDirectory), GetParam().directory);
}

INSTANTIATE_TEST_SUITE_P(FileSearch, ProgramDirectory, testing::ValuesIn(kProgramPathCases),
                         [](const testing::TestParamInfo<ProgramPathCase>& i) {
                             return i.param.name;
                         });

// A working directory "work" (with a "de" subdirectory) and a program
// directory "medium" (with its own "de"), LANG de_DE.
class FindFileTest : public SearchGlobals {
  protected:
    void SetUp() override {
        SearchGlobals::SetUp();
        work_ = root_.file("work");
        medium_ = root_.file("medium");
        fs::create_directories(work_ / "de");
        fs::create_directories(medium_ / "de");
        cwd_ = std::make_unique<ChangeDir>(work_);
        lang_ = std::make_unique<EnvVar>("LANG", std::string("de_DE"));
        setSearchDirectories((medium_ / "stage3").c_str());
    }
    void TearDown() override {
        cwd_.reset();
        SearchGlobals::TearDown();
    }
    std::string medium(const std::string& rest) const { return (medium_ / rest).string(); }

    ScratchDir root_;
    fs::path work_, medium_;
    std::unique_ptr<ChangeDir> cwd_;
    std::unique_ptr<EnvVar> lang_;
};

TEST_F(FindFileTest, SearchOrderAndFileTypes) {
    for (const char* place : {"de/all.txt", "all.txt"}) writeFile(work_ / place, place);
    writeFile(medium_ / "de/all.txt", "");
    writeFile(medium_ / "all.txt", "");
    writeFile(work_ / "cwd.txt", "");
    writeFile(medium_ / "de/cwd.txt", "");
    writeFile(medium_ / "cwd.txt", "");
    writeFile(medium_ / "de/medsub.txt", "");
    writeFile(medium_ / "medsub.txt", "");
    writeFile(medium_ / "med.txt", "");
    // Directories, dangling links and links to directories do not qualify.
    fs::create_directories(work_ / "de/dir.txt");
    fs::create_directories(work_ / "dir.txt");
    writeFile(medium_ / "dir.txt", "");
    fs::create_symlink(root_.file("nowhere"), work_ / "de/dangling.txt");
    fs::create_symlink(root_.file("nowhere"), work_ / "dangling.txt");
    writeFile(medium_ / "dangling.txt", "");
    fs::create_directory_symlink(medium_, work_ / "dirlink.txt");
    writeFile(medium_ / "dirlink.txt", "");
    // A link to a regular file qualifies.
    fs::create_symlink(medium_ / "med.txt", work_ / "de/link.txt");

    const struct {
        const char* name;
        std::string expected;
    } cases[] = {
        {"all.txt", "de/all.txt"},
        {"cwd.txt", "cwd.txt"},
        {"medsub.txt", medium("de/medsub.txt")},
        {"med.txt", medium("med.txt")},
        {"absent.txt", "<none>"},
        {"dir.txt", medium("dir.txt")},
        {"dangling.txt", medium("dangling.txt")},
        {"dirlink.txt", medium("dirlink.txt")},
        {"link.txt", "de/link.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(found(c.name), c.expected) << c.name;
}

TEST_F(FindFileTest, EmptyLangSearchesNoSubdirectory) {
    EnvVar lang("LANG", std::string(""));
    setSearchDirectories((medium_ / "stage3").c_str());
    writeFile(work_ / "de/sub.txt", "");
    writeFile(medium_ / "only.txt", "");
    EXPECT_EQ(found("sub.txt"), "<none>");
    // Not medium//only.txt: the empty subdirectory candidate is skipped.
    EXPECT_EQ(found("only.txt"), medium("only.txt"));
}

TEST_F(FindFileTest, ProgramWithoutSlashSearchesCurrentDirectoryTwice) {
    reset();  // as at start-up: a path without a slash keeps the initial "."
    setSearchDirectories("stage3");
    EXPECT_STREQ(orgDirectory, ".");
    writeFile(work_ / "here.txt", "");
    EXPECT_EQ(found("here.txt"), "here.txt");
    writeFile(medium_ / "there.txt", "");
    EXPECT_EQ(found("there.txt"), "<none>");
}

TEST_F(FindFileTest, UnsetLangUsesEnglishSubdirectory) {
    EnvVar lang("LANG", std::nullopt);
    setSearchDirectories((medium_ / "stage3").c_str());
    writeFile(work_ / "en/license.txt", "");
    writeFile(work_ / "license.txt", "");
    EXPECT_EQ(found("license.txt"), "en/license.txt");
}

// Names longer than a path component buffer still find the right file.
TEST_F(FindFileTest, LongNamesAreSearchedInFull) {
    std::string name;
    for (int i = 0; i < 6; ++i) name += std::string(60, char('a' + i)) + "/";
    name += "deep.txt";
    ASSERT_GT(name.size(), 300u);
    writeFile(medium_ / name, "");
    EXPECT_EQ(found(name.c_str()), medium(name));
    EXPECT_EQ(found((name + "x").c_str()), "<none>");
}

class ResolveFilenameTest : public FindFileTest {};

TEST_F(ResolveFilenameTest, FirstSortedMatchInWorkingDirectory) {
    writeFile(work_ / "pkg-2.rpm", "");
    writeFile(work_ / "pkg-1.rpm", "");
    writeFile(medium_ / "pkg-0.rpm", "");
    char out[512] = "untouched";
    ASSERT_TRUE(resolveFilename("pkg*.rpm", out, sizeof out));
    EXPECT_EQ(std::string(out), (fs::current_path() / "pkg-1.rpm").string());
}

TEST_F(ResolveFilenameTest, FallsBackToProgramDirectory) {
    writeFile(medium_ / "pkg-0.rpm", "");
    char out[512] = "untouched";
    ASSERT_TRUE(resolveFilename("pkg*.rpm", out, sizeof out));
    EXPECT_EQ(std::string(out), medium("pkg-0.rpm"));
    EXPECT_FALSE(resolveFilename("none*.rpm", out, sizeof out));
    EXPECT_STREQ(out, medium("pkg-0.rpm").c_str());
}

TEST_F(ResolveFilenameTest, WorkingDirectoryIsTakenLiterally) {
    for (const char* name : {"Disk [1]", "a*b", "q?", "back\\slash"}) {
        fs::path dir = work_ / name;
        fs::create_directories(dir);
        fs::current_path(dir);
        writeFile(dir / "pkg-1.rpm", "");
        char out[512] = "untouched";
        ASSERT_TRUE(resolveFilename("pkg*.rpm", out, sizeof out)) << name;
        EXPECT_EQ(std::string(out), (dir / "pkg-1.rpm").string());
    }
}

TEST_F(ResolveFilenameTest, MatchMustBeShorterThanOutput) {
    writeFile(work_ / "a.rpm", "");
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

    // A working directory longer than the buffer fails at once, even when
    // the program directory holds a match.
    fs::path deep = work_;
    for (int i = 0; i < 5; ++i) deep /= std::string(60, 'w');
    fs::create_directories(deep);
    ChangeDir into(deep);
    EXPECT_FALSE(resolveFilename("b*.rpm", out, sizeof out));
}

}  // namespace
