// How a run that reached its install run ended, decided once: the exit status, the words
// of its action on the run and finish pages and in the result line, what follows them
// (the driver's lines, the log's place) and whether the proxy notice is due. Each front
// end draws it; none decides any of it again.
#pragma once

#include <string>
#include <vector>

#include "resdb/resource.h"
#include "wizard/command_line.h"
#include "wizard/run_error.h"

struct InstallOutcome;
struct InstallRun;
struct Selection;

// The texts that name an action on its pages. Install keeps the medium's own texts (a
// medium made for the first wizard has only those); the others are the program's.
struct ActionWords {
    ResourceID_C reviewIntro;               // the window's review page
    ResourceID_C consoleReviewIntro;        // the console's review page
    ResourceID_C reviewHeading;             // above the review's summary, in both
    ResourceID_C startKey;                  // the console review's Enter
    ResourceID_C runNote;                   // the run page while it runs
    ResourceID_C doneTitle, failedTitle;    // the run page's title at its end
    ResourceID_C doneNote, failedNote;      // the run page's note at its end
    ResourceID_C finishDone, finishFailed;  // the finish page's first line
    ResourceID_C resultDone, resultFailed;  // the result line without a person
};
const ActionWords& actionWords(Action action);

// What the install run left behind, gathered when it ended.
struct RunFacts {
    Action action = Action::Install;
    bool nothingSelected = false;  // no component: nothing ran, nothing failed
    // The script's outcome: it succeeded, a restart is needed for the new driver, and
    // the driver's lines (driverResultTexts); all false and empty when it never ran.
    bool succeeded = false;
    bool restartNeeded = false;
    std::vector<ResourceID_C> driverTexts;
    // Why it did not start, or why its root side refused (0: it ran); its kind.
    ResourceID_C reason = 0;
    ErrorKind reasonKind = ErrorKind::None;
    bool webServer = false;  // the web server is among the chosen components
    std::string logPath;     // the log written; empty for none
};

struct RunResult {
    Action action = Action::Install;
    int status = ExitInstalled;
    bool succeeded = true;  // also with nothing selected
    bool nothingSelected = false;
    ErrorKind error = ErrorKind::None;
    ResourceID_C runTitle = 0, runNote = 0;  // the run page at the end
    ResourceID_C finishText = 0;             // the finish page's first line
    ResourceID_C resultLine = 0;             // the line a run without a person ends with
    ResourceID_C reason = 0;                 // why it did not start; 0 when it ran
    std::vector<ResourceID_C> driverTexts;   // after a new driver: restart, start-up image
    bool proxyNotice = false;  // something at localhost is to be used in a browser now
    std::string logPath;

    // "The installation log is <path>." or empty.
    std::string logLine() const;
    // Without a person: the result line with the log's place, then the driver's lines.
    std::vector<std::string> resultLines() const;
    // The log's closing "result" field: "installed", "removed", "failed", "not started"...
    std::string logWord() const;
};

RunResult runResult(const RunFacts& facts);

// The facts of the run that ended now: the install run's state, this run's action and
// `selection`; `outcome` null when the script never ran.
RunFacts lastRunFacts(const InstallRun& run, const Selection& selection, bool nothingSelected,
                      const InstallOutcome* outcome);
