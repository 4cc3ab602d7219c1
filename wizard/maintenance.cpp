#include "wizard/maintenance.h"

#include <glib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "services/child_process.h"
#include "services/files.h"
#include "services/glib_memory.h"
#include "services/packages.h"
#include "services/shell_quote.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_log.h"
#include "wizard/output_reader.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"

namespace {

Action currentAction = Action::Install;
bool removeDriverToo = false;

// The record the running install, repair or modify leaves when it succeeds.
InstallRecord preparedRecord;
std::string preparedPackage;

const char* const DriverFamilies[] = {"holvane", "pirsel", "dumaro"};

std::string addonPackageName() {
    return std::string(globalOEM) + "-browser";
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

// The rpm command of an install step as the user sees it, and as it runs.
std::string rpmInstallWords(const TransactionPackage& package) {
    std::string words;
    for (const std::string& option : package.options) words += " " + option;
    return "rpm" + words + " -v";
}

}  // namespace

void setInstallAction(Action action, bool removeDriver) {
    currentAction = action;
    removeDriverToo = removeDriver;
}

Action installAction() {
    return currentAction;
}

bool removesDriver() {
    return removeDriverToo;
}

const char* actionName(Action action) {
    switch (action) {
        case Action::Repair:
            return "repair";
        case Action::Modify:
            return "modify";
        case Action::Remove:
            return "remove";
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

InstalledState readInstalledState() {
    InstalledState state;
    appUpdateCheck();
    driverUpdateCheck();
    state.applicationPackage = appCheckDetails().package;
    state.application = installedPackageVersion(state.applicationPackage);
    state.driverPackage = driverCheckDetails().package;
    state.driver = installedPackageVersion(state.driverPackage);
    // With no driver file on the medium, whichever family is installed.
    for (const char* family : DriverFamilies) {
        if (!state.driverPackage.empty())
            break;
        std::string version = installedPackageVersion(family);
        if (!version.empty()) {
            state.driverPackage = family;
            state.driver = version;
        }
    }
    if (globalOEM[0]) {
        state.addonPackage = addonPackageName();
        state.addon = installedPackageVersion(state.addonPackage);
    }
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

std::vector<ActionStep> actionSteps(Action action, const Selection& selection,
                                    const InstalledState& state, bool removeDriver) {
    std::vector<ActionStep> steps;
    auto install = [&steps](const std::string& path, std::vector<std::string> options) {
        ActionStep step;
        step.install = {path, std::move(options)};
        steps.push_back(step);
    };
    auto erase = [&steps](const std::string& name) {
        ActionStep step;
        step.erase = {name};
        steps.push_back(step);
    };
    char path[kPackagePathOutSize];
    if (action == Action::Remove) {
        if (!state.addon.empty())
            erase(state.addonPackage);
        if (!state.application.empty())
            erase(state.applicationPackage);
        if (removeDriver && !state.driver.empty())
            erase(state.driverPackage);
        return steps;
    }
    if (action != Action::Repair && action != Action::Modify)
        return steps;
    const PackageCheckDetails& driver = driverCheckDetails();
    if (selection.has(DriverComponent) && findDriverPackageFile(path) == PACKAGE_FOUND) {
        if (action == Action::Repair && !state.driver.empty() && state.driver == driver.fileVersion)
            install(path, {"-U", "--replacepkgs"});
        else if (action == Action::Modify && driverUpdateCheck() > UPDATE_NEWER_INSTALLED)
            install(path, {"-U"});
    }
    // A repair puts back what is installed, or what its record says was: without a record
    // an add-on that was never installed stays out.
    const bool addonRepaired =
        action != Action::Repair || !state.addon.empty() || state.recordState == RecordState::Read;
    if (selection.has(WebServerComponent)) {
        for (const std::string& browser :
             addonRepaired ? browserPackageFiles() : std::vector<std::string>())
            install(browser, {"-U", "--nodeps", "--replacepkgs"});
    } else if (action == Action::Modify && !state.addon.empty()) {
        erase(state.addonPackage);
    }
    if (findAppPackageFile(path) == PACKAGE_FOUND)
        install(path, {"-U", "--replacepkgs"});
    return steps;
}

std::string actionScriptText(const std::vector<ActionStep>& steps, const std::string& directory) {
    const std::string settings = shellQuote(directory + "/quorvelInstallSettings");
    const std::string error = shellQuote(directory + "/quorvelInstallError");
    const std::string closing(OutputReader::ClosingLine, strlen(OutputReader::ClosingLine) - 1);
    const std::string total = std::to_string(steps.size());
    std::string s;
    s += "[ -f " + settings + " ] && . " + settings + "\n";
    s += "# The copies the checks passed: here, or where the root side's argument says.\n";
    s += "PACKAGES=${1:-" + shellQuote(directory + "/packages") + "}\n";
    s += "RUNNING_FROM_GUI=1\n";
    s += "export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP "
         "RUNNING_FROM_GUI\n";
    s += "fail() {\n\techo $1 > " + error + "\n\techo '" + closing + "'\n\texit $1\n}\n";
    for (size_t i = 0; i < steps.size(); ++i) {
        const ActionStep& step = steps[i];
        s += "echo \"%% step " + std::to_string(i + 1) + " of " + total + "\"\n";
        if (step.erase.empty()) {
            const std::string rpm = rpmInstallWords(step.install);
            const std::string& copy = step.install.source();
            s += "FILE=" + shellQuote(step.install.path) + "\n";
            s += "echo " + rpm + " \"$FILE\"\n";
            // rpm is given the package's copy, whose name and directory are plain words.
            s += rpm + " --percent \"$PACKAGES\"/" + shellQuote(copy.substr(copy.rfind('/') + 1)) +
                 " || fail $?\n";
        } else {
            std::string names;
            for (const std::string& name : step.erase) names += " " + shellQuote(name);
            s += "echo rpm -ev" + names + "\n";
            s += "rpm -ev" + names + " || fail $?\n";
        }
    }
    s += "echo Done!!!!\n";
    s += "echo '" + closing + "'\n";
    s += "exit 0\n";
    return s;
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

InstallRecord recordFor(const Selection& selection, const InstalledState& before,
                        const std::string& logPath) {
    InstallRecord record;
    record.setupType = selection.setupTypeName();
    for (int i = 0; i < NumberOfComponents; ++i)
        if (selection.has(i))
            record.components.push_back(ComponentNames[i]);
    record.applicationVersion = appCheckDetails().fileVersion;
    // The driver installed after the run: the medium's when this run installs it, else
    // the one that was there (a typical install keeps an installed driver).
    record.driverVersion =
        selection.has(DriverComponent) && driverUpdateCheck() > UPDATE_NEWER_INSTALLED
            ? driverCheckDetails().fileVersion
            : before.driver;
    if (selection.has(WebServerComponent)) {
        std::vector<std::string> files = browserPackageFiles();
        if (!files.empty())
            record.addonVersion = packageFileVersion(files.front(), before.addonPackage);
    }
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

void prepareInstallRecord(const Selection& selection) {
    InstalledState state = readInstalledState();
    preparedPackage = state.applicationPackage;
    preparedRecord = recordFor(selection, state, installLogWritten() ? installLogPath() : "");
}

std::string preparedRecordText() {
    return formatInstallRecord(preparedRecord);
}

const std::string& preparedRecordPackage() {
    return preparedPackage;
}

std::string settleInstallRecord(bool succeeded) {
    if (geteuid() != 0 || preparedPackage.empty())
        return "";
    std::string error;
    if (currentAction == Action::Remove) {
        if (installedPackageVersion(preparedPackage).empty() &&
            !removeInstallRecord(preparedPackage, &error))
            return fillText(getString(RecordNotWrittenId), {error});
        return "";
    }
    if (succeeded && !writeInstallRecord(preparedPackage, preparedRecord, &error))
        return fillText(getString(RecordNotWrittenId), {error});
    return "";
}
