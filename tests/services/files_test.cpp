// Files at fixed names in a directory that other users can write to, and texts for a
// terminal.
#include "services/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <functional>

#include "services/terminal_text.h"
#include "tests/services/test_support.h"

namespace {

namespace fs = std::filesystem;

struct Planted {
    const char* name;
    std::function<void(const std::string& path, const std::string& victim)> plant;
    bool placed;
    bool moveAside = false;  // asked to move a directory at the name aside
};

void plantDirectory(const std::string& path, const std::string&) {
    mkdir(path.c_str(), 0777);
    writeFile(path + "/inside", "x");
}

// Whatever stood at the name, the name becomes a new regular file of ours with the
// content, and nothing it pointed to is touched; a directory stops it unless it may be
// moved aside, whole, to a new name beside it.
TEST(SharedFiles, PlacedFileReplacesWhatStoodAtTheName) {
    const Planted cases[] = {
        {"nothing", [](const std::string&, const std::string&) {}, true},
        {"link to a file",
         [](const std::string& p, const std::string& v) { symlink(v.c_str(), p.c_str()); }, true},
        {"dangling link",
         [](const std::string& p, const std::string&) { symlink("/nonexistent/x", p.c_str()); },
         true},
        {"hard link",
         [](const std::string& p, const std::string& v) { link(v.c_str(), p.c_str()); }, true},
        {"fifo", [](const std::string& p, const std::string&) { mkfifo(p.c_str(), 0666); }, true},
        {"someone's file",
         [](const std::string& p, const std::string&) {
             writeFile(p, "QRVLAUTOWEBSERVER=`id`\n");
             chmod(p.c_str(), 0666);
         },
         true},
        {"directory", plantDirectory, false},
        {"directory, moved aside", plantDirectory, true, true},
    };
    for (const Planted& c : cases) {
        ScratchDir dir;
        std::string victim = dir.file("victim");
        writeFile(victim, "precious");
        std::string path = dir.file("quorvelInstallSettings");
        c.plant(path, victim);

        FileIdentity made;
        std::string aside;
        PlaceOptions options(0644, &made);
        options.movedAside = c.moveAside ? &aside : nullptr;
        EXPECT_EQ(placeFile(path, "QRVLAUTOSNMP=yes\n", options), c.placed) << c.name;
        const bool directoryMoved = !aside.empty();
        if (directoryMoved) {
            EXPECT_EQ(aside.compare(0, path.size() + 1, path + "."), 0) << aside;
            EXPECT_EQ(readFile(aside + "/inside"), "x") << c.name;
        }
        EXPECT_EQ(readFile(victim), "precious") << c.name;
        struct stat info;
        ASSERT_EQ(lstat(path.c_str(), &info), 0) << c.name;
        if (c.placed) {
            EXPECT_TRUE(S_ISREG(info.st_mode)) << c.name;
            EXPECT_EQ(info.st_mode & 07777, 0644u) << c.name;
            EXPECT_EQ(info.st_uid, geteuid()) << c.name;
            EXPECT_EQ(readFile(path), "QRVLAUTOSNMP=yes\n") << c.name;
            removeOwnFile(path, made);
            EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << c.name;
        } else {
            EXPECT_TRUE(S_ISDIR(info.st_mode)) << c.name;
            EXPECT_FALSE(made.made) << c.name;
        }
        // No temporary file is left beside it.
        size_t entries =
            std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
        EXPECT_EQ(entries, c.placed && !directoryMoved ? 1u : 2u) << c.name;
    }
}

TEST(SharedFiles, OnlyOurOwnFileIsRemoved) {
    ScratchDir dir;
    std::string path = dir.file("stage3started");
    FileIdentity ours;
    ASSERT_TRUE(placeFile(path, "", PlaceOptions(0644, &ours)));
    // Another run made the name its own since.
    FileIdentity theirs;
    ASSERT_TRUE(placeFile(path, "", PlaceOptions(0644, &theirs)));
    removeOwnFile(path, ours);
    EXPECT_TRUE(fs::exists(path));
    removeOwnFile(path, theirs);
    EXPECT_FALSE(fs::exists(path));
}

TEST(SharedFiles, PrivateDirectoryAndItsFiles) {
    ScratchDir dir;
    std::string made = makePrivateDirectory(dir.file("stage3-install.XXXXXX"));
    ASSERT_FALSE(made.empty());
    struct stat info;
    ASSERT_EQ(lstat(made.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    std::string file = made + "/quorvelInstallError";
    EXPECT_TRUE(writeNewFile(file, "1\n", 0600));
    EXPECT_FALSE(writeNewFile(file, "2\n", 0600));  // never over an existing name
}

TEST(Files, ReadsAtMostTheLimitOfRegularFilesOnly) {
    ScratchDir dir;
    auto path = [&](const char* name) { return dir.file(name); };
    writeFile(path("short"), "abc");
    writeFile(path("exact"), "abcdefgh");
    writeFile(path("long"), "abcdefghi");
    // 4 GiB that take no room and read as NULs.
    writeFile(path("huge"), "");
    ASSERT_EQ(0, truncate(path("huge").c_str(), 4LL << 30));
    // A blocking open of a FIFO without a writer would hang this test.
    ASSERT_EQ(0, mkfifo(path("fifo").c_str(), 0600));
    ASSERT_EQ(0, symlink(path("short").c_str(), path("link").c_str()));

    struct Case {
        std::string path;
        Links links;
        bool read;
        std::string bytes;
        bool longer;
    } cases[] = {
        {path("short"), Links::Follow, true, "abc", false},
        {path("exact"), Links::Follow, true, "abcdefgh", false},
        {path("long"), Links::Follow, true, "abcdefgh", true},
        {path("huge"), Links::Follow, true, std::string(8, '\0'), true},
        // A regular file whose size fstat gives as 0.
        {"/proc/self/status", Links::Follow, true, "Name:\tse", true},
        {path("link"), Links::Follow, true, "abc", false},
        {path("link"), Links::Refuse, false, "", false},
        {path("fifo"), Links::Follow, false, "", false},
        {dir.path(), Links::Follow, false, "", false},
        {"/dev/zero", Links::Follow, false, "", false},
        {path("missing"), Links::Follow, false, "", false},
    };
    for (const Case& c : cases) {
        std::string bytes = "stale";
        bool longer = !c.longer;
        EXPECT_EQ(readRegularFile(c.path, 8, &bytes, &longer, c.links), c.read) << c.path;
        EXPECT_EQ(bytes, c.bytes) << c.path;
        EXPECT_EQ(longer, c.longer) << c.path;
    }
}

TEST(TerminalText, ControlCharactersAreRemoved) {
    struct Case {
        const char* locale;
        const char* text;
        const char* safe;
    };
    const Case cases[] = {
        {"C.UTF-8", "plain\ttext\n", "plain\ttext\n"},
        {"C.UTF-8", "\x1b]0;owned\x07title\x1b[2J", "]0;ownedtitle[2J"},
        {"C.UTF-8", "ok\r\x7f\x01", "ok"},
        {"C.UTF-8",
         "C1 \xc2\x9b"
         "31m here",
         "C1 31m here"},
        {"C.UTF-8", "B\xc3\xa4r \xe6\x97\xa5", "B\xc3\xa4r \xe6\x97\xa5"},
        {"de_DE.ISO-8859-1",
         "B\xe4r \x9b"
         "1m",
         "B\xe4r 1m"},
        {"ja_JP.eucjp", "\xc6\xfc\xcb\xdc\x1b[H", "\xc6\xfc\xcb\xdc[H"},
    };
    for (const Case& c : cases) {
        LocaleGuard guard(c.locale);
        if (!guard.ok())
            continue;
        EXPECT_EQ(terminalSafeText(c.text), c.safe) << c.locale << " " << svctest::hex(c.text);
    }
}

// A line shown to root holds one line whatever the path in it: a newline, a tab or a
// NUL of a file's name starts no line of its own, and no control sequence passes.
TEST(TerminalText, LinesStayOneLine) {
    LocaleGuard guard("C.UTF-8");
    REQUIRE_LOCALE(guard, "C.UTF-8");
    const std::pair<std::string, std::string> cases[] = {
        {"pkg.rpm: OK", "pkg.rpm: OK"},
        {"a\nb.rpm: OK\nforged.rpm: OK", "a?b.rpm: OK?forged.rpm: OK"},
        {"x\x1b[2J\ty.rpm", "x[2J?y.rpm"},
        {std::string("a\0b", 3), "a?b"},
    };
    for (const auto& [text, line] : cases)
        EXPECT_EQ(terminalSafeLine(text), line) << svctest::hex(text);
}

// The working directory as the kernel names it, whatever PWD says (a link to it).
TEST(Files, CurrentDirectoryIsThePhysicalOne) {
    ScratchDir scratch;
    fs::create_directory(scratch.file("real"));
    fs::create_directory_symlink("real", scratch.file("link"));
    const std::string physical = fs::canonical(scratch.file("real")).string();
    ChangeDir here(scratch.file("link"));
    EnvVar pwd("PWD", scratch.file("link"));
    EXPECT_EQ(currentDirectory(), physical);
}

}  // namespace
