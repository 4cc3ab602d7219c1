// Package discovery and version checks: finds the driver and application
// package files on the medium, reads their versions from the file names, asks
// `rpm -q` which version is installed and condenses the comparison into the
// small result codes that start-up and the component logic act upon. Also a
// few host probes with fixed answers and the search for a web browser.
//
// Package file naming on the medium:
//   driver       FAMILY-MAJOR.MINOR.PATCH-RELEASE...rpm, FAMILY one of
//                holvane, pirsel, dumaro (tried in that order)
//   application  PREFIX-NAME-MAJOR.MINOR-RELEASE...rpm, where PREFIX-NAME is
//                the text of resource 5001 (exactly one '-')
#ifndef STAGE3_SERVICES_PACKAGES_H
#define STAGE3_SERVICES_PACKAGES_H

#include <cstddef>
#include <string>
#include <vector>

// glibc's <sys/sysmacros.h> may define function-like macros named major and
// minor, which would break the field names below.
#undef major
#undef minor

// Result codes of the file searches.
enum {
    PACKAGE_SEARCH_ERROR = 1,  // medium directory unavailable, or a search error
    PACKAGE_FOUND = 1000,
    PACKAGE_NOT_FOUND = 1001,
};

// Result codes of driverUpdateCheck and appUpdateCheck (compared numerically
// by their callers: above 3 means "to be installed").
enum {
    UPDATE_CHECK_ERROR = 1,         // the file search failed; never cached
    UPDATE_NOTHING_TO_INSTALL = 2,  // no usable file (driver: or installed is same/newer)
    UPDATE_SAME_INSTALLED = 3,      // application only
    UPDATE_NEWER_INSTALLED = 4,     // application only
    UPDATE_NOT_INSTALLED = 5,
    UPDATE_OLDER_INSTALLED = 6,
};

// Capacity of a package path, terminator included: the file caches, the start-up
// check and the install script share this one limit, so a path that start-up accepts
// reaches the script whole. Also the default of the searches' `outSize` arguments.
const std::size_t kPackagePathOutSize = 4095;

// The maker's short prefix: resource 5001 up to its first '-'. Set by the
// first search of findAppPackageFile; empty before (and when 5001 is unusable).
const char* oemName();

struct _PackageVersion {
    int major;
    int minor;    // application form: decoded from one or two characters
    int patch;    // driver form only; takes no part in comparisons
    int release;  // the RPM release after the '-'
};

// Expands `pattern` in the medium directory, the working directory the programs
// entered at start-up. On PACKAGE_FOUND the first match in sorted order
// is in `out`. PACKAGE_SEARCH_ERROR when the working directory is unavailable,
// the composed pattern or the match does not fit (4096 bytes, `outSize`), or
// the expansion fails other than by finding nothing.
int findRpmFile(const char* pattern, char* out, std::size_t outSize = 4095);

// The driver package file: patterns "holvane*.rpm", "pirsel*.rpm" and
// "dumaro*.rpm" in that order. The path is cached once found. On PACKAGE_FOUND
// and a non-null `out` the path is copied there; a path that does not fit
// `outSize` gives PACKAGE_SEARCH_ERROR and leaves `out` untouched.
int findDriverPackageFile(char* out, std::size_t outSize = kPackagePathOutSize);

// The application package file, pattern "<resource 5001>*.rpm"; also sets
// oemName(). A resource 5001 without a non-empty prefix before a '-', or too
// long for oemName() as a pattern, is no usable name: PACKAGE_NOT_FOUND.
int findAppPackageFile(char* out, std::size_t outSize = kPackagePathOutSize);

// Orders by major, then minor, then release (patch is ignored). Returns the
// difference a - b of the first differing field, clamped to the int range,
// or 0.
int comparePackageVersions(const _PackageVersion* a, const _PackageVersion* b);

// Fills `v` from a version text "MAJOR.MINOR.PATCH-RELEASE" (alnumMinor 0) or
// "MAJOR.C-RELEASE" / "MAJOR.CC-RELEASE" (alnumMinor 1, C a digit or letter:
// '0'..'9' are 0..9, 'A'..'Z' are 10..35, two characters are c1 * 36 + c2).
// Only the fields the scan finds are written.
void versionFromRpmName(const char* text, int alnumMinor, _PackageVersion* v);

// The installed version of NAME (installedPackages: the run's one query) read as the file
// names are. PACKAGE_FOUND when rpm has a version installed (parsed into `v`; an
// unreadable version leaves `v` as it was), PACKAGE_NOT_FOUND when the package is not
// installed, the query failed, or the name cannot be a package name (empty, or beginning
// with '-').
int findInstalledRpmVersion(const char* name, int alnumMinor, _PackageVersion* v);

// One installed package as rpm's database has it.
struct InstalledPackage {
    std::string line;     // rpm's own line for it ("holvane-1.2.3-4.noarch")
    std::string version;  // VERSION-RELEASE ("1.2.3-4")
};

// The names a run asks rpm about: the application's, the driver file's and the driver
// families, the browser add-on's and gpg-pubkey (the keys of rpm's keyring). Looks for the
// application's file as its check does first.
std::vector<std::string> runPackageNames();

// What rpm's database holds of the package NAME, each installed instance in rpm's order;
// none when it is not installed, cannot be a package name or rpm could not answer. The
// first question of a run asks rpm about every name of runPackageNames (and NAME) in one
// `rpm -q`, each name one argument; the answers are kept until forgetInstalledPackages, a
// name asked later is asked on its own. The string service is unloaded while the child is
// created.
const std::vector<InstalledPackage>& installedPackages(const std::string& name);

// rpm's %{_dbpath}, as the run's first query of installedPackages has rpm print it; empty
// when rpm could not be asked.
const std::string& rpmDatabasePath();

// Forgets the answers about `name`, or all of them, once the host's packages (or rpm's
// keyring) may have changed: the next question about it asks rpm again.
void forgetInstalledPackages(const std::string& name = std::string());

// The update checks; results 2 to 6 are cached for the life of the process.
int driverUpdateCheck();
int appUpdateCheck();

// Starts the run's one query of installedPackages ahead of the update checks, so that
// they find the answers in rather than wait for rpm in turn; nothing when it was asked
// already.
void startInstalledVersionQueries();

// Host probes, 1 true and 0 false. Fixed answers but the last.
int packagesAreRelocatable();
int snmpIsSupportedOnOS();
int webServerAvailable();
// Whether the driver will be installed and the module of the medium's driver package
// drives a device that holds /, /boot or swap, so that the system starts with it: the
// kernel's start-up image has to be made again (driver_outlook).
int kernelRebuildNeeded();

// A web browser: "netscape" when `which` finds it on PATH (only asked with a
// non-null `out`), otherwise the first executable of the fixed locations.
// PACKAGE_FOUND with the command or path in `out` (if non-null), or
// PACKAGE_NOT_FOUND.
int findBrowserFile(char* out);

// The first package file a search found but could not use because its path does not
// fit kPackagePathOutSize; empty when there was none.
const std::string& packageFileOutOfReach();

// Whether rpm can be given the package file `path` as it is named: the path fits
// kPackagePathOutSize and the file's own name holds only letters, digits and
// "-._+~^". rpm splits its file arguments at blanks and takes quotes, backslashes and
// wildcard characters out of them; the install script runs rpm from within the
// file's directory, so the directory part may hold anything.
bool isInstallablePackagePath(const char* path);

// The browser add-on packages ("<oemName()>-browser*.rpm") in the current directory,
// which the install script installs with the web server; sorted.
std::vector<std::string> browserPackageFiles();

// A browser add-on package that rpm cannot be given as it is named; empty when there
// is none.
std::string unusableBrowserPackage();

// What an update check saw, for the install log and the plan of a dry run. `check` is
// the check's cached result (0 until it has one); the other fields are empty when the
// check found no file to compare.
struct PackageCheckDetails {
    int check = 0;
    std::string package;           // the package name asked of rpm
    std::string file;              // the package file on the medium
    std::string fileVersion;       // its version, as its name gives it ("1.2.3-4")
    std::string installed;         // rpm's line for the installed package; empty when none
    std::string installedVersion;  // its version, as that line gives it ("1.2.3-5")
};
const PackageCheckDetails& driverCheckDetails();
const PackageCheckDetails& appCheckDetails();

// For tests only: empties the file and browser caches, the two cached check
// results and oemName(), as at process start, and forgets rpm's answers (waiting for a
// query started ahead that no check took).
void resetPackageCaches();

#endif
