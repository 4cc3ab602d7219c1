#include "unattended/run_report.h"

#include <glib.h>
#include <unistd.h>

#include "services/glib_memory.h"
#include "services/string_service.h"
#include "services/terminal_text.h"
#include "services/text_format.h"
#include "wizard/install_log.h"
#include "wizard/install_plan.h"
#include "wizard/progress.h"
#include "wizard/startup.h"
#include "wizard/text_ids.h"

void say(FILE* stream, const std::string& line) {
    std::string shown = isatty(fileno(stream)) ? terminalSafeText(line.c_str()) : line;
    fprintf(stream, "%s\n", shown.c_str());
    fflush(stream);
}

std::string utf8(const std::string& localeText) {
    GCharPtr converted(g_locale_to_utf8(localeText.c_str(), -1, nullptr, nullptr, nullptr));
    if (!converted)
        converted.reset(g_utf8_make_valid(localeText.c_str(), -1));
    return converted.get();
}

std::string displayName(const std::string& path) {
    return GCharPtr(g_filename_display_name(path.c_str())).get();
}

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

void jsonStrings(JsonBuilder* builder, const char* name, const std::vector<std::string>& values) {
    json_builder_set_member_name(builder, name);
    json_builder_begin_array(builder);
    for (const std::string& value : values) json_builder_add_string_value(builder, value.c_str());
    json_builder_end_array(builder);
}

void jsonSteps(JsonBuilder* builder, const char* name, const std::vector<TransactionStep>& steps) {
    auto member = [builder](const char* key, const std::string& value) {
        json_builder_set_member_name(builder, key);
        if (value.empty())
            json_builder_add_null_value(builder);
        else
            json_builder_add_string_value(builder, displayName(value).c_str());
    };
    json_builder_set_member_name(builder, name);
    json_builder_begin_array(builder);
    for (const TransactionStep& step : steps) {
        json_builder_begin_object(builder);
        member("package", step.package);
        member("file", step.path);
        member("installed", step.installed);
        member("version", step.version);
        member("action", stepActionName(step.action));
        json_builder_end_object(builder);
    }
    json_builder_end_array(builder);
}

void jsonError(JsonBuilder* builder, ErrorKind kind, const std::vector<std::string>& lines) {
    json_builder_set_member_name(builder, "error");
    if (kind == ErrorKind::None) {
        json_builder_add_null_value(builder);
        return;
    }
    json_builder_begin_object(builder);
    jsonString(builder, "kind", errorKindName(kind));
    std::vector<std::string> shown;
    for (const std::string& line : lines) shown.push_back(utf8(line));
    jsonStrings(builder, "lines", shown);
    json_builder_end_object(builder);
}

namespace {

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
                    jsonInt(b, "schema_version", JsonSchemaVersion);
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
                    jsonInt(b, "schema_version", JsonSchemaVersion);
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
                jsonInt(b, "schema_version", JsonSchemaVersion);
                jsonString(b, "event", "progress");
                jsonInt(b, "percent", percent);
            });
            return;
        }
        std::string line = fillText(getString(ConsoleProgressLineId), {std::to_string(percent)});
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

// `log`: the run's, or none before the install.
void printResultEvent(const RunEnd& end, const InstallLog* log) {
    jsonLine([&](JsonBuilder* b) {
        jsonInt(b, "schema_version", JsonSchemaVersion);
        jsonString(b, "event", "result");
        jsonInt(b, "exit_status", end.status);
        const bool succeeded = end.status == ExitInstalled || end.status == ExitRestartNeeded;
        json_builder_set_member_name(b, "succeeded");
        json_builder_add_boolean_value(b, succeeded);
        // What the run leaves installed: nothing of the product after a remove.
        json_builder_set_member_name(b, "installed");
        json_builder_add_boolean_value(b, succeeded && end.action != Action::Remove);
        json_builder_set_member_name(b, "restart_needed");
        json_builder_add_boolean_value(b, end.status == ExitRestartNeeded);
        json_builder_set_member_name(b, "log");
        if (log && log->written())
            json_builder_add_string_value(b, displayName(log->path()).c_str());
        else
            json_builder_add_null_value(b);
        std::vector<std::string> shown;
        for (const std::string& line : end.lines) shown.push_back(utf8(line));
        jsonStrings(b, "lines", shown);
        jsonError(b, end.error, end.lines);
    });
}

}  // namespace

int runAndReport(InstallRun& run, const Selection& selection, Report report,
                 const std::function<void(const RunResult&)>& finished) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    InstallOutcome result;
    InstallObserver observer;
    Reporter reporter;
    reporter.report = report;
    reporter.toTerminal = isatty(STDOUT_FILENO);
    observer.output = [&reporter](const std::string& output) { reporter.output(output); };
    observer.progress = [&reporter](const std::string& line) { reporter.progressLine(line); };
    observer.ended = [&](const InstallOutcome& outcome) {
        result = outcome;
        g_main_loop_quit(loop);
    };
    observer.askOnTerminal = true;
    RunEnd end;
    bool started = false;
    RunResult ended;
    switch (startInstallRun(run, selection, observer)) {
        case InstallStart::NothingSelected:
            ended = runResult(lastRunFacts(run, selection, true, nullptr));
            end.lines.push_back(getString(ended.resultLine));
            started = true;
            break;
        case InstallStart::NotStarted: {
            ended = runResult(lastRunFacts(run, selection, false, nullptr));
            end.status = ended.status;
            end.error = ended.error;
            // The refusal's lines went out with the output, which --quiet and --json do
            // not show: they are said with the reason there.
            if (report != Report::Lines)
                end.lines = run.refusalLines;
            end.lines.insert(end.lines.begin(),
                             std::string(getString(ended.reason)) +
                                 (ended.logPath.empty() ? "" : " " + ended.logLine()));
            if (report == Report::Json)
                writeErrorLine(end.lines.front().c_str());
            else
                for (const std::string& line : end.lines) writeErrorLine(line.c_str());
            break;
        }
        case InstallStart::Running:
            g_main_loop_run(loop);
            if (!reporter.partial.empty())
                reporter.output("\n");
            reporter.progress.finish(result.succeeded);
            // A pipe gets the full bar of a finished install as a line of its own too.
            reporter.show(result.succeeded);
            reporter.endLine();
            ended = runResult(lastRunFacts(run, selection, false, &result));
            end.status = ended.status;
            end.error = ended.error;
            end.lines = ended.resultLines();
            if (const std::string proxy = proxyNoticeLine(selection, ended.proxyNotice);
                !proxy.empty())
                end.lines.push_back(proxy);
            started = true;
            break;
    }
    end.action = ended.action;
    if (finished)
        finished(ended);
    if (report == Report::Json)
        printResultEvent(end, &run.log);
    else if (started)
        for (const std::string& line : end.lines) say(stdout, line);
    g_main_loop_unref(loop);
    return end.status;
}

void printRefusalEvent(int status, ErrorKind kind, const std::vector<std::string>& lines) {
    RunEnd end;
    end.status = status;
    end.error = kind;
    end.lines = lines;
    printResultEvent(end, nullptr);
}
