#include "wizard/install_script.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "services/packages.h"
#include "services/shell_quote.h"
#include "wizard/tables.h"

const char* const InstallSettingsPath = "/tmp/quorvelInstallSettings";
const char* const InstallErrorPath = "/tmp/quorvelInstallError";

char scriptName[64];

namespace {

const char* yesNo(bool value) { return value ? "yes" : "no"; }

// Characters that /bin/sh takes literally outside quotes.
bool isPlainShellWord(const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_' || c == '.' || c == '/' || c == '+' || c == ',' ||
                     c == ':' || c == '@' || c == '%';
        if (!plain) return false;
    }
    return true;
}

// The prefix as it stands when it is a plain word (the usual case), quoted otherwise.
std::string shellWord(const std::string& text) {
    return isPlainShellWord(text) ? text : shellQuote(text);
}

bool writeAll(FILE* out, const std::string& text) {
    return fwrite(text.data(), 1, text.size(), out) == text.size();
}

}  // namespace

std::string settingsFileText(int componentsSelected, bool kernelRebuild) {
    std::string text;
    text += std::string("QRVLAUTOWEBSERVER=") + yesNo(componentsSelected & COMPONENT_WEB_SERVER) + "\n";
    text += std::string("QRVLAUTOMANAGEDSYSTEM=") + yesNo(componentsSelected & COMPONENT_MANAGED_SYSTEM) + "\n";
    text += std::string("QRVLAUTONOTIFIER=") + yesNo(componentsSelected & COMPONENT_NOTIFIER) + "\n";
    text += std::string("QRVLAUTOSNMP=") + yesNo(componentsSelected & COMPONENT_SNMP) + "\n";
    if (kernelRebuild)
        text += std::string("QRVLAUTOKERNELREBUILD=") + yesNo(componentsSelected > 0) + "\n";
    return text;
}

// rpm takes quotes and backslashes out of its file arguments, so it is given the
// package's own name from within the package's directory: a medium anywhere, whatever
// its path holds, installs.
const char* const RpmInstallFile = "(cd \"${FILE%/*}/\" && rpm -Uv \"./${FILE##*/}\")\n";

std::string shellScriptText(const char* driverPath, const char* appPath, const char* oem) {
    // Package paths are written as single-quoted words, so nothing in a path can run.
    std::string s;
    if (driverPath) {
        s += "FILE=" + shellQuote(driverPath) + "\n";
        s += "echo rpm -Uv \"$FILE\"\n";
        s += RpmInstallFile;
        s += "STAT=$?\n";
        s += "if [ $STAT -ne 0 ] ; then\n";
        s += "   echo $STAT > /tmp/quorvelInstallError\n";
        s += "   exit $STAT\n";
        s += "fi\n";
    }
    const std::string browser = shellWord(oem ? oem : "") + "-browser";
    s += "FILE=" + shellQuote(appPath ? appPath : "") + "\n";
    s += "[ -f /tmp/quorvelInstallSettings ] && . /tmp/quorvelInstallSettings\n";
    s += "RUNNING_FROM_GUI=1\n";
    s += "export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP RUNNING_FROM_GUI\n";
    s += "if [ \"$QRVLAUTOWEBSERVER\" = \"yes\" ] && `ls | grep " + browser + " > /dev/null 2>&1`; then \n";
    s += "\techo rpm -Uv --nodeps " + browser + "*.rpm\n";
    s += "\trpm -Uv --nodeps " + browser + "*.rpm\n";
    s += "fi\n";
    s += "echo rpm -Uv \"$FILE\"\n";
    s += RpmInstallFile;
    s += "STAT=$?\n";
    s += "if [ $STAT -ne 0 ] ; then\n";
    s += "\techo $STAT > /tmp/quorvelInstallError\n";
    s += "\techo '__________________________________'\n";
    s += "\texit $STAT\n";
    s += "fi\n";
    s += "echo Done!!!!\n";
    s += "echo '__________________________________'\n";
    s += "exit 0\n";
    return s;
}

int createShellScript(FILE* out, int installDriver) {
    char driverPath[512] = "";
    char appPath[512] = "";
    if (installDriver) findDriverPackageFile(driverPath);
    findAppPackageFile(appPath);
    writeAll(out, shellScriptText(installDriver ? driverPath : nullptr, appPath, globalOEM));
    return 1;
}

FILE* createPrivateFile(const char* path) {
    if (unlink(path) != 0 && errno != ENOENT) return nullptr;
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "w");
    if (!file) close(fd);
    return file;
}

InstallFiles writeInstallFiles() {
    scriptName[0] = '\0';
    if (FILE* settings = createPrivateFile(InstallSettingsPath)) {
        // Without the settings file the script still runs with empty settings.
        writeAll(settings, settingsFileText(ComponentsSelected, kernelRebuildNeeded() != 0));
        fclose(settings);
    }
    snprintf(scriptName, sizeof scriptName, "/tmp/quorvelInst.%d", static_cast<int>(getpid()));
    FILE* script = createPrivateFile(scriptName);
    if (!script) return InstallFiles::Failed;
    if (ComponentsSelected == 0) {
        fclose(script);
        return InstallFiles::NothingSelected;
    }
    createShellScript(script, ComponentsSelected & COMPONENT_DRIVER);
    // A script that did not reach the disk whole must not run.
    bool written = !ferror(script);
    if (fclose(script) != 0) written = false;
    return written ? InstallFiles::Ready : InstallFiles::Failed;
}

void removeInstallFiles() {
    unlink(InstallSettingsPath);
    if (scriptName[0] != '\0') unlink(scriptName);
}
