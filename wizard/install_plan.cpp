#include "wizard/install_plan.h"

#include <glib.h>

#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_checks.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

std::string baseName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Name and version from a package file's name, "NAME-VERSION-RELEASE.ARCH.rpm".
void splitFileName(const std::string& path, std::string* name, std::string* version) {
    std::string file = baseName(path);
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".rpm") == 0)
        file.resize(file.size() - 4);
    std::size_t arch = file.rfind('.');
    if (arch != std::string::npos)
        file.resize(arch);
    std::size_t release = file.rfind('-');
    std::size_t version_ = release == std::string::npos || release == 0
                               ? std::string::npos
                               : file.rfind('-', release - 1);
    if (version_ == std::string::npos) {
        *name = file;
        version->clear();
        return;
    }
    *name = file.substr(0, version_);
    *version = file.substr(version_ + 1);
}

std::string versionText(const _PackageVersion& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "-" +
           std::to_string(v.release);
}

// A package that an update check compared.
PackagePlan checkedPlan(const PackageCheckDetails& details) {
    PackagePlan plan;
    plan.name = details.package;
    plan.version = details.fileVersion;
    plan.installedVersion = details.installedVersion;
    switch (details.check) {
        case UPDATE_OLDER_INSTALLED:
            plan.action = PackageAction::Upgrade;
            break;
        case UPDATE_SAME_INSTALLED:
            plan.action = PackageAction::Reinstall;
            break;
        case UPDATE_NEWER_INSTALLED:
            plan.action = PackageAction::KeptNewer;
            break;
        case UPDATE_NOTHING_TO_INSTALL:
            plan.action = details.installed.empty() ? PackageAction::New
                          : details.installedVersion == details.fileVersion
                              ? PackageAction::Reinstall
                              : PackageAction::KeptNewer;
            break;
        default:
            plan.action = details.installed.empty() ? PackageAction::New : PackageAction::Upgrade;
    }
    return plan;
}

// A browser add-on, asked of rpm by its name.
PackagePlan browserPlan(const std::string& path) {
    PackagePlan plan;
    splitFileName(path, &plan.name, &plan.version);
    _PackageVersion installed{0, 0, 0, 0};
    if (findInstalledRpmVersion(plan.name.c_str(), 0, &installed) != PACKAGE_FOUND)
        return plan;
    _PackageVersion onMedium{0, 0, 0, 0};
    versionFromRpmName(plan.version.c_str(), 0, &onMedium);
    plan.installedVersion = versionText(installed);
    plan.action = actionFor(true, comparePackageVersions(&onMedium, &installed));
    return plan;
}

}  // namespace

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

PackageAction actionFor(bool installed, int order) {
    if (!installed)
        return PackageAction::New;
    return order > 0    ? PackageAction::Upgrade
           : order == 0 ? PackageAction::Reinstall
                        : PackageAction::KeptNewer;
}

std::vector<PackagePlan> packagePlan(const Selection& selection) {
    std::vector<PackagePlan> plans;
    const PackageCheckDetails& driver = driverCheckDetails();
    bool driverPlanned = false;
    for (const TransactionPackage& package : plannedInstall(selection)) {
        if (package.path == driver.file) {
            driverPlanned = true;
            plans.push_back(checkedPlan(driver));
        } else if (package.path == appCheckDetails().file) {
            plans.push_back(checkedPlan(appCheckDetails()));
        } else {
            plans.push_back(browserPlan(package.path));
        }
    }
    // The driver the host keeps is said too: the reason it is not installed.
    if (!driverPlanned && selection.components != 0 && !driver.file.empty() &&
        !driver.installed.empty() && driver.check == UPDATE_NOTHING_TO_INSTALL) {
        PackagePlan kept = checkedPlan(driver);
        if (kept.action == PackageAction::KeptNewer)
            plans.insert(plans.begin(), kept);
    }
    return plans;
}

std::string packagePlanLine(const PackagePlan& plan) {
    switch (plan.action) {
        case PackageAction::Upgrade:
            return fillText(getString(PackageUpgradeId),
                            {plan.name, plan.version, plan.installedVersion});
        case PackageAction::Reinstall:
            return fillText(getString(PackageReinstallId), {plan.name, plan.version});
        case PackageAction::KeptNewer:
            return fillText(getString(PackageKeptNewerId),
                            {plan.name, plan.version, plan.installedVersion});
        case PackageAction::New:
            break;
    }
    return fillText(getString(PackageNewId), {plan.name, plan.version});
}

std::vector<std::string> packagePlanLines(const Selection& selection) {
    std::vector<std::string> lines;
    for (const PackagePlan& plan : packagePlan(selection)) lines.push_back(packagePlanLine(plan));
    return lines;
}

std::string packagePlanText(const Selection& selection) {
    std::vector<std::string> lines = packagePlanLines(selection);
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
