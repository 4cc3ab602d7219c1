#include "tests/support/rpm_sandbox.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "resdb/language_db.h"
#include "services/file_search.h"
#include "services/packages.h"
#include "services/string_service.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

std::string findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return program;
}

// Built packages are kept per content of the spec file, so a changed spec
// never reuses packages of the old one.
std::string packageCacheDir() {
    std::string spec = readFile(RPM_PACKAGE_SPEC);
    std::ostringstream dir;
    dir << RPM_PACKAGE_CACHE << "-" << std::hex << std::hash<std::string>()(spec);
    return dir.str();
}

}  // namespace

const std::string& RpmSandbox::realRpm() {
    static const std::string rpm = findOnPath("rpm");
    return rpm;
}

std::string RpmSandbox::quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

int RpmSandbox::run(const std::string& command) {
    int status = std::system(command.c_str());
    return (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

RpmSandbox::RpmSandbox() : root_("stage3-pkg") {
    realRpm();  // resolve before PATH changes
    home_ = root_.file("home");
    dbPath_ = root_.file("db");
    medium_ = root_.file("medium");
    binDir_ = root_.file("bin");
    rpmLog_ = root_.file("rpm-runs.log");
    for (const std::string& dir : {home_, dbPath_, medium_, binDir_}) {
        fs::create_directories(dir);
    }
    writeFile(home_ + "/.rpmmacros", "%_dbpath " + dbPath_ + "\n");
    writeFile(rpmLog_, "");
    writeRpmWrapper(true);

    const char* path = std::getenv("PATH");
    homeVar_.emplace("HOME", home_);
    pathVar_.emplace("PATH", binDir_ + ":" + (path ? path : "/usr/bin:/bin"));
    langVar_.emplace("LANG", "C");

    cwd_.emplace(medium_);
    setLocaleSubdirectory();
    resetPackageCaches();

    EXPECT_EQ(0, run(quote(realRpm()) + " --dbpath " + quote(dbPath_) + " --initdb"));
}

// The guards then put back the working directory and the environment, and the
// scratch root goes last.
RpmSandbox::~RpmSandbox() {
    stringUnInit();
    resetPackageCaches();
}

void RpmSandbox::writeRpmWrapper(bool withRealRpm) {
    // One record per run: the argument count on a line, then each argument
    // followed by a NUL byte. The record is appended in one write, so that runs at
    // the same time do not mix their records. (cat and rm by their paths: the PATH of
    // hideRealRpm holds the wrapper alone.)
    static const std::string cat = findOnPath("cat"), rm = findOnPath("rm");
    const std::string record = quote(rpmLog_) + ".$$";
    std::string script =
        "#!/bin/sh\n{ printf '%s\\n' \"$#\"; for a in \"$@\"; do printf '%s\\0' "
        "\"$a\"; done; } > " +
        record + "\n" + quote(cat) + " " + record + " >> " + quote(rpmLog_) + "\n" + quote(rm) +
        " -f " + record + "\n";
    if (withRealRpm) {
        script += "exec " + quote(realRpm()) + " \"$@\"\n";
    }
    std::string wrapper = binDir_ + "/rpm";
    writeFile(wrapper, script);
    fs::permissions(wrapper, fs::perms::owner_all);
}

void RpmSandbox::hideRealRpm() {
    writeRpmWrapper(false);
    setenv("PATH", binDir_.c_str(), 1);
}

std::string RpmSandbox::package(const std::string& name, const std::string& version,
                                const std::string& release, const std::string& needs) {
    std::string cacheDir = packageCacheDir();
    if (!needs.empty()) {
        std::ostringstream dir;
        dir << "/requires-" << std::hex << std::hash<std::string>()(needs);
        cacheDir += dir.str();
    }
    std::string fileName = name + "-" + version + "-" + release + ".noarch.rpm";
    std::string cached = cacheDir + "/" + fileName;
    if (fs::exists(cached)) {
        return cached;
    }
    fs::create_directories(cacheDir);
    // Parallel test processes may build the same package: each builds in its
    // own top directory and renames the result into place atomically. The top
    // directory is inside the cache, so that the rename stays on one file system
    // (the scratch root is under TMPDIR, often a file system of its own).
    std::string top =
        (fs::path(cacheDir) / ("." + fileName + "-" + fs::path(root_.path()).filename().string()))
            .string();
    std::string log = root_.file("rpmbuild.log");
    std::string command =
        "rpmbuild -bb --quiet --define " + quote("_topdir " + top) + " --define " +
        quote("pkg_name " + name) + " --define " + quote("pkg_version " + version) + " --define " +
        quote("pkg_release " + release) + " " +
        (needs.empty() ? "" : "--define " + quote("pkg_requires " + needs) + " ") +
        quote(RPM_PACKAGE_SPEC) + " >" + quote(log) + " 2>&1";
    EXPECT_EQ(0, run(command)) << readFile(log);
    std::error_code error;
    fs::rename(top + "/RPMS/noarch/" + fileName, cached, error);
    EXPECT_FALSE(error) << "no package " << fileName << ": " << error.message();
    fs::remove_all(top, error);
    return cached;
}

std::string RpmSandbox::putPackage(const std::string& dir, const std::string& name,
                                   const std::string& version, const std::string& release,
                                   const std::string& fileName) {
    std::string source = package(name, version, release);
    std::string target =
        dir + "/" + (fileName.empty() ? fs::path(source).filename().string() : fileName);
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    return target;
}

void RpmSandbox::install(const std::string& name, const std::string& version,
                         const std::string& release) {
    std::string file = package(name, version, release);
    EXPECT_EQ(0, run(quote(realRpm()) + " --dbpath " + quote(dbPath_) + " -i --nodeps --justdb " +
                     quote(file) + " >/dev/null 2>&1"))
        << "installing " << file;
}

void RpmSandbox::erase(const std::string& name) {
    EXPECT_EQ(0, run(quote(realRpm()) + " --dbpath " + quote(dbPath_) + " -e --nodeps --justdb " +
                     quote(name) + " >/dev/null 2>&1"))
        << "erasing " << name;
}

std::vector<std::string> RpmSandbox::installed() const {
    std::string out = root_.file("qa.txt");
    run(quote(realRpm()) + " --dbpath " + quote(dbPath_) + " -qa >" + quote(out) + " 2>/dev/null");
    std::istringstream lines(readFile(out));
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) {
        names.push_back(line);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::vector<std::string>> RpmSandbox::rpmRuns() const {
    std::string log = readFile(rpmLog_);
    std::vector<std::vector<std::string>> runs;
    std::size_t pos = 0;
    while (pos < log.size()) {
        std::size_t eol = log.find('\n', pos);
        if (eol == std::string::npos) {
            break;
        }
        int count = std::atoi(log.substr(pos, eol - pos).c_str());
        pos = eol + 1;
        std::vector<std::string> args;
        for (int i = 0; i < count && pos < log.size(); ++i) {
            std::size_t end = log.find('\0', pos);
            if (end == std::string::npos) {
                end = log.size();
            }
            args.push_back(log.substr(pos, end - pos));
            pos = end + 1;
        }
        runs.push_back(args);
    }
    return runs;
}

void RpmSandbox::writeAppName(const std::string& dir, const std::string& appName) {
    {
        LanguageDB_C db;
        ASSERT_TRUE(db.AddString(Language_C(), 5001, appName));
        ASSERT_TRUE(db.Store((dir + "/setupresDB").c_str()));
    }
    if (dir == medium_) {
        stringUnInit();
        ASSERT_EQ(1, stringInit());
    }
}

void RpmSandbox::useDatabase(const std::string& source) {
    ASSERT_TRUE(fs::exists(source)) << source << " is missing";
    fs::copy_file(source, medium_ + "/setupresDB", fs::copy_options::overwrite_existing);
    stringUnInit();
    ASSERT_EQ(1, stringInit());
}
