// What a run would do to each package, in words (the run's transaction): for the review page, the
// header of an install without a person and the plan of a dry run.
#pragma once

#include <string>
#include <vector>

#include "services/packages.h"

struct Selection;

// An update check in words ("not installed", "older 3.A-1 installed"), in English for
// the plan and the log.
std::string checkInWords(const PackageCheckDetails& details);

struct TransactionStep;

// One step of the run's transaction in the run language ("holvane 1.2.3-4: upgrade from
// 1.2.3-1", "quorvel-browser 1.0-1: kept, this version is installed").
std::string packagePlanLine(const TransactionStep& step);
// A line for each step of the run's transaction for `selection`, in its order.
struct InstallRun;
std::vector<std::string> packagePlanLines(InstallRun& run, const Selection& selection);

// The list below the review page's summary: a blank line, the heading and one indented
// line per step; empty when there is none.
std::string packagePlanText(InstallRun& run, const Selection& selection);

// Whether a graphical web browser can be used here: a display to show it on. Without
// one the proxy notice is a line of the result, not a dialog.
bool graphicalDisplayPresent();

// The proxy notice's line for the result, after an install that put in the web server
// where no display is; empty otherwise.
std::string proxyNoticeLine(const Selection& selection, bool installed);
