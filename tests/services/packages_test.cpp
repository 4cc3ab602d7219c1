// Package discovery and version checks, against the real rpm with packages
// built and installed into a private database by RpmSandbox.
#include "services/packages.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "services/string_service.h"
#include "tests/services/test_support.h"
#include "tests/support/rpm_sandbox.h"

namespace fs = std::filesystem;

namespace {

const int kKeep = -7;  // marks a field the parse must not write

_PackageVersion parsed(const char* text, int alnumMinor) {
    _PackageVersion v = {kKeep, kKeep, kKeep, kKeep};
    versionFromRpmName(text, alnumMinor, &v);
    return v;
}

std::string str(const _PackageVersion& v) {
    return std::to_string(v.major) + "," + std::to_string(v.minor) + "," + std::to_string(v.patch) +
           "," + std::to_string(v.release);
}

// True when a child of this process is left unreaped.
bool zombieChildExists() {
    return waitpid(-1, nullptr, WNOHANG) > 0;
}

// Whether this process has a child, running or ended, leaving it as it is.
bool childExists() {
    siginfo_t info;
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// The rpm runs made so far that queried packages.
int queries(const RpmSandbox& box) {
    int count = 0;
    for (const auto& args : box.rpmRuns()) {
        count += std::find(args.begin(), args.end(), "-q") != args.end();
    }
    return count;
}

}  // namespace

TEST(VersionFromRpmName, ParsesBothForms) {
    struct Case {
        const char* text;
        int alnumMinor;
        const char* expected;  // major,minor,patch,release; -7 = not written
    } cases[] = {
        {"3.A-5", 1, "3,10,-7,5"},
        {"3.AB-5", 1, "3,371,-7,5"},
        {"3.10-5", 1, "3,36,-7,5"},
        {"3.9-1", 1, "3,9,-7,1"},
        {"3.Z-1", 1, "3,35,-7,1"},
        {"3.a-5", 1, "3,42,-7,5"},             // lower case is not folded
        {"3.ab-5", 1, "3,1555,-7,5"},          // 42 * 36 + 43
        {"3.B-2.noarch.rpm", 1, "3,11,-7,2"},  // file name tail
        {"4.0-1.noarch\n", 1, "4,0,-7,1"},     // rpm -q line tail
        {"3.!A-1", 1, "3,8686,-7,1"},          // '!' is -15, as 8 bits 241: 241 * 36 + 10
        {"3.AB", 1, "3,371,-7,-7"},            // no release
        {"3.A", 1, "3,-7,-7,-7"},              // second character missing: minor kept
        {"", 1, "-7,-7,-7,-7"},
        {"x", 1, "-7,-7,-7,-7"},
        {"1.2.3-4.noarch.rpm", 0, "1,2,3,4"},
        {"1.10.0-1", 0, "1,10,0,1"},
        {"1.2", 0, "1,2,-7,-7"},
        {"", 0, "-7,-7,-7,-7"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, str(parsed(c.text, c.alnumMinor)))
            << '"' << c.text << "\" form " << c.alnumMinor;
    }
}

TEST(ComparePackageVersions, OrdersMajorMinorReleaseIgnoringPatch) {
    auto sign = [](int n) { return (n > 0) - (n < 0); };
    struct Case {
        _PackageVersion a, b;
        int expected;
    } cases[] = {
        {{1, 2, 3, 4}, {1, 2, 7, 4}, 0},  // patch takes no part
        {{1, 2, 3, 5}, {1, 2, 3, 4}, 1},
        {{1, 3, 0, 1}, {1, 2, 9, 9}, 1},
        {{1, 9, 9, 9}, {2, 0, 0, 0}, -1},
        {{3, 0, 0, 1}, {99, 0, 0, 0}, -1},  // an unreadable installed version counts as newer
        {{INT_MAX, 0, 0, 0}, {INT_MIN, 0, 0, 0}, 1},  // no overflow into the wrong sign
        {{0, INT_MIN, 0, 0}, {0, INT_MAX, 0, 0}, -1},
        {{0, 0, 0, INT_MIN}, {0, 0, 0, 1}, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, sign(comparePackageVersions(&c.a, &c.b)))
            << str(c.a) << " vs " << str(c.b);
    }
    _PackageVersion a = {1, 5, 0, 9}, b = {1, 2, 0, 1};
    EXPECT_EQ(3, comparePackageVersions(&a, &b));  // the difference of the first differing field

    // Application minors decoded from the names sort 3.9 < 3.Z < 3.10.
    _PackageVersion v9 = parsed("3.9-1", 1), vZ = parsed("3.Z-1", 1), v10 = parsed("3.10-1", 1);
    EXPECT_LT(comparePackageVersions(&v9, &vZ), 0);
    EXPECT_LT(comparePackageVersions(&vZ, &v10), 0);
}

TEST(FindDriverPackageFile, PatternOrderSortOrderAndDirectories) {
    RpmSandbox box;
    char out[kPackagePathOutSize];

    EXPECT_EQ(PACKAGE_NOT_FOUND, findDriverPackageFile(out));
    // Nothing found leaves the cache empty: a file that appears later is found.
    box.putPackage(box.medium(), "dumaro", "1.0.0", "1");
    ASSERT_EQ(PACKAGE_FOUND, findDriverPackageFile(out));
    EXPECT_EQ(box.medium() + "/dumaro-1.0.0-1.noarch.rpm", out);

    resetPackageCaches();
    box.putPackage(box.medium(), "pirsel", "2.0.0", "1");
    box.putPackage(box.medium(), "holvane", "1.2.3", "4");
    box.putPackage(box.medium(), "holvane", "1.10.0", "1");
    ASSERT_EQ(PACKAGE_FOUND, findDriverPackageFile(out));
    EXPECT_EQ(box.medium() + "/holvane-1.10.0-1.noarch.rpm", out);  // family order, then sorted

    // Only the medium directory is searched: a package beside it is not found.
    resetPackageCaches();
    fs::remove_all(box.medium());
    fs::create_directories(box.medium());
    fs::current_path(box.medium());
    box.putPackage(box.root(), "holvane", "1.2.3", "4");
    EXPECT_EQ(PACKAGE_NOT_FOUND, findDriverPackageFile(out));
}

TEST(FindRpmFile, DirectoriesWithWildcardCharactersAreTakenLiterally) {
    RpmSandbox box;
    char out[kPackagePathOutSize];
    for (const char* name : {"Disk [1]", "back\\slash", "star*", "what?"}) {
        resetPackageCaches();
        std::string medium = box.root() + "/" + name;
        fs::create_directories(medium);
        fs::current_path(medium);
        box.putPackage(medium, "holvane", "1.2.3", "4");
        ASSERT_EQ(PACKAGE_FOUND, findDriverPackageFile(out)) << name;
        EXPECT_EQ(medium + "/holvane-1.2.3-4.noarch.rpm", out);
    }
}

TEST(FindDriverPackageFile, CachesEvenWithoutOutAndRefusesSmallBuffers) {
    RpmSandbox box;
    std::string path = box.putPackage(box.medium(), "holvane", "1.2.3", "4");
    EXPECT_EQ(PACKAGE_FOUND, findDriverPackageFile(nullptr));
    fs::remove(path);
    char out[kPackagePathOutSize] = "untouched";
    EXPECT_EQ(PACKAGE_SEARCH_ERROR, findDriverPackageFile(out, path.size()));
    EXPECT_STREQ("untouched", out);
    EXPECT_EQ(PACKAGE_FOUND, findDriverPackageFile(out, path.size() + 1));
    EXPECT_EQ(path, out);  // from the cache: the file is gone
}

TEST(FindRpmFile, RefusesOverlongWorkingDirectoryAndPattern) {
    RpmSandbox box;
    // Descends into new directories until the working directory has about
    // `target` characters (staying below PATH_MAX, so the tree can be removed).
    auto descendTo = [](std::size_t target) {
        std::size_t length = fs::current_path().string().size();
        while (length < target) {
            std::size_t n =
                std::max<std::size_t>(1, std::min<std::size_t>(200, target - length - 1));
            std::string component(n, 'd');
            fs::create_directory(component);
            fs::current_path(component);
            length += n + 1;
        }
        return length;
    };
    descendTo(4000);
    std::string cwd = fs::current_path().string();
    box.putPackage(cwd, "holvane", "1.2.3", "4");
    char out[4095];
    ASSERT_EQ(PACKAGE_FOUND, findRpmFile("holvane*.rpm", out, sizeof out));
    EXPECT_EQ(cwd + "/holvane-1.2.3-4.noarch.rpm", out);
    std::string longPattern = "holvane" + std::string(4096 - cwd.size(), '?') + "*.rpm";
    EXPECT_EQ(PACKAGE_SEARCH_ERROR, findRpmFile(longPattern.c_str(), out, sizeof out));
    // A file whose path is too long for the wizard is named, not just missed.
    EXPECT_EQ("", packageFileOutOfReach());
    std::string longName = "pirsel-" + std::string(4094 - cwd.size(), '9') + ".1.1-1.noarch.rpm";
    std::ofstream(longName) << "x";  // relative: the whole path is beyond PATH_MAX
    fs::remove(cwd + "/holvane-1.2.3-4.noarch.rpm");
    startInstalledVersionQueries();  // only looks ahead at the driver's file
    EXPECT_EQ("", packageFileOutOfReach());
    EXPECT_EQ(PACKAGE_SEARCH_ERROR, findRpmFile("pirsel*.rpm", out, sizeof out));
    EXPECT_EQ(cwd + "/" + longName, packageFileOutOfReach());

    // Beyond 4076 characters the working directory itself is refused.
    ASSERT_GT(descendTo(4080), 4077u);
    EXPECT_EQ(PACKAGE_SEARCH_ERROR, findRpmFile("holvane*.rpm", out, sizeof out));
    EXPECT_EQ(UPDATE_CHECK_ERROR, driverUpdateCheck());
    fs::current_path(box.medium());
}

TEST(PackagePaths, OnlyNamesThatRpmTakesAsWrittenAreInstallable) {
    const std::pair<std::string, bool> cases[] = {
        {"/media/cd/holvane-1.2.3-4.i386.rpm", true},
        {"/media/it's a \"cd\" [1]/quorvel-storman-3.B-2.noarch.rpm", true},
        {"./pkg-1.0~rc1^git2+b1_x.rpm", true},
        {"/m/holvane 1.2.3-4.rpm", false},
        {"/m/holvane-1.2.3-'4'.rpm", false},
        {"/m/holvane-1.2.3-4\".rpm", false},
        {"/m/holvane\\-1.rpm", false},
        {"/m/holvane-1.2.3-[4].rpm", false},
        {"/m/holvane-*.rpm", false},
        {"/m/holvane-{1,2}.rpm", false},
        {"/m/holvane-%{x}.rpm", false},
        {"/m/", false},
        {"/" + std::string(kPackagePathOutSize - 2, 'd') + "/x.rpm", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isInstallablePackagePath(c.first.c_str()), c.second) << c.first;
}

TEST(DriverUpdateCheck, ComparesFileWithInstalledPackage) {
    struct Case {
        const char* file;       // family-version-release on the medium, "" for none
        const char* installed;  // the same for the private database
        int expected;
    } cases[] = {
        {"holvane-1.2.3-4", "", UPDATE_NOT_INSTALLED},
        {"holvane-1.2.3-4", "holvane-1.2.3-4", UPDATE_NOTHING_TO_INSTALL},
        {"holvane-1.2.9-4", "holvane-1.2.3-4", UPDATE_NOTHING_TO_INSTALL},  // patch ignored
        {"holvane-1.2.3-5", "holvane-1.2.3-4", UPDATE_OLDER_INSTALLED},
        {"holvane-1.10.0-1", "holvane-1.2.3-4", UPDATE_OLDER_INSTALLED},
        {"holvane-1.2.3-4", "holvane-1.2.3-5", UPDATE_NOTHING_TO_INSTALL},
        {"pirsel-2.0.0-1", "holvane-1.2.3-4", UPDATE_NOT_INSTALLED},
        {"dumaro-1.0.0-1", "dumaro-1.0.0-1", UPDATE_NOTHING_TO_INSTALL},
        {"", "holvane-1.2.3-4", UPDATE_NOTHING_TO_INSTALL},
    };
    auto split = [](const std::string& nvr, std::string part[3]) {
        std::size_t a = nvr.find('-'), b = nvr.rfind('-');
        part[0] = nvr.substr(0, a);
        part[1] = nvr.substr(a + 1, b - a - 1);
        part[2] = nvr.substr(b + 1);
    };
    for (const Case& c : cases) {
        RpmSandbox box;
        std::string part[3];
        if (*c.file) {
            split(c.file, part);
            box.putPackage(box.medium(), part[0], part[1], part[2]);
        }
        if (*c.installed) {
            split(c.installed, part);
            box.install(part[0], part[1], part[2]);
        }
        EXPECT_EQ(c.expected, driverUpdateCheck()) << c.file << " over " << c.installed;
        EXPECT_EQ(*c.file ? 1 : 0, queries(box)) << c.file;
    }
}

TEST(DriverUpdateCheck, SecondCallIsAnsweredFromTheCache) {
    RpmSandbox box;
    box.putPackage(box.medium(), "holvane", "1.2.3", "5");
    ASSERT_EQ(UPDATE_NOT_INSTALLED, driverUpdateCheck());
    box.install("holvane", "1.2.3", "4");
    EXPECT_EQ(UPDATE_NOT_INSTALLED, driverUpdateCheck());
    EXPECT_EQ(1, queries(box));
    resetPackageCaches();
    EXPECT_EQ(UPDATE_OLDER_INSTALLED, driverUpdateCheck());  // what a fresh run sees
    EXPECT_EQ(2, queries(box));
}

TEST(DriverUpdateCheck, FileNameWithoutSeparatorIsNoUsablePackage) {
    RpmSandbox box;
    box.putPackage(box.medium(), "holvane", "1.2.3", "4", "holvane.rpm");
    EXPECT_EQ(UPDATE_NOTHING_TO_INSTALL, driverUpdateCheck());
    EXPECT_EQ(0, queries(box));
}

TEST(DriverUpdateCheck, ErrorIsNotCached) {
    RpmSandbox box;
    box.putPackage(box.medium(), "holvane", "1.2.3", "4");
    fs::create_directory(box.root() + "/gone");
    fs::current_path(box.root() + "/gone");
    fs::remove(box.root() + "/gone");  // getcwd now fails
    EXPECT_EQ(UPDATE_CHECK_ERROR, driverUpdateCheck());
    fs::current_path(box.medium());
    EXPECT_EQ(UPDATE_NOT_INSTALLED, driverUpdateCheck());
}

TEST(AppUpdateCheck, ComparesFileWithInstalledPackage) {
    struct Case {
        const char* fileVersion;  // pfx-app-V-R on the medium, "" for none
        const char* fileRelease;
        const char* installedVersion;  // "" for not installed
        const char* installedRelease;
        int expected;
    } cases[] = {
        {"3.B", "2", "3.A", "7", UPDATE_OLDER_INSTALLED},
        {"3.B", "2", "3.B", "2", UPDATE_SAME_INSTALLED},
        {"3.B", "2", "4.0", "1", UPDATE_NEWER_INSTALLED},
        {"3.B", "2", "3.10", "5", UPDATE_NEWER_INSTALLED},  // 3.10 sorts after 3.B
        {"3.10", "5", "3.B", "2", UPDATE_OLDER_INSTALLED},
        {"3.B", "2", "3.B", "1", UPDATE_OLDER_INSTALLED},
        {"3.B", "2", "", "", UPDATE_NOT_INSTALLED},
        {"", "", "3.B", "2", UPDATE_NOTHING_TO_INSTALL},
    };
    for (const Case& c : cases) {
        RpmSandbox box;
        box.useDatabase(svctest::testDatabase("strings"));
        box.putPackage(box.medium(), "holvane", "1.2.3", "4");  // never mistaken for the app
        if (*c.fileVersion) {
            box.putPackage(box.medium(), "pfx-app", c.fileVersion, c.fileRelease);
        }
        if (*c.installedVersion) {
            box.install("pfx-app", c.installedVersion, c.installedRelease);
        }
        std::string label = std::string(c.fileVersion) + " over " + c.installedVersion;
        EXPECT_EQ(c.expected, appUpdateCheck()) << label;
        EXPECT_STREQ("pfx", oemName()) << label;
        EXPECT_STREQ("pfx-app", getString(5001)) << "database reloaded after the query";
    }
}

TEST(AppUpdateCheck, SecondCallIsAnsweredFromTheCache) {
    RpmSandbox box;
    box.useDatabase(svctest::testDatabase("strings"));
    box.putPackage(box.medium(), "pfx-app", "3.B", "2");
    box.install("pfx-app", "3.A", "7");
    ASSERT_EQ(UPDATE_OLDER_INSTALLED, appUpdateCheck());
    box.erase("pfx-app");
    box.install("pfx-app", "3.B", "2");
    EXPECT_EQ(UPDATE_OLDER_INSTALLED, appUpdateCheck());
    EXPECT_EQ(1, queries(box));
    resetPackageCaches();
    EXPECT_EQ(UPDATE_SAME_INSTALLED, appUpdateCheck());
}

TEST(AppUpdateCheck, UnusableNamesGiveNothingToInstall) {
    struct Case {
        std::string appName;
        std::string fileName;
    } cases[] = {
        {"", "pfx-app-3.B-2.noarch.rpm"},  // resource missing: "*.rpm" must not match
        {"pfxapp", "pfxapp-3.B-2.noarch.rpm"},
        {"-app", "-app-3.B-2.noarch.rpm"},
        {"pfx-app", "pfx-app.rpm"},  // no second '-' in the file name
        {"pfx-" + std::string(80, 'a'), "pfx-" + std::string(80, 'a') + "-3.B-2.noarch.rpm"},
    };
    for (const Case& c : cases) {
        RpmSandbox box;
        box.writeAppName(box.medium(), c.appName);
        box.putPackage(box.medium(), "pfx-app", "3.B", "2", c.fileName);
        EXPECT_EQ(UPDATE_NOTHING_TO_INSTALL, appUpdateCheck()) << c.appName;
        EXPECT_EQ(0, queries(box)) << c.appName;
    }
}

TEST(AppUpdateCheck, GlobalOemIsSetEvenWhenNoFileIsFound) {
    RpmSandbox box;
    box.writeAppName(box.medium(), "acme-tool");
    EXPECT_EQ(PACKAGE_NOT_FOUND, findAppPackageFile(nullptr));
    EXPECT_STREQ("acme", oemName());
}

TEST(AppUpdateCheck, HostileNameReachesRpmAsOneArgument) {
    const std::string name = "pfx-app\";touch p1;\"$(touch p2)`touch p3`'$(touch p4)';touch p5";
    RpmSandbox box;
    box.writeAppName(box.medium(), name);
    box.putPackage(box.medium(), "pfx-app", "3.B", "2", name + "-3.B-2.noarch.rpm");
    EXPECT_EQ(UPDATE_NOT_INSTALLED, appUpdateCheck());
    for (const char* marker : {"p1", "p2", "p3", "p4", "p5"}) {
        EXPECT_FALSE(fs::exists(box.medium() + "/" + marker)) << marker;
    }
    auto runs = box.rpmRuns();
    ASSERT_EQ(1u, runs.size());
    const auto names = std::find(runs[0].begin(), runs[0].end(), "--");
    ASSERT_NE(names, runs[0].end());
    EXPECT_EQ(names + 1, std::find(runs[0].begin(), runs[0].end(), name)) << "one argument";
    EXPECT_STREQ("pfx", oemName());
}

TEST(InstalledVersionQueries, ChecksTakeTheAnswersOfTheQueriesStartedAhead) {
    struct Case {
        const char* app;     // installed pfx-app version-release, "" for none
        const char* driver;  // installed holvane version-release, "" for none
        int appCheck;
        int driverCheck;
    } cases[] = {
        {"", "", UPDATE_NOT_INSTALLED, UPDATE_NOT_INSTALLED},
        {"3.B-2", "1.2.3-4", UPDATE_SAME_INSTALLED, UPDATE_NOTHING_TO_INSTALL},
        {"3.A-7", "1.2.3-3", UPDATE_OLDER_INSTALLED, UPDATE_OLDER_INSTALLED},
        {"3.C-1", "1.3.0-1", UPDATE_NEWER_INSTALLED, UPDATE_NOTHING_TO_INSTALL},
    };
    auto install = [](RpmSandbox& box, const char* name, const std::string& nvr) {
        if (!nvr.empty())
            box.install(name, nvr.substr(0, nvr.find('-')), nvr.substr(nvr.find('-') + 1));
    };
    for (const Case& c : cases) {
        RpmSandbox box;
        box.useDatabase(svctest::testDatabase("strings"));
        box.putPackage(box.medium(), "pfx-app", "3.B", "2");
        box.putPackage(box.medium(), "holvane", "1.2.3", "4");
        install(box, "pfx-app", c.app);
        install(box, "holvane", c.driver);
        ASSERT_FALSE(childExists());
        startInstalledVersionQueries();
        EXPECT_TRUE(childExists()) << "the queries run before the checks ask";
        // The driver's answer is taken first, out of the order the queries started in.
        EXPECT_EQ(c.driverCheck, driverUpdateCheck()) << c.driver;
        EXPECT_EQ(c.appCheck, appUpdateCheck()) << c.app;
        EXPECT_EQ(*c.app ? "pfx-app-" + std::string(c.app) + ".noarch" : "",
                  appCheckDetails().installed);
        EXPECT_EQ(c.app, appCheckDetails().installedVersion);
        EXPECT_EQ(1, queries(box)) << "one query for both, none asked again";
        EXPECT_STREQ("pfx-app", getString(5001)) << "database reloaded after the queries";
    }
    EXPECT_FALSE(zombieChildExists());
}

TEST(FindInstalledRpmVersion, ReadsTheFirstQueryLine) {
    RpmSandbox box;
    box.useDatabase(svctest::testDatabase("strings"));
    box.install("holvane", "1.2.3", "4");
    box.install("pfx-app", "3.AB", "5");

    _PackageVersion v = {99, 0, 0, 0};
    EXPECT_EQ(PACKAGE_FOUND, findInstalledRpmVersion("holvane", 0, &v));
    EXPECT_EQ("1,2,3,4", str(v));
    v = {99, 0, 0, 0};
    EXPECT_EQ(PACKAGE_FOUND, findInstalledRpmVersion("pfx-app", 1, &v));
    EXPECT_EQ("3,371,0,5", str(v));
    v = {99, 0, 0, 0};
    EXPECT_EQ(PACKAGE_NOT_FOUND, findInstalledRpmVersion("pirsel", 0, &v));
    EXPECT_EQ("99,0,0,0", str(v));
    // rpm's "package NAME is not installed" for a long name is longer than
    // 79 characters and must still count as not installed.
    std::string longName = "pfx-" + std::string(70, 'n');
    EXPECT_EQ(PACKAGE_NOT_FOUND, findInstalledRpmVersion(longName.c_str(), 1, &v));
    // A leading '-' would be an rpm option ("rpm -q --version" answers).
    EXPECT_EQ(PACKAGE_NOT_FOUND, findInstalledRpmVersion("--version", 0, &v));
    EXPECT_EQ(PACKAGE_NOT_FOUND, findInstalledRpmVersion("", 0, &v));
    // The run's names (the application's, the driver families ...) in the first query; a
    // name beyond them in one of its own.
    EXPECT_EQ(2, queries(box));
    EXPECT_FALSE(zombieChildExists());
    EXPECT_STREQ("pfx-app", getString(5001)) << "database reloaded after the query";
}

TEST(FindInstalledRpmVersion, NoOutputMeansNotInstalledAndTheChildIsReaped) {
    RpmSandbox box;
    box.install("holvane", "1.2.3", "4");
    box.putPackage(box.medium(), "holvane", "1.2.3", "4");
    box.hideRealRpm();  // rpm runs but prints nothing
    _PackageVersion v = {99, 0, 0, 0};
    EXPECT_EQ(PACKAGE_NOT_FOUND, findInstalledRpmVersion("holvane", 0, &v));
    EXPECT_EQ(1, queries(box));
    EXPECT_FALSE(zombieChildExists());
    EXPECT_EQ(UPDATE_NOT_INSTALLED, driverUpdateCheck());
}

TEST(RpmSandbox, LeavesTheMachinesDatabaseAlone) {
    std::string before, after;
    auto systemPackages = [](std::string& list) {
        char file[] = "/tmp/stage3-pkg-qa-XXXXXX";
        int fd = mkstemp(file);
        ASSERT_GE(fd, 0);
        close(fd);
        RpmSandbox::run(RpmSandbox::quote(RpmSandbox::realRpm()) + " -qa >" + file +
                        " 2>/dev/null");
        std::ifstream in(file);
        list.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        unlink(file);
    };
    systemPackages(before);
    {
        RpmSandbox box;
        box.putPackage(box.medium(), "holvane", "1.2.3", "5");
        box.install("holvane", "1.2.3", "4");
        EXPECT_EQ(UPDATE_OLDER_INSTALLED, driverUpdateCheck());
        EXPECT_EQ(std::vector<std::string>{"holvane-1.2.3-4.noarch"}, box.installed());
    }
    systemPackages(after);
    EXPECT_EQ(before, after);
    EXPECT_EQ(std::string::npos, after.find("holvane"));
}

TEST(FindBrowserFile, AsksWhichOnlyWithAnOutBuffer) {
    RpmSandbox box;
    if (access("/usr/bin/netscape-navigator", X_OK) == 0 ||
        access("/usr/X11R6/bin/Netscape", X_OK) == 0) {
        GTEST_SKIP() << "a browser is installed at a fixed location";
    }
    EXPECT_EQ(PACKAGE_NOT_FOUND, findBrowserFile(nullptr));
    char out[kPackagePathOutSize] = "";
    EXPECT_EQ(PACKAGE_NOT_FOUND, findBrowserFile(out));
    std::string fake = box.root() + "/bin/netscape";
    { std::ofstream(fake) << "#!/bin/sh\n"; }
    fs::permissions(fake, fs::perms::owner_all);
    EXPECT_EQ(PACKAGE_NOT_FOUND, findBrowserFile(nullptr));
    EXPECT_EQ(PACKAGE_FOUND, findBrowserFile(out));
    EXPECT_STREQ("netscape", out);
}
