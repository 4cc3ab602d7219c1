// The transaction of a run: what happens to each package, worked out once from what is
// installed (one InstalledState), the medium's package files, the selection and the
// action. The review's list, the dry run's plan, the checks before the install (the
// signatures of the files the steps use, rpm's test of exactly those steps), the install
// script and the install record all read the same steps.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "services/package_checks.h"
#include "wizard/maintenance.h"
#include "wizard/wizard.h"

// What a step does to its package.
enum class StepAction {
    Install,    // not installed: installed new
    Upgrade,    // an older version installed: upgraded to the medium's
    Reinstall,  // the medium's version installed: installed again (a repair, a modify)
    Keep,       // the medium's version installed and not asked again: nothing runs
    KeptNewer,  // a newer version installed: nothing runs
    Remove,     // erased by name; needs no package file
    Downgrade,  // a newer version installed: back to the kept one (a rollback)
};

// "install", "upgrade", "reinstall", "keep", "kept-newer", "remove" or "downgrade".
const char* stepActionName(StepAction action);

struct TransactionStep {
    std::string package;    // the package's name
    std::string path;       // its file on the medium; empty for a remove
    std::string file;       // the run's copy of `path`, once made; empty until then
    std::string installed;  // the installed version-release; empty when none
    std::string version;    // the medium's version-release; empty for a remove
    StepAction action = StepAction::Install;
    std::vector<std::string> options;  // rpm's, without -v ("-U", "--nodeps" ...)
    // A failure of this step fails the run once the steps after it have run (an add-on
    // does not keep the application out).
    bool failsLast = false;

    // Whether rpm runs for it: neither kept nor kept newer.
    bool runs() const { return action != StepAction::Keep && action != StepAction::KeptNewer; }
    // Whether rpm installs its file (runs, and is no remove).
    bool installs() const { return runs() && action != StepAction::Remove; }
    TransactionPackage transactionPackage() const { return {path, options, file}; }
};

struct Transaction {
    Action action = Action::Install;
    std::vector<TransactionStep> steps;
    // An install, repair or modify whose medium has no application package: it cannot run.
    bool applicationMissing = false;

    // The packages rpm installs, in the steps' order: what the checks look at.
    std::vector<TransactionPackage> packagesToInstall() const;
    // The steps rpm runs, in their order: what the script does.
    std::vector<TransactionStep> runningSteps() const;
};

// One package file of the medium: the package's name, the file and the version its name
// gives; path and version empty when there is none.
struct MediumPackage {
    std::string name, path, version;
};

// The medium's package files a transaction may use, as the searches found them.
struct MediumPackages {
    MediumPackage driver, application;
    std::vector<MediumPackage> addons;
};
MediumPackages readMediumPackages(const InstalledState& state);

// The transaction of `action` for `selection` on the host `state` with the medium's
// files `medium`. Install (an upgrade too): the driver when chosen, the add-ons with the
// web server, the application; a package at the medium's version already is kept, one
// newer is kept newer. Repair: each again (the driver only when the installed one is the
// medium's, the add-on only when installed or recorded). Modify: the driver when newly
// chosen, the add-on in with the web server or removed without it, the application again.
// Remove: the add-on, the application and (with `removeDriver`) the driver, each by name
// at whatever version is installed.
Transaction buildTransaction(Action action, const Selection& selection, const InstalledState& state,
                             const MediumPackages& medium, bool removeDriver);

// Orders two version-release texts of a package: negative when `a` is older, 0 when the
// same, positive when newer. `application` reads the minor as the application's names do
// (a digit or letter: "3.B-2" before "3.C-1").
int compareVersionTexts(const std::string& a, const std::string& b, bool application);

// The install script of the transaction's steps that run, each announced as
// "%% step K of N" and shown as the rpm command it runs; `directory` holds the settings
// file it reads and the error file it writes. Each package installed is its copy (the
// step's `file`) in "<directory>/packages", or in the directory given as the script's
// first argument.
std::string transactionScriptText(const Transaction& transaction, const std::string& directory);

// The host as one run found it (read once, on first use), and the run's transaction with
// the action, components and driver choice it was built for. Held by the run.
struct RunTransactionCache {
    std::optional<InstalledState> host;
    std::optional<MediumPackages> medium;
    struct Built {
        Transaction transaction;
        int components = 0;
        bool removeDriver = false;
    };
    std::optional<Built> built;
};

struct InstallRun;
// The host as `run` found it: read once, on first use.
const InstalledState& runInstalledState(InstallRun& run);
// The run's transaction for `selection` and the current action, built from the host as
// the run found it and the medium's files.
const Transaction& runTransaction(InstallRun& run, const Selection& selection);
// The host changed (an install ran): the next use reads it again.
void forgetRunTransaction(InstallRun& run);
