// Reading support files from a damaged or hostile medium.
#include "services/medium_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

namespace {

TEST(MediumFile, ReadsAtMostTheLimitOfRegularFilesOnly) {
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

    struct Case {
        std::string path;
        bool read;
        std::string bytes;
        bool longer;
    } cases[] = {
        {path("short"), true, "abc", false},
        {path("exact"), true, "abcdefgh", false},
        {path("long"), true, "abcdefgh", true},
        {path("huge"), true, std::string(8, '\0'), true},
        // A regular file whose size fstat gives as 0.
        {"/proc/self/status", true, "Name:\tse", true},
        {path("fifo"), false, "", false},
        {dir.path(), false, "", false},
        {"/dev/zero", false, "", false},
        {path("missing"), false, "", false},
    };
    for (const Case& c : cases) {
        std::string bytes = "stale";
        bool longer = !c.longer;
        EXPECT_EQ(readMediumFile(c.path.c_str(), 8, &bytes, &longer), c.read) << c.path;
        EXPECT_EQ(bytes, c.bytes) << c.path;
        EXPECT_EQ(longer, c.longer) << c.path;
    }
}

}  // namespace
