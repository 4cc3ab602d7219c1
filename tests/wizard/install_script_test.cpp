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
#include "tests/support/rpm_sandbox.h"
#include "tests/support/scratch_dir.h"
#include "wizard/output_reader.h"
#include "wizard/progress.h"
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

// A package of the medium at `path`, installed from its copy `copy` in the run's directory.
TransactionPackage packageAt(const std::string& path, const std::string& copy) {
    return TransactionPackage{path, {"-U"}, std::string(Directory) + "/packages/" + copy};
}

TEST(InstallScript, DriverThenApplication) {
    const TransactionPackage driver =
        packageAt("/media/cd/holvane-1.2.3-4.i386.rpm", "holvane-1.2.3-4.i386.rpm");
    expectGolden(shellScriptText(&driver,
                                 packageAt("/media/cd/quorvel-storman-3.B-2.i386.rpm",
                                           "quorvel-storman-3.B-2.i386.rpm"),
                                 {packageAt("/media/cd/quorvel-browser-1.0-1.noarch.rpm",
                                            "quorvel-browser-1.0-1.noarch.rpm")},
                                 Directory),
                 "driver_and_app.sh");
}

TEST(InstallScript, ApplicationOnly) {
    expectGolden(shellScriptText(nullptr,
                                 packageAt("/media/cd/quorvel-storman-3.B-2.i386.rpm",
                                           "quorvel-storman-3.B-2.i386.rpm"),
                                 {}, Directory),
                 "app_only.sh");
}

TEST(InstallScript, PathsWithBlanksAndShellCharactersAreOneWord) {
    const TransactionPackage driver =
        packageAt("/media/my cd/holvane-1.2.3-4.i386.rpm", "holvane-1.2.3-4.i386.rpm");
    expectGolden(
        shellScriptText(&driver,
                        packageAt("/media/it's \"$(reboot)\" `id`; $HOME/quorvel-storman-3.B-2.rpm",
                                  "quorvel-storman-3.B-2.rpm"),
                        {packageAt("/media/it's/evil;touch x-browser.rpm", "package-3.rpm")},
                        Directory),
        "quoted_paths.sh");
}

TEST(InstallScript, AddonNamesWithShellCharactersAreQuoted) {
    std::string script =
        shellScriptText(nullptr, packageAt("/m/x.rpm", "x.rpm"),
                        {packageAt("/m/evil;touch x-browser.rpm", "package-2.rpm")}, Directory);
    EXPECT_NE(script.find("\techo rpm -Uv --nodeps 'evil;touch x-browser.rpm'\n"),
              std::string::npos);
    EXPECT_NE(script.find("\trpm -Uv --nodeps --percent \"$PACKAGES\"/'package-2.rpm'\n"),
              std::string::npos);
}

// The whole script, run with real rpm in a private database from the medium's
// directory: the steps it announces and the commands it shows, what it installs, its
// status and its output as the wizard takes it. A failed add-on fails the run, after the
// application step.
TEST(InstallScript, AnnouncesAndCountsItsRpmSteps) {
    const std::string browser = "rpm -Uv --nodeps quorvel-browser-1.0-1.noarch.rpm";
    enum { None, Good, Broken };
    const struct {
        bool driver, webServer;
        int browserPackage;
        std::vector<std::string> steps;  // DRIVER and APP stand for the package paths
    } cases[] = {
        {false, true, None, {"%% step 1 of 1", "APP"}},
        {false, false, Good, {"%% step 1 of 1", "APP"}},
        {false, true, Good, {"%% step 1 of 2", browser, "%% step 2 of 2", "APP"}},
        {true,
         true,
         Good,
         {"%% step 1 of 3", "DRIVER", "%% step 2 of 3", browser, "%% step 3 of 3", "APP"}},
        {false, true, Broken, {"%% step 1 of 2", browser, "%% step 2 of 2", "APP"}},
    };
    for (const auto& c : cases) {
        RpmSandbox box;
        // Debian's rpm refuses -U without --force-debian; the database is private.
        writeFile(std::string(getenv("HOME")) + "/.popt", "rpm alias -U -U --force-debian\n");
        ScratchDir dir;
        std::string app = box.putPackage(box.medium(), "quorvel-storman", "3.B", "2");
        std::string driver = c.driver ? box.putPackage(box.medium(), "holvane", "1.2.3", "4") : "";
        const std::string browserFile = box.medium() + "/quorvel-browser-1.0-1.noarch.rpm";
        if (c.browserPackage == Good)
            box.putPackage(box.medium(), "quorvel-browser", "1.0", "1");
        if (c.browserPackage == Broken)
            writeFile(browserFile, "not a package\n");
        writeFile(dir.file("quorvelInstallSettings"),
                  settingsFileText(c.webServer ? COMPONENT_WEB_SERVER : 0, false));
        // The medium's directory stands for the copies' (the script's argument); each
        // package is shown by another path.
        auto copied = [](const std::string& file) {
            return TransactionPackage{"/media/cd" + file.substr(file.rfind('/')), {"-U"}, file};
        };
        const TransactionPackage driverPackage = c.driver ? copied(driver) : TransactionPackage();
        std::vector<TransactionPackage> addons;
        if (c.browserPackage != None)
            addons.push_back(copied(browserFile));
        writeFile(dir.file("install.sh"), shellScriptText(c.driver ? &driverPackage : nullptr,
                                                          copied(app), addons, dir.path()));
        int status = RpmSandbox::run("cd / && /bin/sh " + shellQuote(dir.file("install.sh")) + " " +
                                     shellQuote(box.medium()) + " > " +
                                     shellQuote(dir.file("out")) + " 2>&1");
        const bool fails = c.browserPackage == Broken && c.webServer;
        std::string output = readFile(dir.file("out"));

        std::vector<std::string> expected, steps;
        for (const std::string& step : c.steps)
            expected.push_back(step == "APP"      ? "rpm -Uv " + copied(app).path
                               : step == "DRIVER" ? "rpm -Uv " + driverPackage.path
                                                  : step);
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);)
            if (line.compare(0, 8, "%% step ") == 0 || line.compare(0, 8, "rpm -Uv ") == 0)
                steps.push_back(line);
        EXPECT_EQ(steps, expected) << output;
        EXPECT_EQ(box.installed().size(),
                  c.driver + (c.webServer && c.browserPackage == Good) + 1u);
        EXPECT_EQ(status != 0, fails) << output;
        EXPECT_EQ(std::filesystem::exists(dir.file("quorvelInstallError")), fails);

        // Nothing of the progress is shown, and each step's percentages fill its share.
        OutputReader reader;
        std::string shown = reader.feed(output.data(), output.size());
        shown += reader.finish();
        InstallProgress progress;
        for (const std::string& line : reader.takeProgressLines()) progress.take(line, 0);
        EXPECT_EQ(shown.find("%%"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("_____"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("\nDone!!!!\n") != std::string::npos, !fails) << shown;
        if (!fails) {
            EXPECT_DOUBLE_EQ(progress.fraction(), InstallProgress::RunningLimit);
        }
    }
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
