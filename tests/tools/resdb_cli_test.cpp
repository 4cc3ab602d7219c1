// The built resdb program run as a process: exit statuses, standard output
// and error, and what a failed build leaves on disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/test_support.h"

namespace {

std::vector<std::string> mediumArgs(const std::string& db) {
    std::vector<std::string> args{"build", db};
    for (const char* name : {"en_US.po", "de_DE.po", "ja_JP.po", "fr_FR.po", "es_419.po"}) {
        args.push_back(dataPath(std::string("medium/") + name));
    }
    return args;
}

TEST(ResdbProgram, BuildListGetDumpRoundTrip) {
    ScratchDir dir;
    const std::string db = dir.file("setupresDB");
    ToolRun build = runTool(mediumArgs(db));
    ASSERT_TRUE(build.exited);
    ASSERT_EQ(0, build.status) << build.err;
    EXPECT_EQ("", build.out + build.err);

    ToolRun list = runTool({"list", db});
    EXPECT_EQ(0, list.status) << list.err;
    EXPECT_EQ("ja_JP\t2\nde_DE\t2\nen_US\t5\nfr_FR\t1\nes_419\t1\n", list.out);

    ToolRun get = runTool({"get", db, "ja_JP", "2"});
    EXPECT_EQ(0, get.status) << get.err;
    EXPECT_EQ(
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\t\xE3\x80\x8C\xE5\xBC\x95\xE7\x94\xA8\xE3\x80"
        "\x8D\"\\",
        get.out);
    ToolRun fallback = runTool({"get", db, "fr_CA", "1"});
    EXPECT_EQ(0, fallback.status) << fallback.err;
    EXPECT_EQ("Installation", fallback.out);

    ToolRun dump = runTool({"dump", db, dir.file("po")});
    ASSERT_EQ(0, dump.status) << dump.err;
    std::vector<std::string> rebuild{"build", dir.file("again")};
    for (const std::string& name : directoryEntries(dir.file("po"))) {
        rebuild.push_back(dir.file("po/" + name));
    }
    EXPECT_EQ(7u, rebuild.size());  // build, output, five languages
    ToolRun again = runTool(rebuild);
    ASSERT_EQ(0, again.status) << again.err;
    EXPECT_EQ(readFile(db), readFile(dir.file("again")));
}

// The ranges are a filter over every language: a language none of whose
// resources is kept stays in the file, empty.
TEST(ResdbProgram, BuildKeepsOnlyTheIdentifiersInTheRangesGiven) {
    ScratchDir dir;
    std::vector<std::string> args = mediumArgs(dir.file("db"));
    args.insert(args.begin() + 1, {"--ids", "2-3", "--ids", "4294967295-4294967295"});
    ToolRun build = runTool(args);
    ASSERT_EQ(0, build.status) << build.err;
    EXPECT_EQ("ja_JP\t1\nde_DE\t1\nen_US\t3\nfr_FR\t0\nes_419\t0\n",
              runTool({"list", dir.file("db")}).out);
    EXPECT_EQ(1, runTool({"get", dir.file("db"), "en_US", "1"}).status);
}

TEST(ResdbProgram, MissingResourceExitsWithOne) {
    ScratchDir dir;
    ASSERT_EQ(0, runTool(mediumArgs(dir.file("db"))).status);
    ToolRun run = runTool({"get", dir.file("db"), "de_DE", "99"});
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("resdb: resource 99 not found in de_DE or any fallback language\n", run.err);
}

TEST(ResdbProgram, BuildErrorsNameFileAndLine) {
    ScratchDir dir;
    writeFile(
        dir.file("de_DE.po"),
        "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\"\n\nmsgctxt \"1\"\nmsgid \"b\"\nmsgstr \"y\"\n");
    writeFile(dir.file("fr_FR.po"), "msgctxt \"1\"\nmsgid \"a\"\nmsgstr x\n");
    writeFile(dir.file("french.po"), "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"x\"\n");
    ToolRun run = runTool({"build", dir.file("db"), dir.file("de_DE.po"), dir.file("fr_FR.po"),
                           dir.file("french.po")});
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("resdb: " + dir.file("de_DE.po") + ":5: "))
        << run.err;
    EXPECT_NE(std::string::npos, run.err.find("first definition at " + dir.file("de_DE.po") + ":1"))
        << run.err;
    EXPECT_NE(std::string::npos, run.err.find("resdb: " + dir.file("fr_FR.po") + ":3:")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("resdb: " + dir.file("french.po") + ": file name"))
        << run.err;
    EXPECT_EQ((std::vector<std::string>{"de_DE.po", "fr_FR.po", "french.po"}), dir.entries());
}

TEST(ResdbProgram, WriteFailureLeavesNeitherOutputNorTemporary) {
    // Enough entries that the database is larger than the child may write.
    ScratchDir dir;
    std::string po;
    for (int id = 0; id < 400; ++id) {
        po += "msgctxt \"" + std::to_string(id) + "\"\nmsgid \"m\"\nmsgstr \"value number " +
              std::to_string(id) + "\"\n\n";
    }
    writeFile(dir.file("en_US.po"), po);
    ToolRun run = runTool({"build", dir.file("db"), dir.file("en_US.po")}, 4096);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("resdb: cannot write " + dir.file("db") + ".tmp."))
        << run.err;
    EXPECT_EQ((std::vector<std::string>{"en_US.po"}), dir.entries());

    writeFile(dir.file("db"), "old database");
    run = runTool({"build", dir.file("db"), dir.file("en_US.po")}, 4096);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("old database", readFile(dir.file("db")));
    EXPECT_EQ((std::vector<std::string>{"db", "en_US.po"}), dir.entries());

    run = runTool({"build", dir.file("db"), dir.file("en_US.po")});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_GT(readFile(dir.file("db")).size(), 4096u);
}

TEST(ResdbProgram, DamagedDatabasesGiveAMessageNotACrash) {
    ScratchDir dir;
    ASSERT_EQ(0, runTool(mediumArgs(dir.file("db"))).status);
    const std::string good = readFile(dir.file("db"));
    writeFile(dir.file("truncated"), good.substr(0, good.size() / 2));
    std::string magic = good;
    magic[3] = 2;
    writeFile(dir.file("magic"), magic);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"list", dir.file("truncated")}, "resdb: " + dir.file("truncated") + ": "},
        {{"get", dir.file("truncated"), "en_US", "1"}, "resdb: " + dir.file("truncated") + ": "},
        {{"dump", dir.file("truncated"), dir.file("po")}, "resdb: " + dir.file("truncated") + ": "},
        {{"list", dir.file("magic")},
         "resdb: " + dir.file("magic") + ": wrong magic: not a resource database\n"},
        {{"list", dir.file("nothing")},
         "resdb: " + dir.file("nothing") + ": cannot open: No such file or directory\n"},
        {{"list", dir.path()}, "resdb: " + dir.path() + ": cannot open: is a directory\n"},
    };
    for (const Case& c : cases) {
        ToolRun run = runTool(c.args);
        EXPECT_TRUE(run.exited) << c.args[1];
        EXPECT_EQ(1, run.status) << c.args[1];
        EXPECT_EQ("", run.out);
        EXPECT_EQ(0u, run.err.find(c.message)) << run.err;
    }
    EXPECT_EQ((std::vector<std::string>{"db", "magic", "truncated"}), dir.entries());
}

TEST(ResdbProgram, UsageOnWrongArguments) {
    ToolRun run = runTool({"list"});
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find("usage: resdb")) << run.err;
}

// The database the test build made through stage3_resdb_database.
TEST(ResdbProgram, DatabaseBuiltByCMakeMatchesTheTool) {
    ScratchDir dir;
    ASSERT_EQ(0, runTool(mediumArgs(dir.file("db"))).status);
    const std::string generated = readFile(GENERATED_DATABASE);
    ASSERT_FALSE(generated.empty());
    EXPECT_EQ(readFile(dir.file("db")), generated);
}

}  // namespace
