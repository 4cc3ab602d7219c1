#include "wizard/install_script.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "services/files.h"
#include "services/glib_memory.h"
#include "services/packages.h"
#include "services/shell_quote.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/maintenance_copy.h"
#include "wizard/output_reader.h"
#include "wizard/run_history.h"
#include "wizard/startup.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"

const char* const InstallSettingsPath = "/tmp/quorvelInstallSettings";
const char* const InstallErrorPath = "/tmp/quorvelInstallError";

namespace {

const char* yesNo(bool value) {
    return value ? "yes" : "no";
}

const char* const SettingsFileName = "/quorvelInstallSettings";
const char* const ErrorFileName = "/quorvelInstallError";
// The root side's script and its marks.
const char* const RootScriptFileName = "/stage3-root.sh";
const char* const AuthenticatedMark = "/authenticated";
const char* const BusyMark = "/another-install";
const char* const UnsafeMark = "/unsafe-files";
// The install record the root side places when the run succeeded.
const char* const RecordFileName = "/record.ini";

// The settings file goes to its fixed name as a new file of root's; a directory there is
// moved aside rather than stopping every install.
PlaceOptions settingsPlacement(RunFiles& files) {
    PlaceOptions options(0644, &files.placedSettings);
    options.movedAside = &files.settingsAside;
    return options;
}

std::string inInstallDirectory(const RunFiles& files, const char* name) {
    return std::string(files.installDirectory) + name;
}

std::string sha256Of(const std::string& bytes) {
    GCharPtr digest(g_compute_checksum_for_data(
        G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size()));
    return digest.get();
}

}  // namespace

std::string settingsFileText(int componentsSelected, bool kernelRebuild) {
    std::string text;
    text +=
        std::string("QRVLAUTOWEBSERVER=") + yesNo(componentsSelected & COMPONENT_WEB_SERVER) + "\n";
    text += std::string("QRVLAUTOMANAGEDSYSTEM=") +
            yesNo(componentsSelected & COMPONENT_MANAGED_SYSTEM) + "\n";
    text +=
        std::string("QRVLAUTONOTIFIER=") + yesNo(componentsSelected & COMPONENT_NOTIFIER) + "\n";
    text += std::string("QRVLAUTOSNMP=") + yesNo(componentsSelected & COMPONENT_SNMP) + "\n";
    if (kernelRebuild)
        text += std::string("QRVLAUTOKERNELREBUILD=") + yesNo(componentsSelected > 0) + "\n";
    return text;
}

namespace {

// The files.copies' directory in the run's directory, and the mark the root side leaves when a
// copy is not the one the checks passed.
const char* const PackagesDirectoryName = "/packages";
const char* const ChangedMark = "/package-changed";

// The name of the package file at `path` within its directory.
std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

// The shell word that prints as `text` with its "%s" replaced, in order, by the shell
// expressions `values` (expanded when the line runs); `text` itself is taken literally.
std::string shellFilledText(const std::string& text, const std::vector<std::string>& values) {
    std::string word;
    size_t start = 0;
    for (const std::string& value : values) {
        size_t at = text.find("%s", start);
        if (at == std::string::npos)
            break;
        word += shellQuote(text.substr(start, at - start)) + "\"" + value + "\"";
        start = at + 2;
    }
    return word + shellQuote(text.substr(start));
}

std::string rootSideScriptText(const std::string& directory, const std::string& script,
                               const std::vector<PackageCopy>& packages,
                               const std::string& changedText, const std::string& markerWarning,
                               const std::string& asideNote, const std::string& afterRun,
                               const std::vector<PackageCopy>& keys) {
    auto in = [&directory](const char* name) { return shellQuote(directory + name); };
    std::string s;
    s += "# The install of a wizard that runs as a normal user, run as root through pkexec.\n";
    s += "# Its first step tells the wizard that the administrator's authentication passed.\n";
    s += "set -C\n";
    s += ": > " + in(AuthenticatedMark) + " || exit 1\n";
    s += "cd / || exit 1\n";
    s += "# The packages the checks passed are copied into a new directory only root can\n";
    s += "# enter (in /run, where no one else can make a name), each copy checked against\n";
    s += "# the digest the checks recorded: a package that is not the one checked stops the\n";
    s += "# run before anything is installed. The files.copies go however the run ends.\n";
    s += "umask 077\n";
    s += "packages=$(mktemp -d /run/stage3-packages.XXXXXX) || exit 1\n";
    s += "trap 'rm -rf -- \"$packages\"' EXIT\n";
    s += "trap 'exit 1' HUP INT TERM\n";
    s += "from=" + in(PackagesDirectoryName) + "\n";
    s += "# take NAME DIGEST LINE: the copy NAME, or LINE and the end of the run.\n";
    s += "take() {\n";
    s += "\tif [ -f \"$from/$1\" ] && [ ! -L \"$from/$1\" ] && cat -- \"$from/$1\" > "
         "\"$packages/$1\" &&\n";
    s += "\t\t[ \"$(sha256sum < \"$packages/$1\")\" = \"$2  -\" ]; then\n";
    s += "\t\treturn 0\n";
    s += "\tfi\n";
    s += "\tprintf '%s\\n' \"$3\"\n";
    s += "\t: > " + in(ChangedMark) + "\n";
    s += "\texit 5\n";
    s += "}\n";
    // The medium's keys the user side trusted come the same way: each as it was checked.
    for (const std::vector<PackageCopy>* list : {&packages, &keys})
        for (const PackageCopy& package : *list)
            s += "take " + shellQuote(package.name) + " " + shellQuote(package.digest) + " " +
                 shellQuote(fillText(changedText, {package.path})) + "\n";
    s += "umask 022\n";
    s += "# Installs are one at a time, also against a wizard that runs as root: each holds\n";
    s += "# an flock on /run/stage3.lock while it installs.\n";
    s += "if (umask 077 && : >> /run/stage3.lock) 2> /dev/null; then\n";
    s += "\texec 9>> /run/stage3.lock\n";
    s += "\tif command -v flock > /dev/null 2>&1 && ! flock -n 9; then\n";
    s += "\t\t: > " + in(BusyMark) + "\n";
    s += "\t\texit 4\n";
    s += "\tfi\n";
    s += "fi\n";
    s += "# The keys the user trusted go into root's keyring, the one the install's rpm uses.\n";
    for (const PackageCopy& key : keys)
        s += "rpm --import \"$packages\"/" + shellQuote(key.name) + " || exit 1\n";
    s += "# place FILE NAME: a new file of root's with FILE's content at NAME in /tmp, written\n";
    s += "# beside it and renamed over it, so that nothing another user left at NAME is\n";
    s += "# followed or opened; prints the new file's identity.\n";
    s += "place() {\n";
    s += "\tnew=$(mktemp /tmp/.stage3-XXXXXX) || return 1\n";
    s += "\tif cat \"$1\" >| \"$new\" && chmod 644 \"$new\" && mv -f -T \"$new\" \"$2\" 2> "
         "/dev/null; then\n";
    s += "\t\tstat -c %d:%i \"$2\"\n";
    s += "\telse\n";
    s += "\t\trm -f \"$new\"\n";
    s += "\t\treturn 1\n";
    s += "\tfi\n";
    s += "}\n";
    s += "# unplace NAME ID: removes NAME while it is still the file placed there.\n";
    s += "unplace() {\n";
    s += "\tif [ -n \"$2\" ] && [ \"$(stat -c %d:%i \"$1\" 2> /dev/null)\" = \"$2\" ]; then\n";
    s += "\t\trm -f \"$1\"\n";
    s += "\tfi\n";
    s += "}\n";
    s += "# A directory at the settings name (another user's, say) is renamed aside, whole, to a\n";
    s += "# new name of root's beside it, rather than stopping every install.\n";
    s += std::string("if [ -d ") + InstallSettingsPath + " ] && [ ! -L " + InstallSettingsPath +
         " ] &&\n";
    s += std::string("\taside=$(mktemp -d ") + InstallSettingsPath + ".XXXXXX); then\n";
    s += std::string("\tif mv -f -T ") + InstallSettingsPath + " \"$aside\"; then\n";
    s += "\t\tprintf '%s\\n' " + shellFilledText(asideNote, {InstallSettingsPath, "$aside"}) + "\n";
    s += "\telse\n";
    s += "\t\trmdir \"$aside\"\n";
    s += "\tfi\n";
    s += "fi\n";
    s += "if ! settings=$(place " + in(SettingsFileName) + " " + InstallSettingsPath + "); then\n";
    s += "\t: > " + in(UnsafeMark) + "\n";
    s += "\texit 1\n";
    s += "fi\n";
    s += std::string("marker=$(place /dev/null ") + StartMarkerPath + ") || printf '%s\\n' " +
         shellQuote(markerWarning) + "\n";
    s += "/bin/sh " + shellQuote(script) + " \"$packages\" 9>&-\n";
    s += "status=$?\n";
    s += afterRun;
    s += "if [ -f " + in(ErrorFileName) + " ]; then\n";
    s += "\tplace " + in(ErrorFileName) + " " + InstallErrorPath + " > /dev/null\n";
    s += "fi\n";
    s += std::string("unplace ") + InstallSettingsPath + " \"$settings\"\n";
    s += std::string("unplace ") + StartMarkerPath + " \"$marker\"\n";
    s += "exit $status\n";
    return s;
}

RootSide rootSideOutcome(const RunFiles& files) {
    if (files.installDirectory[0] == '\0')
        return RootSide::Refused;
    // Only root can have made the mark: the directory is this user's alone, and the file
    // a root that ran anything there made is root's.
    struct stat info;
    if (lstat(inInstallDirectory(files, AuthenticatedMark).c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode) || info.st_uid != 0)
        return RootSide::Refused;
    if (access(inInstallDirectory(files, BusyMark).c_str(), F_OK) == 0)
        return RootSide::Busy;
    if (access(inInstallDirectory(files, UnsafeMark).c_str(), F_OK) == 0)
        return RootSide::Unsafe;
    if (access(inInstallDirectory(files, ChangedMark).c_str(), F_OK) == 0)
        return RootSide::Changed;
    return RootSide::Ran;
}

bool makeInstallDirectory(RunFiles& files) {
    if (files.installDirectory[0] != '\0')
        return true;
    files.copies.clear();
    std::string directory = makePrivateDirectory("/tmp/stage3-install.XXXXXX");
    if (directory.empty() || directory.size() >= sizeof files.installDirectory) {
        if (!directory.empty())
            rmdir(directory.c_str());
        return false;
    }
    snprintf(files.installDirectory, sizeof files.installDirectory, "%s", directory.c_str());
    return true;
}

void copyInstallPackages(RunFiles& files, std::vector<TransactionPackage>* packages) {
    const std::string directory = inInstallDirectory(files, PackagesDirectoryName);
    if (files.installDirectory[0] == '\0' ||
        (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST))
        return;
    for (TransactionPackage& package : *packages) {
        if (const PackageCopy* copy = packageCopy(files, package.path)) {
            package.file = directory + "/" + copy->name;
            continue;
        }
        // The package's own name when it is a plain word (as it is on a medium that
        // passed the start-up), else one of the run's; each copy's name is its own.
        std::string name = baseName(package.path);
        bool plain = name.size() > 4 && name.compare(name.size() - 4, 4, ".rpm") == 0 &&
                     name.find_first_not_of(
                         "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                         "0123456789-._+") == std::string::npos;
        for (const PackageCopy& copy : files.copies) plain = plain && copy.name != name;
        if (!plain)
            name = "package-" + std::to_string(files.copies.size() + 1) + ".rpm";
        PackageCopy copy{package.path, name, ""};
        package.file = directory + "/" + name;
        // A package that cannot be copied has no copy: its checks say so and refuse.
        copyRegularFile(package.path, package.file, 0600, &copy.digest);
        files.copies.push_back(copy);
    }
}

const PackageCopy* packageCopy(const RunFiles& files, const std::string& path) {
    for (const PackageCopy& copy : files.copies)
        if (copy.path == path)
            return &copy;
    return nullptr;
}

namespace {

// `package` with the copy of it this run made; false when it has none.
bool withCopy(const RunFiles& files, TransactionPackage* package) {
    const PackageCopy* copy = packageCopy(files, package->path);
    if (!copy || copy->digest.empty())
        return false;
    package->file = inInstallDirectory(files, PackagesDirectoryName) + "/" + copy->name;
    return true;
}

// The medium's files the root side keeps in the maintenance copy, staged in the run's
// directory with their digests, and the root side's lines that make the copy of them.
const char* const StagedDirectoryName = "/medium-files";

std::string stagedCopyText(InstallRun& run) {
    RunFiles& files = run.files;
    const std::string staged = inInstallDirectory(files, StagedDirectoryName);
    char app[kPackagePathOutSize];
    const std::string applicationFile =
        findAppPackageFile(app) == PACKAGE_FOUND ? baseName(app) : std::string();
    if (installAction(run) != Action::Remove && !stageMediumFiles(staged, &files.stagedFiles))
        return "";
    // This run's packages, as the root side's checked files.copies of them.
    std::vector<KeptPackage> packages;
    for (const PackageCopy& copy : files.copies)
        if (!copy.digest.empty())
            packages.push_back({copy.name, baseName(copy.path)});
    return rootSideCopyText(installAction(run), preparedRecordPackage(run), staged,
                            files.stagedFiles, packages, applicationFile, run.keepPackages);
}

void removeStagedFiles(RunFiles& files) {
    const std::string staged = inInstallDirectory(files, StagedDirectoryName);
    for (std::size_t i = 1; i <= files.stagedFiles.size(); ++i)
        unlink((staged + "/file-" + std::to_string(i)).c_str());
    files.stagedFiles.clear();
    rmdir(staged.c_str());
}

}  // namespace

InstallFiles writeInstallFiles(InstallRun& run, int components, bool kernelRebuild) {
    RunFiles& files = run.files;
    files.settingsAside.clear();
    files.scriptName[0] = '\0';
    files.rootScriptName[0] = '\0';
    if (!makeInstallDirectory(files))
        return InstallFiles::Failed;

    // As root the wizard places the settings file at its fixed name itself; as a normal
    // user the root side does, since only root's file there is one the install may trust
    // (and a user cannot replace a file another user left in /tmp).
    const bool asRoot = geteuid() == 0;
    std::string settings = settingsFileText(components, kernelRebuild);
    if (!writeNewFile(inInstallDirectory(files, SettingsFileName), settings, 0600) ||
        (asRoot && !placeFile(InstallSettingsPath, settings, settingsPlacement(files))))
        return InstallFiles::Failed;

    std::string scriptPath = inInstallDirectory(files, "/quorvelInst.") + std::to_string(getpid());
    std::string rootScriptPath = inInstallDirectory(files, RootScriptFileName);
    if (scriptPath.size() >= sizeof files.scriptName ||
        rootScriptPath.size() >= sizeof files.rootScriptName)
        return InstallFiles::Failed;
    memcpy(files.scriptName, scriptPath.c_str(), scriptPath.size() + 1);
    // A script that did not reach the disk whole must not run, nor one that would
    // install a package the checks did not pass.
    std::string script;
    if (components) {
        Selection selection;
        selection.components = components;
        Transaction transaction = runTransaction(run, selection);
        if (transaction.applicationMissing)
            return InstallFiles::Failed;
        for (TransactionStep& step : transaction.steps) {
            TransactionPackage package = step.transactionPackage();
            if (step.installs() && !withCopy(files, &package))
                return InstallFiles::Failed;
            step.file = package.file;
        }
        script = transactionScriptText(transaction, files.installDirectory);
    }
    if (components && script.empty())
        return InstallFiles::Failed;
    if (!asRoot) {
        std::string markerWarning = getString(StartMarkerWarningId);
        std::string changed = getString(PackageChangedLineId);
        const std::string record = inInstallDirectory(files, RecordFileName);
        // The trusted keys go beside the packages, for the root side to take the same way.
        std::vector<PackageCopy> keys;
        for (const SigningKey& key : files.rootSideKeys) {
            const std::string name =
                "medium-key-" + std::to_string(++files.keyFilesWritten) + ".asc";
            if (!writeNewFile(inInstallDirectory(files, PackagesDirectoryName) + "/" + name,
                              key.block, 0600))
                return InstallFiles::Failed;
            keys.push_back({key.file, name, sha256Of(key.block)});
        }
        // The history's lines follow the record's, where there is a record to write.
        std::string recordText =
            rootSideRecordText(installAction(run), record, preparedRecordPackage(run));
        if (!recordText.empty())
            recordText += rootSideHistoryText(run);
        std::string text = rootSideScriptText(
            files.installDirectory, files.scriptName, files.copies, changed, markerWarning,
            getString(SettingsMovedAsideId), recordText + stagedCopyText(run), keys);
        if (!writeNewFile(record, preparedRecordText(run), 0600) ||
            !writeNewFile(rootScriptPath, text, 0600))
            return InstallFiles::Failed;
        memcpy(files.rootScriptName, rootScriptPath.c_str(), rootScriptPath.size() + 1);
    }
    if (!writeNewFile(files.scriptName, script, 0600))
        return InstallFiles::Failed;
    return components ? InstallFiles::Ready : InstallFiles::NothingSelected;
}

void setRootSideKeys(RunFiles& files, const std::vector<SigningKey>& keys) {
    files.rootSideKeys = keys;
}

const std::string& settingsMovedAside(const RunFiles& files) {
    return files.settingsAside;
}

bool installErrorRecorded(const RunFiles& files) {
    if (files.installDirectory[0] == '\0')
        return false;
    std::string status;
    if (!readRegularFile(inInstallDirectory(files, ErrorFileName), 64, &status, nullptr,
                         Links::Refuse))
        return false;
    if (geteuid() == 0)
        placeFile(InstallErrorPath, status);
    return true;
}

void removeInstallFiles(RunFiles& files) {
    removeOwnFile(InstallSettingsPath, files.placedSettings);
    files.placedSettings = FileIdentity();
    if (files.installDirectory[0] == '\0')
        return;
    // Only this run's own files can be in its directory.
    unlink(inInstallDirectory(files, SettingsFileName).c_str());
    unlink(inInstallDirectory(files, ErrorFileName).c_str());
    unlink(inInstallDirectory(files, RecordFileName).c_str());
    removeStagedFiles(files);
    for (const char* mark : {AuthenticatedMark, BusyMark, UnsafeMark, ChangedMark})
        unlink(inInstallDirectory(files, mark).c_str());
    const std::string packages = inInstallDirectory(files, PackagesDirectoryName);
    for (const PackageCopy& copy : files.copies) unlink((packages + "/" + copy.name).c_str());
    for (; files.keyFilesWritten > 0; --files.keyFilesWritten)
        unlink(
            (packages + "/medium-key-" + std::to_string(files.keyFilesWritten) + ".asc").c_str());
    files.copies.clear();
    rmdir(packages.c_str());
    if (files.scriptName[0] != '\0')
        unlink(files.scriptName);
    if (files.rootScriptName[0] != '\0')
        unlink(files.rootScriptName);
    files.rootScriptName[0] = '\0';
    rmdir(files.installDirectory);
    files.installDirectory[0] = '\0';
}
