#include "wizard/install_script.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "services/files.h"
#include "services/packages.h"
#include "services/shell_quote.h"
#include "services/string_service.h"
#include "wizard/maintenance.h"
#include "wizard/output_reader.h"
#include "wizard/startup.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"

const char* const InstallSettingsPath = "/tmp/quorvelInstallSettings";
const char* const InstallErrorPath = "/tmp/quorvelInstallError";

char installDirectory[64];
char scriptName[64];
char rootScriptName[64];

namespace {

const char* yesNo(bool value) {
    return value ? "yes" : "no";
}

// Characters that /bin/sh takes literally outside quotes.
bool isPlainShellWord(const std::string& text) {
    if (text.empty())
        return false;
    for (unsigned char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_' || c == '.' || c == '/' || c == '+' || c == ',' ||
                     c == ':' || c == '@' || c == '%';
        if (!plain)
            return false;
    }
    return true;
}

// The prefix as it stands when it is a plain word (the usual case), quoted otherwise.
std::string shellWord(const std::string& text) {
    return isPlainShellWord(text) ? text : shellQuote(text);
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
// The medium's keys the root side imports: "<prefix><n>.asc", n from 1.
const char* const KeyFilePrefix = "/medium-key-";

// The settings file placed at its fixed name for this run, and where a directory that
// stood there went.
FileIdentity placedSettings;
std::string settingsAside;

// The settings file goes to its fixed name as a new file of root's; a directory there is
// moved aside rather than stopping every install.
PlaceOptions settingsPlacement() {
    PlaceOptions options(0644, &placedSettings);
    options.movedAside = &settingsAside;
    return options;
}

std::string inInstallDirectory(const char* name) {
    return std::string(installDirectory) + name;
}

// The keys the root side imports, and how many of their files this run wrote.
std::vector<std::string> rootSideKeys;
std::size_t keyFilesWritten = 0;

std::string keyFileName(std::size_t number) {
    return inInstallDirectory(KeyFilePrefix) + std::to_string(number) + ".asc";
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

// rpm takes quotes and backslashes out of its file arguments, so it is given the
// package's own name from within the package's directory: a medium anywhere, whatever
// its path holds, installs. The user sees the command without --percent, whose lines
// are progress lines that the output reader keeps out of the output.
const char* const RpmInstallFile = "(cd \"${FILE%/*}/\" && rpm -Uv --percent \"./${FILE##*/}\")\n";

std::string shellScriptText(const char* driverPath, const char* appPath, const char* oem,
                            const char* directory) {
    // Package paths are written as single-quoted words, so nothing in a path can run.
    const std::string settings = shellQuote(std::string(directory) + SettingsFileName);
    const std::string error = shellQuote(std::string(directory) + ErrorFileName);
    const std::string browser = shellWord(oem ? oem : "") + "-browser";
    // Every way the script ends, it prints this line last: the output reader hides it there.
    const std::string closing(OutputReader::ClosingLine, strlen(OutputReader::ClosingLine) - 1);
    // The rpm steps are counted first: each announces itself as "%% step K of N" for the
    // progress of the install (wizard/progress.h).
    const std::string fixedSteps = driverPath ? "2" : "1";
    const std::string browserStep = driverPath ? "2" : "1";
    std::string s;
    s += "[ -f " + settings + " ] && . " + settings + "\n";
    s += "STEPS=" + fixedSteps + "\n";
    s += "BROWSER=no\n";
    s += "BROWSERSTAT=0\n";
    s += "if [ \"$QRVLAUTOWEBSERVER\" = \"yes\" ] && `ls | grep " + browser +
         " > /dev/null 2>&1`; then \n";
    s += "\tBROWSER=yes\n";
    s += "\tSTEPS=$((STEPS + 1))\n";
    s += "fi\n";
    if (driverPath) {
        s += "FILE=" + shellQuote(driverPath) + "\n";
        s += "echo \"%% step 1 of $STEPS\"\n";
        s += "echo rpm -Uv \"$FILE\"\n";
        s += RpmInstallFile;
        s += "STAT=$?\n";
        s += "if [ $STAT -ne 0 ] ; then\n";
        s += "   echo $STAT > " + error + "\n";
        s += "   echo '" + closing + "'\n";
        s += "   exit $STAT\n";
        s += "fi\n";
    }
    s += "FILE=" + shellQuote(appPath ? appPath : "") + "\n";
    s += "RUNNING_FROM_GUI=1\n";
    s += "export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP "
         "RUNNING_FROM_GUI\n";
    s += "if [ \"$BROWSER\" = \"yes\" ]; then\n";
    s += "\techo \"%% step " + browserStep + " of $STEPS\"\n";
    s += "\techo rpm -Uv --nodeps " + browser + "*.rpm\n";
    s += "\trpm -Uv --nodeps --percent " + browser + "*.rpm\n";
    s += "\tBROWSERSTAT=$?\n";
    s += "fi\n";
    s += "echo \"%% step $STEPS of $STEPS\"\n";
    s += "echo rpm -Uv \"$FILE\"\n";
    s += RpmInstallFile;
    s += "STAT=$?\n";
    s += "if [ $STAT -ne 0 ] ; then\n";
    s += "\techo $STAT > " + error + "\n";
    s += "\techo '" + closing + "'\n";
    s += "\texit $STAT\n";
    s += "fi\n";
    // A failed add-on fails the install, once the application step has run as it would.
    s += "if [ $BROWSERSTAT -ne 0 ] ; then\n";
    s += "\techo $BROWSERSTAT > " + error + "\n";
    s += "\techo '" + closing + "'\n";
    s += "\texit $BROWSERSTAT\n";
    s += "fi\n";
    s += "echo Done!!!!\n";
    s += "echo '" + closing + "'\n";
    s += "exit 0\n";
    return s;
}

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
                               const std::string& medium, const std::string& markerWarning,
                               const std::string& asideNote, const std::string& afterRun,
                               const std::vector<std::string>& keyFiles) {
    auto in = [&directory](const char* name) { return shellQuote(directory + name); };
    std::string s;
    s += "# The install of a wizard that runs as a normal user, run as root through pkexec.\n";
    s += "# Its first step tells the wizard that the administrator's authentication passed.\n";
    s += "set -C\n";
    s += ": > " + in(AuthenticatedMark) + " || exit 1\n";
    s += "umask 022\n";
    s += "cd " + shellQuote(medium) + " || exit 1\n";
    s += "# Installs are one at a time, also against a wizard that runs as root: each holds\n";
    s += "# an flock on /run/stage3.lock while it installs.\n";
    s += "if (umask 077 && : >> /run/stage3.lock) 2> /dev/null; then\n";
    s += "\texec 9>> /run/stage3.lock\n";
    s += "\tif command -v flock > /dev/null 2>&1 && ! flock -n 9; then\n";
    s += "\t\t: > " + in(BusyMark) + "\n";
    s += "\t\texit 4\n";
    s += "\tfi\n";
    s += "fi\n";
    for (const std::string& key : keyFiles) s += "rpm --import " + shellQuote(key) + " || exit 1\n";
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
    s += "/bin/sh " + shellQuote(script) + " 9>&-\n";
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

RootSide rootSideOutcome() {
    if (installDirectory[0] == '\0')
        return RootSide::Refused;
    // Only root can have made the mark: the directory is this user's alone, and the file
    // a root that ran anything there made is root's.
    struct stat info;
    if (lstat(inInstallDirectory(AuthenticatedMark).c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode) || info.st_uid != 0)
        return RootSide::Refused;
    if (access(inInstallDirectory(BusyMark).c_str(), F_OK) == 0)
        return RootSide::Busy;
    if (access(inInstallDirectory(UnsafeMark).c_str(), F_OK) == 0)
        return RootSide::Unsafe;
    return RootSide::Ran;
}

std::string createShellScript(bool installDriver) {
    char driverPath[kPackagePathOutSize] = "";
    char appPath[kPackagePathOutSize] = "";
    if (installDriver)
        findDriverPackageFile(driverPath);
    findAppPackageFile(appPath);
    return shellScriptText(installDriver ? driverPath : nullptr, appPath, globalOEM,
                           installDirectory);
}

InstallFiles writeInstallFiles(int components, bool kernelRebuild) {
    settingsAside.clear();
    scriptName[0] = '\0';
    rootScriptName[0] = '\0';
    std::string directory = makePrivateDirectory("/tmp/stage3-install.XXXXXX");
    if (directory.empty() || directory.size() >= sizeof installDirectory)
        return InstallFiles::Failed;
    snprintf(installDirectory, sizeof installDirectory, "%s", directory.c_str());

    // As root the wizard places the settings file at its fixed name itself; as a normal
    // user the root side does, since only root's file there is one the install may trust
    // (and a user cannot replace a file another user left in /tmp).
    const bool asRoot = geteuid() == 0;
    std::string settings = settingsFileText(components, kernelRebuild);
    if (!writeNewFile(inInstallDirectory(SettingsFileName), settings, 0600) ||
        (asRoot && !placeFile(InstallSettingsPath, settings, settingsPlacement())))
        return InstallFiles::Failed;

    std::string scriptPath = inInstallDirectory("/quorvelInst.") + std::to_string(getpid());
    std::string rootScriptPath = inInstallDirectory(RootScriptFileName);
    if (scriptPath.size() >= sizeof scriptName || rootScriptPath.size() >= sizeof rootScriptName)
        return InstallFiles::Failed;
    memcpy(scriptName, scriptPath.c_str(), scriptPath.size() + 1);
    if (!asRoot) {
        std::string markerWarning = getString(StartMarkerWarningId);
        const std::string record = inInstallDirectory(RecordFileName);
        std::vector<std::string> keyFiles;
        for (const std::string& block : rootSideKeys) {
            keyFiles.push_back(keyFileName(++keyFilesWritten));
            if (!writeNewFile(keyFiles.back(), block, 0600))
                return InstallFiles::Failed;
        }
        std::string text = rootSideScriptText(
            installDirectory, scriptName, currentDirectory(), markerWarning,
            getString(SettingsMovedAsideId),
            rootSideRecordText(installAction(), record, preparedRecordPackage()), keyFiles);
        if (!writeNewFile(record, preparedRecordText(), 0600) ||
            !writeNewFile(rootScriptPath, text, 0600))
            return InstallFiles::Failed;
        memcpy(rootScriptName, rootScriptPath.c_str(), rootScriptPath.size() + 1);
    }
    // A script that did not reach the disk whole must not run.
    std::string script;
    if (components && installAction() == Action::Install) {
        script = createShellScript(components & COMPONENT_DRIVER);
    } else if (components) {
        Selection selection;
        selection.components = components;
        script = actionScriptText(
            actionSteps(installAction(), selection, readInstalledState(), removesDriver()),
            installDirectory);
    }
    if (!writeNewFile(scriptName, script, 0600))
        return InstallFiles::Failed;
    return components ? InstallFiles::Ready : InstallFiles::NothingSelected;
}

void setRootSideKeys(const std::vector<std::string>& blocks) {
    rootSideKeys = blocks;
}

const std::string& settingsMovedAside() {
    return settingsAside;
}

bool installErrorRecorded() {
    if (installDirectory[0] == '\0')
        return false;
    std::string status;
    if (!readRegularFile(inInstallDirectory(ErrorFileName), 64, &status, nullptr, Links::Refuse))
        return false;
    if (geteuid() == 0)
        placeFile(InstallErrorPath, status);
    return true;
}

void removeInstallFiles() {
    removeOwnFile(InstallSettingsPath, placedSettings);
    placedSettings = FileIdentity();
    if (installDirectory[0] == '\0')
        return;
    // Only this run's own files can be in its directory.
    unlink(inInstallDirectory(SettingsFileName).c_str());
    unlink(inInstallDirectory(ErrorFileName).c_str());
    unlink(inInstallDirectory(RecordFileName).c_str());
    for (; keyFilesWritten > 0; --keyFilesWritten) unlink(keyFileName(keyFilesWritten).c_str());
    for (const char* mark : {AuthenticatedMark, BusyMark, UnsafeMark})
        unlink(inInstallDirectory(mark).c_str());
    if (scriptName[0] != '\0')
        unlink(scriptName);
    if (rootScriptName[0] != '\0')
        unlink(rootScriptName);
    rootScriptName[0] = '\0';
    rmdir(installDirectory);
    installDirectory[0] = '\0';
}
