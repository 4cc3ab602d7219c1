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
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/maintenance_copy.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"

const char* const StartMarkerPath = "/tmp/stage3started";

namespace {

using Lines = std::vector<std::string>;

// A refusal line: written to standard error, and kept in `refusal` (for the plan of a
// dry run).
void writeLine(Lines* refusal, const char* text) {
    refusal->push_back(terminalSafeText(text));
    writeErrorLine(text);
}

// Writes two texts of the database, one per line, to standard error.
void refuse(Lines* refusal, const ResourceID_C& first, const ResourceID_C& second) {
    // Each text is written before the next is fetched: they share one buffer.
    writeLine(refusal, getString(first));
    writeLine(refusal, getString(second));
}

// Refuses a medium whose application is older than the one installed (rpm would refuse
// it only after the driver and the add-on went in): both versions named.
void refuseNewerInstalled(Lines* refusal) {
    const PackageCheckDetails& app = appCheckDetails();
    writeLine(refusal, fillText(getString(NewerVersionInstalledId),
                                {app.package, app.installedVersion, app.fileVersion})
                           .c_str());
    writeLine(refusal, getString(SetupCannotContinueId));
}

// Refuses a package file that cannot be installed as it is named: the path on a line
// of its own between the two texts.
void refusePackagePath(Lines* refusal, const std::string& path) {
    writeLine(refusal, getString(PackagePathUnusableId));
    writeLine(refusal, terminalSafeLine(path).c_str());
    writeLine(refusal, getString(SetupCannotContinueId));
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
void refuseFault(Lines* refusal, const MediumFault& fault) {
    const std::string path = terminalSafeLine(fault.path);
    switch (fault.kind) {
        case MediumFault::None:
            return;
        case MediumFault::ForeignOwner:
            writeLine(refusal, fillText(getBuiltInString(MediumForeignOwnerId),
                                        {path, accountName(fault.owner)})
                                   .c_str());
            break;
        case MediumFault::WritableByOthers:
            writeLine(refusal, fillText(getBuiltInString(MediumWritableId), {path}).c_str());
            break;
        case MediumFault::BrokenLink:
            writeLine(refusal, fillText(getBuiltInString(MediumBrokenLinkId), {path}).c_str());
            break;
        case MediumFault::NotAFile:
            writeLine(refusal, fillText(getBuiltInString(ProgramNotAFileId), {path}).c_str());
            break;
        case MediumFault::UnknownImage:
            writeLine(refusal, fillText(getBuiltInString(MediumImageUnknownId), {path}).c_str());
            break;
    }
    writeLine(refusal, getBuiltInString(MediumCopyAdviceId));
    writeLine(refusal, getBuiltInString(MediumRefusedEndId));
}

bool startMarkerStillOurs(const FileIdentity& made) {
    struct stat info;
    return made.made && lstat(StartMarkerPath, &info) == 0 && info.st_dev == made.device &&
           info.st_ino == made.inode;
}

bool refuseChangeable(Lines* refusal, const std::string& directory) {
    if (geteuid() != 0)
        return false;
    MediumFault fault = findMediumFault(directory, trustedMediumOwners());
    refuseFault(refusal, fault);
    return fault.kind != MediumFault::None;
}

}  // namespace

bool refuseChangeableMedium(const std::string& directory) {
    Lines refusal;
    return refuseChangeable(&refusal, directory);
}

int openProgramToRun(const std::string& path, bool* refused) {
    std::vector<uid_t> trusted;
    if (geteuid() == 0)
        trusted = trustedMediumOwners();
    MediumFault fault;
    int fd = openTrustedProgram(path, trusted, &fault);
    *refused = fault.kind != MediumFault::None;
    Lines refusal;
    refuseFault(&refusal, fault);
    return fd;
}

int checkStartupPreconditions(InstallRun& run) {
    Lines* refusal = &run.startupRefusal;
    ErrorKind& refusalKind = run.startupRefusalKind;
    // Every refusal below but the application's version is the medium's.
    refusalKind = ErrorKind::MediumRefused;
    if (refuseChangeable(refusal, currentDirectory()))
        return 1;
    if (!stringInit()) {
        // Two fixed lines (without the database there are no texts in the user's
        // language), then where the file was looked for, from the built-in texts: the
        // working directory, the medium's unless --medium named another (the file is
        // opened by its bare name).
        writeLine(refusal, "Cannot load resource file.");
        writeLine(refusal, "Setup cannot continue.");
        writeLine(refusal,
                  fillText(getBuiltInString(ResourceFileWhereId), {currentDirectory()}).c_str());
        return 1;
    }
    // Both rpm queries at once: the driver's answer is in when its check comes.
    startInstalledVersionQueries();
    int app = appUpdateCheck();
    if (app < 3 && !packageFileOutOfReach().empty()) {
        refusePackagePath(refusal, packageFileOutOfReach());
        return 1;
    }
    // A maintenance copy kept without packages: a remove needs none, the others the medium.
    const std::string copied = app < 3 ? maintenanceCopyApplication() : std::string();
    if (!copied.empty() && installAction(run) != Action::Install &&
        !installedPackageVersion(copied).empty()) {
        if (installAction(run) == Action::Remove) {
            refusalKind = ErrorKind::None;
            return 0;
        }
        refuse(refusal, CopyWithoutPackagesId, SetupCannotContinueId);
        return 1;
    }
    // A rollback acts on whichever version is installed, from the maintenance copy's
    // packages of before; with none kept nothing is done.
    if (installAction(run) == Action::Rollback && app >= UPDATE_SAME_INSTALLED &&
        app != UPDATE_NOT_INSTALLED) {
        if (rollbackSteps(runInstalledState(run)).empty()) {
            refusalKind = ErrorKind::NothingToInstall;
            refuse(refusal, NothingToRollBackId, SetupCannotContinueId);
            return 1;
        }
    } else if (installAction(run) != Action::Install && app != UPDATE_SAME_INSTALLED) {
        // A remove takes whatever version of the application is installed, by name; a
        // repair or a modify installs the installed version again, so it needs this
        // medium's to be it.
        const InstalledState& state = runInstalledState(run);
        refusalKind = ErrorKind::NotInstalled;
        if (state.application.empty()) {
            refuse(refusal, NotInstalledForMaintenanceId, SetupCannotContinueId);
            return 1;
        }
        if (installAction(run) == Action::Remove) {
            refusalKind = ErrorKind::None;
            return 0;
        }
        writeLine(refusal,
                  fillText(getString(OtherVersionForMaintenanceId),
                           {state.applicationPackage, state.application,
                            appCheckDetails().fileVersion.empty() ? std::string("-")
                                                                  : appCheckDetails().fileVersion})
                      .c_str());
        writeLine(refusal, getString(SetupCannotContinueId));
        return 1;
    }
    if (installAction(run) == Action::Install && app == UPDATE_SAME_INSTALLED) {
        refusalKind = ErrorKind::AlreadyInstalled;
        refuse(refusal, SameVersionInstalledId, SetupCannotContinueId);
        writeLine(refusal, getString(MaintainHintId));
        return 1;
    }
    if (app == UPDATE_NEWER_INSTALLED && installAction(run) != Action::Rollback) {
        refusalKind = ErrorKind::NewerInstalled;
        refuseNewerInstalled(refusal);
        return 1;
    }
    if (app < 3) {
        refusalKind = ErrorKind::NothingToInstall;
        refuse(refusal, NoInstallablePackageId, SetupCannotContinueId);
        return 1;
    }
    // A remove shows no license: a medium without one (a maintenance copy of an old
    // medium, say) may take the installed version away.
    if (installAction(run) != Action::Remove && !GCharPtr(findFile("license.txt"))) {
        refuse(refusal, NoLicenseTextId, SetupCannotContinueId);
        return 1;
    }
    // Before anything is installed: a package that rpm cannot be given as it is named
    // would fail the install half way, after the packages before it went in.
    std::string unusable = unusablePackagePath();
    if (!unusable.empty()) {
        refusePackagePath(refusal, unusable);
        return 1;
    }
    refusalKind = ErrorKind::None;
    return 0;
}

void createStartMarker(InstallRun& run) {
    // A wizard run as a normal user writes nothing at the fixed names: its install's root
    // side places the marker for the time of the install.
    if (geteuid() != 0 || startMarkerStillOurs(run.startMarker))
        return;
    // Placed only while this process holds the install lock, so that a run that cannot
    // install while another one does never replaces (and at its end removes) that
    // install's marker.
    const bool held = run.lock.held();
    if (!held && !run.lock.take())
        return;
    // A new file of the wizard's own, whatever another user left at the name.
    if (!placeFile(StartMarkerPath, "", PlaceOptions(0644, &run.startMarker)))
        writeErrorLine(StartMarkerWarningId);
    if (!held)
        run.lock.release();
}

void removeStartMarker(const InstallRun& run) {
    removeOwnFile(StartMarkerPath, run.startMarker);
}

void writeErrorLine(const char* text) {
    fprintf(stderr, "%s\n", terminalSafeText(text).c_str());
    fflush(stderr);
}

void writeErrorLine(const ResourceID_C& id) {
    writeErrorLine(getString(id));
}
