// The maintenance copy: what a later repair, modify or remove of the installed version
// needs when its medium is gone, kept on the host beside the install record.
//
// "<records>/<application package>/", a directory of root's that no one else can enter
// (0700): the programs, the texts, the license and the other files of the medium, the
// packages installed (unless the administrator asked to keep none) and a SHA256SUMS of
// its own, so that its `stage3` is a medium like any other and passes the same checks.
// "previous/" holds the packages of the version before the last upgrade, for a rollback;
// anything older is dropped. A copy is built under a new name beside it and exchanged
// with the old one, so a reader sees the old copy or the new one whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wizard/maintenance.h"
#include "wizard/transaction.h"
#include "wizard/wizard.h"

extern const char* const PreviousDirectoryName;  // "previous"

// The copy's directory for an application package; empty for a name that cannot be one.
std::string maintenanceCopyPath(const std::string& applicationPackage);

// The copy as it is on the host: `path` empty when there is none; `size` the bytes of its
// files.
struct MaintenanceCopyInfo {
    std::string path;
    std::uint64_t size = 0;
};
MaintenanceCopyInfo maintenanceCopyInfo(const std::string& applicationPackage);

// The application package the medium names (its setting 5001) when the medium is that
// package's maintenance copy; empty when it is another medium.
std::string maintenanceCopyApplication();

// The files of the medium at `medium` a copy keeps besides the packages, relative to it:
// its regular files but the packages and the digest list, and those of its locale
// subdirectories (two lower-case letters). Names starting with a dot are left out.
std::vector<std::string> keptMediumFiles(const std::string& medium);

// A package the copy keeps: the file it is copied from and its name in the copy.
struct KeptPackage {
    std::string source;
    std::string name;
};

// As root: makes the copy of the medium `medium` for `applicationPackage` with `packages`
// (when `keepPackages`: --keep-packages, keep-packages= of the answers file). `applicationFile` is
// the application package's name in the copy: an old copy without it held another version, whose
// packages go to "previous/"; one with it is the same version, and its "previous/" is kept. False
// with the reason.
bool makeMaintenanceCopy(const std::string& applicationPackage, const std::string& medium,
                         const std::vector<KeptPackage>& packages,
                         const std::string& applicationFile, bool keepPackages, std::string* error);

// The steps of a rollback on the host `state`: each package the copy keeps from before
// installed again with rpm -U --oldpackage (the add-on --nodeps too), in the install's
// order, where rpm has another version of it. From before: after a failed upgrade (rpm
// has other versions than the copy's own packages) those, the versions the upgrade
// started from; else the packages of "previous/". Empty when the copy keeps nothing to
// return to.
std::vector<TransactionStep> rollbackSteps(const InstalledState& state);

// The record's versions set to those rpm has installed now.
void recordInstalledVersions(InstallRecord* record);

// As root: removes the copy; true when there is none afterwards.
bool removeMaintenanceCopy(const std::string& applicationPackage, std::string* error);

// As root, after a successful run: the packages the copy keeps, those whose version rpm
// has installed now: the medium's, as the run checked them (its copies) where it made
// copies, and otherwise as the copy there was kept them (a driver this medium lacks, or
// after a rollback the versions returned to).
std::vector<KeptPackage> packagesToKeep();

// As root, when the run ended: the copy made after a successful install, repair or modify,
// taken away after a remove that took the application. The line saying what could not
// be done; empty when all was done.
struct RunFiles;
std::string settleMaintenanceCopy(Action action, bool succeeded, const std::string& package,
                                  bool keepPackages, const RunFiles& files);

// The root side's lines that make the copy for a wizard run as a normal user, once the
// script ended with `$status` 0 and the record was written (`$records` names its
// directory), or after a remove take it away. The medium's files come from `staged` (a
// directory of the user's, each file checked against its digest in `files`, name and
// SHA-256), the packages from the root side's own checked copies in "$packages" (each
// `source` a copy's name there, `name` its name in the maintenance copy); packages this
// run did not install are carried from the old copy where rpm has their version.
struct StagedFile {
    std::string name;
    std::string digest;
};
std::string rootSideCopyText(Action action, const std::string& applicationPackage,
                             const std::string& staged, const std::vector<StagedFile>& files,
                             const std::vector<KeptPackage>& packages,
                             const std::string& applicationFile, bool keepPackages);

// As a normal user: copies the medium's kept files into `staged` (a new directory of the
// run's), giving each file's name and digest. False when one cannot be copied.
bool stageMediumFiles(const std::string& staged, std::vector<StagedFile>* files);
