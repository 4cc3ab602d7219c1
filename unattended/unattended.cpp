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
#include "unattended/run_report.h"
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
#include "wizard/transaction.h"
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
    ChecksReport checks;                  // what the checks before the first package found
    const InstallRun* startup = nullptr;  // the run, whose start-up checks may have refused
};

std::string text(const ResourceID_C& id) {
    return getString(id);
}

std::string componentName(int index) {
    return text(ComponentTable[index].nameId);
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
std::vector<std::string> plannedPackages(InstallRun& run, const Selection& selection) {
    std::vector<std::string> files;
    for (const TransactionPackage& package : plannedInstall(run, selection))
        files.push_back(package.path);
    return files;
}

// The checks an install would make first, made without changing anything: a key the
// policy trusts is reported as to be imported, one it does not refuses the install.
void checkBeforeInstalling(InstallRun& run, Plan& plan, const Selection& selection) {
    plan.checks =
        runInstallChecks(plannedInstall(run, selection), CheckCallbacks(), false, run.checkPolicy);
    if (plan.checks.refused())
        plan.exitStatus = ExitRefused;
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

void addChecks(JsonBuilder* builder, const ChecksReport& checks) {
    json_builder_set_member_name(builder, "checks");
    json_builder_begin_array(builder);
    for (const CheckItem& check : checks.items) {
        json_builder_begin_object(builder);
        json_builder_set_member_name(builder, "kind");
        json_builder_add_string_value(builder, check.kind.c_str());
        json_builder_set_member_name(builder, "subject");
        json_builder_add_string_value(builder, displayName(check.subject).c_str());
        std::vector<std::string> subjects;
        for (const std::string& subject : check.subjects) subjects.push_back(displayName(subject));
        jsonStrings(builder, "subjects", subjects);
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

// Why the plan would not install, and its lines.
ErrorKind planError(const Plan& plan, std::vector<std::string>* lines) {
    if (plan.exitStatus == ExitInstalled)
        return ErrorKind::None;
    if (!plan.startup->startupRefusal.empty()) {
        *lines = plan.startup->startupRefusal;
        return plan.startup->startupRefusalKind;
    }
    if (plan.licenseMissing) {
        lines->push_back(text(LicenseNotAcceptedId));
        return ErrorKind::LicenseNotAccepted;
    }
    *lines = plan.checks.refusalLines();
    return plan.checks.refusalKind();
}

void printJsonPlan(InstallRun& run, const Plan& plan, const Selection& selection) {
    JsonBuilder* builder = json_builder_new();
    json_builder_begin_object(builder);
    jsonInt(builder, "schema_version", JsonSchemaVersion);
    json_builder_set_member_name(builder, "medium");
    json_builder_add_string_value(builder, displayName(currentDirectory()).c_str());
    json_builder_set_member_name(builder, "exit_status");
    json_builder_add_int_value(builder, plan.exitStatus);
    std::vector<std::string> refusal;
    for (const std::string& line : plan.startup->startupRefusal) refusal.push_back(utf8(line));
    jsonStrings(builder, "refusal", refusal);
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
    jsonStrings(builder, "components",
                plan.selected ? componentList(selection) : std::vector<std::string>());
    std::vector<std::string> packages;
    if (plan.selected && wholePlan(plan))
        for (const std::string& file : plannedPackages(run, selection))
            packages.push_back(displayName(file));
    jsonStrings(builder, "packages", packages);
    // What happens to each package, those kept as they are included.
    jsonSteps(builder, "steps",
              plan.selected && wholePlan(plan) ? runTransaction(run, selection).steps
                                               : std::vector<TransactionStep>());
    json_builder_set_member_name(builder, "kernel_rebuild");
    json_builder_add_boolean_value(builder, kernelRebuildNeeded() != 0);
    json_builder_set_member_name(builder, "restart_needed");
    json_builder_add_boolean_value(
        builder, plan.selected && plan.exitStatus == ExitInstalled && restartExpected(selection));
    std::vector<std::string> notes;
    for (const std::string& note : plan.notes) notes.push_back(utf8(note));
    jsonStrings(builder, "notes", notes);
    addChecks(builder, plan.checks);
    std::vector<std::string> errorLines;
    ErrorKind kind = planError(plan, &errorLines);
    jsonError(builder, kind, errorLines);
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

void printPlan(InstallRun& run, const Plan& plan, const Selection& selection) {
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
             wholePlan(plan) ? plannedPackages(run, selection) : std::vector<std::string>())
            files += (files.empty() ? "" : " ") + file;
        say(stdout, terminalSafeLine("packages: " + files));
        if (wholePlan(plan))
            for (const std::string& line : packagePlanLines(run, selection))
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

int showPlan(InstallRun& run, const Plan& plan, const Selection& selection, bool json) {
    if (json)
        printJsonPlan(run, plan, selection);
    else
        printPlan(run, plan, selection);
    return plan.exitStatus;
}

// What is about to be installed: the medium, the components and each package.
void sayHeader(InstallRun& run, const Selection& selection) {
    say(stdout, fillText(text(HeaderMediumId), {terminalSafeLine(currentDirectory())}));
    say(stdout, fillText(text(HeaderComponentsId), {selection.componentNames(" ")}));
    std::vector<std::string> lines = packagePlanLines(run, selection);
    if (lines.empty())
        return;
    say(stdout, text(PackagesHeadingId));
    for (const std::string& line : lines) say(stdout, terminalSafeLine("  " + line));
}

int install(Wizard& wizard, Report report) {
    if (report == Report::Lines)
        sayHeader(wizard.run(), wizard.selection());
    return runAndReport(wizard.run(), wizard.selection(), report,
                        [&wizard](const RunResult& result) { wizard.finishInstall(result); });
}

}  // namespace

int runUnattended(InstallRun& run, const Choices& choices, bool dryRun, bool json, bool quiet) {
    Wizard wizard(run);
    Plan plan;
    plan.json = json;
    plan.startup = &run;
    plan.exitStatus = checkStartupPreconditions(run);
    if (plan.exitStatus != 0 && dryRun)
        driverUpdateCheck();  // the plan names the driver file whatever refused
    if (plan.exitStatus != 0 && !dryRun && json)
        printRefusalEvent(plan.exitStatus, run.startupRefusalKind, run.startupRefusal);
    if (plan.exitStatus != 0)
        return dryRun ? showPlan(run, plan, wizard.selection(), json) : plan.exitStatus;
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
        checkBeforeInstalling(run, plan, wizard.selection());
        if (plan.licenseMissing)
            plan.exitStatus = status;
    }
    if (dryRun)
        return showPlan(run, plan, wizard.selection(), json);
    if (plan.exitStatus != ExitInstalled) {
        if (json)
            printRefusalEvent(plan.exitStatus, ErrorKind::LicenseNotAccepted,
                              {text(LicenseNotAcceptedId)});
        return plan.exitStatus;
    }

    createStartMarker(run);
    int status = install(wizard, json ? Report::Json : quiet ? Report::Quiet : Report::Lines);
    stringUnInit();
    removeStartMarker(run);
    return status;
}
