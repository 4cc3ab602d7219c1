// The medium's digest list: reading it, checking every listed file and finding the
// files it does not list, on media made to fail in each way; and the build's script
// writing a list the reader takes.
#include "services/medium_manifest.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <utility>

#include "tests/services/test_support.h"
#include "tests/support/rpm_sandbox.h"

namespace {

std::string sha256(const std::string& bytes) {
    gchar* digest = g_compute_checksum_for_data(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string text = digest;
    g_free(digest);
    return text;
}

std::string entry(const std::string& content, const std::string& path, const char* mark = " ") {
    return sha256(content) + " " + mark + path + "\n";
}

// stage3, de/license.txt and a package whose name holds a blank, and their list.
std::string makeMedium(const std::string& dir) {
    writeFile(dir + "/stage3", "program");
    writeFile(dir + "/de/license.txt", "Lizenz");
    writeFile(dir + "/pkg 1.rpm", "package");
    return entry("program", "stage3", "*") + entry("Lizenz", "./de/license.txt") +
           entry("package", "pkg 1.rpm");
}

void writeList(const std::string& dir, const std::string& text) {
    writeFile(dir + "/" + ManifestName, text);
}

using Files = std::vector<std::pair<std::string, FileState>>;
const Files Base = {
    {"stage3", FileState::Ok}, {"de/license.txt", FileState::Ok}, {"pkg 1.rpm", FileState::Ok}};

TEST(MediumManifest, ChecksEveryListedFileAndFindsTheUnlisted) {
    struct Case {
        const char* name;
        std::function<void(const std::string& dir)> make;
        ManifestState state;
        Files files;
        bool acceptable;
        std::vector<std::pair<std::size_t, ManifestFault>> lineErrors = {};
    };
    const Case cases[] = {
        {"good", [](const std::string& d) { writeList(d, makeMedium(d)); }, ManifestState::Read,
         Base, true},
        {"no list: a medium of before",
         [](const std::string& d) { makeMedium(d); },
         ManifestState::Absent,
         {},
         true},
        {"changed, missing and unlisted files",
         [](const std::string& d) {
             writeList(d, makeMedium(d) + entry("gone", "gone.rpm"));
             writeFile(d + "/stage3", "program, changed");
             writeFile(d + "/extra.rpm", "not listed");
             writeFile(d + "/de/extra.txt", "not listed");
             symlink("/etc/passwd", (d + "/link").c_str());
             mkdir((d + "/empty").c_str(), 0755);
         },
         ManifestState::Read,
         {{"stage3", FileState::Differs},
          {"de/license.txt", FileState::Ok},
          {"pkg 1.rpm", FileState::Ok},
          {"gone.rpm", FileState::Missing},
          {"de/extra.txt", FileState::Unlisted},
          {"extra.rpm", FileState::Unlisted},
          {"link", FileState::Unlisted}},
         false},
        {"links, a FIFO, a directory and a path through a file",
         [](const std::string& d) {
             writeFile(d + "/real", "real");
             symlink("real", (d + "/alias").c_str());
             writeFile(d + "/sub/file", "file");
             symlink("sub", (d + "/linked").c_str());
             mkfifo((d + "/fifo").c_str(), 0644);
             writeList(d, entry("real", "real") + entry("real", "alias") +
                              entry("file", "sub/file") + entry("file", "linked/file") +
                              entry("", "fifo") + entry("", "sub") + entry("", "real/x"));
         },
         ManifestState::Read,
         {{"real", FileState::Ok},
          {"alias", FileState::NotRegular},
          {"sub/file", FileState::Ok},
          {"linked/file", FileState::NotRegular},
          {"fifo", FileState::NotRegular},
          {"sub", FileState::NotRegular},
          {"real/x", FileState::Missing},
          {"linked", FileState::Unlisted}},
         false},
        {"names sha256sum escapes",
         [](const std::string& d) {
             writeFile(d + "/back\\slash", "b");
             writeList(d, "\\" + entry("b", "back\\\\slash"));
         },
         ManifestState::Read,
         {{"back\\slash", FileState::Ok}},
         true},
        {"malformed lines",
         [](const std::string& d) {
             const std::string digest = sha256("program");
             writeList(d, makeMedium(d) + "\n" + "abc  short\n" + std::string(64, 'g') + "  x\n" +
                              digest + " x\n" + digest + "  /etc/passwd\n" + digest +
                              "  ../outside\n" + digest + "  a//b\n" + digest + "  ./stage3\n" +
                              "\\" + digest + "  a\\tb\n" + digest + "  a\tb\n" + digest +
                              "  ..\n");
         },
         ManifestState::Malformed,
         {},
         false,
         {{5, ManifestFault::Format},
          {6, ManifestFault::Format},
          {7, ManifestFault::Format},
          {8, ManifestFault::BadPath},
          {9, ManifestFault::BadPath},
          {10, ManifestFault::BadPath},
          {11, ManifestFault::Duplicate},
          {12, ManifestFault::Format},
          {13, ManifestFault::BadPath},
          {14, ManifestFault::BadPath}}},
        {"the list is a FIFO",
         [](const std::string& d) { mkfifo((d + "/" + ManifestName).c_str(), 0644); },
         ManifestState::Unreadable,
         {},
         false},
        {"the list is a link",
         [](const std::string& d) {
             writeFile(d + "/list", makeMedium(d));
             symlink("list", (d + "/" + ManifestName).c_str());
         },
         ManifestState::Unreadable,
         {},
         false},
        {"the list is too large",
         [](const std::string& d) {
             writeList(d, makeMedium(d));
             ASSERT_EQ(truncate((d + "/" + ManifestName).c_str(), kManifestLimit + 1), 0);
         },
         ManifestState::TooLarge,
         {},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir("stage3-manifest");
        c.make(dir.path());
        std::size_t done = 0, total = 0;
        const MediumCheck check =
            checkMedium(dir.path(), [&](std::size_t d, std::size_t t) { done = d, total = t; });
        EXPECT_EQ(check.manifest, c.state);
        EXPECT_EQ(check.acceptable(), c.acceptable);
        Files files;
        for (const FileCheck& file : check.files) {
            files.emplace_back(file.path, file.state);
            if (file.state == FileState::Ok || file.state == FileState::Differs) {
                EXPECT_EQ(file.found, sha256(readFile(dir.file(file.path)))) << file.path;
            }
            if (file.state == FileState::Differs) {
                EXPECT_EQ(file.expected, sha256("program")) << file.path;
            }
        }
        EXPECT_EQ(files, c.files);
        std::vector<std::pair<std::size_t, ManifestFault>> lineErrors;
        for (const ManifestLineError& error : check.lineErrors)
            lineErrors.emplace_back(error.line, error.fault);
        EXPECT_EQ(lineErrors, c.lineErrors);
        if (c.state == ManifestState::Read) {
            EXPECT_EQ(check.manifestDigest, sha256(readFile(dir.file(ManifestName))));
            std::size_t listed = 0;
            for (const auto& file : c.files) listed += file.second != FileState::Unlisted;
            EXPECT_EQ(done, listed);
            EXPECT_EQ(total, listed);
        }
    }
}

TEST(MediumManifest, ScriptListsWhatTheReaderTakes) {
    ScratchDir dir("stage3-manifest");
    makeMedium(dir.path());
    writeFile(dir.file("-x"), "dash");
    writeFile(dir.file("back\\slash"), "b");
    writeList(dir.path(), "stale list\n");
    const std::string script =
        RpmSandbox::quote(std::string(STAGE3_SOURCE_DIR) + "/scripts/make_manifest.sh");
    ASSERT_EQ(RpmSandbox::run(script + " " + RpmSandbox::quote(dir.path())), 0);
    MediumCheck check = checkMedium(dir.path());
    EXPECT_EQ(check.manifest, ManifestState::Read);
    EXPECT_EQ(check.files.size(), 5u);
    EXPECT_TRUE(check.acceptable());

    // A link is refused, unless links are to be followed (a tree an image is made from).
    symlink("stage3", dir.file("alias").c_str());
    EXPECT_NE(RpmSandbox::run(script + " " + RpmSandbox::quote(dir.path()) + " 2>/dev/null"), 0);
    ASSERT_EQ(RpmSandbox::run(script + " --follow-links " + RpmSandbox::quote(dir.path())), 0);
    EXPECT_NE(readFile(dir.file(ManifestName)).find("  alias\n"), std::string::npos);
}

}  // namespace
