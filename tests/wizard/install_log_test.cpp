// What of the install output reaches the log, and how much of it.
#include "wizard/install_log.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

namespace {

TEST(InstallLog, OutputAsATerminalShowsItUpToTheLimitThenTheFieldsStill) {
    ScratchDir dir;
    const std::string path = dir.file("install.log");
    InstallLog log;
    log.setPath(path);
    log.setLimit(100);
    ASSERT_EQ(log.createNamed(), 0);
    ASSERT_TRUE(log.open());
    log.write(std::string("tab\tkept\n\x1b]0;title\x07 bell\rcr\0nul\x7f\n", 33));
    log.writeField("medium", "/media/\x1b[2Jcd");
    log.write(std::string(100, 'x') + "\n");
    log.write("later output\n");
    log.writeField("result", "installed");
    log.close();
    EXPECT_EQ(readFile(path),
              "tab\tkept\n]0;title bellcrnul\nmedium: /media/[2Jcd\n"
              "--- end of install output: the rest was dropped, the log reached 100 bytes ---\n"
              "result: installed\n");
    // The install took the log made at start-up: it stays.
    log.discardUnused();
    EXPECT_EQ(dir.entries().size(), 1u);
}

}  // namespace
