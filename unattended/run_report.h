// How a run without a person speaks: lines for a person (a progress line updated in
// place on a terminal), errors and the result only (--quiet), or one JSON object per
// line (--json). The install and the day-two actions report the same way.
#pragma once

#include <json-glib/json-glib.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "wizard/install_session.h"
#include "wizard/run_result.h"
#include "wizard/transaction.h"
#include "wizard/wizard.h"

enum class Report { Lines, Quiet, Json };

// A line for the person or the script reading `stream`: made safe for a terminal.
void say(FILE* stream, const std::string& line);

// Texts in JSON are UTF-8: those of the database come in the locale's encoding.
std::string utf8(const std::string& localeText);
// A path, or a text taken from a file name or rpm, in JSON: UTF-8 whatever its bytes.
std::string displayName(const std::string& path);

// The version of the JSON outputs' format, in every object they print (docs/json.md).
const int JsonSchemaVersion = 1;

// One JSON object on a line of standard output.
void jsonLine(const std::function<void(JsonBuilder*)>& members);
void jsonString(JsonBuilder* builder, const char* name, const std::string& value);
void jsonInt(JsonBuilder* builder, const char* name, int value);
void jsonStrings(JsonBuilder* builder, const char* name, const std::vector<std::string>& values);
// The transaction's steps: an array of {package, file, installed, version, action}
// (`action` as stepActionName says it; null for what a step does not have).
void jsonSteps(JsonBuilder* builder, const char* name, const std::vector<TransactionStep>& steps);
// The `error` member: null for kind None, else its kind and lines (in the locale's
// encoding; written as UTF-8).
void jsonError(JsonBuilder* builder, ErrorKind kind, const std::vector<std::string>& lines);

// What a run without a person ends with: its status, its error and its lines.
struct RunEnd {
    Action action = Action::Install;  // the run's: a remove that succeeded installed nothing
    int status = 0;
    ErrorKind error = ErrorKind::None;
    std::vector<std::string> lines;  // the result line first, then what follows it
};

// Runs the install run of `selection` (the action of installAction()) and reports its
// output, progress and end as `report` asks: the result's lines in the words of the
// action (wizard/run_result.h), which `finished` is given too. A run that did not start
// says why, with every line of a refusal and the log's place, in every report (--quiet
// keeps them). Returns the exit status. `run` is the caller's, and outlives the install.
int runAndReport(InstallRun& run, const Selection& selection, Report report,
                 const std::function<void(const RunResult&)>& finished = nullptr);

// The last JSON line of a run that ended before its install run started (a start-up
// refusal, the license not accepted, a question answered No): the result event with
// its error.
void printRefusalEvent(int status, ErrorKind kind, const std::vector<std::string>& lines);
