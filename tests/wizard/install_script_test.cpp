#include "wizard/install_script.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "services/shell_quote.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"
#include "wizard/tables.h"

namespace {

// The directory of the install files, as the script names it.
const char* const Directory = "/tmp/stage3-install.AbC123";

// Compares text with a file of tests/wizard/golden; STAGE3_UPDATE_GOLDEN=1 rewrites it.
void expectGolden(const std::string& text, const std::string& name) {
    std::string path = std::string(WIZARD_TEST_DIR) + "/golden/" + name;
    if (getenv("STAGE3_UPDATE_GOLDEN")) {
        writeFile(path, text);
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing golden file " << path;
    std::stringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(text, golden.str()) << "differs from " << path;
}

TEST(SettingsFile, LinesFollowTheComponentBits) {
    expectGolden(settingsFileText(COMPONENT_DRIVER, false), "driver_only.settings");
    expectGolden(settingsFileText(0x0F, false), "all_but_driver.settings");
    expectGolden(settingsFileText(COMPONENT_WEB_SERVER | COMPONENT_SNMP, true),
                 "kernel_rebuild.settings");
    std::string none = settingsFileText(0, true);
    EXPECT_EQ(none.substr(none.rfind('Q')), "QRVLAUTOKERNELREBUILD=no\n");
    EXPECT_EQ(std::count(none.begin(), none.end(), '\n'), 5);
}

TEST(InstallScript, DriverThenApplication) {
    expectGolden(shellScriptText("/media/cd/holvane-1.2.3-4.i386.rpm",
                                 "/media/cd/quorvel-storman-3.B-2.i386.rpm", "quorvel", Directory),
                 "driver_and_app.sh");
}

TEST(InstallScript, ApplicationOnly) {
    expectGolden(
        shellScriptText(nullptr, "/media/cd/quorvel-storman-3.B-2.i386.rpm", "quorvel", Directory),
        "app_only.sh");
}

TEST(InstallScript, PathsWithBlanksAndShellCharactersAreOneWord) {
    expectGolden(shellScriptText("/media/my cd/holvane-1.2.3-4.i386.rpm",
                                 "/media/it's \"$(reboot)\" `id`; $HOME/quorvel-storman-3.B-2.rpm",
                                 "quorvel", Directory),
                 "quoted_paths.sh");
}

TEST(InstallScript, PrefixWithShellCharactersIsQuoted) {
    std::string script = shellScriptText(nullptr, "/m/x.rpm", "evil;touch x", Directory);
    EXPECT_NE(script.find("grep 'evil;touch x'-browser > /dev/null"), std::string::npos);
    EXPECT_NE(script.find("\trpm -Uv --nodeps 'evil;touch x'-browser*.rpm\n"), std::string::npos);
}

// Runs the browser step of the script in dir with the web server chosen or not;
// returns what it printed.
std::string runBrowserStep(const ScratchDir& dir, const char* oem, bool webServer) {
    std::string script = shellScriptText(nullptr, "/nonexistent.rpm", oem, Directory);
    size_t from = script.find("if [ \"$QRVLAUTOWEBSERVER\"");
    size_t to = script.find("fi\n", from) + 3;
    writeFile(dir.file("step.sh"), std::string("QRVLAUTOWEBSERVER=") + (webServer ? "yes" : "no") +
                                       "\n" + script.substr(from, to - from));
    writeFile(dir.file(".rpmmacros"), "%_dbpath " + dir.path() + "/rpmdb\n");
    std::string command = "cd " + shellQuote(dir.path()) + " && HOME=" + shellQuote(dir.path()) +
                          " /bin/sh step.sh > out 2>&1";
    system(command.c_str());
    return readFile(dir.file("out"));
}

TEST(InstallScript, BrowserStepOnlyWithWebServerAndABrowserPackage) {
    ScratchDir dir;
    EXPECT_EQ(runBrowserStep(dir, "quorvel", true), "");
    writeFile(dir.file("quorvel-browser-1.0-1.noarch.rpm"), "");
    EXPECT_EQ(runBrowserStep(dir, "quorvel", false), "");
    std::string out = runBrowserStep(dir, "quorvel", true);
    EXPECT_EQ(out.substr(0, out.find('\n')), "rpm -Uv --nodeps quorvel-browser-1.0-1.noarch.rpm");
}

TEST(ShellQuote, ShellReadsBackTheSameText) {
    ScratchDir dir;
    const char* texts[] = {"plain",   "two words",   "it's", "\"$HOME\"", "`id`",
                           "a;b|c&d", "back\\slash", "",     "new\nline", "'''"};
    for (const char* text : texts) {
        std::string out = dir.file("out");
        std::string command = "printf %s " + shellQuote(text) + " > " + shellQuote(out);
        ASSERT_EQ(system(command.c_str()), 0) << text;
        EXPECT_EQ(readFile(out), text);
    }
}

}  // namespace
