// Running other programs: the first line of a command, and a command watched on the
// GLib main loop.
#include "services/child_process.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

TEST(ChildProcess, FirstOutputLine) {
    struct Case {
        std::vector<std::string> argv;
        bool got;
        const char* line;
    };
    const Case cases[] = {
        {{"printf", "one\ntwo\n"}, true, "one"},
        {{"printf", "no newline"}, true, "no newline"},
        {{"sh", "-c", "echo err >&2; printf 'crlf\\r\\n'"}, true, "crlf"},
        {{"true"}, false, ""},
        {{"/nonexistent/program"}, false, ""},
        // A child with more to say than the pipe holds still ends and is reaped.
        {{"sh", "-c", "echo first; yes more | head -c 1000000"}, true, "first"},
    };
    for (const Case& c : cases) {
        std::string line = "stale";
        EXPECT_EQ(firstOutputLine(c.argv, &line), c.got) << c.argv[0];
        EXPECT_EQ(line, c.line) << c.argv[0];
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child was left unreaped";
    }
}

TEST(ChildProcess, FirstLineQueriesRunAtOnce) {
    char dir[] = "/tmp/stage3-query-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string flag = std::string(dir) + "/flag";
    // The first waits (up to 10 s) for the second to run; taken first, it still answers.
    FirstLineQuery waiting, second;
    ASSERT_TRUE(waiting.start({"sh", "-c",
                               "i=0; while [ ! -e \"$1\" ] && [ $i -lt 1000 ]; do sleep 0.01; "
                               "i=$((i+1)); done; [ -e \"$1\" ] && echo met || echo alone",
                               "sh", flag}));
    ASSERT_TRUE(second.start({"sh", "-c", "touch \"$1\"; echo second", "sh", flag}));
    std::string line;
    EXPECT_TRUE(waiting.take(&line));
    EXPECT_EQ(line, "met");
    FirstLineQuery moved = std::move(second);
    EXPECT_FALSE(second.take(&line));
    EXPECT_TRUE(moved.take(&line));
    EXPECT_EQ(line, "second");
    EXPECT_FALSE(moved.take(&line));  // done

    // A query whose line is never taken is ended and waited for when it goes.
    {
        FirstLineQuery untaken;
        ASSERT_TRUE(untaken.start({"yes"}));
    }
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child was left unreaped";
    unlink(flag.c_str());
    rmdir(dir);
}

TEST(ChildProcess, ProgramOutputKeepsItsLimitAndGivesTheStatus) {
    struct Case {
        std::vector<std::string> argv;
        size_t limit;
        int status;
        size_t size;
    };
    const Case cases[] = {
        {{"sh", "-c", "printf abc; echo err >&2; exit 3"}, 1024, 3, 3},
        // Past the limit the output is still read to its end, so the program ends of itself.
        {{"sh", "-c", "head -c 1000000 /dev/zero"}, 10, 0, 10},
        {{"sh", "-c", "kill -9 $$"}, 10, -1, 0},
        {{"/nonexistent/program"}, 10, -1, 0},
    };
    for (const Case& c : cases) {
        ProgramOutput output;
        output.text = "stale";
        runProgram(c.argv, ProgramRun(c.limit), &output);
        EXPECT_EQ(output.exitStatus(), c.status) << c.argv.back();
        EXPECT_EQ(output.text.size(), c.size) << c.argv.back();
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child was left unreaped";
    }
}

// Runs a watched command to its end; returns what reached the output callback.
std::string runWatched(const std::string& command, size_t afterExit, int* status) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    std::string output;
    WatchedCommand watch;
    watch.output = [&](const char* data, size_t length) { output.append(data, length); };
    watch.exited = [&](int waitStatus) {
        *status = waitStatus;
        g_main_loop_quit(loop);
    };
    watch.priority = G_PRIORITY_DEFAULT;
    watch.perTurn = 4096;
    watch.afterExit = afterExit;
    EXPECT_TRUE(startWatchedCommand(command, watch));
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    return output;
}

TEST(ChildProcess, BoundedProgramIsStoppedAtItsTimeAndMemory) {
    struct Case {
        const char* name;
        const char* script;
        std::size_t memory;
        int seconds;
        int exitStatus;  // -1: killed
        bool timedOut;
    };
    const Case cases[] = {
        {"within", "head -c 10000000 /dev/zero | wc -c", 128 << 20, 60, 0, false},
        // Quiet past its time, or talking all along: killed either way.
        {"sleeps", "sleep 30", 0, 1, -1, true},
        {"talks", "while :; do echo more; sleep 0.1; done", 0, 1, -1, true},
        {"closes its output and goes on", "exec >&-; sleep 30", 0, 1, -1, true},
        // The address space is bounded before the program starts.
        {"allocates", "python3 -c 'bytearray(400 << 20)' || exit 7", 128 << 20, 0, 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramRun how;
        how.memoryLimit = c.memory;
        how.secondsLimit = c.seconds;
        ProgramOutput output;
        const time_t started = time(nullptr);
        ASSERT_TRUE(runProgram({"/bin/sh", "-c", c.script}, how, &output));
        EXPECT_EQ(output.exitStatus(), c.exitStatus);
        EXPECT_EQ(output.timedOut, c.timedOut);
        EXPECT_LT(time(nullptr) - started, 30);
    }
}

TEST(ChildProcess, WatchedCommandOutputAndExitReachTheCallbacks) {
    int status = 0;
    std::string output =
        runWatched("printf 'a\\n'; sleep 0.2; printf 'b\\n' >&2; exit 3", 1 << 20, &status);
    EXPECT_EQ(output, "a\n");  // standard error is not joined unless the command says so
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);

    // All of the output reaches the callback, also what was left in the pipe at the end.
    output = runWatched("head -c 100000 /dev/zero | tr '\\0' x", 1 << 20, &status);
    EXPECT_EQ(output.size(), 100000u);
    EXPECT_EQ(output.find_first_not_of('x'), std::string::npos);

    // A process left behind that keeps writing cannot hold the end back: the run ends.
    output = runWatched("(yes left-behind &) ; sleep 0.1; echo done", 64 * 1024, &status);
    EXPECT_NE(output.find("done\n"), std::string::npos);
    EXPECT_EQ(system("pkill -x yes"), 0);
}

}  // namespace
