#include "wizard/install_plan.h"

#include <glib.h>

#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_checks.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"
#include "wizard/wizard.h"

std::string checkInWords(const PackageCheckDetails& details) {
    switch (details.check) {
        case UPDATE_CHECK_ERROR:
            return "the package search failed";
        case UPDATE_SAME_INSTALLED:
            return "same version installed";
        case UPDATE_NEWER_INSTALLED:
            return "newer " + details.installedVersion + " installed";
        case UPDATE_NOT_INSTALLED:
            return "not installed";
        case UPDATE_OLDER_INSTALLED:
            return "older " + details.installedVersion + " installed";
        case UPDATE_NOTHING_TO_INSTALL:
            if (details.file.empty())
                return "no package file";
            if (details.installedVersion == details.fileVersion)
                return "same version installed";
            return "newer " + details.installedVersion + " installed";
        default:
            return "not checked";
    }
}

std::string packagePlanLine(const TransactionStep& step) {
    switch (step.action) {
        case StepAction::Upgrade:
            return fillText(getString(PackageUpgradeId),
                            {step.package, step.version, step.installed});
        case StepAction::Reinstall:
            return fillText(getString(PackageReinstallId), {step.package, step.version});
        case StepAction::Keep:
            return fillText(getString(PackageKeptId), {step.package, step.version});
        case StepAction::KeptNewer:
            return fillText(getString(PackageKeptNewerId),
                            {step.package, step.version, step.installed});
        case StepAction::Remove:
            return fillText(getString(PackageRemoveId), {step.package, step.installed});
        case StepAction::Downgrade:
            return fillText(getString(PackageDowngradeId),
                            {step.package, step.version, step.installed});
        case StepAction::Install:
            break;
    }
    return fillText(getString(PackageNewId), {step.package, step.version});
}

std::vector<std::string> packagePlanLines(InstallRun& run, const Selection& selection) {
    std::vector<std::string> lines;
    for (const TransactionStep& step : runTransaction(run, selection).steps)
        lines.push_back(packagePlanLine(step));
    return lines;
}

std::string packagePlanText(InstallRun& run, const Selection& selection) {
    std::vector<std::string> lines = packagePlanLines(run, selection);
    if (lines.empty())
        return "";
    std::string text = std::string("\n") + getString(PackagesHeadingId) + "\n";
    for (const std::string& line : lines) text += "  " + line + "\n";
    return text;
}

bool graphicalDisplayPresent() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = g_getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

std::string proxyNoticeLine(const Selection& selection, bool installed) {
    if (!installed || !selection.has(WebServerComponent) || graphicalDisplayPresent())
        return "";
    // The medium's own notice (the graphical wizard's dialog text) on one line.
    std::string line;
    for (const char* c = getString(ProxyNoticeId); *c; ++c) {
        const bool blank = *c == ' ' || *c == '\n' || *c == '\t' || *c == '\r';
        if (!blank)
            line += *c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    if (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}
