#include "wizard/maintenance.h"

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>

#include "services/child_process.h"
#include "services/files.h"
#include "services/glib_memory.h"
#include "services/packages.h"
#include "services/setting_ids.h"
#include "services/shell_quote.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_session.h"
#include "wizard/maintenance_copy.h"
#include "wizard/output_reader.h"
#include "wizard/run_history.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"

namespace {

const char* const DriverFamilies[] = {"holvane", "pirsel", "dumaro"};

std::string addonPackageName() {
    return std::string(oemName()) + "-browser";
}

// SHA-256 of the medium's digest list; empty when it has none.
std::string manifestDigest() {
    std::string bytes;
    if (!readRegularFile("SHA256SUMS", 1024 * 1024, &bytes))
        return "";
    GCharPtr digest(g_compute_checksum_for_data(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size()));
    return digest.get();
}

}  // namespace

void setInstallAction(InstallRun& run, Action action, bool removeDriver) {
    run.action = action;
    run.removeDriver = removeDriver;
}

Action installAction(const InstallRun& run) {
    return run.action;
}

bool removesDriver(const InstallRun& run) {
    return run.removeDriver;
}

const char* actionName(Action action) {
    switch (action) {
        case Action::Repair:
            return "repair";
        case Action::Modify:
            return "modify";
        case Action::Remove:
            return "remove";
        case Action::Rollback:
            return "rollback";
        case Action::Install:
            break;
    }
    return "install";
}

std::string installedPackageVersion(const std::string& name) {
    const std::vector<InstalledPackage>& found = installedPackages(name);
    return found.empty() ? "" : found.front().version;
}

std::string packageFileVersion(const std::string& file, const std::string& name) {
    std::string base = file.substr(file.rfind('/') + 1);
    const std::string suffix = ".rpm";
    if (name.empty() || base.compare(0, name.size() + 1, name + "-") != 0 ||
        base.size() <= name.size() + 1 + suffix.size() ||
        base.compare(base.size() - suffix.size(), suffix.size(), suffix) != 0)
        return "";
    std::string rest = base.substr(name.size() + 1, base.size() - name.size() - 1 - suffix.size());
    // VERSION-RELEASE.ARCH: neither the version nor the release holds a '-', the arch
    // follows the last '.'; a version starts with a digit (else it is another package's
    // name, "NAME-extra-1.0-1").
    size_t dash = rest.find('-');
    size_t dot = rest.rfind('.');
    if (dash == std::string::npos || rest.find('-', dash + 1) != std::string::npos ||
        dot == std::string::npos || dot < dash || !g_ascii_isdigit(rest[0]))
        return "";
    return rest.substr(0, dot);
}

std::map<std::string, std::string> installedPackageVersions(const std::vector<std::string>& names) {
    // The run's one query of rpm holds every name a run asks about: none is asked again.
    std::map<std::string, std::string> versions;
    for (const std::string& name : names) {
        if (name.empty() || versions.count(name))
            continue;
        const std::string version = installedPackageVersion(name);
        if (!version.empty())
            versions[name] = version;
    }
    return versions;
}

InstalledState readInstalledState() {
    InstalledState state;
    appUpdateCheck();
    driverUpdateCheck();
    state.applicationPackage = appCheckDetails().package;
    if (state.applicationPackage.empty()) {
        // No package file of the application on the medium: its name still says which
        // package is the application's (a remove needs nothing more).
        std::string name = getString(AppPackageNameId);
        if (name.find('-') != std::string::npos && name[0] != '-')
            state.applicationPackage = name;
    }
    // A maintenance copy kept without its packages still names the application.
    if (state.applicationPackage.empty())
        state.applicationPackage = maintenanceCopyApplication();
    state.driverPackage = driverCheckDetails().package;
    if (oemName()[0])
        state.addonPackage = addonPackageName();
    // One question to rpm for every name: the medium's, and each driver family for a
    // medium without a driver file.
    std::vector<std::string> names = {state.applicationPackage, state.driverPackage,
                                      state.addonPackage};
    if (state.driverPackage.empty())
        names.insert(names.end(), std::begin(DriverFamilies), std::end(DriverFamilies));
    std::map<std::string, std::string> versions = installedPackageVersions(names);
    auto versionOf = [&versions](const std::string& name) {
        auto found = versions.find(name);
        return found == versions.end() ? std::string() : found->second;
    };
    state.application = versionOf(state.applicationPackage);
    state.driver = versionOf(state.driverPackage);
    // With no driver file on the medium, whichever family is installed.
    for (const char* family : DriverFamilies) {
        if (!state.driverPackage.empty())
            break;
        if (!versionOf(family).empty()) {
            state.driverPackage = family;
            state.driver = versionOf(family);
        }
    }
    state.addon = versionOf(state.addonPackage);
    if (!state.applicationPackage.empty())
        state.recordState =
            readInstallRecord(state.applicationPackage, &state.record, &state.recordError);
    return state;
}

bool recordedSelection(const InstallRecord& record, Selection* selection) {
    Selection recorded;
    int type = -1;
    for (int t = 0; t < NumberOfSetupTypes; ++t)
        if (record.setupType == SetupTypeNames[t])
            type = t;
    if (type < 0)
        return false;
    recorded.setupType = type;
    for (const std::string& name : record.components) {
        int found = -1;
        for (int i = 0; i < NumberOfComponents; ++i)
            if (name == ComponentNames[i])
                found = i;
        if (found < 0)
            return false;
        recorded.components |= 1 << found;
    }
    *selection = recorded;
    return true;
}

Selection maintenanceSelection(Action action, const Choices& choices, const InstalledState& state,
                               std::string* note) {
    note->clear();
    Selection recorded;
    const bool haveRecord =
        state.recordState == RecordState::Read && recordedSelection(state.record, &recorded);
    const bool given = choices.setupType >= 0;
    Wizard wizard;
    wizard.start(probeHost(), readPageRules());
    if (action != Action::Modify && haveRecord)
        return recorded;
    if (action != Action::Modify)
        *note = state.recordState == RecordState::Refused
                    ? fillText(getString(RecordRefusedId), {state.recordError})
                    : std::string(getString(RecordMissingId));
    wizard.applyChoices(choices);
    Selection selection = wizard.selection();
    // The installed driver is not offered again (it is not newer), yet it stays part of
    // the install where the choices take it: asked for, or the typical setup type, which
    // takes the driver whenever there is one to have.
    const bool wantsDriver = selection.setupType == TypicalSetupType ||
                             (choices.components >= 0 && (choices.components & COMPONENT_DRIVER));
    if (given && wantsDriver && !state.driver.empty())
        selection.components |= COMPONENT_DRIVER;
    return selection;
}

bool upgradeChoices(Choices* choices, std::string* note) {
    if (choices->setupType >= 0 || appUpdateCheck() != UPDATE_OLDER_INSTALLED)
        return false;
    InstalledState state = readInstalledState();
    Selection recorded;
    if (state.recordState != RecordState::Read || !recordedSelection(state.record, &recorded))
        return false;
    choices->setupType = recorded.setupType;
    choices->components = recorded.components;
    *note = fillText(getString(RecordedChoicesId),
                     {recorded.setupTypeName(), recorded.componentNames(" ")});
    return true;
}

std::vector<std::string> installedNowLines(const InstalledState& state) {
    std::vector<std::string> lines = {getString(InstalledNowHeadingId)};
    const std::pair<const std::string*, const std::string*> packages[] = {
        {&state.applicationPackage, &state.application},
        {&state.driverPackage, &state.driver},
        {&state.addonPackage, &state.addon}};
    for (const auto& package : packages) {
        if (package.first->empty())
            continue;
        lines.push_back("  " + (package.second->empty()
                                    ? fillText(getString(PackageNotInstalledId), {*package.first})
                                    : *package.first + " " + *package.second));
    }
    return lines;
}

const char* recordAgreement(const InstalledState& state) {
    if (state.recordState != RecordState::Read)
        return "missing";
    const InstallRecord& record = state.record;
    bool same = record.applicationVersion == state.application &&
                record.driverVersion == state.driver && record.addonVersion == state.addon;
    return same ? "matches" : "stale";
}

InstallRecord recordFor(const Selection& selection, const Transaction& transaction,
                        const InstalledState& before, const std::string& logPath) {
    InstallRecord record;
    record.setupType = selection.setupTypeName();
    for (int i = 0; i < NumberOfComponents; ++i)
        if (selection.has(i))
            record.components.push_back(ComponentNames[i]);
    // Each package's version once the run's steps have run: the medium's where a step
    // installs or keeps it, the installed one where it is kept newer or has no step.
    auto after = [&transaction](const std::string& name, const std::string& installed) {
        for (const TransactionStep& step : transaction.steps)
            if (step.package == name)
                return step.action == StepAction::Remove      ? std::string()
                       : step.action == StepAction::KeptNewer ? step.installed
                                                              : step.version;
        return installed;
    };
    record.applicationVersion = after(before.applicationPackage, before.application);
    record.driverVersion = after(before.driverPackage, before.driver);
    record.addonVersion = after(before.addonPackage, before.addon);
    record.medium = currentDirectory();
    record.manifestDigest = manifestDigest();
    record.time = formatUtcTime(time(nullptr), "%Y-%m-%dT%H:%M:%SZ");
    record.log = logPath;
    return record;
}

std::string rootSideRecordText(Action action, const std::string& source,
                               const std::string& applicationPackage) {
    const std::string path = installRecordPath(applicationPackage);
    if (path.empty())
        return "";
    std::string s;
    s += "# The install record, root's own in a directory no one else can write to.\n";
    if (installRecordDirectoryGiven()) {
        s += "records=" + shellQuote(path.substr(0, path.rfind('/'))) + "\n";
    } else {
        // Beside the database that root's rpm uses here, found by root's rpm: the user's
        // own rpm configuration has no say in where root writes.
        s += "records=/var/lib/stage3\n";
        s += "dbpath=$(rpm --eval '%{_dbpath}' 2> /dev/null)\n";
        s += "case \"$dbpath\" in\n";
        s += "/var/lib/rpm | /var/lib/rpm/ | /usr/lib/sysimage/rpm | /usr/lib/sysimage/rpm/) ;;\n";
        s += "/?*/*) dbpath=${dbpath%/}; records=${dbpath%/*}/stage3-records ;;\n";
        s += "esac\n";
    }
    s += "record=\"$records\"/" + shellQuote(applicationPackage + ".ini") + "\n";
    const std::string directory = "\"$records\"";
    if (action == Action::Remove) {
        s += "if ! rpm -q -- " + shellQuote(applicationPackage) + " > /dev/null 2>&1; then\n";
        s += "\trm -f -- \"$record\"\n";
        s += "fi\n";
        return s;
    }
    s += "if [ $status -eq 0 ]; then\n";
    s += "\t(umask 022 && mkdir -p " + directory + ") 2> /dev/null\n";
    s += "\tcase \"$(stat -c %u%A " + directory + " 2> /dev/null)\" in\n";
    // Owner root, a directory, neither its group nor others may write to it.
    s += "\t0d????\"-\"??\"-\"?)\n";
    s += "\t\tif [ ! -L " + directory + " ] && new=$(mktemp " + directory +
         "/.record-XXXXXX); then\n";
    s += "\t\t\tcat " + shellQuote(source) +
         " >| \"$new\" && chmod 644 \"$new\" && mv -f -T \"$new\" \"$record\"" +
         " || rm -f \"$new\"\n";
    s += "\t\tfi\n";
    s += "\t\t;;\n";
    s += "\tesac\n";
    s += "fi\n";
    return s;
}

void prepareInstallRecord(InstallRun& run, const Selection& selection, const std::string& logPath) {
    const InstalledState& state = runInstalledState(run);
    run.preparedPackage = state.applicationPackage;
    run.preparedRecord = recordFor(selection, runTransaction(run, selection), state, logPath);
}

std::string preparedRecordText(const InstallRun& run) {
    return formatInstallRecord(run.preparedRecord);
}

const std::string& preparedRecordPackage(const InstallRun& run) {
    return run.preparedPackage;
}

std::string settleInstallRecord(InstallRun& run, bool succeeded) {
    if (geteuid() != 0 || run.preparedPackage.empty())
        return "";
    std::string error;
    if (run.action == Action::Remove) {
        if (installedPackageVersion(run.preparedPackage).empty() &&
            !removeInstallRecord(run.preparedPackage, &error))
            return fillText(getString(RecordNotWrittenId), {error});
        return settleMaintenanceCopy(run.action, succeeded, run.preparedPackage, run.keepPackages,
                                     run.files);
    }
    // A rollback leaves the versions rpm has now, not the medium's.
    if (succeeded && run.action == Action::Rollback)
        recordInstalledVersions(&run.preparedRecord);
    if (succeeded && !writeInstallRecord(run.preparedPackage, run.preparedRecord, &error))
        return fillText(getString(RecordNotWrittenId), {error});
    // The maintenance copy follows the record it stands beside.
    return settleMaintenanceCopy(run.action, succeeded, run.preparedPackage, run.keepPackages,
                                 run.files);
}
