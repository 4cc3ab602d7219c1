#include "wizard/install_session.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "services/admin_run.h"
#include "services/child_process.h"
#include "services/driver_outlook.h"
#include "services/files.h"
#include "services/packages.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/command_line.h"
#include "wizard/install_checks.h"
#include "wizard/install_lock.h"
#include "wizard/install_log.h"
#include "wizard/install_plan.h"
#include "wizard/install_script.h"
#include "wizard/maintenance.h"
#include "wizard/output_reader.h"
#include "wizard/startup.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

// The one install run of the process.
struct InstallRun {
    OutputReader reader;
    InstallObserver observer;
    int64_t startedAt = 0;  // monotonic, for the duration in the log
};

InstallRun update;
// Polkit's agent on the terminal while a normal user's install runs.
TerminalAgent terminalAgent;
ResourceID_C notStartedReason = 0;
// The run installs the medium's driver package.
bool installsDriver = false;
InstallOutcome lastOutcome;
std::string recordPath;
std::vector<std::string> refusalLines;
// The checks refused because the medium's key was not trusted.
bool keyRefused = false;

// Output taken in per turn of the main loop: a window lays out and draws what it got
// before it takes more, so it stays responsive however fast the script writes.
const size_t OutputPerTurn = 16 * 1024;
// Below a window's own layout and drawing (GDK's redraw priority is
// G_PRIORITY_HIGH_IDLE + 20).
const int OutputPriority = G_PRIORITY_HIGH_IDLE + 30;
// What is read once the script has ended, at most (a process it left behind may go on
// writing).
const size_t AfterExitLimit = 1024 * 1024;

void show(const std::string& text) {
    if (text.empty())
        return;
    writeInstallLog(text);
    if (update.observer.output)
        update.observer.output(text);
}

// The time each step of the script begins ("%% step 2 of 3"), in the log.
void logStepTime(const std::string& line) {
    const std::string step = "%% step ";
    if (line.compare(0, step.size(), step) != 0)
        return;
    std::string which = line.substr(step.size());
    while (!which.empty() && (which.back() == '\n' || which.back() == '\r')) which.pop_back();
    writeInstallLogField("step " + which, formatUtcTime(time(nullptr), "%Y-%m-%dT%H:%M:%SZ"));
}

void passProgress() {
    for (const std::string& line : update.reader.takeProgressLines()) {
        logStepTime(line);
        if (update.observer.progress)
            update.observer.progress(line);
    }
}

// Passes the script's output through the reader, to the log and the observer.
void onScriptOutput(const char* data, size_t length) {
    show(update.reader.feed(data, length));
    passProgress();
}

std::string checkLine(const PackageCheckDetails& details) {
    if (details.file.empty())
        return "no package file; check " + std::to_string(details.check);
    return details.file + " (version " + details.fileVersion +
           "); installed: " + (details.installed.empty() ? "none" : details.installed) +
           "; check " + std::to_string(details.check) + " (" + checkInWords(details) + ")";
}

void writeLogHeader(const Selection& selection) {
    writeInstallLog("stage3 install log\n");
    writeInstallLogField("time", formatUtcTime(time(nullptr), "%Y-%m-%dT%H:%M:%SZ"));
    writeInstallLogField("stage3 version", STAGE3_VERSION);
    writeInstallLogField("host", g_get_host_name());
    const char* lang = g_getenv("LANG");
    writeInstallLogField("LANG", lang ? lang : "(unset)");
    writeInstallLogField("medium", currentDirectory());
    writeInstallLogField("application", checkLine(appCheckDetails()));
    writeInstallLogField("driver", checkLine(driverCheckDetails()));
    writeInstallLogField("action", actionName(installAction()));
    writeInstallLogField("setup type", selection.setupTypeName());
    writeInstallLogField("components", selection.componentNames(" "));
    writeInstallLog("--- install output ---\n");
    update.startedAt = g_get_monotonic_time();
}

// Why a normal user's install ran nothing as root: the root side's marks tell, whatever
// the status (pkexec's 126 and 127 for a refusal may also be the script's own).
ResourceID_C rootSideRefusal() {
    switch (rootSideOutcome()) {
        case RootSide::Refused:
            return AuthenticationRefusedId;
        case RootSide::Busy:
            return AnotherInstallRunningId;
        case RootSide::Unsafe:
            return InstallFilesUnsafeId;
        case RootSide::Changed:
            return PackageChangedId;
        case RootSide::Ran:
            break;
    }
    return 0;
}

void onScriptExited(int waitStatus) {
    // Whatever the script did, rpm's answers from before it are out of date.
    forgetInstalledPackages();
    show(update.reader.finish());
    passProgress();
    terminalAgent.stop();

    if (rootScriptName[0] != '\0') {
        notStartedReason = rootSideRefusal();
        if (notStartedReason)
            show(std::string(getString(notStartedReason)) + "\n");
    }
    // Only this run's own script can have written its error file.
    bool scriptFailed = installErrorRecorded();
    InstallOutcome outcome;
    outcome.exitStatus = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    outcome.succeeded = outcome.exitStatus == 0 && !scriptFailed && !notStartedReason;
    if (outcome.succeeded && installsDriver && judgeDriver(mediumDriverOutlook()).hasModules) {
        const DriverAfterInstall after =
            checkDriverAfterInstall(driverHost(), mediumDriverOutlook());
        outcome.driverInstalled = true;
        outcome.restartNeeded = after.restartNeeded;
        outcome.initramfs = after.initramfs;
    }
    // The record follows what is installed now, before the lock lets another run in.
    const std::string recordNote = settleInstallRecord(outcome.succeeded);
    if (!recordNote.empty())
        show(recordNote + "\n");
    removeInstallFiles();
    releaseInstallLock();
    writeInstallLog("--- end of install output ---\n");
    if (update.startedAt) {
        char duration[32];
        snprintf(duration, sizeof duration, "%.1f s",
                 (g_get_monotonic_time() - update.startedAt) / 1e6);
        writeInstallLogField("duration", duration);
    }
    writeInstallLogField("script exit status",
                         WIFEXITED(waitStatus)
                             ? std::to_string(outcome.exitStatus)
                             : "killed by signal " + std::to_string(WTERMSIG(waitStatus)));
    writeInstallLogField("result", outcome.succeeded ? "installed"
                                   : notStartedReason == AuthenticationRefusedId
                                       ? "not started: authentication as administrator refused"
                                   : notStartedReason == PackageChangedId
                                       ? "refused: a package changed after its checks"
                                   : notStartedReason ? "not started"
                                                      : "failed");
    if (outcome.driverInstalled) {
        writeInstallLogField("restart needed", outcome.restartNeeded ? "yes" : "no");
        static const char* const images[] = {"not checked", "without the module",
                                             "another build of the module (the old one)",
                                             "the new module", "the module, unreadable"};
        writeInstallLogField(
            "initramfs of the running kernel",
            images[outcome.initramfs >= 0 && outcome.initramfs <= 4 ? outcome.initramfs : 0]);
    }
    closeInstallLog();
    lastOutcome = outcome;
    if (update.observer.ended)
        update.observer.ended(outcome);
}

// How the script's output and end are taken, run by this process or through pkexec.
const WatchedCommand ScriptWatch{onScriptOutput, onScriptExited, OutputPriority, OutputPerTurn,
                                 AfterExitLimit};

// Ends an install that could not start: the lock let go, `reason` kept for the pages to
// show, and the log closed with `logResult`.
InstallStart notStarted(ResourceID_C reason, const char* logResult) {
    releaseInstallLock();
    notStartedReason = reason;
    writeInstallLogField("result", logResult);
    closeInstallLog();
    return InstallStart::NotStarted;
}

// Says in one line that the log could not be written, or why root's log directory is
// not used; the install goes on.
void noteUnwritableLog() {
    ResourceID_C why = installLogDirectoryRefused() ? LogDirectoryUnsafeId : LogNotWrittenId;
    std::string line = fillText(getString(why), {installLogPath()}) + "\n";
    if (update.observer.output)
        update.observer.output(line);
}

// Says in the output and the log where a directory that stood at the settings file's
// name went (as root; the root side of a normal user's install says it itself).
void noteSettingsMovedAside() {
    const std::string& aside = settingsMovedAside();
    if (!aside.empty())
        show(fillText(getString(SettingsMovedAsideId), {InstallSettingsPath, aside}) + "\n");
}

// Starts the install script: as root at once, else through pkexec with the root side's
// script (pkexec needs the program's absolute path, and gives it a clean environment).
bool startScript(const InstallObserver& observer) {
    if (rootScriptName[0] == '\0')
        return runInstallScript(observer);
    update.observer = observer;
    update.reader = OutputReader();
    if (observer.askOnTerminal && isatty(STDIN_FILENO))
        terminalAgent.start();
    if (startWatchedProgram({pkexecPath(), "/bin/sh", rootScriptName}, pkexecEnvironment(environ),
                            ScriptWatch))
        return true;
    terminalAgent.stop();
    return false;
}

// Checks the medium and the packages before anything is installed: the copies of the
// packages that the install will install, made in the run's own directory first. False,
// with the reasons shown and kept, when the install must not start.
bool checksPassed(const Selection& selection, const InstallObserver& observer) {
    CheckCallbacks callbacks;
    callbacks.progress = observer.checking;
    callbacks.trustKey = observer.trustKey;
    std::vector<TransactionPackage> packages = plannedInstall(selection);
    copyInstallPackages(&packages);
    // As a normal user the root side imports a trusted key, into the keyring root's rpm
    // uses for the install.
    const bool asRoot = geteuid() == 0;
    ChecksReport report = runInstallChecks(packages, callbacks, asRoot);
    setRootSideKeys(asRoot || report.refused() ? std::vector<SigningKey>() : report.trustedKeys);
    for (const CheckItem& item : report.items)
        writeInstallLogField("check",
                             item.kind + " " + (item.ok ? "ok" : "FAILED") + ": " + item.message);
    for (const std::string& note : report.notes()) show(note + "\n");
    if (!report.refused())
        return true;
    keyRefused = report.refusalKind() == ErrorKind::KeyNotTrusted;
    refusalLines = report.refusalLines();
    for (const std::string& line : refusalLines) show(line + "\n");
    return false;
}

}  // namespace

void setInstallRecordPath(const std::string& path) {
    recordPath = path;
}

InstallStart startInstallRun(const Selection& selection, const InstallObserver& observer) {
    notStartedReason = 0;
    lastOutcome = InstallOutcome();
    refusalLines.clear();
    update.observer = observer;
    if (selection.components == 0)
        return InstallStart::NothingSelected;
    if (!takeInstallLock()) {
        notStartedReason = AnotherInstallRunningId;
        return InstallStart::NotStarted;
    }
    // The marker is ours again for the install, whatever a wizard started meanwhile
    // placed there.
    createStartMarker();
    if (openInstallLog())
        writeLogHeader(selection);
    else
        noteUnwritableLog();
    if (!recordPath.empty() && !recordChoices(recordPath, selection) && observer.output)
        observer.output("stage3: the choices could not be recorded in " + recordPath + "\n");
    if (geteuid() != 0 && pkexecPath().empty())
        return notStarted(AdministratorToolMissingId,
                          "not started: no pkexec to run the install as root");
    if (!makeInstallDirectory())
        return notStarted(InstallFilesUnsafeId,
                          "not started: the install files could not be made safely");
    if (!checksPassed(selection, observer)) {
        removeInstallFiles();
        return notStarted(ChecksRefusedId, "refused before installing");
    }
    installsDriver = (selection.components & COMPONENT_DRIVER) != 0 &&
                     driverUpdateCheck() > UPDATE_NEWER_INSTALLED;
    prepareInstallRecord(selection);
    InstallFiles files = writeInstallFiles(selection.components, kernelRebuildNeeded() != 0);
    noteSettingsMovedAside();
    if (files != InstallFiles::Ready || !startScript(observer)) {
        removeInstallFiles();
        return notStarted(InstallFilesUnsafeId,
                          "not started: the install files could not be made safely");
    }
    return InstallStart::Running;
}

bool runInstallScript(const InstallObserver& observer) {
    update.observer = observer;
    update.reader = OutputReader();
    // The script's standard error joins its output.
    std::string command = std::string("/bin/sh \"") + scriptName + "\" 2>&1";
    return startWatchedCommand(command, ScriptWatch);
}

std::vector<ResourceID_C> driverResultTexts(const InstallOutcome& outcome) {
    std::vector<ResourceID_C> ids;
    if (!outcome.succeeded || !outcome.driverInstalled)
        return ids;
    if (outcome.restartNeeded)
        ids.push_back(RestartNeededId);
    if (outcome.initramfs == INITRAMFS_NEW_BUILD)
        ids.push_back(InitramfsHoldsDriverId);
    else if (outcome.initramfs == INITRAMFS_WITHOUT_MODULE ||
             outcome.initramfs == INITRAMFS_OTHER_BUILD)
        ids.push_back(InitramfsLacksDriverId);
    return ids;
}

const InstallOutcome& lastInstallOutcome() {
    return lastOutcome;
}

ResourceID_C installNotStartedReason() {
    return notStartedReason;
}

int notStartedExitStatus() {
    return installRefusedByChecks()  ? ExitRefused
           : anotherInstallRunning() ? ExitInstallRunning
                                     : ExitInstallFailed;
}

bool installRefusedByChecks() {
    return notStartedReason == ChecksRefusedId || notStartedReason == PackageChangedId;
}

const std::vector<std::string>& installRefusalLines() {
    return refusalLines;
}

ErrorKind installNotStartedKind() {
    if (notStartedReason == ChecksRefusedId)
        return keyRefused ? ErrorKind::KeyNotTrusted : ErrorKind::CheckRefused;
    if (notStartedReason == PackageChangedId)
        return ErrorKind::PackageChanged;
    if (notStartedReason == AnotherInstallRunningId)
        return ErrorKind::Locked;
    if (notStartedReason == AuthenticationRefusedId)
        return ErrorKind::AuthenticationRefused;
    if (notStartedReason == AdministratorToolMissingId)
        return ErrorKind::NoAdministratorTool;
    return notStartedReason ? ErrorKind::InstallFilesUnsafe : ErrorKind::None;
}

ResourceID_C failedFinishTextId() {
    return installNotStartedKind() == ErrorKind::KeyNotTrusted ? KeyNotTrustedFinishId
                                                               : FinishFailedId;
}

bool anotherInstallRunning() {
    return notStartedReason == AnotherInstallRunningId;
}

int updateTextWindow(void*) {
    readWatchedCommand();
    return TRUE;
}
