#include "wizard/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(InstallProgress, StepsAndPercentagesMoveTheFractionOnlyForward) {
    const struct {
        const char* what;
        std::vector<std::string> lines;
        double fraction;
    } cases[] = {
        {"percentages without steps", {"%% 0.000000", "%% 30.500000"}, 0.305},
        {"a step's percentages fill its share", {"%% step 2 of 4", "%% 50.000000"}, 0.375},
        {"decimal comma, newline and carriage return",
         {"%% step 1 of 2\n", "%% 50,000000\r"},
         0.25},
        // rpm counts from 0 again for each phase: verifying, preparing, each package.
        {"phases of one rpm run",
         {"%% step 1 of 2", "%% 0.000000", "%% 66.666672", "%% 0.000000", "%% 40.000000"},
         1.0 / 3},
        {"an earlier step does not take the bar back",
         {"%% step 2 of 2", "%% 10.000000", "%% step 1 of 2", "%% 90.000000"},
         0.55},
        {"at most RunningLimit before the end",
         {"%% step 3 of 3", "%% 100.000000"},
         InstallProgress::RunningLimit},
        {"lines that are neither",
         {"%% step 1 of 2",
          "%% 20.000000",
          "%% step 3 of 2",
          "%% step 0 of 2",
          "%% step 1 of 1000",
          "%% step 2 of",
          "%% step 2 of 2 more",
          "step 2 of 2",
          "%% 101",
          "%% -5",
          "%% nan",
          "%% 1e3",
          "%% 50.0x",
          "%% .5",
          "%% 20.0.1",
          "%%",
          "%%50",
          "",
          "%% ",
          "99.000000"},
         0.1},
    };
    for (const auto& c : cases) {
        InstallProgress progress;
        double before = 0.0;
        for (const std::string& line : c.lines) {
            progress.take(line, 0);
            EXPECT_GE(progress.fraction(), before) << c.what << ": " << line;
            before = progress.fraction();
        }
        EXPECT_NEAR(progress.fraction(), c.fraction, 1e-6) << c.what;
        EXPECT_FALSE(progress.finished());
    }
}

TEST(InstallProgress, FullOnlyWhenTheInstallSucceeded) {
    for (bool succeeded : {true, false}) {
        InstallProgress progress;
        progress.take("%% step 1 of 2", 0);
        progress.take("%% 50.000000", 0);
        progress.finish(succeeded);
        EXPECT_TRUE(progress.finished());
        double end = succeeded ? 1.0 : 0.25;
        EXPECT_DOUBLE_EQ(progress.fraction(), end);
        // Nothing after the end moves it, nor a second end.
        progress.take("%% step 2 of 2", 0);
        progress.finish(true);
        EXPECT_DOUBLE_EQ(progress.fraction(), end);
    }
}

TEST(InstallProgress, WaitingWhileNoProgressLineComes) {
    const int64_t start = 5000000, wait = InstallProgress::WaitAfter;
    InstallProgress progress(start);
    EXPECT_FALSE(progress.waiting(start + wait - 1));
    EXPECT_TRUE(progress.waiting(start + wait));
    // A line that is not progress is no sign of life; a step or a percentage is.
    progress.take("%% garbage", start + wait);
    EXPECT_TRUE(progress.waiting(start + wait));
    progress.take("%% step 1 of 1", start + wait);
    EXPECT_FALSE(progress.waiting(start + wait));
    progress.take("%% 10.000000", start + 3 * wait);
    EXPECT_FALSE(progress.waiting(start + 4 * wait - 1));
    EXPECT_TRUE(progress.waiting(start + 4 * wait));
    progress.finish(false);
    EXPECT_FALSE(progress.waiting(start + 10 * wait));
}

}  // namespace
