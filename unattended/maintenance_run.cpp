#include "unattended/maintenance_run.h"

#include <glib.h>
#include <json-glib/json-glib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "services/files.h"
#include "services/glib_memory.h"
#include "services/packages.h"
#include "services/string_service.h"
#include "services/terminal_text.h"
#include "services/text_format.h"
#include "unattended/run_report.h"
#include "wizard/install_checks.h"
#include "wizard/install_log.h"
#include "wizard/install_plan.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/maintenance_copy.h"
#include "wizard/startup.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"

namespace {

// One JSON object built member by member.
class JsonOutput {
  public:
    JsonOutput() : builder_(json_builder_new()) { json_builder_begin_object(builder_); }
    ~JsonOutput() { g_object_unref(builder_); }
    JsonOutput(const JsonOutput&) = delete;
    JsonOutput& operator=(const JsonOutput&) = delete;

    void text(const char* name, const std::string& value) {
        json_builder_set_member_name(builder_, name);
        if (value.empty())
            json_builder_add_null_value(builder_);
        else
            json_builder_add_string_value(builder_, utf8(value).c_str());
    }
    void number(const char* name, gint64 value) {
        json_builder_set_member_name(builder_, name);
        json_builder_add_int_value(builder_, value);
    }
    void texts(const char* name, const std::vector<std::string>& values) {
        json_builder_set_member_name(builder_, name);
        json_builder_begin_array(builder_);
        for (const std::string& value : values)
            json_builder_add_string_value(builder_, utf8(value).c_str());
        json_builder_end_array(builder_);
    }
    void begin(const char* name) {
        json_builder_set_member_name(builder_, name);
        json_builder_begin_object(builder_);
    }
    void end() { json_builder_end_object(builder_); }
    JsonBuilder* builder() { return builder_; }
    void print() {
        json_builder_end_object(builder_);
        JsonNode* root = json_builder_get_root(builder_);
        JsonGenerator* generator = json_generator_new();
        json_generator_set_root(generator, root);
        json_generator_set_pretty(generator, TRUE);
        printf("%s\n", GCharPtr(json_generator_to_data(generator, nullptr)).get());
        g_object_unref(generator);
        json_node_unref(root);
    }

  private:
    JsonBuilder* builder_;
};

std::string addonFileVersion(const InstalledState& state) {
    std::vector<std::string> files = browserPackageFiles();
    return files.empty() ? "" : packageFileVersion(files.front(), state.addonPackage);
}

// What a plain start would do, and what else may run.
std::string wouldDo(const InstalledState& state) {
    switch (appUpdateCheck()) {
        case UPDATE_NOT_INSTALLED:
            return "install";
        case UPDATE_OLDER_INSTALLED:
            return "upgrade from " + state.application +
                   (state.recordState == RecordState::Read ? ", the recorded choices preselected"
                                                           : "") +
                   "; --remove removes " + state.application;
        case UPDATE_SAME_INSTALLED:
            return "this version is installed: --repair, --modify, --remove (or --maintain)";
        case UPDATE_NEWER_INSTALLED:
            return "nothing: a newer version (" + state.application +
                   ") is installed; --remove removes it";
        default:
            return state.application.empty()
                       ? "nothing: no package to install on the medium"
                       : "nothing to install: no package on the medium; --remove removes " +
                             state.application;
    }
}

std::string orNone(const std::string& version) {
    return version.empty() ? "none" : version;
}

std::string recordStateName(RecordState state) {
    return state == RecordState::Read ? "read" : state == RecordState::Missing ? "none" : "refused";
}

// The rpm commands of the steps that run, as the script shows them.
std::vector<std::string> stepLines(const Transaction& transaction) {
    std::vector<std::string> lines;
    for (const TransactionStep& step : transaction.runningSteps()) {
        std::string line = "rpm";
        for (const std::string& option : step.options) line += " " + option;
        lines.push_back(line + " " +
                        (step.action == StepAction::Remove ? step.package : step.path));
    }
    return lines;
}

// Runs the action through the install run, reported as `report` asks.
int run(InstallRun& installRun, const Selection& selection, Report report) {
    return runAndReport(installRun, selection, report);
}

// The packages a remove takes away, each with its installed version.
std::vector<std::string> removedPackages(const Transaction& transaction) {
    std::vector<std::string> lines;
    for (const TransactionStep& step : transaction.steps)
        if (step.action == StepAction::Remove)
            lines.push_back(step.package + " " + step.installed);
    return lines;
}

// Whether the remove may go ahead: asked on the terminal (No is the default). Without a
// terminal to answer, only --yes lets it; `status` is then the refusal's.
bool removeConfirmed(const std::vector<std::string>& packages, bool json, int* status) {
    if (!isatty(STDIN_FILENO)) {
        writeErrorLine(RemoveNeedsYesId);
        *status = ExitUsage;
        return false;
    }
    // The question goes where it does not mix with JSON on standard output.
    FILE* out = json ? stderr : stdout;
    say(out, getString(RemoveSummaryId));
    for (const std::string& package : packages) say(out, "  " + package);
    fprintf(out, "%s [y/N]: ", terminalSafeText(getString(RemoveQuestionId)).c_str());
    fflush(out);
    // What was typed before the question is no answer to it.
    tcflush(STDIN_FILENO, TCIFLUSH);
    char answer[64] = "";
    if (!fgets(answer, sizeof answer, stdin))
        answer[0] = '\0';
    std::string word(answer, strcspn(answer, "\r\n"));
    for (char& c : word) c = static_cast<char>(g_ascii_tolower(c));
    if (word == "y" || word == "yes")
        return true;
    say(out, getString(NothingRemovedId));
    *status = ExitCancelled;
    return false;
}

}  // namespace

int showStatus(InstallRun& run, bool json) {
    if (!stringInit()) {
        say(stderr, "stage3: the medium's resource file cannot be loaded");
        return 0;
    }
    const InstalledState& state = runInstalledState(run);
    const PackageCheckDetails& app = appCheckDetails();
    const PackageCheckDetails& driver = driverCheckDetails();
    struct Row {
        const char* name;
        const char* key;  // the JSON key beside `name`, where it differs
        std::string package, medium, installed;
    };
    const Row rows[] = {
        {"application", nullptr, state.applicationPackage, app.fileVersion, state.application},
        {"driver", nullptr, state.driverPackage, driver.fileVersion, state.driver},
        {"add-on", "addon", state.addonPackage, addonFileVersion(state), state.addon}};
    const InstallRecord& record = state.record;
    const bool read = state.recordState == RecordState::Read;
    const std::string path = installRecordPath(state.applicationPackage);
    const MaintenanceCopyInfo copy = maintenanceCopyInfo(state.applicationPackage);
    if (json) {
        JsonOutput object;
        object.number("schema_version", JsonSchemaVersion);
        object.text("medium", currentDirectory());
        for (const Row& row : rows) {
            // "add-on" is the key of the first release, kept beside "addon" for one more.
            for (const char* name : {row.name, row.key}) {
                if (!name)
                    continue;
                object.begin(name);
                object.text("package", row.package);
                object.text("medium", row.medium);
                object.text("installed", row.installed);
                object.end();
            }
        }
        object.begin("record");
        object.text("path", path);
        object.text("state", recordStateName(state.recordState));
        object.text("reason", state.recordError);
        object.text("setup_type", read ? record.setupType : "");
        object.texts("components", read ? record.components : std::vector<std::string>());
        object.text("application_version", record.applicationVersion);
        object.text("driver_version", record.driverVersion);
        object.text("addon_version", record.addonVersion);
        object.text("medium", record.medium);
        object.text("manifest_sha256", record.manifestDigest);
        object.text("time", record.time);
        object.text("log", record.log);
        object.end();
        object.text("record_state", recordAgreement(state));
        object.begin("maintenance_copy");
        object.text("path", copy.path);
        object.number("size", static_cast<gint64>(copy.size));
        object.end();
        object.text("would_do", wouldDo(state));
        jsonError(object.builder(), ErrorKind::None, {});
        object.number("exit_status", 0);
        object.print();
        return 0;
    }
    say(stdout, terminalSafeLine("medium: " + currentDirectory()));
    for (const Row& row : rows)
        say(stdout, std::string(row.name) + ": " + (row.package.empty() ? "-" : row.package) +
                        ", medium " + (row.medium.empty() ? "none" : row.medium) + ", installed " +
                        (row.installed.empty() ? "none" : row.installed));
    if (read) {
        say(stdout, terminalSafeLine("record: " + path));
        say(stdout, "  setup type: " + record.setupType);
        std::string components;
        for (const std::string& c : record.components)
            components += (components.empty() ? "" : " ") + c;
        say(stdout, "  components: " + components);
        say(stdout, "  versions: application " + record.applicationVersion + ", driver " +
                        (record.driverVersion.empty() ? "none" : record.driverVersion) +
                        ", add-on " + (record.addonVersion.empty() ? "none" : record.addonVersion));
        say(stdout, terminalSafeLine("  installed " + record.time + " from " + record.medium +
                                     (record.log.empty() ? "" : ", log " + record.log)));
        if (std::string(recordAgreement(state)) == "stale")
            say(stdout, "  stale: rpm has application " + orNone(state.application) + ", driver " +
                            orNone(state.driver) + ", add-on " + orNone(state.addon) +
                            " (changed since the record was written)");
    } else {
        say(stdout, terminalSafeLine("record: " + (state.recordState == RecordState::Missing
                                                       ? "none (" + path + ")"
                                                       : "not used: " + state.recordError)));
    }
    say(stdout, terminalSafeLine("maintenance copy: " +
                                 (copy.path.empty()
                                      ? std::string("none")
                                      : copy.path + " (" + std::to_string(copy.size) + " bytes)")));
    say(stdout, "would do: " + wouldDo(state));
    return 0;
}

int runMaintenance(InstallRun& installRun, const Choices& choices,
                   const MaintenanceOptions& options) {
    const bool dryRun = options.dryRun, json = options.json;
    const Action action = installAction(installRun);
    int status = checkStartupPreconditions(installRun);
    const std::vector<std::string>& startupRefusal = installRun.startupRefusal;
    if (status != 0 && json && dryRun) {
        JsonOutput object;
        object.number("schema_version", JsonSchemaVersion);
        object.text("medium", currentDirectory());
        object.text("action", actionName(action));
        object.texts("refusal", startupRefusal);
        object.number("exit_status", status);
        jsonError(object.builder(), installRun.startupRefusalKind, startupRefusal);
        object.print();
    } else if (status != 0 && json) {
        printRefusalEvent(status, installRun.startupRefusalKind, startupRefusal);
    }
    if (status != 0)
        return status;
    const InstalledState& state = runInstalledState(installRun);
    std::string note;
    const Selection selection = maintenanceSelection(action, choices, state, &note);
    if (!note.empty() && !json)
        say(stderr, note);
    if (!dryRun && action == Action::Remove && !options.assumeYes &&
        !removeConfirmed(removedPackages(runTransaction(installRun, selection)), json, &status)) {
        if (json)
            printRefusalEvent(
                status, status == ExitUsage ? ErrorKind::Usage : ErrorKind::Cancelled,
                {getString(status == ExitUsage ? RemoveNeedsYesId : NothingRemovedId)});
        return status;
    }
    if (!dryRun) {
        createStartMarker(installRun);
        status = run(installRun, selection,
                     json            ? Report::Json
                     : options.quiet ? Report::Quiet
                                     : Report::Lines);
        stringUnInit();
        removeStartMarker(installRun);
        return status;
    }
    const ChecksReport checks = runInstallChecks(plannedInstall(installRun, selection),
                                                 CheckCallbacks(), false, installRun.checkPolicy);
    status = checks.refused() ? ExitRefused : ExitInstalled;
    const Transaction& transaction = runTransaction(installRun, selection);
    const std::vector<std::string> steps = stepLines(transaction);
    std::vector<std::string> components;
    for (int i = 0; i < NumberOfComponents; ++i)
        if (selection.has(i))
            components.push_back(ComponentNames[i]);
    if (json) {
        JsonOutput object;
        object.number("schema_version", JsonSchemaVersion);
        object.text("medium", currentDirectory());
        object.text("action", actionName(action));
        object.text("setup_type", selection.setupTypeName());
        object.texts("components", components);
        object.texts("steps", steps);
        jsonSteps(object.builder(), "transaction", transaction.steps);
        object.texts("notes", note.empty() ? std::vector<std::string>() : std::vector{note});
        object.texts("refusal", checks.refusalLines());
        object.number("exit_status", status);
        jsonError(object.builder(), checks.refusalKind(), checks.refusalLines());
        object.print();
        return status;
    }
    say(stdout, terminalSafeLine("medium: " + currentDirectory()));
    say(stdout, std::string("action: ") + actionName(action));
    say(stdout, "setup type: " + selection.setupTypeName());
    say(stdout, "components: " + selection.componentNames(" "));
    for (const std::string& step : steps) say(stdout, terminalSafeLine("step: " + step));
    for (const TransactionStep& step : transaction.steps)
        say(stdout, terminalSafeLine("  " + packagePlanLine(step)));
    for (const CheckItem& check : checks.items)
        say(stdout, terminalSafeLine("check " + check.kind + ": " + (check.ok ? "ok" : "FAILED") +
                                     ": " + check.message));
    say(stdout, "exit status: " + std::to_string(status));
    return status;
}
