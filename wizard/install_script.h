// The settings file and the install script written when the install starts.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "services/files.h"
#include "services/package_checks.h"
#include "wizard/install_checks.h"
#include "wizard/maintenance_copy.h"

extern const char* const InstallSettingsPath;  // "/tmp/quorvelInstallSettings"
extern const char* const InstallErrorPath;     // "/tmp/quorvelInstallError"

// The files the script sources, runs and writes live in a directory of this run that
// only the wizard's user can enter, "/tmp/stage3-install.XXXXXX": nobody else can
// put, swap or link anything there. The fixed names in /tmp, which other programs may
// read, are made afresh beside it for them (the settings file when the install starts,
// the error file when it has failed); the wizard itself never reads them.

// The packages of a run are copied before the checks into "<installDirectory>/packages",
// a directory only the wizard's user can enter: the checks look at the copies, and the
// install installs them. Each copy's name is a plain word of its own (the package's own
// name when that is one); its SHA-256 is kept for the root side, which copies them again.
struct PackageCopy {
    std::string path;    // the package on the medium, as lines name it
    std::string name;    // its copy's name
    std::string digest;  // the copy's SHA-256; empty when it could not be copied
};

// The files of one install run, held by the run.
struct RunFiles {
    // The run's private directory; empty until made.
    char installDirectory[64] = "";
    // Path of the install script, "<installDirectory>/quorvelInst.<pid>"; empty until
    // composed.
    char scriptName[64] = "";
    // Run as a normal user, the wizard has the install script run as root through pkexec,
    // by the root side's script "<installDirectory>/stage3-root.sh"; empty when the wizard
    // runs as root (it runs the install script itself) or until composed.
    char rootScriptName[64] = "";
    // The settings file placed at its fixed name for this run, and where a directory that
    // stood there went.
    FileIdentity placedSettings;
    std::string settingsAside;
    // The keys the root side imports, and how many of their files this run wrote.
    std::vector<SigningKey> rootSideKeys;
    std::size_t keyFilesWritten = 0;
    // The packages of this run, copied before the checks.
    std::vector<PackageCopy> copies;
    // The medium's files staged for the root side's maintenance copy, with their digests.
    std::vector<StagedFile> stagedFiles;
};

// The settings file's text for a component selection.
std::string settingsFileText(int componentsSelected, bool kernelRebuild);

// Makes the run's private directory (installDirectory) when it is not made yet.
bool makeInstallDirectory(RunFiles& files);
// Copies each of `packages` (once a run) and sets its `file` to the copy. A package that
// cannot be copied gets the name of a copy that does not exist, which the checks refuse.
void copyInstallPackages(RunFiles& files, std::vector<TransactionPackage>* packages);
// The copy of the package at `path`; null when the run made none.
const PackageCopy* packageCopy(const RunFiles& files, const std::string& path);

// The root side's script, run as root through pkexec for a wizard that runs as a normal
// user. Its first step makes a mark in `directory` (the administrator's authentication
// passed); it then copies `packages` from "<directory>/packages" into a directory of its
// own that only root can enter and checks each copy's digest: a copy that differs (or
// is missing) prints `changedText` with the package's path for its %s, leaves a mark
// and ends the run with nothing installed. It then takes the machine's install
// lock (/run/stage3.lock, as a wizard run as root does), places the fixed names in /tmp
// as root (the settings file, the start marker, the error file when the install failed),
// runs the install script `script` on its copies and removes what it placed and the
// copies, however it ends. `markerWarning` is the
// line it prints when the start marker cannot be placed. A directory at the settings
// file's name is renamed aside first, with the line `asideNote` (the name and the new
// name replace its two %s). `afterRun` is run once the script ended, with its status in
// $status (the install record's lines). `keys` (the trusted keys' files, in "<directory>/packages"
// beside the packages) are taken and checked as the packages are, then imported into rpm's
// keyring (root's, which the install's rpm uses) once the lock is held; a key rpm does not
// take ends the run there, with nothing installed.
std::string rootSideScriptText(const std::string& directory, const std::string& script,
                               const std::vector<PackageCopy>& packages,
                               const std::string& changedText, const std::string& markerWarning,
                               const std::string& asideNote, const std::string& afterRun = "",
                               const std::vector<PackageCopy>& keys = {});

enum class RootSide {
    Ran,      // the install script ran: its status and error file tell the rest
    Refused,  // no authentication: pkexec ran nothing (refused or dismissed)
    Busy,     // another install holds the machine's lock; nothing ran
    Unsafe,   // the settings file could not be placed; nothing ran
    Changed   // a package was not the one the checks passed; nothing was installed
};

// What the root side's marks say once pkexec has ended.
RootSide rootSideOutcome(const RunFiles& files);

// The medium's keys (their bytes, as checked) that the install trusted, for the root side
// to import: a normal user's rpm cannot reach root's keyring. Taken by the next
// writeInstallFiles, which writes them beside the packages' copies for the root side to
// take as it takes those (each checked against its digest); unused when the wizard runs
// as root (it imported them itself).
void setRootSideKeys(RunFiles& files, const std::vector<SigningKey>& keys);

enum class InstallFiles { Ready, NothingSelected, Failed };

// Writes the settings file and the script for the component bit set `components` (and,
// with `kernelRebuild`, the kernel rebuild setting; as a normal
// user, the root side's script, which places the settings file at its fixed name).
// Failed when a file cannot be made safely; nothing must run then. As root, a directory
// at the settings file's fixed name (another user's, say) is renamed aside rather than
// stopping every install; settingsMovedAside() then names where it went.
struct InstallRun;
InstallFiles writeInstallFiles(InstallRun& run, int components, bool kernelRebuild);
// The new name of the directory the last writeInstallFiles moved aside; empty when none.
const std::string& settingsMovedAside(const RunFiles& files);

// Whether this run's script recorded a failed rpm step. When it did, its status is
// also placed at the fixed error name for whoever looks there (by the root side when
// the wizard runs as a normal user).
bool installErrorRecorded(const RunFiles& files);

// Removes the settings file and the script with this run's directory.
void removeInstallFiles(RunFiles& files);
