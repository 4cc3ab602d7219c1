#include "unattended/unattended.h"

#include <glib.h>
#include <json-glib/json-glib.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "services/file_search.h"
#include "services/files.h"
#include "services/glib_memory.h"
#include "services/packages.h"
#include "services/string_service.h"
#include "services/switches.h"
#include "services/terminal_text.h"
#include "services/text_format.h"
#include "wizard/driver_notes.h"
#include "wizard/install_checks.h"
#include "wizard/install_log.h"
#include "wizard/install_plan.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/progress.h"
#include "wizard/startup.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

// What a run would do, for the plan of a dry run.
struct Plan {
    int exitStatus = ExitInstalled;
    bool licenseRequired = false;
    bool licenseAccepted = false;
    bool selected = false;        // the selection was made (start-up did not refuse)
    bool json = false;            // standard output carries one JSON object and nothing else
    bool licenseMissing = false;  // only the license's acceptance keeps the run from installing
    std::vector<std::string> notes;
    ChecksReport checks;  // what the checks before the first package found
};

std::string text(const ResourceID_C& id) {
    return getString(id);
}

std::string componentName(int index) {
    return text(ComponentTable[index].nameId);
}

// A line for the person or the script reading standard output or error.
void say(FILE* stream, const std::string& line) {
    std::string shown = isatty(fileno(stream)) ? terminalSafeText(line.c_str()) : line;
    fprintf(stream, "%s\n", shown.c_str());
    fflush(stream);
}

// Says what the choices could not do as asked: the medium's own setup type and the
// components not offered on standard error, those added for others on standard output.
void noteAppliedChoices(const Wizard& wizard, const AppliedChoices& applied, Plan& plan) {
    if (applied.setupTypeRefused) {
        std::string line = "stage3: this medium sets the setup type (" +
                           wizard.selection().setupTypeName() + "); the one asked for is not used";
        plan.notes.push_back(line);
        say(stderr, line);
    }
    for (int i : applied.notOffered) {
        std::string line = fillText(text(ComponentNotOfferedId), {componentName(i)});
        plan.notes.push_back(line);
        say(stderr, line);
    }
    for (int j : applied.added) {
        int requiring = wizard.requiredBy(j);
        if (requiring < 0)
            continue;
        std::string line =
            fillText(text(ComponentAddedId), {componentName(j), componentName(requiring)});
        plan.notes.push_back(line);
        if (!plan.json)
            say(stdout, line);
    }
}

// The selection as the graphical wizard would make it with these choices.
void select(Wizard& wizard, const Choices& choices, Plan& plan) {
    wizard.start(probeHost(), readPageRules());
    Choices given = choices;
    std::string kept;
    if (upgradeChoices(&given, &kept)) {
        plan.notes.push_back(kept);
        if (!plan.json)
            say(stdout, kept);
    }
    noteAppliedChoices(wizard, wizard.applyChoices(given), plan);
    plan.licenseRequired = wizard.hasPage(LicenseTitleId);
    plan.licenseAccepted = choices.acceptLicense;
    plan.selected = true;
}

// The package files the script would install, in its order.
std::vector<std::string> plannedPackages(const Selection& selection) {
    std::vector<std::string> files;
    for (const TransactionPackage& package : plannedInstall(selection))
        files.push_back(package.path);
    return files;
}

// The checks an install would make first, made without changing anything: a key the
// policy trusts is reported as to be imported, one it does not refuses the install.
void checkBeforeInstalling(Plan& plan, const Selection& selection) {
    plan.checks = runInstallChecks(plannedInstall(selection), CheckCallbacks(), false);
    if (plan.checks.refused())
        plan.exitStatus = ExitRefused;
}

// Texts in JSON are UTF-8: those of the database come in the locale's encoding.
std::string utf8(const std::string& localeText) {
    GCharPtr converted(g_locale_to_utf8(localeText.c_str(), -1, nullptr, nullptr, nullptr));
    if (!converted)
        converted.reset(g_utf8_make_valid(localeText.c_str(), -1));
    return converted.get();
}

// A path, or a text taken from a file name or rpm, in JSON: UTF-8 whatever its bytes
// (GLib's display name, where bytes that form no character become U+FFFD).
std::string displayName(const std::string& path) {
    return GCharPtr(g_filename_display_name(path.c_str())).get();
}

void addCheck(JsonBuilder* builder, const char* name, const PackageCheckDetails& details) {
    json_builder_set_member_name(builder, name);
    json_builder_begin_object(builder);
    auto member = [builder](const char* key, const std::string& value) {
        json_builder_set_member_name(builder, key);
        if (value.empty())
            json_builder_add_null_value(builder);
        else
            json_builder_add_string_value(builder, value.c_str());
    };
    member("package", utf8(details.package));
    member("file", displayName(details.file));
    member("version", displayName(details.fileVersion));
    member("installed", displayName(details.installed));
    json_builder_set_member_name(builder, "check");
    json_builder_add_int_value(builder, details.check);
    member("state", checkInWords(details));
    json_builder_end_object(builder);
}

void addStrings(JsonBuilder* builder, const char* name, const std::vector<std::string>& values) {
    json_builder_set_member_name(builder, name);
    json_builder_begin_array(builder);
    for (const std::string& value : values) json_builder_add_string_value(builder, value.c_str());
    json_builder_end_array(builder);
}

void addChecks(JsonBuilder* builder, const ChecksReport& checks) {
    json_builder_set_member_name(builder, "checks");
    json_builder_begin_array(builder);
    for (const CheckItem& check : checks.items) {
        json_builder_begin_object(builder);
        json_builder_set_member_name(builder, "kind");
        json_builder_add_string_value(builder, check.kind.c_str());
        json_builder_set_member_name(builder, "subject");
        json_builder_add_string_value(builder, displayName(check.subject).c_str());
        json_builder_set_member_name(builder, "ok");
        json_builder_add_boolean_value(builder, check.ok);
        std::string message = utf8(check.message);
        for (const std::string& detail : check.details) message += "\n" + utf8(detail);
        json_builder_set_member_name(builder, "message");
        json_builder_add_string_value(builder, message.c_str());
        json_builder_end_object(builder);
    }
    json_builder_end_array(builder);
}

std::vector<std::string> componentList(const Selection& selection) {
    std::vector<std::string> names;
    for (int i = 0; i < NumberOfComponents; ++i)
        if (selection.has(i))
            names.push_back(ComponentNames[i]);
    return names;
}

// Whether the plan lists the packages: a run would install them, or would once the
// license is accepted, or the checks refused them.
bool wholePlan(const Plan& plan) {
    return plan.exitStatus == ExitInstalled || plan.licenseMissing || plan.checks.refused();
}

void printJsonPlan(const Plan& plan, const Selection& selection) {
    JsonBuilder* builder = json_builder_new();
    json_builder_begin_object(builder);
    json_builder_set_member_name(builder, "medium");
    json_builder_add_string_value(builder, displayName(currentDirectory()).c_str());
    json_builder_set_member_name(builder, "exit_status");
    json_builder_add_int_value(builder, plan.exitStatus);
    std::vector<std::string> refusal;
    for (const std::string& line : startupRefusal()) refusal.push_back(utf8(line));
    addStrings(builder, "refusal", refusal);
    addCheck(builder, "application", appCheckDetails());
    addCheck(builder, "driver", driverCheckDetails());
    json_builder_set_member_name(builder, "license_required");
    json_builder_add_boolean_value(builder, plan.licenseRequired);
    json_builder_set_member_name(builder, "license_accepted");
    json_builder_add_boolean_value(builder, plan.licenseAccepted);
    json_builder_set_member_name(builder, "setup_type");
    if (plan.selected)
        json_builder_add_string_value(builder, selection.setupTypeName().c_str());
    else
        json_builder_add_null_value(builder);
    addStrings(builder, "components",
               plan.selected ? componentList(selection) : std::vector<std::string>());
    std::vector<std::string> packages;
    if (plan.selected && wholePlan(plan))
        for (const std::string& file : plannedPackages(selection))
            packages.push_back(displayName(file));
    addStrings(builder, "packages", packages);
    json_builder_set_member_name(builder, "kernel_rebuild");
    json_builder_add_boolean_value(builder, kernelRebuildNeeded() != 0);
    json_builder_set_member_name(builder, "restart_needed");
    json_builder_add_boolean_value(
        builder, plan.selected && plan.exitStatus == ExitInstalled && restartExpected(selection));
    std::vector<std::string> notes;
    for (const std::string& note : plan.notes) notes.push_back(utf8(note));
    addStrings(builder, "notes", notes);
    addChecks(builder, plan.checks);
    json_builder_end_object(builder);

    JsonGenerator* generator = json_generator_new();
    JsonNode* root = json_builder_get_root(builder);
    json_generator_set_root(generator, root);
    json_generator_set_pretty(generator, TRUE);
    printf("%s\n", GCharPtr(json_generator_to_data(generator, nullptr)).get());
    json_node_unref(root);
    g_object_unref(generator);
    g_object_unref(builder);
}

std::string checkText(const PackageCheckDetails& details) {
    std::string check =
        " (" + checkInWords(details) + ", check " + std::to_string(details.check) + ")";
    if (details.file.empty())
        return "no package file" + check;
    return details.file + " " + details.fileVersion +
           ", installed: " + (details.installed.empty() ? "none" : details.installed) + check;
}

void printPlan(const Plan& plan, const Selection& selection) {
    say(stdout, terminalSafeLine("medium: " + currentDirectory()));
    say(stdout, terminalSafeLine("application: " + checkText(appCheckDetails())));
    say(stdout, terminalSafeLine("driver: " + checkText(driverCheckDetails())));
    if (plan.selected) {
        say(stdout, std::string("license: ") + (!plan.licenseRequired  ? "not shown"
                                                : plan.licenseAccepted ? "accepted"
                                                                       : "not accepted"));
        say(stdout, "setup type: " + selection.setupTypeName());
        say(stdout, "components: " + selection.componentNames(" "));
        std::string files;
        for (const std::string& file :
             wholePlan(plan) ? plannedPackages(selection) : std::vector<std::string>())
            files += (files.empty() ? "" : " ") + file;
        say(stdout, terminalSafeLine("packages: " + files));
        if (wholePlan(plan))
            for (const std::string& line : packagePlanLines(selection))
                say(stdout, terminalSafeLine("  " + line));
        if (plan.licenseMissing)
            say(stdout, text(PlanLicenseMissingId));
    }
    say(stdout, std::string("kernel rebuild: ") + (kernelRebuildNeeded() ? "yes" : "no"));
    if (plan.selected && plan.exitStatus == ExitInstalled && restartExpected(selection))
        say(stdout, "restart needed: yes");
    for (const CheckItem& check : plan.checks.items) {
        say(stdout, terminalSafeLine("check " + check.kind + ": " + (check.ok ? "ok" : "FAILED") +
                                     ": " + check.message));
        for (const std::string& detail : check.details)
            say(stdout, terminalSafeLine("  " + detail));
    }
    say(stdout, "exit status: " + std::to_string(plan.exitStatus));
}

int showPlan(const Plan& plan, const Selection& selection, bool json) {
    if (json)
        printJsonPlan(plan, selection);
    else
        printPlan(plan, selection);
    return plan.exitStatus;
}

std::string logPlace() {
    if (!installLogWritten())
        return "";
    return " " + fillText(text(LogPlaceId), {installLogPath()});
}

// How an install without a person reports: lines for a person (a progress line
// updated in place on a terminal), errors and the result only, or JSON lines.
enum class Report { Lines, Quiet, Json };

// One JSON object on a line of standard output.
void jsonLine(const std::function<void(JsonBuilder*)>& members) {
    JsonBuilder* builder = json_builder_new();
    json_builder_begin_object(builder);
    members(builder);
    json_builder_end_object(builder);
    JsonGenerator* generator = json_generator_new();
    JsonNode* root = json_builder_get_root(builder);
    json_generator_set_root(generator, root);
    printf("%s\n", GCharPtr(json_generator_to_data(generator, nullptr)).get());
    fflush(stdout);
    json_node_unref(root);
    g_object_unref(generator);
    g_object_unref(builder);
}

void jsonString(JsonBuilder* builder, const char* name, const std::string& value) {
    json_builder_set_member_name(builder, name);
    json_builder_add_string_value(builder, value.c_str());
}

void jsonInt(JsonBuilder* builder, const char* name, int value) {
    json_builder_set_member_name(builder, name);
    json_builder_add_int_value(builder, value);
}

// What is about to be installed: the medium, the components and each package.
void sayHeader(const Selection& selection) {
    say(stdout, fillText(text(HeaderMediumId), {terminalSafeLine(currentDirectory())}));
    say(stdout, fillText(text(HeaderComponentsId), {selection.componentNames(" ")}));
    std::vector<std::string> lines = packagePlanLines(selection);
    if (lines.empty())
        return;
    say(stdout, text(PackagesHeadingId));
    for (const std::string& line : lines) say(stdout, terminalSafeLine("  " + line));
}

// The install's output and progress as the report asks.
struct Reporter {
    Report report = Report::Lines;
    bool toTerminal = false;
    InstallProgress progress;
    int step = 0, steps = 0;
    int percentShown = -1;
    bool lineOpen = false;  // a progress line updated in place, not yet ended
    std::string partial;    // JSON: output not yet ended by a newline

    void endLine() {
        if (lineOpen)
            fputs("\n", stdout);
        lineOpen = false;
    }

    void output(const std::string& output) {
        if (report == Report::Quiet)
            return;
        if (report == Report::Json) {
            partial += output;
            for (std::size_t end; (end = partial.find('\n')) != std::string::npos;) {
                std::string line = utf8(partial.substr(0, end));
                partial.erase(0, end + 1);
                jsonLine([&](JsonBuilder* b) {
                    jsonString(b, "event", "output");
                    jsonString(b, "line", line);
                });
            }
            return;
        }
        endLine();
        std::string shown = toTerminal ? terminalSafeText(output.c_str()) : output;
        fwrite(shown.data(), 1, shown.size(), stdout);
        fflush(stdout);
    }

    void progressLine(const std::string& line) {
        progress.take(line, g_get_monotonic_time());
        int of = 0, at = 0;
        if (sscanf(line.c_str(), "%%%% step %d of %d", &at, &of) == 2) {
            step = at;
            steps = of;
            if (report == Report::Json)
                jsonLine([&](JsonBuilder* b) {
                    jsonString(b, "event", "step");
                    jsonInt(b, "step", step);
                    jsonInt(b, "of", steps);
                });
            else if (report == Report::Lines && !toTerminal)
                show(true);
        }
        show(false);
    }

    // The progress: on a terminal one line rewritten in place; in a pipe a line per
    // step; as JSON an event each whole percent.
    void show(bool force) {
        int percent = static_cast<int>(progress.fraction() * 100 + 1e-9);
        if (report == Report::Quiet || (percent == percentShown && !force))
            return;
        percentShown = percent;
        if (report == Report::Json) {
            jsonLine([&](JsonBuilder* b) {
                jsonString(b, "event", "progress");
                jsonInt(b, "percent", percent);
            });
            return;
        }
        std::string line = fillText(text(ConsoleProgressLineId), {std::to_string(percent)});
        if (steps)
            line += " (" + std::to_string(step) + "/" + std::to_string(steps) + ")";
        if (!toTerminal) {
            if (force)
                say(stdout, line);
            return;
        }
        fprintf(stdout, "\r%s", terminalSafeText(line.c_str()).c_str());
        fflush(stdout);
        lineOpen = true;
    }
};

int install(Wizard& wizard, Report report) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    InstallOutcome result;
    InstallObserver observer;
    Reporter reporter;
    reporter.report = report;
    reporter.toTerminal = isatty(STDOUT_FILENO);
    if (report == Report::Lines)
        sayHeader(wizard.selection());
    observer.output = [&reporter](const std::string& output) { reporter.output(output); };
    observer.progress = [&reporter](const std::string& line) { reporter.progressLine(line); };
    observer.ended = [&](const InstallOutcome& outcome) {
        result = outcome;
        g_main_loop_quit(loop);
    };
    observer.askOnTerminal = true;
    int status = ExitInstalled;
    std::vector<std::string> resultLines;
    switch (startInstallRun(wizard.selection(), observer)) {
        case InstallStart::NothingSelected:
            resultLines.push_back(text(ResultNothingSelectedId));
            break;
        case InstallStart::NotStarted:
            writeErrorLine(installNotStartedReason());
            status = notStartedExitStatus();
            break;
        case InstallStart::Running:
            g_main_loop_run(loop);
            if (!reporter.partial.empty())
                reporter.output("\n");
            reporter.progress.finish(result.succeeded);
            // A pipe gets the full bar of a finished install as a line of its own too.
            reporter.show(result.succeeded);
            reporter.endLine();
            wizard.finishInstall(result.succeeded);
            resultLines.push_back(text(result.succeeded ? ResultInstalledId : ResultFailedId) +
                                  logPlace());
            for (ResourceID_C id : driverResultTexts(result)) resultLines.push_back(text(id));
            {
                std::string proxy = proxyNoticeLine(wizard.selection(), wizard.installed());
                if (!proxy.empty())
                    resultLines.push_back(proxy);
            }
            status = wizard.exitStatus();
            break;
    }
    if (report == Report::Json) {
        jsonLine([&](JsonBuilder* b) {
            jsonString(b, "event", "result");
            jsonInt(b, "exit_status", status);
            json_builder_set_member_name(b, "installed");
            json_builder_add_boolean_value(b,
                                           status == ExitInstalled || status == ExitRestartNeeded);
            json_builder_set_member_name(b, "restart_needed");
            json_builder_add_boolean_value(b, status == ExitRestartNeeded);
            json_builder_set_member_name(b, "log");
            if (installLogWritten())
                json_builder_add_string_value(b, displayName(installLogPath()).c_str());
            else
                json_builder_add_null_value(b);
            std::vector<std::string> lines;
            for (const std::string& line : resultLines) lines.push_back(utf8(line));
            addStrings(b, "lines", lines);
        });
    } else {
        for (const std::string& line : resultLines) say(stdout, line);
    }
    g_main_loop_unref(loop);
    return status;
}

}  // namespace

int runUnattended(const Choices& choices, bool dryRun, bool json, bool quiet) {
    Wizard wizard;
    Plan plan;
    plan.json = json;
    plan.exitStatus = checkStartupPreconditions();
    if (plan.exitStatus != 0 && dryRun)
        driverUpdateCheck();  // the plan names the driver file whatever refused
    if (plan.exitStatus != 0)
        return dryRun ? showPlan(plan, wizard.selection(), json) : plan.exitStatus;
    select(wizard, choices, plan);
    if (plan.licenseRequired && !plan.licenseAccepted) {
        writeErrorLine(LicenseNotAcceptedId);
        plan.exitStatus = ExitCancelled;
        plan.licenseMissing = true;
        plan.notes.push_back(text(PlanLicenseMissingId));
    }
    // The plan is whole without the license's acceptance too; the status stays.
    if (dryRun && (plan.exitStatus == ExitInstalled || plan.licenseMissing)) {
        int status = plan.exitStatus;
        checkBeforeInstalling(plan, wizard.selection());
        if (plan.licenseMissing)
            plan.exitStatus = status;
    }
    if (dryRun)
        return showPlan(plan, wizard.selection(), json);
    if (plan.exitStatus != ExitInstalled)
        return plan.exitStatus;

    createStartMarker();
    int status = install(wizard, json ? Report::Json : quiet ? Report::Quiet : Report::Lines);
    stringUnInit();
    removeStartMarker();
    return status;
}
