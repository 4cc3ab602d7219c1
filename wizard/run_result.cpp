#include "wizard/run_result.h"

#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_log.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

const ActionWords Words[] = {
    // Install
    {ReviewIntroId, ConsoleReviewIntroId, ReviewSettingsHeadingId, ConsoleInstallKeyId, RunNoteId,
     InstallFinishedTitleId, InstallFailedTitleId, InstallFinishedNoteId, InstallFailedNoteId,
     FinishSucceededId, FinishFailedId, ResultInstalledId, ResultFailedId},
    // Repair
    {RepairReviewIntroId, RepairReviewIntroId, RepairReviewHeadingId, ConsoleRepairKeyId,
     RepairRunNoteId, RepairFinishedTitleId, RepairFailedTitleId, RepairDoneNoteId,
     RepairFailedNoteId, RepairDoneNoteId, RepairFinishFailedId, ResultRepairedId,
     RepairFinishFailedId},
    // Modify
    {ModifyReviewIntroId, ModifyReviewIntroId, ModifyReviewHeadingId, ConsoleModifyKeyId,
     ModifyRunNoteId, ModifyFinishedTitleId, ModifyFailedTitleId, ModifyDoneNoteId,
     ModifyFailedNoteId, ModifyDoneNoteId, ModifyFinishFailedId, ResultModifiedId,
     ModifyFinishFailedId},
    // Remove
    {RemoveReviewIntroId, RemoveReviewIntroId, RemoveReviewHeadingId, ConsoleRemoveKeyId,
     RemoveRunNoteId, RemoveFinishedTitleId, RemoveFailedTitleId, RemoveDoneNoteId,
     RemoveFailedNoteId, RemoveDoneNoteId, RemoveFinishFailedId, ResultRemovedId,
     RemoveFinishFailedId},
    // Rollback: a run without a person only, whose pages are the repair's
    {RepairReviewIntroId, RepairReviewIntroId, RepairReviewHeadingId, ConsoleRepairKeyId,
     RepairRunNoteId, RepairFinishedTitleId, RepairFailedTitleId, RepairDoneNoteId,
     RepairFailedNoteId, RepairDoneNoteId, ResultFailedId, ResultRolledBackId, ResultFailedId},
};
static_assert(sizeof Words / sizeof Words[0] == static_cast<int>(Action::Rollback) + 1,
              "one row of words per action");

}  // namespace

const ActionWords& actionWords(Action action) {
    return Words[static_cast<int>(action)];
}

RunResult runResult(const RunFacts& facts) {
    const ActionWords& words = actionWords(facts.action);
    RunResult result;
    result.action = facts.action;
    result.logPath = facts.logPath;
    result.nothingSelected = facts.nothingSelected;
    result.reason = facts.reason;
    result.succeeded = facts.nothingSelected || (facts.succeeded && !facts.reason);
    if (result.nothingSelected) {
        result.runTitle = words.doneTitle;
        result.runNote = words.doneNote;
        result.finishText = result.resultLine = ResultNothingSelectedId;
        return result;
    }
    if (result.succeeded) {
        result.status = facts.restartNeeded ? ExitRestartNeeded : ExitInstalled;
        result.runTitle = words.doneTitle;
        result.runNote = words.doneNote;
        result.finishText = words.finishDone;
        result.resultLine = words.resultDone;
        result.driverTexts = facts.driverTexts;
        // The notice is about using what is installed now.
        result.proxyNotice = facts.webServer && facts.action != Action::Remove;
        return result;
    }
    result.error = facts.reason ? facts.reasonKind : ErrorKind::InstallFailed;
    // Refused before a package was touched, or never started because another install ran.
    switch (result.error) {
        case ErrorKind::CheckRefused:
        case ErrorKind::KeyNotTrusted:
        case ErrorKind::PackageChanged:
            result.status = ExitRefused;
            break;
        case ErrorKind::Locked:
            result.status = ExitInstallRunning;
            break;
        default:
            result.status = ExitInstallFailed;
    }
    // The medium's key not trusted is no failure: nothing was installed, on purpose.
    if (facts.reasonKind == ErrorKind::KeyNotTrusted) {
        result.runTitle = KeyNotTrustedTitleId;
        result.runNote = KeyNotTrustedNoteId;
        result.finishText = KeyNotTrustedFinishId;
    } else {
        result.runTitle = words.failedTitle;
        result.runNote = words.failedNote;
        result.finishText = words.finishFailed;
    }
    result.resultLine = words.resultFailed;
    return result;
}

std::string RunResult::logLine() const {
    if (logPath.empty())
        return "";
    return fillText(getString(LogPlaceId), {logPath});
}

std::vector<std::string> RunResult::resultLines() const {
    std::string first = getString(resultLine);
    if (!logPath.empty())
        first += " " + logLine();
    std::vector<std::string> lines{first};
    for (ResourceID_C id : driverTexts) lines.push_back(getString(id));
    return lines;
}

std::string RunResult::logWord() const {
    static const char* const done[] = {"installed", "repaired", "modified", "removed",
                                       "rolled back"};
    if (succeeded)
        return done[static_cast<int>(action)];
    if (reason == AuthenticationRefusedId)
        return "not started: authentication as administrator refused";
    if (reason == PackageChangedId)
        return "refused: a package changed after its checks";
    return reason ? "not started" : "failed";
}

RunFacts lastRunFacts(const InstallRun& run, const Selection& selection, bool nothingSelected,
                      const InstallOutcome* outcome) {
    RunFacts facts;
    facts.action = installAction(run);
    facts.nothingSelected = nothingSelected;
    if (outcome) {
        facts.succeeded = outcome->succeeded;
        facts.restartNeeded = outcome->restartNeeded;
        facts.driverTexts = driverResultTexts(*outcome);
    }
    facts.reason = run.notStartedReason;
    facts.reasonKind = run.notStartedKind();
    facts.webServer = selection.has(WebServerComponent);
    if (run.log.written())
        facts.logPath = run.log.path();
    return facts;
}
