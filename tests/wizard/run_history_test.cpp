#include "wizard/run_history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

RunEntry sample(const std::string& time) {
    RunEntry r;
    r.time = time;
    r.action = "upgrade";
    r.package = "quorvel-storman";
    r.applicationBefore = "3.A-1";
    r.applicationAfter = "3.B-2";
    r.driverAfter = "1.2.3-4";
    r.result = "succeeded";
    r.exitStatus = 5;
    r.log = "/var/log/stage3/install-20261207T193000Z.log";
    return r;
}

bool same(const RunEntry& a, const RunEntry& b) {
    return formatRunEntry(a) == formatRunEntry(b);
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RunHistory, LinesRoundTripDamagedOnesSkippedOldestDroppedPastTheLimit) {
    RunEntry back;
    RunEntry odd = sample("2026-12-07T19:30:00Z");
    odd.log = "/tmp/a \"quoted\" \\ log\nwith\ta line\x01";
    odd.exitStatus = -1;
    ASSERT_TRUE(parseRunEntry(formatRunEntry(odd), &back));
    EXPECT_TRUE(same(back, odd));
    EXPECT_EQ(formatRunEntry(odd).find('\n'), std::string::npos);

    const std::string good = formatRunEntry(sample("2026-12-07T19:30:00Z"));
    struct Case {
        const char* what;
        std::string text;
        size_t runs;
        int skipped;
    } cases[] = {
        {"one run", good + "\n", 1, 0},
        {"cut short by a crash", good + "\n" + good.substr(0, good.size() / 2), 1, 1},
        {"no object", "not a history\n{}\n" + good + "\n", 1, 2},
        {"no result", "{\"time\":\"t\",\"action\":\"install\",\"exit_status\":0}\n", 0, 1},
        {"a number that is none",
         "{\"time\":\"t\",\"action\":\"install\",\"result\":\"failed\","
         "\"exit_status\":-}\n",
         0, 1},
        {"empty lines are no runs", "\n\n" + good + "\n\n", 1, 0},
    };
    for (const Case& c : cases) {
        int skipped = -1;
        EXPECT_EQ(parseRunHistory(c.text, &skipped).size(), c.runs) << c.what;
        EXPECT_EQ(skipped, c.skipped) << c.what;
    }

    // Past HistoryLimit runs the oldest go; a line cut short stays until it is old enough.
    std::string text;
    for (size_t i = 0; i < HistoryLimit; ++i)
        text += formatRunEntry(sample("old-" + std::to_string(i))) + "\n";
    text += good.substr(0, 10);
    text = appendedRunHistory(text, sample("newest"));
    int skipped = 0;
    std::vector<RunEntry> runs = parseRunHistory(text, &skipped);
    ASSERT_EQ(runs.size() + skipped, HistoryLimit);
    EXPECT_EQ(runs.front().time, "old-2");
    EXPECT_EQ(runs.back().time, "newest");
    EXPECT_EQ(skipped, 1);
}

// The lines a normal user's run leaves through its root side, run by the shell as root.
TEST(RunHistory, RootSideAppendsOnlyToAHistoryOfRootsOwn) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the history's directory must be root's own";
    char base[] = "/tmp/stage3-history-test.XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string root = base, records = root + "/records";
    setInstallRecordDirectory(records);
    // rpm asks a private database that does not exist, never the machine's.
    std::ofstream(root + "/.rpmmacros") << "%_dbpath " << root << "/rpmdb\n";
    const std::string path = runHistoryPath("quorvel-storman");
    RunEntry begun = sample("2026-12-08T01:00:00Z");
    begun.package = "quorvel-storman";
    begun.log = "/tmp/it's \"a\" $(log)";
    struct Case {
        const char* what;
        std::string before;  // the history's text before; "-" for none
        mode_t mode;
        int status;
        const char* result;  // of the line appended; nullptr when none is
    } cases[] = {
        {"no history yet", "-", 0644, 0, "succeeded"},
        {"a failed run", "", 0644, 3, "failed"},
        {"a full history", std::string(), 0644, 0, "succeeded"},
        {"others can write to it", "", 0666, 0, nullptr},
    };
    for (size_t i = 0; i < HistoryLimit; ++i) cases[2].before += "line\n";
    for (const Case& c : cases) {
        std::system(("rm -rf '" + records + "' && mkdir -m 755 '" + records + "'").c_str());
        if (c.before != "-") {
            std::ofstream(path) << c.before;
            chmod(path.c_str(), c.mode);
        }
        const std::string script = root + "/script.sh";
        std::ofstream(script) << "set -C\nrecords='" << records << "'\nstatus=" << c.status << "\n"
                              << rootSideHistoryText(begun, "holvane", "");
        std::system(("HOME='" + root + "' /bin/sh '" + script + "' > /dev/null").c_str());
        int skipped = 0;
        std::vector<RunEntry> runs = parseRunHistory(readAll(path), &skipped);
        if (!c.result) {
            EXPECT_TRUE(runs.empty()) << c.what;
            continue;
        }
        ASSERT_FALSE(runs.empty()) << c.what;
        EXPECT_EQ(runs.back().result, c.result) << c.what;
        EXPECT_EQ(runs.back().exitStatus, c.status ? 2 : 0) << c.what;
        EXPECT_EQ(runs.back().log, begun.log) << c.what;
        EXPECT_EQ(runs.back().applicationBefore, "3.A-1") << c.what;
        EXPECT_EQ(runs.back().applicationAfter, "") << c.what;  // not in the empty database
        EXPECT_LE(runs.size() + skipped, HistoryLimit) << c.what;
        struct stat info;
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u) << c.what;
    }
    setInstallRecordDirectory("/var/lib/stage3");
    std::system(("rm -rf '" + root + "'").c_str());
}

}  // namespace
