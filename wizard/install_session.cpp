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
#include "wizard/run_history.h"
#include "wizard/run_result.h"
#include "wizard/startup.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

// Output taken in per turn of the main loop: a window lays out and draws what it got
// before it takes more, so it stays responsive however fast the script writes.
const size_t OutputPerTurn = 16 * 1024;
// Below a window's own layout and drawing (GDK's redraw priority is
// G_PRIORITY_HIGH_IDLE + 20).
const int OutputPriority = G_PRIORITY_HIGH_IDLE + 30;
// What is read once the script has ended, at most (a process it left behind may go on
// writing).
const size_t AfterExitLimit = 1024 * 1024;

void show(InstallRun& run, const std::string& text) {
    if (text.empty())
        return;
    run.log.write(text);
    if (run.observer.output)
        run.observer.output(text);
}

// The time each step of the script begins ("%% step 2 of 3"), in the log.
void logStepTime(InstallLog& log, const std::string& line) {
    const std::string step = "%% step ";
    if (line.compare(0, step.size(), step) != 0)
        return;
    std::string which = line.substr(step.size());
    while (!which.empty() && (which.back() == '\n' || which.back() == '\r')) which.pop_back();
    log.writeField("step " + which, formatUtcTime(time(nullptr), "%Y-%m-%dT%H:%M:%SZ"));
}

void passProgress(InstallRun& run) {
    for (const std::string& line : run.reader.takeProgressLines()) {
        logStepTime(run.log, line);
        if (run.observer.progress)
            run.observer.progress(line);
    }
}

// Passes the script's output through the reader, to the log and the observer.
void onScriptOutput(InstallRun& run, const char* data, size_t length) {
    show(run, run.reader.feed(data, length));
    passProgress(run);
}

std::string checkLine(const PackageCheckDetails& details) {
    if (details.file.empty())
        return "no package file; check " + std::to_string(details.check);
    return details.file + " (version " + details.fileVersion +
           "); installed: " + (details.installed.empty() ? "none" : details.installed) +
           "; check " + std::to_string(details.check) + " (" + checkInWords(details) + ")";
}

void writeLogHeader(InstallRun& run, const Selection& selection) {
    InstallLog& log = run.log;
    log.write("stage3 install log\n");
    log.writeField("time", formatUtcTime(time(nullptr), "%Y-%m-%dT%H:%M:%SZ"));
    log.writeField("stage3 version", STAGE3_VERSION);
    log.writeField("host", g_get_host_name());
    const char* lang = g_getenv("LANG");
    log.writeField("LANG", lang ? lang : "(unset)");
    log.writeField("medium", currentDirectory());
    log.writeField("application", checkLine(appCheckDetails()));
    log.writeField("driver", checkLine(driverCheckDetails()));
    log.writeField("action", actionName(installAction(run)));
    log.writeField("setup type", selection.setupTypeName());
    log.writeField("components", selection.componentNames(" "));
    log.write("--- install output ---\n");
    run.startedAt = g_get_monotonic_time();
}

// Why a normal user's install ran nothing as root: the root side's marks tell, whatever
// the status (pkexec's 126 and 127 for a refusal may also be the script's own).
ResourceID_C rootSideRefusal(const InstallRun& run) {
    switch (rootSideOutcome(run.files)) {
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

void onScriptExited(InstallRun& run, int waitStatus) {
    InstallLog& log = run.log;
    // Whatever the script did, rpm's answers from before it are out of date.
    forgetInstalledPackages();
    show(run, run.reader.finish());
    passProgress(run);
    run.terminalAgent.stop();

    if (run.files.rootScriptName[0] != '\0') {
        run.notStartedReason = rootSideRefusal(run);
        if (run.notStartedReason)
            show(run, std::string(getString(run.notStartedReason)) + "\n");
    }
    // Only this run's own script can have written its error file.
    bool scriptFailed = installErrorRecorded(run.files);
    InstallOutcome outcome;
    outcome.exitStatus = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    outcome.succeeded = outcome.exitStatus == 0 && !scriptFailed && !run.notStartedReason;
    if (outcome.succeeded && run.installsDriver && judgeDriver(mediumDriverOutlook()).hasModules) {
        const DriverAfterInstall after =
            checkDriverAfterInstall(driverHost(), mediumDriverOutlook());
        outcome.driverInstalled = true;
        outcome.restartNeeded = after.restartNeeded;
        outcome.initramfs = after.initramfs;
    }
    // The record follows what is installed now, before the lock lets another run in.
    const std::string recordNote = settleInstallRecord(run, outcome.succeeded);
    if (!recordNote.empty())
        show(run, recordNote + "\n");
    const std::string historyNote = settleRunHistory(
        run,
        outcome.succeeded         ? "succeeded"
        : WIFSIGNALED(waitStatus) ? "cancelled"
                                  : "failed",
        outcome.succeeded ? (outcome.restartNeeded ? ExitRestartNeeded : ExitInstalled)
                          : ExitInstallFailed);
    if (!historyNote.empty())
        show(run, historyNote + "\n");
    removeInstallFiles(run.files);
    run.lock.release();
    log.write("--- end of install output ---\n");
    if (run.startedAt) {
        char duration[32];
        snprintf(duration, sizeof duration, "%.1f s",
                 (g_get_monotonic_time() - run.startedAt) / 1e6);
        log.writeField("duration", duration);
    }
    log.writeField("script exit status",
                   WIFEXITED(waitStatus)
                       ? std::to_string(outcome.exitStatus)
                       : "killed by signal " + std::to_string(WTERMSIG(waitStatus)));
    RunFacts facts;
    facts.action = installAction(run);
    facts.succeeded = outcome.succeeded;
    facts.reason = run.notStartedReason;
    facts.reasonKind = run.notStartedKind();
    log.writeField("result", runResult(facts).logWord());
    if (outcome.driverInstalled) {
        log.writeField("restart needed", outcome.restartNeeded ? "yes" : "no");
        static const char* const images[] = {"not checked", "without the module",
                                             "another build of the module (the old one)",
                                             "the new module", "the module, unreadable"};
        log.writeField(
            "initramfs of the running kernel",
            images[outcome.initramfs >= 0 && outcome.initramfs <= 4 ? outcome.initramfs : 0]);
    }
    log.close();
    run.outcome = outcome;
    if (run.observer.ended)
        run.observer.ended(outcome);
}

// How the script's output and end are taken, run by this process or through pkexec.
WatchedCommand scriptWatch(InstallRun& run) {
    return WatchedCommand{
        [&run](const char* data, size_t length) { onScriptOutput(run, data, length); },
        [&run](int waitStatus) { onScriptExited(run, waitStatus); }, OutputPriority, OutputPerTurn,
        AfterExitLimit};
}

// Ends an install that could not start: the lock let go, `reason` kept for the pages to
// show, and the log closed with `logResult`.
InstallStart notStarted(InstallRun& run, ResourceID_C reason, const char* logResult) {
    run.notStartedReason = reason;
    RunFacts facts;
    facts.action = installAction(run);
    facts.reason = reason;
    facts.reasonKind = run.notStartedKind();
    const std::string historyNote = settleRunHistory(
        run, reason == ChecksRefusedId ? "refused" : "failed", runResult(facts).status);
    if (!historyNote.empty())
        show(run, historyNote + "\n");
    run.lock.release();
    run.log.writeField("result", logResult);
    run.log.close();
    return InstallStart::NotStarted;
}

// Says in one line that the log could not be written, or why root's log directory is
// not used; the install goes on.
void noteUnwritableLog(InstallRun& run) {
    ResourceID_C why = run.log.directoryRefused() ? LogDirectoryUnsafeId : LogNotWrittenId;
    std::string line = fillText(getString(why), {run.log.path()}) + "\n";
    if (run.observer.output)
        run.observer.output(line);
}

// Says in the output and the log where a directory that stood at the settings file's
// name went (as root; the root side of a normal user's install says it itself).
void noteSettingsMovedAside(InstallRun& run) {
    const std::string& aside = settingsMovedAside(run.files);
    if (!aside.empty())
        show(run, fillText(getString(SettingsMovedAsideId), {InstallSettingsPath, aside}) + "\n");
}

// Starts the install script: as root at once, else through pkexec with the root side's
// script (pkexec needs the program's absolute path, and gives it a clean environment).
bool startScript(InstallRun& run, const InstallObserver& observer) {
    if (run.files.rootScriptName[0] == '\0')
        return runInstallScript(run, observer);
    run.observer = observer;
    run.reader = OutputReader();
    if (observer.askOnTerminal && isatty(STDIN_FILENO))
        run.terminalAgent.start();
    if (startWatchedProgram({pkexecPath(), "/bin/sh", run.files.rootScriptName},
                            pkexecEnvironment(environ), scriptWatch(run)))
        return true;
    run.terminalAgent.stop();
    return false;
}

// Checks the medium and the packages before anything is installed: the copies of the
// packages that the install will install, made in the run's own directory first. False,
// with the reasons shown and kept, when the install must not start.
bool checksPassed(InstallRun& run, const Selection& selection, const InstallObserver& observer) {
    CheckCallbacks callbacks;
    callbacks.progress = observer.checking;
    callbacks.trustKey = observer.trustKey;
    std::vector<TransactionPackage> packages = plannedInstall(run, selection);
    copyInstallPackages(run.files, &packages);
    // As a normal user the root side imports a trusted key, into the keyring root's rpm
    // uses for the install.
    const bool asRoot = geteuid() == 0;
    ChecksReport report = runInstallChecks(packages, callbacks, asRoot, run.checkPolicy);
    setRootSideKeys(run.files,
                    asRoot || report.refused() ? std::vector<SigningKey>() : report.trustedKeys);
    for (const CheckItem& item : report.items)
        run.log.writeField("check",
                           item.kind + " " + (item.ok ? "ok" : "FAILED") + ": " + item.message);
    for (const std::string& note : report.notes()) show(run, note + "\n");
    if (!report.refused())
        return true;
    run.keyRefused = report.refusalKind() == ErrorKind::KeyNotTrusted;
    run.refusalLines = report.refusalLines();
    for (const std::string& line : run.refusalLines) show(run, line + "\n");
    return false;
}

}  // namespace

InstallStart startInstallRun(InstallRun& run, const Selection& selection,
                             const InstallObserver& observer) {
    run.notStartedReason = 0;
    run.outcome = InstallOutcome();
    run.refusalLines.clear();
    run.observer = observer;
    if (selection.components == 0)
        return InstallStart::NothingSelected;
    if (!run.lock.take()) {
        run.notStartedReason = AnotherInstallRunningId;
        return InstallStart::NotStarted;
    }
    // The marker is ours again for the install, whatever a wizard started meanwhile
    // placed there.
    createStartMarker(run);
    if (run.log.open())
        writeLogHeader(run, selection);
    else
        noteUnwritableLog(run);
    beginRunHistory(run, run.log.written() ? run.log.path() : "");
    const std::string& recordPath = run.recordPath;
    if (!recordPath.empty() && !recordChoices(recordPath, selection) && observer.output)
        observer.output("stage3: the choices could not be recorded in " + recordPath + "\n");
    if (geteuid() != 0 && pkexecPath().empty())
        return notStarted(run, AdministratorToolMissingId,
                          "not started: no pkexec to run the install as root");
    if (!makeInstallDirectory(run.files))
        return notStarted(run, InstallFilesUnsafeId,
                          "not started: the install files could not be made safely");
    if (!checksPassed(run, selection, observer)) {
        removeInstallFiles(run.files);
        return notStarted(run, ChecksRefusedId, "refused before installing");
    }
    run.installsDriver = (selection.components & COMPONENT_DRIVER) != 0 &&
                         driverUpdateCheck() > UPDATE_NEWER_INSTALLED;
    prepareInstallRecord(run, selection, run.log.written() ? run.log.path() : "");
    InstallFiles files = writeInstallFiles(run, selection.components, kernelRebuildNeeded() != 0);
    noteSettingsMovedAside(run);
    if (files != InstallFiles::Ready || !startScript(run, observer)) {
        removeInstallFiles(run.files);
        return notStarted(run, InstallFilesUnsafeId,
                          "not started: the install files could not be made safely");
    }
    return InstallStart::Running;
}

bool runInstallScript(InstallRun& run, const InstallObserver& observer) {
    run.observer = observer;
    run.reader = OutputReader();
    // The script's standard error joins its output.
    std::string command = std::string("/bin/sh \"") + run.files.scriptName + "\" 2>&1";
    return startWatchedCommand(command, scriptWatch(run));
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

ErrorKind InstallRun::notStartedKind() const {
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
