// A private rpm world for one test: a scratch root holding a HOME whose
// .rpmmacros points %_dbpath at a private database, the medium directory
// (made the current directory), and a logging `rpm` first on PATH that records
// every run before handing over to the real rpm. HOME, PATH, LANG (set to C) and
// the working directory are put back when the sandbox goes.
//
// Packages are built on demand with rpmbuild from rpm-package.spec beside this
// file and kept in the build directory across runs, so the tests that use the
// sandbox need rpm and rpmbuild. The machine's own package database is never used.
#ifndef STAGE3_TESTS_SUPPORT_RPM_SANDBOX_H
#define STAGE3_TESTS_SUPPORT_RPM_SANDBOX_H

#include <optional>
#include <string>
#include <vector>

#include "tests/support/guards.h"
#include "tests/support/scratch_dir.h"

class RpmSandbox {
  public:
    RpmSandbox();
    ~RpmSandbox();
    RpmSandbox(const RpmSandbox&) = delete;
    RpmSandbox& operator=(const RpmSandbox&) = delete;

    const std::string& root() const { return root_.path(); }
    const std::string& medium() const { return medium_; }

    // Path of the built package NAME-VERSION-RELEASE.noarch.rpm, which needs the
    // capability `needs` when one is given.
    std::string package(const std::string& name, const std::string& version,
                        const std::string& release, const std::string& needs = "");
    // Copies that package into `dir` as `fileName` (its own name when empty);
    // returns the new path.
    std::string putPackage(const std::string& dir, const std::string& name,
                           const std::string& version, const std::string& release,
                           const std::string& fileName = "");
    // Installs into / erases from the private database (no files, no deps).
    void install(const std::string& name, const std::string& version, const std::string& release);
    void erase(const std::string& name);
    // `rpm -qa` of the private database, sorted.
    std::vector<std::string> installed() const;

    // Argument lists of the rpm runs made through PATH, in order.
    std::vector<std::vector<std::string>> rpmRuns() const;
    // Makes only the logging rpm reachable through PATH, without the real one
    // behind it: every query then prints nothing.
    void hideRealRpm();

    // Writes `dir`/setupresDB holding resource 5001 = `appName` (en/US); when
    // `dir` is the medium, reloads the string service from it.
    void writeAppName(const std::string& dir, const std::string& appName);
    // Copies the resource database `source` into the medium and loads it.
    void useDatabase(const std::string& source);

    // The real rpm program, found on PATH before the sandbox changed it.
    static const std::string& realRpm();
    // Runs a shell command; its exit status (-1 when it could not run).
    static int run(const std::string& command);
    static std::string quote(const std::string& text);

  private:
    void writeRpmWrapper(bool withRealRpm);

    ScratchDir root_;  // first member: removed after everything else is put back
    std::string home_;
    std::string dbPath_;
    std::string medium_;
    std::string binDir_;
    std::string rpmLog_;
    std::optional<EnvVar> homeVar_;
    std::optional<EnvVar> pathVar_;
    std::optional<EnvVar> langVar_;
    std::optional<ChangeDir> cwd_;
};

#endif
