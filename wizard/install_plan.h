// What an install would do to each package, in words: for the review page, the header
// of an install without a person and the plan of a dry run.
#pragma once

#include <string>
#include <vector>

#include "services/packages.h"

struct Selection;

// An update check in words ("not installed", "older 3.A-1 installed"), in English for
// the plan and the log.
std::string checkInWords(const PackageCheckDetails& details);

// What happens to a package: installed new, an upgrade, a reinstall, or kept because
// the installed version is newer.
enum class PackageAction { New, Upgrade, Reinstall, KeptNewer };

struct PackagePlan {
    std::string name;
    std::string version;           // on the medium
    std::string installedVersion;  // empty when none is installed
    PackageAction action = PackageAction::New;
};

// The action for a medium's version against the installed one; `order` is the medium's
// version minus the installed one (negative: the installed one is newer).
PackageAction actionFor(bool installed, int order);

// Each package the selection installs, in the install's order, and the driver the host
// keeps because its own is newer.
std::vector<PackagePlan> packagePlan(const Selection& selection);

// One line of the list in the run language ("holvane 1.2.3-4: upgrade from 1.2.3-1").
std::string packagePlanLine(const PackagePlan& plan);
std::vector<std::string> packagePlanLines(const Selection& selection);

// The list below the review page's summary: a blank line, the heading and one indented
// line per package; empty when no package is installed.
std::string packagePlanText(const Selection& selection);

// Whether a graphical web browser can be used here: a display to show it on. Without
// one the proxy notice is a line of the result, not a dialog.
bool graphicalDisplayPresent();

// The proxy notice's line for the result, after an install that put in the web server
// where no display is; empty otherwise.
std::string proxyNoticeLine(const Selection& selection, bool installed);
