#include "wizard/startup.h"

#include <glib.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "services/file_search.h"
#include "services/files.h"
#include "services/glib_memory.h"
#include "services/medium_directory.h"
#include "services/packages.h"
#include "services/string_service.h"
#include "services/terminal_text.h"
#include "services/text_format.h"
#include "wizard/install_lock.h"
#include "wizard/maintenance.h"
#include "wizard/maintenance_copy.h"
#include "wizard/text_ids.h"

const char* const StartMarkerPath = "/tmp/stage3started";
FileIdentity StartMarkerMade;

namespace {

std::vector<std::string> refusal;
ErrorKind refusalKind = ErrorKind::None;

// A refusal line: written to standard error, and kept for the plan of a dry run.
void writeLine(const char* text) {
    refusal.push_back(terminalSafeText(text));
    writeErrorLine(text);
}

// Writes two texts of the database, one per line, to standard error.
void refuse(const ResourceID_C& first, const ResourceID_C& second) {
    // Each text is written before the next is fetched: they share one buffer.
    writeLine(getString(first));
    writeLine(getString(second));
}

// Refuses a medium whose application is older than the one installed (rpm would refuse
// it only after the driver and the add-on went in): both versions named.
void refuseNewerInstalled() {
    const PackageCheckDetails& app = appCheckDetails();
    writeLine(fillText(getString(NewerVersionInstalledId),
                       {app.package, app.installedVersion, app.fileVersion})
                  .c_str());
    writeLine(getString(SetupCannotContinueId));
}

// Refuses a package file that cannot be installed as it is named: the path on a line
// of its own between the two texts.
void refusePackagePath(const std::string& path) {
    writeLine(getString(PackagePathUnusableId));
    writeLine(terminalSafeLine(path).c_str());
    writeLine(getString(SetupCannotContinueId));
}

// The package file that cannot be installed as it is named, or "" when every package
// file the install may use can be.
std::string unusablePackagePath() {
    char path[kPackagePathOutSize];
    if (findAppPackageFile(path) == PACKAGE_FOUND && !isInstallablePackagePath(path))
        return path;
    if (driverUpdateCheck() > 3 && findDriverPackageFile(path) == PACKAGE_FOUND &&
        !isInstallablePackagePath(path))
        return path;
    return unusableBrowserPackage();
}

// An account as a refusal names it: its name and number.
std::string accountName(uid_t uid) {
    const struct passwd* entry = getpwuid(uid);
    std::string number = std::to_string(uid);
    return entry ? std::string(entry->pw_name) + " (" + number + ")" : number;
}

// Writes the refusal of `fault` in the program's own texts: the medium's database is
// not read for it, since the account that could change the medium could change that.
void refuseFault(const MediumFault& fault) {
    const std::string path = terminalSafeLine(fault.path);
    switch (fault.kind) {
        case MediumFault::None:
            return;
        case MediumFault::ForeignOwner:
            writeLine(
                fillText(getBuiltInString(MediumForeignOwnerId), {path, accountName(fault.owner)})
                    .c_str());
            break;
        case MediumFault::WritableByOthers:
            writeLine(fillText(getBuiltInString(MediumWritableId), {path}).c_str());
            break;
        case MediumFault::BrokenLink:
            writeLine(fillText(getBuiltInString(MediumBrokenLinkId), {path}).c_str());
            break;
        case MediumFault::NotAFile:
            writeLine(fillText(getBuiltInString(ProgramNotAFileId), {path}).c_str());
            break;
        case MediumFault::UnknownImage:
            writeLine(fillText(getBuiltInString(MediumImageUnknownId), {path}).c_str());
            break;
    }
    writeLine(getBuiltInString(MediumCopyAdviceId));
    writeLine(getBuiltInString(MediumRefusedEndId));
}

bool startMarkerStillOurs() {
    struct stat info;
    return StartMarkerMade.made && lstat(StartMarkerPath, &info) == 0 &&
           info.st_dev == StartMarkerMade.device && info.st_ino == StartMarkerMade.inode;
}

}  // namespace

bool refuseChangeableMedium(const std::string& directory) {
    if (geteuid() != 0)
        return false;
    MediumFault fault = findMediumFault(directory, trustedMediumOwners());
    refuseFault(fault);
    return fault.kind != MediumFault::None;
}

int openProgramToRun(const std::string& path, bool* refused) {
    std::vector<uid_t> trusted;
    if (geteuid() == 0)
        trusted = trustedMediumOwners();
    MediumFault fault;
    int fd = openTrustedProgram(path, trusted, &fault);
    *refused = fault.kind != MediumFault::None;
    refuseFault(fault);
    return fd;
}

int checkStartupPreconditions() {
    // Every refusal below but the application's version is the medium's.
    refusalKind = ErrorKind::MediumRefused;
    if (refuseChangeableMedium(currentDirectory()))
        return 1;
    if (!stringInit()) {
        // Two fixed lines (without the database there are no texts in the user's
        // language), then where the file was looked for, from the built-in texts: the
        // working directory, the medium's unless --medium named another (the file is
        // opened by its bare name).
        writeLine("Cannot load resource file.");
        writeLine("Setup cannot continue.");
        writeLine(fillText(getBuiltInString(ResourceFileWhereId), {currentDirectory()}).c_str());
        return 1;
    }
    // Both rpm queries at once: the driver's answer is in when its check comes.
    startInstalledVersionQueries();
    int app = appUpdateCheck();
    if (app < 3 && !packageFileOutOfReach().empty()) {
        refusePackagePath(packageFileOutOfReach());
        return 1;
    }
    // A maintenance copy kept without packages: a remove needs none, the others the medium.
    const std::string copied = app < 3 ? maintenanceCopyApplication() : std::string();
    if (!copied.empty() && installAction() != Action::Install &&
        !installedPackageVersion(copied).empty()) {
        if (installAction() == Action::Remove) {
            refusalKind = ErrorKind::None;
            return 0;
        }
        refuse(CopyWithoutPackagesId, SetupCannotContinueId);
        return 1;
    }
    // A rollback acts on whichever version is installed, from the maintenance copy's
    // packages of before; with none kept nothing is done.
    if (installAction() == Action::Rollback && app >= UPDATE_SAME_INSTALLED &&
        app != UPDATE_NOT_INSTALLED) {
        if (rollbackSteps(readInstalledState()).empty()) {
            refusalKind = ErrorKind::NothingToInstall;
            refuse(NothingToRollBackId, SetupCannotContinueId);
            return 1;
        }
    } else if (installAction() != Action::Install && app != UPDATE_SAME_INSTALLED) {
        // A repair, modify or remove acts on this medium's version, installed.
        refusalKind = ErrorKind::NotInstalled;
        refuse(NotInstalledForMaintenanceId, SetupCannotContinueId);
        return 1;
    }
    if (installAction() == Action::Install && app == UPDATE_SAME_INSTALLED) {
        refusalKind = ErrorKind::AlreadyInstalled;
        refuse(SameVersionInstalledId, SetupCannotContinueId);
        writeLine(getString(MaintainHintId));
        return 1;
    }
    if (app == UPDATE_NEWER_INSTALLED && installAction() != Action::Rollback) {
        refusalKind = ErrorKind::NewerInstalled;
        refuseNewerInstalled();
        return 1;
    }
    if (app < 3) {
        refusalKind = ErrorKind::NothingToInstall;
        refuse(NoInstallablePackageId, SetupCannotContinueId);
        return 1;
    }
    // A remove shows no license: a medium without one (a maintenance copy of an old
    // medium, say) may take the installed version away.
    if (installAction() != Action::Remove && !GCharPtr(findFile("license.txt"))) {
        refuse(NoLicenseTextId, SetupCannotContinueId);
        return 1;
    }
    // Before anything is installed: a package that rpm cannot be given as it is named
    // would fail the install half way, after the packages before it went in.
    std::string unusable = unusablePackagePath();
    if (!unusable.empty()) {
        refusePackagePath(unusable);
        return 1;
    }
    refusalKind = ErrorKind::None;
    return 0;
}

const std::vector<std::string>& startupRefusal() {
    return refusal;
}

ErrorKind startupRefusalKind() {
    return refusalKind;
}

void createStartMarker() {
    // A wizard run as a normal user writes nothing at the fixed names: its install's root
    // side places the marker for the time of the install.
    if (geteuid() != 0 || startMarkerStillOurs())
        return;
    // Placed only while this process holds the install lock, so that a run that cannot
    // install while another one does never replaces (and at its end removes) that
    // install's marker.
    const bool held = installLockHeld();
    if (!held && !takeInstallLock())
        return;
    // A new file of the wizard's own, whatever another user left at the name.
    if (!placeFile(StartMarkerPath, "", PlaceOptions(0644, &StartMarkerMade)))
        writeErrorLine(StartMarkerWarningId);
    if (!held)
        releaseInstallLock();
}

void removeStartMarker() {
    removeOwnFile(StartMarkerPath, StartMarkerMade);
}

void writeErrorLine(const char* text) {
    fprintf(stderr, "%s\n", terminalSafeText(text).c_str());
    fflush(stderr);
}

void writeErrorLine(const ResourceID_C& id) {
    writeErrorLine(getString(id));
}
