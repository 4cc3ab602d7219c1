#include "services/packages.h"

#include <glob.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "services/child_process.h"
#include "services/driver_outlook.h"
#include "services/file_search.h"
#include "services/setting_ids.h"
#include "services/string_service.h"

#undef major
#undef minor

namespace {

const std::size_t kWorkSize = 4096;
const std::size_t kCwdMax = 4077;
const std::size_t kPathCacheSize = kPackagePathOutSize;
const std::size_t kAppNameSize = 80;
const char* const kDriverPatterns[] = {"holvane*.rpm", "pirsel*.rpm", "dumaro*.rpm"};

// rpm's answers about the packages of the run: every name asked in one `rpm -q`, started
// ahead of the checks and read when the first answer is needed; kept until
// forgetInstalledPackages (the host changed), so no stage asks again.
struct InstalledAnswers {
    std::vector<std::string> asked;
    ProgramReader running;                                       // the query not read yet
    std::map<std::string, std::vector<InstalledPackage>> found;  // by package name
    bool evaluating = false;  // the query running prints rpm's %{_dbpath} first
    bool databaseRead = false;
    std::string databasePath;
};

// The medium's package searches and rpm's answers about its packages.
struct PackageSearches {
    // The OEM name prefix of resource 5001 (oemName).
    char oem[80] = "";
    char driverPath[kPathCacheSize] = "";
    char appPath[kPathCacheSize] = "";
    char browserPath[kPathCacheSize] = "";
    int driverResult = 0;
    int appResult = 0;
    std::string outOfReach;
    // What the last rpm query printed first (its line without the newline).
    std::string lastQueryLine;
    PackageCheckDetails driverDetails;
    PackageCheckDetails appDetails;
    InstalledAnswers installedAnswers;
    // Whether the driver's module needs rebuilding at boot; -1 before the probes ran.
    int kernelRebuild = -1;
};
// process-wide: the medium and the host's packages answer the same for the whole process,
// so every stage (start-up checks, review, checks, install, status) shares one search and
// one rpm query; resetPackageCaches empties it for tests.
PackageSearches searches;

// NAME, VERSION-RELEASE, then rpm's own line for the package (its default query form).
const char* const kInstalledFormat = "%{NAME} %{VERSION}-%{RELEASE} %{NVR}%{ARCHSUFFIX}\\n";
const std::size_t kInstalledOutputLimit = 1024 * 1024;
const char* const kDriverFamilies[] = {"holvane", "pirsel", "dumaro"};

struct GlobFree {
    void operator()(glob_t* g) const { globfree(g); }
};
using GlobHolder = std::unique_ptr<glob_t, GlobFree>;

// Composes dir + "/" + pattern into work; false when it does not fit. The directory
// is taken literally: a medium in "Disk [1]" is searched like any other.
bool composePattern(char* work, const char* dir, std::size_t dirLen, const char* pattern) {
    std::string composed = globEscape(std::string(dir, dirLen)) + "/" + pattern;
    if (composed.size() + 1 > kWorkSize) {
        return false;
    }
    std::memcpy(work, composed.c_str(), composed.size() + 1);
    return true;
}

// Copies a cached path to a caller's buffer; a path that does not fit is an
// error rather than a truncated path.
int deliverPath(int result, const char* cached, char* out, std::size_t outSize) {
    if (result != PACKAGE_FOUND || out == nullptr) {
        return result;
    }
    std::size_t len = std::strlen(cached);
    if (len >= outSize) {
        return PACKAGE_SEARCH_ERROR;
    }
    std::memcpy(out, cached, len + 1);
    return result;
}

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Numeric value of one version character: digits 0..9, then the character
// code minus 55, so 'A' is 10 and 'Z' is 35. Lower case is not folded.
int versionCharValue(unsigned char ch) {
    return ch <= '9' ? ch - '0' : ch - 55;
}

int clampToInt(long long value) {
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

int cacheDriverResult(int result) {
    searches.driverResult = result;
    searches.driverDetails.check = result;
    return result;
}

int cacheAppResult(int result) {
    searches.appResult = result;
    searches.appDetails.check = result;
    return result;
}

// The version part of a package file's name: what follows `versionStart`, without
// ".rpm" and the architecture before it.
std::string fileVersionText(const char* versionStart) {
    std::string text(versionStart);
    if (text.size() > 4 && text.compare(text.size() - 4, 4, ".rpm") == 0)
        text.resize(text.size() - 4);
    std::size_t dash = text.rfind('-');
    std::size_t dot = text.rfind('.');
    if (dot != std::string::npos && dash != std::string::npos && dot > dash)
        text.resize(dot);
    return text;
}

// Records what a check saw: the file, its version and what rpm said is installed.
void noteCheck(PackageCheckDetails& details, const std::string& package, const char* path,
               const char* versionStart, bool installed) {
    details.package = package;
    details.file = path;
    details.fileVersion = versionStart ? fileVersionText(versionStart) : std::string();
    details.installed = installed ? searches.lastQueryLine : std::string();
    // rpm's line is the package's name, '-', version, '-', release and its architecture.
    const std::string& line = details.installed;
    bool named = line.size() > package.size() && line.compare(0, package.size(), package) == 0 &&
                 line[package.size()] == '-';
    details.installedVersion = fileVersionText(line.c_str() + (named ? package.size() + 1 : 0));
}

// Whether `name` may be asked of rpm: a leading '-' would reach rpm as an option, not
// as a package name.
bool isQueryableName(const char* name) {
    return name != nullptr && name[0] != '\0' && name[0] != '-';
}

// Reads the query started ahead, if any, into searches.installedAnswers.found. Lines that are not
// of kInstalledFormat ("package NAME is not installed", rpm's complaints) answer nothing:
// a name without a line is not installed.
void readInstalledAnswers() {
    InstalledAnswers& answers = searches.installedAnswers;
    if (!answers.running.started())
        return;
    std::string text;
    char buffer[16 * 1024];
    while (std::size_t got = answers.running.read(buffer, sizeof buffer)) {
        if (text.size() < kInstalledOutputLimit)
            text.append(buffer, got);
    }
    answers.running.finish();
    std::size_t start = 0;
    if (answers.evaluating) {
        start = std::min(text.find('\n'), text.size());
        answers.databasePath = text.substr(0, start);
        answers.databaseRead = start < text.size();
        answers.evaluating = false;
        ++start;
    }
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second == std::string::npos || line.compare(0, 8, "package ") == 0)
            continue;
        const std::string name = line.substr(0, first);
        if (std::find(answers.asked.begin(), answers.asked.end(), name) != answers.asked.end())
            answers.found[name].push_back(
                {line.substr(second + 1), line.substr(first + 1, second - first - 1)});
    }
}

// Starts one `rpm -q` about those of `names` not asked yet (after reading the one before);
// the run's first also has rpm print its %{_dbpath} first.
void askInstalled(const std::vector<std::string>& names) {
    InstalledAnswers& answers = searches.installedAnswers;
    const bool first = answers.asked.empty() && !answers.databaseRead;
    std::vector<std::string> argv{"rpm"};
    if (first)
        argv.insert(argv.end(), {"--eval", "%{_dbpath}"});
    argv.insert(argv.end(), {"-q", "--qf", kInstalledFormat, "--"});
    const std::size_t options = argv.size();
    for (const std::string& name : names) {
        if (isQueryableName(name.c_str()) &&
            std::find(answers.asked.begin(), answers.asked.end(), name) == answers.asked.end() &&
            std::find(argv.begin() + options, argv.end(), name) == argv.end())
            argv.push_back(name);
    }
    if (argv.size() == options)
        return;
    readInstalledAnswers();
    answers.asked.insert(answers.asked.end(), argv.begin() + options, argv.end());
    const bool started = answers.running.start(argv, ProgramRun(kInstalledOutputLimit));
    answers.evaluating = first && started;
}

// The driver package file's name up to its first '-' is the package name asked of rpm;
// its version follows the '-'. False when the name has no '-'.
bool splitDriverFile(const char* path, std::string* name, const char** version) {
    const char* base = baseName(path);
    const char* dash = std::strchr(base, '-');
    if (dash == nullptr) {
        return false;
    }
    name->assign(base, dash - base);
    *version = dash + 1;
    return true;
}

// Where the version starts in the application package file's name (prefix-name-
// version-release...: after the second '-'); null when the name has no second '-'.
const char* appFileVersion(const char* path) {
    const char* first = std::strchr(baseName(path), '-');
    const char* second = first ? std::strchr(first + 1, '-') : nullptr;
    return second ? second + 1 : nullptr;
}

// The package name the application check asks rpm about; false when it is too long to
// be asked.
bool appPackageName(std::string* name) {
    *name = getString(AppPackageNameId);
    return name->size() < kAppNameSize;
}

// The first match of `pattern` in the medium directory (the working directory); with
// `noteOutOfReach`, a match whose path does not fit `out` is noted.
int searchRpmFile(const char* pattern, char* out, std::size_t outSize, bool noteOutOfReach) {
    char work[kWorkSize] = {};
    if (getcwd(work, kCwdMax) == nullptr) {
        return PACKAGE_SEARCH_ERROR;
    }
    if (!composePattern(work, work, std::strlen(work), pattern)) {
        return PACKAGE_SEARCH_ERROR;
    }

    // glob initialises `matches` on every call, so it is released after a failed
    // expansion as well.
    glob_t matches;
    int rc = glob(work, 0, nullptr, &matches);
    GlobHolder holder(&matches);
    if (rc == GLOB_NOMATCH || (rc == 0 && matches.gl_pathc == 0)) {
        return PACKAGE_NOT_FOUND;
    }
    if (rc != 0) {
        return PACKAGE_SEARCH_ERROR;
    }
    const char* first = matches.gl_pathv[0];
    std::size_t len = std::strlen(first);
    if (len >= outSize) {
        if (noteOutOfReach && searches.outOfReach.empty()) {
            searches.outOfReach = first;
        }
        return PACKAGE_SEARCH_ERROR;
    }
    std::memcpy(out, first, len + 1);
    return PACKAGE_FOUND;
}

// The driver package file as findDriverPackageFile finds it, but without caching it or
// noting a file out of reach: looking ahead changes nothing the checks see.
bool peekDriverPackageFile(char* out, std::size_t outSize) {
    if (searches.driverPath[0] != '\0') {
        return deliverPath(PACKAGE_FOUND, searches.driverPath, out, outSize) == PACKAGE_FOUND;
    }
    for (const char* pattern : kDriverPatterns) {
        if (searchRpmFile(pattern, out, outSize, false) == PACKAGE_FOUND) {
            return true;
        }
    }
    return false;
}

}  // namespace

int findRpmFile(const char* pattern, char* out, std::size_t outSize) {
    return searchRpmFile(pattern, out, outSize, true);
}

int findDriverPackageFile(char* out, std::size_t outSize) {
    int result = PACKAGE_FOUND;
    if (searches.driverPath[0] == '\0') {
        for (const char* pattern : kDriverPatterns) {
            result = findRpmFile(pattern, searches.driverPath, sizeof searches.driverPath);
            if (result == PACKAGE_FOUND) {
                break;
            }
        }
        if (result != PACKAGE_FOUND) {
            searches.driverPath[0] = '\0';
        }
    }
    return deliverPath(result, searches.driverPath, out, outSize);
}

int findAppPackageFile(char* out, std::size_t outSize) {
    int result = PACKAGE_FOUND;
    if (searches.appPath[0] == '\0') {
        const char* name = getString(AppPackageNameId);
        const char* dash = std::strchr(name, '-');
        char pattern[sizeof searches.oem];
        searches.oem[0] = '\0';
        // Without a non-empty prefix before a '-' the name follows no package
        // naming; an empty name would even match every package file.
        if (dash == nullptr || dash == name ||
            std::snprintf(pattern, sizeof pattern, "%s*.rpm", name) >=
                static_cast<int>(sizeof pattern)) {
            result = PACKAGE_NOT_FOUND;
        } else {
            result = findRpmFile(pattern, searches.appPath, sizeof searches.appPath);
            std::strcpy(searches.oem, pattern);
            *std::strchr(searches.oem, '-') = '\0';
        }
        if (result != PACKAGE_FOUND) {
            searches.appPath[0] = '\0';
        }
    }
    return deliverPath(result, searches.appPath, out, outSize);
}

int comparePackageVersions(const _PackageVersion* a, const _PackageVersion* b) {
    if (a->major != b->major) {
        return clampToInt(static_cast<long long>(a->major) - b->major);
    }
    if (a->minor != b->minor) {
        return clampToInt(static_cast<long long>(a->minor) - b->minor);
    }
    return clampToInt(static_cast<long long>(a->release) - b->release);
}

void versionFromRpmName(const char* text, int alnumMinor, _PackageVersion* v) {
    if (!alnumMinor) {
        std::sscanf(text, "%d.%d.%d-%d", &v->major, &v->minor, &v->patch, &v->release);
        return;
    }
    char c = 0;
    if (std::sscanf(text, "%d.%c-%d", &v->major, &c, &v->release) == 3) {
        v->minor = versionCharValue(static_cast<unsigned char>(c));
        return;
    }
    char c1 = 0;
    char c2 = 0;
    // The minor needs both characters; a scan that stops before them leaves it.
    if (std::sscanf(text, "%d.%c%c-%d", &v->major, &c1, &c2, &v->release) >= 3) {
        unsigned char high =
            static_cast<unsigned char>(versionCharValue(static_cast<unsigned char>(c1)));
        v->minor = high * 36 + versionCharValue(static_cast<unsigned char>(c2));
    }
}

int findInstalledRpmVersion(const char* name, int alnumMinor, _PackageVersion* v) {
    if (!isQueryableName(name)) {
        return PACKAGE_NOT_FOUND;
    }
    const std::vector<InstalledPackage>& found = installedPackages(name);
    searches.lastQueryLine = found.empty() ? std::string() : found.front().line;
    if (found.empty()) {
        return PACKAGE_NOT_FOUND;
    }
    versionFromRpmName(found.front().version.c_str(), alnumMinor, v);
    return PACKAGE_FOUND;
}

int driverUpdateCheck() {
    if (searches.driverResult != 0) {
        return searches.driverResult;
    }
    char path[kWorkSize];
    int found = findDriverPackageFile(path, sizeof path);
    if (found == PACKAGE_SEARCH_ERROR) {
        return UPDATE_CHECK_ERROR;
    }
    if (found != PACKAGE_FOUND) {
        return cacheDriverResult(UPDATE_NOTHING_TO_INSTALL);
    }
    std::string name;
    const char* version = nullptr;
    if (!splitDriverFile(path, &name, &version)) {
        return cacheDriverResult(UPDATE_NOTHING_TO_INSTALL);
    }
    _PackageVersion fileVersion = {0, 0, 0, 0};
    _PackageVersion installed = {99, 0, 0, 0};
    versionFromRpmName(version, 0, &fileVersion);
    bool isInstalled = findInstalledRpmVersion(name.c_str(), 0, &installed) == PACKAGE_FOUND;
    noteCheck(searches.driverDetails, name, path, version, isInstalled);
    if (!isInstalled) {
        return cacheDriverResult(UPDATE_NOT_INSTALLED);
    }
    return cacheDriverResult(comparePackageVersions(&fileVersion, &installed) > 0
                                 ? UPDATE_OLDER_INSTALLED
                                 : UPDATE_NOTHING_TO_INSTALL);
}

int appUpdateCheck() {
    if (searches.appResult != 0) {
        return searches.appResult;
    }
    char path[kWorkSize];
    int found = findAppPackageFile(path, sizeof path);
    if (found == PACKAGE_SEARCH_ERROR) {
        return UPDATE_CHECK_ERROR;
    }
    if (found != PACKAGE_FOUND) {
        return cacheAppResult(UPDATE_NOTHING_TO_INSTALL);
    }
    const char* version = appFileVersion(path);
    if (version == nullptr) {
        return cacheAppResult(UPDATE_NOTHING_TO_INSTALL);
    }
    _PackageVersion fileVersion = {0, 0, 0, 0};
    _PackageVersion installed = {99, 0, 0, 0};
    versionFromRpmName(version, 1, &fileVersion);

    std::string name;
    if (!appPackageName(&name)) {
        return cacheAppResult(UPDATE_NOTHING_TO_INSTALL);
    }
    bool isInstalled = findInstalledRpmVersion(name.c_str(), 1, &installed) == PACKAGE_FOUND;
    noteCheck(searches.appDetails, name, path, version, isInstalled);
    if (!isInstalled) {
        return cacheAppResult(UPDATE_NOT_INSTALLED);
    }
    int order = comparePackageVersions(&fileVersion, &installed);
    if (order > 0) {
        return cacheAppResult(UPDATE_OLDER_INSTALLED);
    }
    return cacheAppResult(order < 0 ? UPDATE_NEWER_INSTALLED : UPDATE_SAME_INSTALLED);
}

std::vector<std::string> runPackageNames() {
    std::vector<std::string> names;
    char path[kWorkSize];
    std::string name;
    if (searches.appResult == 0)
        findAppPackageFile(path, sizeof path);  // as the application's check does first
    if (appPackageName(&name))
        names.push_back(name);
    char driverFile[kPathCacheSize];
    const char* version = nullptr;
    if (peekDriverPackageFile(driverFile, sizeof driverFile) &&
        splitDriverFile(driverFile, &name, &version))
        names.push_back(name);
    names.insert(names.end(), std::begin(kDriverFamilies), std::end(kDriverFamilies));
    if (searches.oem[0] != '\0')
        names.push_back(std::string(searches.oem) + "-browser");
    names.push_back("gpg-pubkey");
    return names;
}

const std::vector<InstalledPackage>& installedPackages(const std::string& name) {
    static const std::vector<InstalledPackage> none;
    if (!isQueryableName(name.c_str()))
        return none;
    if (searches.installedAnswers.asked.empty()) {
        std::vector<std::string> names = runPackageNames();
        names.push_back(name);
        askInstalled(names);
    } else {
        askInstalled({name});
    }
    readInstalledAnswers();
    auto found = searches.installedAnswers.found.find(name);
    return found == searches.installedAnswers.found.end() ? none : found->second;
}

const std::string& rpmDatabasePath() {
    if (!searches.installedAnswers.databaseRead) {
        if (searches.installedAnswers.asked.empty())
            askInstalled(runPackageNames());
        readInstalledAnswers();
    }
    return searches.installedAnswers.databasePath;
}

void forgetInstalledPackages(const std::string& name) {
    readInstalledAnswers();
    if (name.empty()) {
        searches.installedAnswers = InstalledAnswers();
        return;
    }
    std::vector<std::string>& asked = searches.installedAnswers.asked;
    asked.erase(std::remove(asked.begin(), asked.end(), name), asked.end());
    searches.installedAnswers.found.erase(name);
}

void startInstalledVersionQueries() {
    if (searches.installedAnswers.asked.empty())
        askInstalled(runPackageNames());
}

int packagesAreRelocatable() {
    return 0;
}

int snmpIsSupportedOnOS() {
    return 1;
}

const char* oemName() {
    return searches.oem;
}

int webServerAvailable() {
    return 1;
}

int kernelRebuildNeeded() {
    // Asked at start-up and again by the install: the probes run once.
    int& answer = searches.kernelRebuild;
    if (answer < 0) {
        answer = driverUpdateCheck() > UPDATE_NEWER_INSTALLED &&
                         judgeDriver(mediumDriverOutlook()).neededAtBoot
                     ? 1
                     : 0;
    }
    return answer;
}

int findBrowserFile(char* out) {
    static const char* const paths[] = {"/usr/bin/netscape-navigator", "/usr/X11R6/bin/Netscape"};
    if (out != nullptr && std::system("which netscape > /dev/null") == 0) {
        std::strcpy(out, "netscape");
        return PACKAGE_FOUND;
    }
    int result = PACKAGE_FOUND;
    if (searches.browserPath[0] == '\0') {
        result = PACKAGE_NOT_FOUND;
        for (const char* path : paths) {
            if (access(path, X_OK) == 0) {
                std::strcpy(searches.browserPath, path);
                result = PACKAGE_FOUND;
                break;
            }
        }
    }
    if (result == PACKAGE_FOUND && out != nullptr) {
        std::strcpy(out, searches.browserPath);
    }
    return result;
}

const std::string& packageFileOutOfReach() {
    return searches.outOfReach;
}

bool isInstallablePackagePath(const char* path) {
    if (std::strlen(path) >= kPackagePathOutSize) {
        return false;
    }
    const char* name = baseName(path);
    if (*name == '\0') {
        return false;
    }
    for (const char* c = name; *c != '\0'; ++c) {
        bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                     (*c >= '0' && *c <= '9') || std::strchr("-._+~^", *c) != nullptr;
        if (!plain) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> browserPackageFiles() {
    std::vector<std::string> files;
    char cwd[kWorkSize];
    if (searches.oem[0] == '\0' || getcwd(cwd, sizeof cwd) == nullptr) {
        return files;
    }
    std::string pattern = globEscape(cwd) + "/" + globEscape(searches.oem) + "-browser*.rpm";
    glob_t matches;
    int rc = glob(pattern.c_str(), 0, nullptr, &matches);
    GlobHolder holder(&matches);
    for (std::size_t i = 0; rc == 0 && i < matches.gl_pathc; ++i) {
        files.push_back(matches.gl_pathv[i]);
    }
    return files;
}

std::string unusableBrowserPackage() {
    for (const std::string& file : browserPackageFiles()) {
        if (!isInstallablePackagePath(file.c_str())) {
            return file;
        }
    }
    return std::string();
}

const PackageCheckDetails& driverCheckDetails() {
    return searches.driverDetails;
}

const PackageCheckDetails& appCheckDetails() {
    return searches.appDetails;
}

void resetPackageCaches() {
    forgetInstalledPackages();
    searches.outOfReach.clear();
    searches.driverDetails = PackageCheckDetails();
    searches.appDetails = PackageCheckDetails();
    searches.driverPath[0] = '\0';
    searches.appPath[0] = '\0';
    searches.browserPath[0] = '\0';
    searches.driverResult = 0;
    searches.appResult = 0;
    searches.oem[0] = '\0';
}
