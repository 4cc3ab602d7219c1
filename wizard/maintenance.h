// Day two of an installed version: what is installed (rpm's answers and the install
// record), and the runs that repair, modify or remove it. Each runs through the same
// install run as an install (lock, log, checks, settings file, script, progress); only
// the script's steps differ.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "services/package_checks.h"
#include "wizard/install_record.h"
#include "wizard/wizard.h"

// The action of this run's install (Install unless a maintenance option chose another),
// and whether a remove takes the driver too.
struct InstallRun;
void setInstallAction(InstallRun& run, Action action, bool removeDriver = false);
Action installAction(const InstallRun& run);
bool removesDriver(const InstallRun& run);
// "install", "repair", "modify" or "remove".
const char* actionName(Action action);

// What is on the host now.
struct InstalledState {
    std::string applicationPackage, driverPackage, addonPackage;  // the names asked of rpm
    // rpm's version-release of each; empty when not installed.
    std::string application, driver, addon;
    RecordState recordState = RecordState::Missing;
    InstallRecord record;
    std::string recordError;  // why a record was refused
};
InstalledState readInstalledState();

// After a failed or refused run, what rpm says is installed now: a heading, then one
// line per package the medium has ("holvane 1.2.3-4", or that it is not installed).
std::vector<std::string> installedNowLines(const InstalledState& state);

// Whether the record and rpm agree on what is installed: "matches" (the record's
// application, driver and add-on versions are rpm's, none where none is installed),
// "stale" (rpm says otherwise: changed by hand since), or "missing" (no record in use).
const char* recordAgreement(const InstalledState& state);

// rpm's VERSION-RELEASE of each installed package of `names`, from the run's one query; a
// name not installed (or that cannot be one) has no entry.
std::map<std::string, std::string> installedPackageVersions(const std::vector<std::string>& names);

// rpm's VERSION-RELEASE of the installed package `name`; empty when none is installed
// (or the name cannot be one). The run's answer (installedPackages), asked afresh only
// after an install run changed the host.
std::string installedPackageVersion(const std::string& name);

// The version-release a package file's name gives ("quorvel-browser-1.0-1.noarch.rpm"
// with the name "quorvel-browser" gives "1.0-1"); empty when the file is not the
// package's.
std::string packageFileVersion(const std::string& file, const std::string& name);

// The recorded choices as a selection; false when the record names no setup type or
// a component this program does not know.
bool recordedSelection(const InstallRecord& record, Selection* selection);

// The choices a repair, modify or remove acts on. A repair or a remove: the recorded
// ones; when the record is missing or not used, those given, else the typical ones
// (`note` says so). A modify: those given, as the host offers them, the driver kept
// when it is installed and asked for.
Selection maintenanceSelection(Action action, const Choices& choices, const InstalledState& state,
                               std::string* note);

// An install over an older version installed with a record, and no setup type given:
// the recorded choices go into `choices`, and `note` says so. False otherwise.
bool upgradeChoices(Choices* choices, std::string* note);

struct Transaction;
// The record a successful install, repair or modify leaves for `selection`: the versions
// as they are once `transaction` has run on the host `before`.
InstallRecord recordFor(const Selection& selection, const Transaction& transaction,
                        const InstalledState& before, const std::string& logPath);

// The root side's lines that write the record (from the file `source`) or, after a
// remove, take it away when the application is gone; run as root once the script ended
// with `$status` 0.
std::string rootSideRecordText(Action action, const std::string& source,
                               const std::string& applicationPackage);

// The record of the run that starts, for `selection` (read from the host before it
// changes); its text, and the application package it is named after. `logPath`: the
// run's log, when it was written.
void prepareInstallRecord(InstallRun& run, const Selection& selection, const std::string& logPath);
std::string preparedRecordText(const InstallRun& run);
const std::string& preparedRecordPackage(const InstallRun& run);
// As root, once the run ended: the prepared record written when it succeeded; after a
// remove, the record taken away when the application is gone. The line saying what
// could not be done; empty when all was done (and as a normal user, whose root side
// does it).
std::string settleInstallRecord(InstallRun& run, bool succeeded);
