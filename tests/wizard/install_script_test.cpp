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
#include "wizard/transaction.h"

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

// The script of an install of the medium's `driver` (none when empty), add-ons and
// application on a host with none of them, each installed from its copy: the file of the
// same name in the run's directory, or `copies` in order where given.
std::string installScript(const std::string& driver, const std::string& app,
                          const std::vector<std::string>& addons, const std::string& directory,
                          bool webServer = true, std::vector<std::string> copies = {}) {
    MediumPackages medium;
    medium.driver = {"holvane", driver, driver.empty() ? "" : "1.2.3-4"};
    medium.application = {"quorvel-storman", app, "3.B-2"};
    for (const std::string& addon : addons)
        medium.addons.push_back({"quorvel-browser", addon, "1.0-1"});
    Selection selection;
    selection.components = (driver.empty() ? 0 : COMPONENT_DRIVER) |
                           (webServer ? COMPONENT_WEB_SERVER : COMPONENT_NOTIFIER);
    Transaction transaction =
        buildTransaction(Action::Install, selection, InstalledState(), medium, false);
    for (TransactionStep& step : transaction.steps) {
        std::string copy =
            copies.empty() ? step.path.substr(step.path.rfind('/') + 1) : copies.front();
        if (!copies.empty())
            copies.erase(copies.begin());
        step.file = directory + "/packages/" + copy;
    }
    return transactionScriptText(transaction, directory);
}

TEST(InstallScript, DriverAddonThenApplication) {
    expectGolden(installScript("/media/cd/holvane-1.2.3-4.i386.rpm",
                               "/media/cd/quorvel-storman-3.B-2.i386.rpm",
                               {"/media/cd/quorvel-browser-1.0-1.noarch.rpm"}, Directory),
                 "driver_and_app.sh");
    expectGolden(installScript("", "/media/cd/quorvel-storman-3.B-2.i386.rpm", {}, Directory),
                 "app_only.sh");
}

TEST(InstallScript, PathsWithBlanksAndShellCharactersAreOneWord) {
    expectGolden(
        installScript("/media/my cd/holvane-1.2.3-4.i386.rpm",
                      "/media/it's \"$(reboot)\" `id`; $HOME/quorvel-storman-3.B-2.rpm",
                      {"/media/it's/evil;touch x-browser.rpm"}, Directory, true,
                      {"holvane-1.2.3-4.i386.rpm", "package-3.rpm", "quorvel-storman-3.B-2.rpm"}),
        "quoted_paths.sh");
}

TEST(InstallScript, AddonNamesWithShellCharactersAreQuoted) {
    std::string script = installScript("", "/m/x.rpm", {"/m/evil;touch x-browser.rpm"}, Directory,
                                       true, {"package-2.rpm", "x.rpm"});
    EXPECT_NE(script.find("FILE='/m/evil;touch x-browser.rpm'\necho rpm -Uv --nodeps \"$FILE\"\n"),
              std::string::npos);
    EXPECT_NE(
        script.find("\nrpm -Uv --nodeps --percent \"$PACKAGES\"/'package-2.rpm' || LATER=$?\n"),
        std::string::npos);
}

// A remove erases by name, whatever version is installed, with no package file.
TEST(InstallScript, RemoveErasesByName) {
    InstalledState state;
    state.applicationPackage = "quorvel-storman";
    state.application = "3.A-1";
    state.addonPackage = "quorvel-browser";
    state.addon = "1.0-1";
    Selection selection;
    selection.components = COMPONENT_WEB_SERVER;
    std::string script = transactionScriptText(
        buildTransaction(Action::Remove, selection, state, MediumPackages(), false), Directory);
    EXPECT_NE(script.find("echo \"%% step 2 of 2\"\necho rpm -ev 'quorvel-storman'\n"
                          "rpm -ev 'quorvel-storman' || fail $?\n"),
              std::string::npos)
        << script;
    EXPECT_EQ(script.find("PACKAGES\"/"), std::string::npos) << script;
}

// The whole script, run with real rpm in a private database from the medium's
// directory: the steps it announces and the commands it shows, what it installs, its
// status and its output as the wizard takes it. A failed add-on fails the run, after the
// application step.
TEST(InstallScript, AnnouncesAndCountsItsRpmSteps) {
    const std::string browser = "rpm -Uv --nodeps /media/cd/quorvel-browser-1.0-1.noarch.rpm";
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
        auto shown = [](const std::string& file) {
            return "/media/cd" + file.substr(file.rfind('/'));
        };
        std::vector<std::string> addons;
        if (c.browserPackage != None)
            addons.push_back(shown(browserFile));
        writeFile(dir.file("install.sh"), installScript(c.driver ? shown(driver) : "", shown(app),
                                                        addons, dir.path(), c.webServer));
        int status = RpmSandbox::run("cd / && /bin/sh " + shellQuote(dir.file("install.sh")) + " " +
                                     shellQuote(box.medium()) + " > " +
                                     shellQuote(dir.file("out")) + " 2>&1");
        const bool fails = c.browserPackage == Broken && c.webServer;
        std::string output = readFile(dir.file("out"));

        std::vector<std::string> expected, steps;
        for (const std::string& step : c.steps)
            expected.push_back(step == "APP"      ? "rpm -Uv " + shown(app)
                               : step == "DRIVER" ? "rpm -Uv " + shown(driver)
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
        std::string shownText = reader.feed(output.data(), output.size());
        shownText += reader.finish();
        InstallProgress progress;
        for (const std::string& line : reader.takeProgressLines()) progress.take(line, 0);
        EXPECT_EQ(shownText.find("%%"), std::string::npos) << shownText;
        EXPECT_EQ(shownText.find("_____"), std::string::npos) << shownText;
        EXPECT_EQ(shownText.find("\nDone!!!!\n") != std::string::npos, !fails) << shownText;
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
