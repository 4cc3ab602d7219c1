// The run history: one line for every run that changed the product or tried to, kept
// beside the install record (<records>/<application package>.history).
//
// Each line is one JSON object of strings (and the number "exit_status"):
//   {"time":"2026-12-07T19:30:00Z","action":"install","package":"quorvel-storman",
//    "application_before":"","application_after":"3.B-2","driver_before":"",...,
//    "result":"succeeded","exit_status":0,"log":"/var/log/stage3/install-....log"}
// An empty version is a package that was not installed. A line that is no such object
// (cut short by a crash, say) is skipped by readers and dropped after a while. The file
// keeps the last HistoryLimit runs; it is written by root alone, under a new name beside
// it and renamed over it, and read only when it is root's own and no one else can write
// to it, as the record.
#pragma once

#include <string>
#include <vector>

#include "wizard/install_record.h"

struct RunEntry {
    std::string time;     // when the run started, UTC
    std::string action;   // install, upgrade, repair, modify or remove
    std::string package;  // the application package the history is named after
    std::string applicationBefore, applicationAfter;
    std::string driverBefore, driverAfter;
    std::string addonBefore, addonAfter;
    std::string result;  // succeeded, failed, refused or cancelled
    int exitStatus = 0;  // stage3's exit status for the run
    std::string log;     // the install log's path, if one was written
};

const std::size_t HistoryLimit = 1000;

// One line of the history, without its newline.
std::string formatRunEntry(const RunEntry& entry);
// False when the line is not one the history writes.
bool parseRunEntry(const std::string& line, RunEntry* entry);
// The runs of a history's text, oldest first; `skipped` counts the lines that are none.
std::vector<RunEntry> parseRunHistory(const std::string& text, int* skipped);
// The history's text with `entry` appended, the oldest lines dropped beyond
// HistoryLimit (and empty lines always).
std::string appendedRunHistory(const std::string& text, const RunEntry& entry);

// The history's path for an application package; empty for a name that cannot be a file.
std::string runHistoryPath(const std::string& packageName);
// The histories of every application in the records' directory, by name; `directory`
// receives the directory looked in.
std::vector<std::string> runHistoryPaths(std::string* directory);
// Reads a history: Refused (with the reason) when it, or its directory, is not root's own
// or others can write to it.
RecordState readRunHistory(const std::string& path, std::vector<RunEntry>* entries, int* skipped,
                           std::string* error);
// Appends `entry` (root only), as writeInstallRecord writes the record. False with the
// reason; a history that is not root's own or others can write to is left as it is.
bool appendRunHistory(const std::string& packageName, const RunEntry& entry, std::string* error);

// The run that began: its line so far, and whether one began.
struct BegunRun {
    RunEntry entry;
    std::string driverPackage, addonPackage;
    bool open = false;
};

struct InstallRun;
// The run that took the lock: its start, action and the versions installed before it.
void beginRunHistory(InstallRun& run, const std::string& logPath);  // the log written, or empty
// As root, when the run that began ended (or stopped before installing): its line
// appended with the versions installed now. The line saying what could not be done;
// empty when it was (and as a normal user, whose root side appends it, and when no run
// began).
std::string settleRunHistory(InstallRun& run, const std::string& result, int exitStatus);
// The root side's lines that append the run that began, after the install script ended
// with `$status`, to the history in the records' directory "$records"; empty when no
// run began.
std::string rootSideHistoryText(const InstallRun& run);
// The same for `begun` (its versions after the run, result and exit status filled in by
// the shell: rpm's versions of the packages named, "succeeded" with 0 or "failed" with 2).
std::string rootSideHistoryText(const RunEntry& begun, const std::string& driverPackage,
                                const std::string& addonPackage);
