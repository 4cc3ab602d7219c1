#include "wizard/transaction.h"

#include <glib.h>

#include <cstring>
#include <optional>

#include "services/packages.h"
#include "services/shell_quote.h"
#include "wizard/install_session.h"
#include "wizard/maintenance_copy.h"
#include "wizard/output_reader.h"
#include "wizard/tables.h"

namespace {

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// Name and version-release from a package file's name, "NAME-VERSION-RELEASE.ARCH.rpm".
void splitFileName(const std::string& path, std::string* name, std::string* version) {
    std::string file = baseName(path);
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".rpm") == 0)
        file.resize(file.size() - 4);
    std::size_t arch = file.rfind('.');
    if (arch != std::string::npos)
        file.resize(arch);
    std::size_t release = file.rfind('-');
    std::size_t dash = release == std::string::npos || release == 0 ? std::string::npos
                                                                    : file.rfind('-', release - 1);
    if (dash == std::string::npos) {
        *name = file;
        version->clear();
        return;
    }
    *name = file.substr(0, dash);
    *version = file.substr(dash + 1);
}

// rpm's order of two version texts: segments of digits compare as numbers, of letters as
// text, digits are newer than letters, and more segments are newer than fewer.
int compareSegments(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && !g_ascii_isalnum(a[i])) ++i;
        while (j < b.size() && !g_ascii_isalnum(b[j])) ++j;
        if (i >= a.size() || j >= b.size())
            return (i < a.size()) - (j < b.size());
        const bool digits = g_ascii_isdigit(a[i]);
        if (digits != static_cast<bool>(g_ascii_isdigit(b[j])))
            return digits ? 1 : -1;
        auto kind = [digits](char c) { return digits ? g_ascii_isdigit(c) : g_ascii_isalpha(c); };
        std::size_t ei = i, ej = j;
        while (ei < a.size() && kind(a[ei])) ++ei;
        while (ej < b.size() && kind(b[ej])) ++ej;
        std::string x = a.substr(i, ei - i), y = b.substr(j, ej - j);
        if (digits) {
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
        }
        if (int order = x.compare(y))
            return order < 0 ? -1 : 1;
        i = ei;
        j = ej;
    }
}

// The action that takes a package from `installed` to the medium's `version`; `same` is
// the action when both are the same version.
StepAction actionAgainst(const std::string& installed, const std::string& version, bool application,
                         StepAction same) {
    if (installed.empty())
        return StepAction::Install;
    int order = compareVersionTexts(version, installed, application);
    return order > 0 ? StepAction::Upgrade : order == 0 ? same : StepAction::KeptNewer;
}

TransactionStep stepFor(const MediumPackage& package, const std::string& installed,
                        bool application, StepAction same, std::vector<std::string> options) {
    TransactionStep step;
    step.package = package.name;
    step.path = package.path;
    step.installed = installed;
    step.version = package.version;
    step.action = actionAgainst(installed, package.version, application, same);
    step.options = std::move(options);
    return step;
}

TransactionStep removeStep(const std::string& name, const std::string& installed) {
    TransactionStep step;
    step.package = name;
    step.installed = installed;
    step.action = StepAction::Remove;
    step.options = {"-e"};
    return step;
}

// The rpm command of a step as the user sees it: its options with -v on the first.
std::string rpmWords(const TransactionStep& step) {
    std::string words = "rpm";
    for (std::size_t i = 0; i < step.options.size(); ++i)
        words += " " + step.options[i] + (i == 0 ? "v" : "");
    return words;
}

}  // namespace

const char* stepActionName(StepAction action) {
    switch (action) {
        case StepAction::Upgrade:
            return "upgrade";
        case StepAction::Reinstall:
            return "reinstall";
        case StepAction::Keep:
            return "keep";
        case StepAction::KeptNewer:
            return "kept-newer";
        case StepAction::Remove:
            return "remove";
        case StepAction::Downgrade:
            return "downgrade";
        case StepAction::Install:
            break;
    }
    return "install";
}

std::vector<TransactionPackage> Transaction::packagesToInstall() const {
    std::vector<TransactionPackage> packages;
    for (const TransactionStep& step : steps)
        if (step.installs())
            packages.push_back(step.transactionPackage());
    return packages;
}

std::vector<TransactionStep> Transaction::runningSteps() const {
    std::vector<TransactionStep> running;
    for (const TransactionStep& step : steps)
        if (step.runs())
            running.push_back(step);
    return running;
}

int compareVersionTexts(const std::string& a, const std::string& b, bool application) {
    if (a == b)
        return 0;
    if (application) {
        _PackageVersion x{0, 0, 0, 0}, y{0, 0, 0, 0};
        versionFromRpmName(a.c_str(), 1, &x);
        versionFromRpmName(b.c_str(), 1, &y);
        int order = comparePackageVersions(&x, &y);
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    // The versions first, then the releases.
    const std::size_t dashA = a.rfind('-'), dashB = b.rfind('-');
    if (int order = compareSegments(a.substr(0, dashA), b.substr(0, dashB)))
        return order;
    return compareSegments(dashA == std::string::npos ? "" : a.substr(dashA + 1),
                           dashB == std::string::npos ? "" : b.substr(dashB + 1));
}

MediumPackages readMediumPackages(const InstalledState& state) {
    MediumPackages medium;
    driverUpdateCheck();
    appUpdateCheck();
    const PackageCheckDetails& driver = driverCheckDetails();
    const PackageCheckDetails& app = appCheckDetails();
    medium.driver = {driver.package.empty() ? state.driverPackage : driver.package, driver.file,
                     driver.fileVersion};
    medium.application = {app.package.empty() ? state.applicationPackage : app.package, app.file,
                          app.fileVersion};
    for (const std::string& path : browserPackageFiles()) {
        MediumPackage addon;
        addon.path = path;
        splitFileName(path, &addon.name, &addon.version);
        medium.addons.push_back(addon);
    }
    return medium;
}

Transaction buildTransaction(Action action, const Selection& selection, const InstalledState& state,
                             const MediumPackages& medium, bool removeDriver) {
    Transaction transaction;
    transaction.action = action;
    std::vector<TransactionStep>& steps = transaction.steps;
    if (action == Action::Remove) {
        if (!state.addon.empty())
            steps.push_back(removeStep(state.addonPackage, state.addon));
        if (!state.application.empty())
            steps.push_back(removeStep(state.applicationPackage, state.application));
        if (removeDriver && !state.driver.empty())
            steps.push_back(removeStep(state.driverPackage, state.driver));
        return transaction;
    }
    if (selection.components == 0)
        return transaction;
    const bool repair = action == Action::Repair;
    const bool modify = action == Action::Modify;
    // The installed driver counts only when it is the package of the medium's driver.
    const std::string driverInstalled =
        state.driverPackage == medium.driver.name ? state.driver : std::string();
    if (!medium.driver.path.empty()) {
        TransactionStep driver = stepFor(medium.driver, driverInstalled, false, StepAction::Keep,
                                         repair ? std::vector<std::string>{"-U", "--replacepkgs"}
                                                : std::vector<std::string>{"-U"});
        if (repair) {
            // A repair puts back the driver the medium carries, and no other.
            if (selection.has(DriverComponent) && driver.action == StepAction::Keep) {
                driver.action = StepAction::Reinstall;
                steps.push_back(driver);
            }
        } else if (selection.has(DriverComponent) || driver.action == StepAction::KeptNewer) {
            // A newer driver the host keeps is said too: the reason it is not installed.
            steps.push_back(driver);
        }
    }
    // A repair puts back what is installed, or what its record says was: without a
    // record an add-on that was never installed stays out.
    const bool addonWanted =
        selection.has(WebServerComponent) &&
        (!repair || !state.addon.empty() || state.recordState == RecordState::Read);
    for (const MediumPackage& addon : addonWanted ? medium.addons : std::vector<MediumPackage>()) {
        const std::string installed =
            addon.name == state.addonPackage ? state.addon : std::string();
        std::vector<std::string> options = {"-U", "--nodeps"};
        if (repair)
            options.push_back("--replacepkgs");
        TransactionStep step = stepFor(addon, installed, false,
                                       repair ? StepAction::Reinstall : StepAction::Keep, options);
        step.failsLast = action == Action::Install;
        steps.push_back(step);
    }
    if (modify && !selection.has(WebServerComponent) && !state.addon.empty())
        steps.push_back(removeStep(state.addonPackage, state.addon));
    transaction.applicationMissing = medium.application.path.empty();
    if (!transaction.applicationMissing) {
        // A repair or a modify installs the installed version again, with the new settings.
        steps.push_back(stepFor(medium.application, state.application, true, StepAction::Reinstall,
                                repair || modify ? std::vector<std::string>{"-U", "--replacepkgs"}
                                                 : std::vector<std::string>{"-U"}));
    }
    return transaction;
}

std::string transactionScriptText(const Transaction& transaction, const std::string& directory) {
    const std::vector<TransactionStep> steps = transaction.runningSteps();
    const std::string settings = shellQuote(directory + "/quorvelInstallSettings");
    const std::string error = shellQuote(directory + "/quorvelInstallError");
    // Every way the script ends, it prints this line last: the output reader hides it there.
    const std::string closing(OutputReader::ClosingLine, strlen(OutputReader::ClosingLine) - 1);
    const std::string total = std::to_string(steps.size());
    bool later = false;
    for (const TransactionStep& step : steps) later = later || step.failsLast;
    std::string s;
    s += "[ -f " + settings + " ] && . " + settings + "\n";
    s += "# The copies the checks passed: here, or where the root side's argument says.\n";
    s += "PACKAGES=${1:-" + shellQuote(directory + "/packages") + "}\n";
    s += "RUNNING_FROM_GUI=1\n";
    s += "export QRVLAUTOWEBSERVER QRVLAUTOMANAGEDSYSTEM QRVLAUTONOTIFIER QRVLAUTOSNMP "
         "RUNNING_FROM_GUI\n";
    s += "fail() {\n\techo $1 > " + error + "\n\techo '" + closing + "'\n\texit $1\n}\n";
    if (later)
        s += "LATER=0\n";
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const TransactionStep& step = steps[i];
        const std::string rpm = rpmWords(step);
        // Each step announces itself for the progress of the install (wizard/progress.h).
        s += "echo \"%% step " + std::to_string(i + 1) + " of " + total + "\"\n";
        if (step.action == StepAction::Remove) {
            s += "echo " + rpm + " " + shellQuote(step.package) + "\n";
            s += rpm + " " + shellQuote(step.package) + " || fail $?\n";
            continue;
        }
        // Paths are single-quoted words, so nothing in a path can run; rpm is given the
        // package's copy, whose name is a plain word (rpm takes quotes out of its files).
        const std::string& copy = step.file.empty() ? step.path : step.file;
        s += "FILE=" + shellQuote(step.path) + "\n";
        s += "echo " + rpm + " \"$FILE\"\n";
        s += rpm + " --percent \"$PACKAGES\"/" + shellQuote(baseName(copy)) +
             (step.failsLast ? " || LATER=$?\n" : " || fail $?\n");
    }
    // A failed add-on fails the install, once the application step has run as it would.
    if (later)
        s += "if [ $LATER -ne 0 ]; then fail $LATER; fi\n";
    s += "echo Done!!!!\n";
    s += "echo '" + closing + "'\n";
    s += "exit 0\n";
    return s;
}

const InstalledState& runInstalledState(InstallRun& run) {
    std::optional<InstalledState>& host = run.transactions.host;
    if (!host)
        host = readInstalledState();
    return *host;
}

const Transaction& runTransaction(InstallRun& run, const Selection& selection) {
    RunTransactionCache& cache = run.transactions;
    const Action action = installAction(run);
    std::optional<RunTransactionCache::Built>& built = cache.built;
    if (!built || built->transaction.action != action ||
        built->components != selection.components || built->removeDriver != removesDriver(run)) {
        const InstalledState& state = runInstalledState(run);
        if (!cache.medium)
            cache.medium = readMediumPackages(state);
        built = RunTransactionCache::Built{
            buildTransaction(action, selection, state, *cache.medium, removesDriver(run)),
            selection.components, removesDriver(run)};
        // A rollback installs the maintenance copy's packages of before, not the medium's.
        if (action == Action::Rollback)
            built->transaction.steps = rollbackSteps(state);
    }
    return built->transaction;
}

void forgetRunTransaction(InstallRun& run) {
    run.transactions = RunTransactionCache();
}
